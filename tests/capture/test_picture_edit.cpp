// A picture opened for editing: where it lies among the monitors, what the overlay hands back when
// it is confirmed, and how a transparent or missing clipboard picture is read.
#include "FakePlatform.h"
#include "Input.h"
#include "PictureEdit.h"
#include "Sounds.h"
#include "test_input_fakes.h"

#include <QCursor>
#include <QImage>

#include <gtest/gtest.h>

namespace {

class PictureEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_ = InstallFakePlatform();
        fake_->monitors = {QRect(0, 0, 1000, 800), QRect(1000, 0, 600, 400)};
        OverlaySoundHook = [](const QString&, unsigned) {};
        OverlayWorkerRuns = false;
    }
    void TearDown() override {
        if (InputForm && !InputForm->Closed()) InputForm->FormClose();
        FlushDeletes();
        InputForm = nullptr;
        OverlayWorkerRuns = true;
        OverlaySoundHook = nullptr;
    }
    std::shared_ptr<TFakeState> fake_;
};

TEST_F(PictureEditTest, ThePictureSitsOnThePointersMonitorAndComesBackWhole) {
    struct Case {
        const char* name;
        QSize picture;
        QRect placed; // where the picture lies on the desktop
    };
    for (const Case& c : {Case{"centred", QSize(200, 100), QRect(1200, 150, 200, 100)},
                          // Larger than its monitor: from the monitor's top-left, past the desktop's edge.
                          Case{"larger than the monitor", QSize(800, 500), QRect(1000, 0, 800, 500)}}) {
        SCOPED_TRACE(c.name);
        TFakeCaptureOwner owner;
        QCursor::setPos(1300, 200); // on the second monitor
        const TDIB picture = PatternDesktop(c.picture.width(), c.picture.height());
        ASSERT_TRUE(StartEditing(picture, QStringLiteral("photo"), &owner));
        ASSERT_NE(InputForm, nullptr);
        EXPECT_EQ(owner.title, QStringLiteral("photo"));
        // A second picture while the overlay is open is refused.
        EXPECT_FALSE(StartEditing(picture, QStringLiteral("other"), &owner));

        // Confirmed without a selection: the picture itself, nothing of the dark surroundings.
        InputForm->FinishCapture();
        FlushDeletes();
        InputForm = nullptr;
        ASSERT_EQ(owner.stores, 1);
        EXPECT_EQ(owner.desktopRect, c.placed);
        ASSERT_EQ(QSize(owner.capture.Width(), owner.capture.Height()), c.picture);
        for (const QPoint p : {QPoint(0, 0), QPoint(c.picture.width() - 1, c.picture.height() - 1),
                               QPoint(c.picture.width() / 2, 7)})
            EXPECT_EQ(owner.capture.GetPixel(p.x(), p.y()), PatternPixel(p.x(), p.y()))
                << p.x() << "," << p.y();
    }
}

TEST(PictureLoad, TransparencyShowsOverWhiteAndANullImageFails) {
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, 0x00FF0000u); // fully transparent red
    image.setPixel(1, 0, 0xFF123456u);
    const TPictureLoad loaded = LoadPictureImage(image);
    ASSERT_EQ(loaded.picture.BitCount(), 24);
    EXPECT_EQ(loaded.picture.GetPixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(loaded.picture.GetPixel(1, 0), 0xFF123456u);

    const TPictureLoad none = LoadPictureImage(QImage());
    EXPECT_TRUE(none.picture.Empty());
    EXPECT_FALSE(none.failure.isEmpty());
}

} // namespace
