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

// Against a stand-in KWin: its picture arrives through the pipe pixel for pixel, padded rows or not; a
// picture cut short, a writer that stalls, or sizes that lie fail that grab (the fallback serves it) within
// the time allowed; a refusal or an absent KWin sends this grab and every later one to the fallback.
TEST(KWinScreenShot, ThePipesPictureOrTheFallback) {
    struct Row {
        const char* name;
        QStringList kwin;
        bool shot;
        int kwinCalls, fallbackGrabs; // after two grabs
    };
    const Row rows[] = {
        {"picture", {"--kwin", "ok"}, true, 2, 0},
        {"padded_rows", {"--kwin", "padded"}, true, 2, 0},
        {"cut_short", {"--kwin", "short"}, false, 2, 2},
        {"stalled", {"--kwin", "stall"}, false, 2, 2},
        {"sizes_lie", {"--kwin", "lie"}, false, 2, 2},
        {"refused", {"--kwin", "refuse"}, false, 1, 2},
        {"absent", {}, false, 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TFakePortal fake;
        QString error;
        ASSERT_TRUE(fake.StartBus(&error)) << error.toStdString();
        ASSERT_TRUE(fake.StartPortal(row.kwin, &error)) << error.toStdString();
        int fallbackGrabs = 0;
        class TFallback : public IScreenGrabber {
          public:
            explicit TFallback(int& grabs) : grabs_(grabs) {}
            TPlatformStatus Grab(const QRect&, TGrabbedImage&) override { return TPlatformStatus::Ok(); }
            TPlatformStatus GrabTo(const QRect&, const TGrabSink&) override {
                ++grabs_;
                return TPlatformStatus::Ok();
            }
            TPlatformStatus Cursor(TCursorImage&) override { return TPlatformStatus::Ok(); }
            int& grabs_;
        };
        TKWinScreenGrabber grabber(
            fake.Bus(), [] { return QRect(0, 0, 4, 3); },
            [&] { return std::make_unique<TFallback>(fallbackGrabs); }, 1000);
        QDeadlineTimer bound(8000); // the time allowed twice over, and then some
        ASSERT_TRUE(grabber.DrawsPointer());
        for (int i = 0; i < 2; ++i) {
            grabber.IncludePointer(i == 1); // the second grab with the pointer
            TGrabbedImage out;
            ASSERT_TRUE(grabber.Grab(QRect(0, 0, 4, 3), out).ok);
            if (!row.shot) continue;
            for (int p = 0; p < 12; ++p)
                EXPECT_EQ(out.pixels[size_t(p) * 4], 10 * p) << "pixel " << p;
            EXPECT_EQ(out.pixels[1], 50);
            EXPECT_EQ(out.pixels[2], 200);
        }
        EXPECT_FALSE(bound.hasExpired());
        const QList<QJsonArray> calls = fake.CallsOf("CaptureWorkspace");
        EXPECT_EQ(calls.size(), row.kwinCalls);
        for (qsizetype i = 0; i < calls.size(); ++i)
            EXPECT_EQ(calls[i][0].toObject().value("include-cursor"), QJsonValue(i == 1)) << "call " << i;
        EXPECT_EQ(fallbackGrabs, row.fallbackGrabs);
    }
}

} // namespace
