// Freezing the desktop through the fake platform: modes, the pointer, negative origins, failures.
#include "FakePlatform.h"
#include "Platform.h"
#include "ScreenGrab.h"
#include "test_input_fakes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

QImage PatternImage(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, PatternPixel(x, y));
    return img;
}

class GrabTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = InstallFakePlatform();
        fake->monitors = {QRect(0, 0, 640, 480)};
        fake->desktopImage = PatternImage(640, 480);
        // A 4 x 4 white pointer with its hot spot at (1, 1).
        fake->cursor.image = QImage(4, 4, QImage::Format_ARGB32_Premultiplied);
        fake->cursor.image.fill(0xFFFFFFFFu);
        fake->cursor.hotX = fake->cursor.hotY = 1;
        fake->cursor.x = 100;
        fake->cursor.y = 50;
        fake->hasCursor = true;
    }
    std::shared_ptr<TFakeState> fake;
};

int Mismatches(const TDIB& image, const QRect& r, QPoint screenOrigin) {
    int bad = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            bad += image.GetPixel(x, y) != PatternPixel(x + screenOrigin.x(), y + screenOrigin.y());
    return bad;
}

} // namespace

TEST_F(GrabTest, WholeDesktop) {
    const TDesktopGrab g = GrabDesktop(TCaptureMode::Desktop, false);
    EXPECT_EQ(g.desktopBounds, QRect(0, 0, 640, 480));
    EXPECT_EQ(g.grabbedRect, QRect(0, 0, 640, 480));
    ASSERT_EQ(g.image.BitCount(), 24);
    EXPECT_EQ(Mismatches(g.image, g.grabbedRect, {0, 0}), 0);
}

TEST_F(GrabTest, PointerIsDrawnWhereItIsExceptInMagnifierMode) {
    TDesktopGrab g = GrabDesktop(TCaptureMode::Desktop, true);
    EXPECT_EQ(g.image.GetPixel(99, 49), 0xFFFFFFFFu);
    EXPECT_EQ(g.image.GetPixel(102, 52), 0xFFFFFFFFu);
    EXPECT_EQ(g.image.GetPixel(98, 49), PatternPixel(98, 49));
    EXPECT_EQ(g.image.GetPixel(103, 52), PatternPixel(103, 52));
    g = GrabDesktop(TCaptureMode::Magnifier, true);
    EXPECT_EQ(g.image.GetPixel(99, 49), PatternPixel(99, 49));
    g = GrabDesktop(TCaptureMode::Desktop, false);
    EXPECT_EQ(g.image.GetPixel(99, 49), PatternPixel(99, 49));
    fake->hasCursor = false; // hidden pointer: the grab goes on without it
    g = GrabDesktop(TCaptureMode::Desktop, true);
    EXPECT_EQ(Mismatches(g.image, QRect(0, 0, 640, 480), {0, 0}), 0);
}

TEST_F(GrabTest, ActiveWindowPartlyOffScreenIsClipped) {
    fake->foreground.exists = true;
    fake->foreground.frame = QRect(-50, 100, 300, 200);
    const TDesktopGrab g = GrabDesktop(TCaptureMode::Window, false);
    EXPECT_EQ(g.grabbedRect, QRect(0, 100, 250, 200));
    EXPECT_EQ(Mismatches(g.image, g.grabbedRect, {0, 0}), 0);
    EXPECT_EQ(g.image.GetPixel(300, 50), 0xFF000000u) << "black outside the window";
    EXPECT_EQ(g.image.GetPixel(250, 150), 0xFF000000u);
}

TEST_F(GrabTest, ModeOneWithoutAUsableWindowTakesEverything) {
    EXPECT_EQ(GrabDesktop(TCaptureMode::Window, false).grabbedRect, QRect(0, 0, 640, 480)) << "no window";
    fake->foreground.isDesktop = true;
    EXPECT_EQ(GrabDesktop(TCaptureMode::Window, false).grabbedRect, QRect(0, 0, 640, 480))
        << "the desktop itself";
    fake->foreground = TForegroundWindow{};
    fake->foreground.exists = true;
    fake->foreground.frame = QRect(700, 500, 100, 100);
    const TDesktopGrab g = GrabDesktop(TCaptureMode::Window, false);
    EXPECT_EQ(g.grabbedRect, QRect(0, 0, 640, 480)) << "a window wholly off the desktop";
    EXPECT_EQ(Mismatches(g.image, g.grabbedRect, {0, 0}), 0);
}

TEST_F(GrabTest, NegativeOriginPutsThePointerWhereItWas) {
    // A monitor left of the primary one: root coordinates left of 0 hold no pixels in the fake.
    fake->monitors = {QRect(-1280, 0, 1280, 1024), QRect(0, 0, 640, 480)};
    const TDesktopGrab g = GrabDesktop(TCaptureMode::Desktop, true);
    EXPECT_EQ(g.desktopBounds, QRect(-1280, 0, 1920, 1024));
    EXPECT_EQ(g.image.Width(), 1920);
    EXPECT_EQ(g.image.GetPixel(1280 + 99, 49), 0xFFFFFFFFu);
    EXPECT_EQ(g.image.GetPixel(1280 + 98, 49), PatternPixel(98, 49));
    EXPECT_EQ(Mismatches(g.image, QRect(1280 + 200, 100, 100, 100), {-1280, 0}), 0);
}

TEST_F(GrabTest, KeptRowsNarrowToTheSamePictureWithThePointer) {
    // Rows handed over for the overlay to show first hold the pointer already, and narrow to exactly
    // the picture an immediate grab gives; only a whole-desktop grab in one piece is handed over.
    const TDesktopGrab direct = GrabDesktop(TCaptureMode::Desktop, true);
    TDesktopGrab kept = GrabDesktop(TCaptureMode::Desktop, true, true);
    ASSERT_TRUE(kept.Pending());
    ASSERT_NE(kept.rows->bits, nullptr);
    EXPECT_EQ(kept.rows->part, QRect(0, 0, 640, 480));
    const uint32_t* row = reinterpret_cast<const uint32_t*>(kept.rows->bits + 49 * kept.rows->stride);
    EXPECT_EQ(row[99] & 0xFFFFFFu, 0xFFFFFFu) << "the pointer is in the rows";
    FillDesktopImage(kept);
    for (int y = 0; y < 480; ++y)
        ASSERT_EQ(0, std::memcmp(kept.image.PixelPtr(0, y), direct.image.PixelPtr(0, y), 640 * 3)) << y;

    fake->monitors = {QRect(-1280, 0, 1280, 1024), QRect(0, 0, 640, 480)};
    EXPECT_FALSE(GrabDesktop(TCaptureMode::Desktop, true, true).Pending())
        << "part of the desktop has no screen behind it";
    // An active window's rows are blacked out around it (the window reaching past the desktop's
    // left edge, the pointer outside it), and narrow to the picture an immediate grab gives.
    fake->monitors = {QRect(0, 0, 640, 480)};
    fake->foreground.exists = true;
    fake->foreground.frame = QRect(-20, 70, 200, 100);
    const TDesktopGrab window = GrabDesktop(TCaptureMode::Window, true);
    TDesktopGrab keptWindow = GrabDesktop(TCaptureMode::Window, true, true);
    ASSERT_TRUE(keptWindow.Pending());
    EXPECT_EQ(keptWindow.grabbedRect, window.grabbedRect);
    FillDesktopImage(keptWindow);
    for (int y = 0; y < 480; ++y)
        ASSERT_EQ(0, std::memcmp(keptWindow.image.PixelPtr(0, y), window.image.PixelPtr(0, y), 640 * 3)) << y;
    EXPECT_EQ(keptWindow.image.GetPixel(99, 49), 0xFFFFFFFFu);
    EXPECT_EQ(keptWindow.image.GetPixel(5, 69), 0xFF000000u);
    EXPECT_EQ(keptWindow.image.GetPixel(180, 100), 0xFF000000u);
    EXPECT_EQ(keptWindow.image.GetPixel(179, 169), PatternPixel(179, 169));
    EXPECT_EQ(keptWindow.image.GetPixel(179, 170), 0xFF000000u);
    fake->desktopImage = QImage();
    const TDesktopGrab failed = GrabDesktop(TCaptureMode::Desktop, false, true);
    EXPECT_FALSE(failed.Pending());
    EXPECT_EQ(failed.image.GetPixel(5, 5), 0xFF000000u);
}

// A capture reads the screen once, whatever the grab gives: a failure is told, not asked for again,
// and a grab that leaves part of the desktop without pixels makes the picture itself (through a
// desktop portal each read is a request, and each failure or silence would be waited for twice).
TEST_F(GrabTest, ACaptureReadsTheScreenOnce) {
    fake->desktopImage = QImage();
    fake->screenReads = 0;
    const TDesktopGrab failed = GrabDesktop(TCaptureMode::Desktop, true, true);
    EXPECT_EQ(fake->screenReads, 1) << "a failed grab";
    EXPECT_EQ(failed.failure, QStringLiteral("nothing to grab"));
    EXPECT_FALSE(failed.Pending());
    for (int y = 0; y < 480; y += 37)
        for (int x = 0; x < 640; x += 41)
            ASSERT_EQ(failed.image.GetPixel(x, y), 0xFF000000u) << x << "," << y;

    // Root coordinates left of 0 hold no pixels in the fake: the left monitor stays black, the
    // pointer is drawn in, and a window across both monitors keeps the part that has pixels.
    fake->desktopImage = PatternImage(640, 480);
    fake->monitors = {QRect(-1280, 0, 1280, 1024), QRect(0, 0, 640, 480)};
    for (const bool window : {false, true}) {
        fake->foreground.exists = window;
        fake->foreground.frame = QRect(-100, 70, 300, 100);
        const TCaptureMode mode = window ? TCaptureMode::Window : TCaptureMode::Desktop;
        const TDesktopGrab direct = GrabDesktop(mode, true);
        fake->screenReads = 0;
        TDesktopGrab part = GrabDesktop(mode, true, true);
        EXPECT_EQ(fake->screenReads, 1) << "window " << window;
        EXPECT_FALSE(part.Pending());
        EXPECT_TRUE(part.failure.isEmpty()) << part.failure.toStdString();
        EXPECT_EQ(part.grabbedRect, direct.grabbedRect);
        ASSERT_EQ(part.image.Width(), 1920);
        for (int y = 0; y < 1024; ++y)
            ASSERT_EQ(0, std::memcmp(part.image.PixelPtr(0, y), direct.image.PixelPtr(0, y), 1920 * 3))
                << "window " << window << ", row " << y;
        EXPECT_EQ(part.image.GetPixel(1280 + 99, 49), 0xFFFFFFFFu) << "the pointer, window " << window;
        EXPECT_EQ(part.image.GetPixel(1280 + 150, 100), PatternPixel(150, 100)) << "window " << window;
        EXPECT_EQ(part.image.GetPixel(1280 - 50, 100), 0xFF000000u) << "window " << window;
    }
}

TEST_F(GrabTest, FailedGrabGivesBlackNotGarbage) {
    fake->desktopImage = QImage();
    const TDesktopGrab g = GrabDesktop(TCaptureMode::Desktop, false);
    ASSERT_EQ(g.image.Width(), 640);
    for (int y = 0; y < 480; y += 37)
        for (int x = 0; x < 640; x += 41)
            ASSERT_EQ(g.image.GetPixel(x, y), 0xFF000000u);
}

TEST_F(GrabTest, TitleAndComment) {
    QString title = "x", comment = "y";
    GetForegroundTitle(title, comment);
    EXPECT_TRUE(title.isEmpty() && comment.isEmpty()) << "no window";
    fake->foreground.exists = true;
    fake->foreground.title = QStringLiteral("Files — Documents");
    fake->foreground.location = QStringLiteral("/home/u/Documents");
    GetForegroundTitle(title, comment);
    EXPECT_EQ(title, QStringLiteral("Files — Documents"));
    EXPECT_EQ(comment, QStringLiteral("/home/u/Documents"));
}
