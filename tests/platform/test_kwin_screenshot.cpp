#include "FakePortal.h"
#include "KWinScreenShot.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

// KWin's word on the picture it writes is another process's: only sizes and formats that describe a
// picture this program can read are taken.
TEST(KWinScreenShot, TheReplysLayoutIsCheckedBeforeAnythingIsRead) {
    struct Row {
        const char* name;
        QVariantMap results;
        bool taken;
    };
    auto reply = [](QVariant w, QVariant h, QVariant stride, QVariant format) {
        return QVariantMap{
            {"type", "raw"}, {"width", w}, {"height", h}, {"stride", stride}, {"format", format}};
    };
    const uint argb = QImage::Format_ARGB32_Premultiplied;
    const Row rows[] = {
        {"plain", reply(1920u, 1080u, 7680u, argb), true},
        {"padded_rows", reply(1366u, 768u, 5504u, uint(QImage::Format_RGBA8888)), true},
        {"rows_too_short", reply(1920u, 1080u, 7676u, argb), false},
        {"stride_not_of_pixels", reply(10u, 10u, 42u, argb), false},
        {"zero_width", reply(0u, 1080u, 7680u, argb), false},
        {"too_wide", reply(40000u, 10u, 160000u, argb), false},
        {"over_a_gigabyte", reply(32768u, 32768u, 131072u, argb), false},
        {"not_32_bits", reply(1920u, 1080u, 5760u, uint(QImage::Format_RGB888)), false},
        {"unknown_format", reply(1920u, 1080u, 7680u, 999u), false},
        {"not_a_number", reply("wide", 1080u, 7680u, argb), false},
        {"size_missing", QVariantMap{{"width", 10u}, {"stride", 40u}, {"format", argb}}, false},
        {"not_raw",
         [&] {
             auto r = reply(10u, 10u, 40u, argb);
             r["type"] = "png";
             return r;
         }(),
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TKWinPictureLayout layout = KWinPictureLayout(row.results);
        EXPECT_EQ(layout.format != QImage::Format_Invalid, row.taken);
        if (row.taken) {
            EXPECT_EQ(layout.Bytes(),
                      qsizetype(row.results["stride"].toUInt()) * row.results["height"].toUInt());
        }
    }
}

// Where KWin is not on the bus, the grab comes from the fallback, and KWin is not asked again.
TEST(KWinScreenShot, WithoutKWinTheFallbackGrabs) {
    TFakePortal portal;
    QString error;
    ASSERT_TRUE(portal.StartBus(&error)) << error.toStdString();
    int made = 0, grabs = 0;
    class TCounted : public IScreenGrabber {
      public:
        explicit TCounted(int& grabs) : grabs_(grabs) {}
        TPlatformStatus Grab(const QRect&, TGrabbedImage&) override { return TPlatformStatus::Ok(); }
        TPlatformStatus GrabTo(const QRect& rect, const TGrabSink& sink) override {
            ++grabs_;
            const uint32_t pixel = 0x123456;
            sink(QRect(0, 0, 1, 1), reinterpret_cast<const uint8_t*>(&pixel), 4);
            (void)rect;
            return TPlatformStatus::Ok();
        }
        TPlatformStatus Cursor(TCursorImage&) override { return TPlatformStatus::Ok(); }

      private:
        int& grabs_;
    };
    TKWinScreenGrabber grabber(
        portal.Bus(), [] { return QRect(0, 0, 4, 3); },
        [&]() -> std::unique_ptr<IScreenGrabber> {
            ++made;
            return std::make_unique<TCounted>(grabs);
        },
        2000);
    for (int i = 0; i < 2; ++i) {
        TGrabbedImage out;
        ASSERT_TRUE(grabber.Grab(QRect(0, 0, 4, 3), out).ok);
        EXPECT_EQ(out.width, 4);
        EXPECT_EQ(out.pixels[0] | out.pixels[1] << 8 | out.pixels[2] << 16, 0x123456u);
    }
    EXPECT_TRUE(grabber.FellBack());
    EXPECT_EQ(made, 1);
    EXPECT_EQ(grabs, 2);
}

} // namespace
