// The frozen desktop through the compositors' standard image copy, against the tests' own compositor
// (real protocol, real shared memory): every output's pixels exactly at its place, turned outputs turned,
// the pointer asked for or not, and a copy the compositor refuses ends the grab with its reason.
#include "FakeCompositor.h"
#include "WaylandConnection.h"
#include "WaylandServices.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTransform>

#include <gtest/gtest.h>

#include <wayland-client-protocol.h>

namespace {

constexpr uint32_t PaintCursors = 1;

struct TSession {
    std::unique_ptr<TFakeCompositor> compositor;
    std::shared_ptr<TWaylandConnection> connection;
    std::unique_ptr<IScreenGrabber> grabber;
};

TSession Connect(std::vector<TFakeCompositor::TOutput> outputs, TFakeCompositor::TOptions options = {}) {
    TSession s;
    s.compositor = std::make_unique<TFakeCompositor>(std::move(outputs), std::move(options));
    s.compositor->OfferConnection();
    s.connection = TWaylandConnection::Open();
    if (s.connection) s.grabber = MakeWaylandGrabber(s.connection);
    return s;
}

QImage Grabbed(IScreenGrabber& grabber, const QRect& rect, TPlatformStatus* status = nullptr) {
    TGrabbedImage out;
    const TPlatformStatus s = grabber.Grab(rect, out);
    if (status) *status = s;
    if (!s) return {};
    QImage image(out.width, out.height, QImage::Format_RGB32);
    for (int y = 0; y < out.height; ++y)
        std::memcpy(image.scanLine(y), out.pixels.data() + size_t(y) * out.stride, size_t(out.width) * 4);
    return image;
}

// Where the first different pixel is, for a readable failure.
::testing::AssertionResult SamePixels(const QImage& got, const QImage& want) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "size " << got.width() << "x" << got.height()
                                             << " instead of " << want.width() << "x" << want.height();
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if ((got.pixel(x, y) & 0xffffff) != (want.pixel(x, y) & 0xffffff))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex
                                                     << got.pixel(x, y) << " instead of " << want.pixel(x, y);
    return ::testing::AssertionSuccess();
}

TEST(WaylandStandardCopy, OneOutputIsItsPictureExactlyWithThePointerAskedForOrNot) {
    TSession s = Connect({{"FAKE-1", {0, 0}, {64, 48}}});
    ASSERT_TRUE(s.connection);
    ASSERT_TRUE(s.connection->CopiesOutputs());
    EXPECT_EQ(s.connection->Layout().Bounds(), QRect(0, 0, 64, 48));

    TPlatformStatus status;
    EXPECT_TRUE(
        SamePixels(Grabbed(*s.grabber, QRect(0, 0, 64, 48), &status), TFakeCompositor::Picture(0, {64, 48})))
        << status.reason.toStdString();
    EXPECT_EQ(s.compositor->lastOptions, 0u);
    EXPECT_TRUE(s.compositor->wholeDamage);
    EXPECT_EQ(s.compositor->lastFormat, uint32_t(WL_SHM_FORMAT_XRGB8888));

    // Again into the kept rows, now with the pointer drawn in; part of the output.
    s.grabber->IncludePointer(true);
    EXPECT_TRUE(SamePixels(Grabbed(*s.grabber, QRect(10, 5, 30, 20)),
                           TFakeCompositor::Picture(0, {64, 48}).copy(10, 5, 30, 20)));
    EXPECT_EQ(s.compositor->lastOptions, PaintCursors);
    EXPECT_EQ(s.compositor->sessions, 2);
    EXPECT_EQ(s.compositor->copies, 2);
}

TEST(WaylandStandardCopy, RedAndBlueComeRightInEitherByteOrder) {
    for (const std::vector<uint32_t>& formats :
         {std::vector<uint32_t>{WL_SHM_FORMAT_XBGR8888}, std::vector<uint32_t>{WL_SHM_FORMAT_ABGR8888},
          std::vector<uint32_t>{WL_SHM_FORMAT_XBGR8888, WL_SHM_FORMAT_ARGB8888}}) {
        TSession s = Connect({{"FAKE-1", {0, 0}, {33, 17}}}, {formats, true});
        ASSERT_TRUE(s.grabber);
        EXPECT_TRUE(
            SamePixels(Grabbed(*s.grabber, QRect(0, 0, 33, 17)), TFakeCompositor::Picture(0, {33, 17})))
            << "first format offered " << formats.front();
        // The desktop's own byte order is taken where it is offered.
        EXPECT_EQ(s.compositor->lastFormat, formats.back());
    }
}

TEST(WaylandStandardCopy, OutputsSideBySideTurnedAndScaledLandAtTheirPlaces) {
    // A plain output, one turned a quarter (its 40x30 mode shown 30x40) beside it, and a 2x one
    // (32x16 logical pixels) at the corner of the two.
    TSession s = Connect({{"FAKE-1", {0, 0}, {64, 48}},
                          {"FAKE-2", {64, 0}, {40, 30}, 1, WL_OUTPUT_TRANSFORM_90},
                          {"FAKE-3", {94, 48}, {64, 32}, 2}});
    ASSERT_TRUE(s.connection);
    const QRect bounds = s.connection->Layout().Bounds();
    ASSERT_EQ(bounds, QRect(0, 0, 158, 80));

    QImage want(bounds.size(), QImage::Format_RGB32);
    want.fill(Qt::black);
    {
        QPainter p(&want);
        p.drawImage(0, 0, TFakeCompositor::Picture(0, {64, 48}));
        p.drawImage(64, 0, TFakeCompositor::Picture(1, {40, 30}).transformed(QTransform().rotate(90)));
        p.drawImage(94, 48, TFakeCompositor::Picture(2, {64, 32}));
    }
    TPlatformStatus status;
    EXPECT_TRUE(SamePixels(Grabbed(*s.grabber, bounds, &status), want)) << status.reason.toStdString();
    // A part across all three.
    const QRect part(50, 20, 80, 50);
    EXPECT_TRUE(SamePixels(Grabbed(*s.grabber, part), want.copy(part)));
    EXPECT_EQ(s.compositor->copies, 6);
}

TEST(WaylandStandardCopy, ARefusedCopyEndsTheGrabWithItsReasonAndTheNextOneWorks) {
    TSession s = Connect({{"FAKE-1", {0, 0}, {20, 10}}});
    ASSERT_TRUE(s.grabber);
    const QString refused = QCoreApplication::translate("WaylandGrabber", "Wayland 混成器没有交出屏幕的副本");
    for (std::atomic<bool>* how : {&s.compositor->failCopies, &s.compositor->stopSessions}) {
        *how = true;
        TPlatformStatus status;
        EXPECT_TRUE(Grabbed(*s.grabber, QRect(0, 0, 20, 10), &status).isNull());
        EXPECT_FALSE(status.ok);
        EXPECT_EQ(status.reason, refused);
        *how = false;
        EXPECT_TRUE(
            SamePixels(Grabbed(*s.grabber, QRect(0, 0, 20, 10)), TFakeCompositor::Picture(0, {20, 10})));
    }
    EXPECT_FALSE(s.connection->Lost());
}

TEST(WaylandStandardCopy, IsPreferredToTheOlderCopyWhichStepsInWhenItFails) {
    TSession s = Connect({{"FAKE-1", {0, 0}, {40, 30}}, {"FAKE-2", {40, 0}, {20, 30}}}, {{}, true, true});
    ASSERT_TRUE(s.grabber);
    QImage want(60, 30, QImage::Format_RGB32);
    {
        QPainter p(&want);
        p.drawImage(0, 0, TFakeCompositor::Picture(0, {40, 30}));
        p.drawImage(40, 0, TFakeCompositor::Picture(1, {20, 30}));
    }
    EXPECT_TRUE(SamePixels(Grabbed(*s.grabber, QRect(0, 0, 60, 30)), want));
    EXPECT_EQ(s.compositor->copies, 2);
    EXPECT_EQ(s.compositor->olderCopies, 0);

    s.compositor->failCopies = true;
    TPlatformStatus status;
    EXPECT_TRUE(SamePixels(Grabbed(*s.grabber, QRect(0, 0, 60, 30), &status), want))
        << status.reason.toStdString();
    EXPECT_EQ(s.compositor->olderCopies, 2);
}

TEST(WaylandStandardCopy, WithoutAnyCopyInterfaceTheGrabSaysSo) {
    TSession s = Connect({{"FAKE-1", {0, 0}, {20, 10}}}, {{}, false});
    ASSERT_TRUE(s.connection);
    EXPECT_FALSE(s.connection->CopiesOutputs());
    TPlatformStatus status;
    Grabbed(*s.grabber, QRect(0, 0, 20, 10), &status);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.reason,
              QCoreApplication::translate("WaylandGrabber", "Wayland 混成器不提供屏幕复制接口"));
}

} // namespace
