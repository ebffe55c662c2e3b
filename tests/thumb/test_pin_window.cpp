// A capture pinned to the screen: the zoom around the pointer and its limits, the opacity's limits,
// the pixels shown at each zoom, and the window placed over the capture's place, zoomed by the wheel
// and closed by Esc or a double click.
#include "PinWindow.h"

#include "FakePlatform.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The picture point under a desktop point.
QPointF PictureAt(const TPinView& v, QPointF desktop) {
    return (desktop - v.origin) / v.zoom;
}

struct TZoomCase {
    const char* name;
    double startZoom;
    std::vector<double> notches; // turned one after another with the pointer held still
    double zoom;                 // where it ends
};

class PinZoom : public ::testing::TestWithParam<TZoomCase> {};

TEST_P(PinZoom, KeepsThePointUnderThePointer) {
    const TZoomCase& c = GetParam();
    TPinView v{.picture = QSize(300, 200), .origin = QPointF(500, 400), .zoom = c.startZoom};
    const QPointF pointer(617.25, 455.5);
    const QPointF under = PictureAt(v, pointer);
    for (double n : c.notches)
        v.ZoomAt(pointer, n);
    EXPECT_NEAR(v.zoom, c.zoom, 1e-9);
    // At 100 % the picture snaps to whole device pixels: half a pixel at most.
    const double slack = v.zoom == 1 ? 0.5 : 1e-6;
    EXPECT_NEAR(PictureAt(v, pointer).x(), under.x(), slack / v.zoom);
    EXPECT_NEAR(PictureAt(v, pointer).y(), under.y(), slack / v.zoom);
    EXPECT_EQ(v.Rect().size(), QSize(int(std::lround(300 * v.zoom)), int(std::lround(200 * v.zoom))));
}

INSTANTIATE_TEST_SUITE_P(Cases, PinZoom,
                         ::testing::Values(TZoomCase{"one_notch_in", 1, {1}, 1.25},
                                           TZoomCase{"two_notches_out", 1, {-2}, 0.64},
                                           TZoomCase{"in_then_out_is_back_at_one", 1, {1, 1, -1, -1}, 1},
                                           TZoomCase{"passing_one_stops_there", 0.9, {3}, 1},
                                           TZoomCase{"passing_one_from_above_stops_there", 1.1, {-3}, 1},
                                           TZoomCase{"half_a_notch_of_a_touchpad", 1, {0.5}, std::sqrt(1.25)},
                                           TZoomCase{"never_above_800_percent", 1, {5, 30}, 8},
                                           TZoomCase{"never_below_10_percent", 1, {-5, -30}, 0.1},
                                           TZoomCase{"out_of_the_limit_again", 8, {-1}, 6.4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PinView, OpacityStaysBetweenItsLimitsAndStepsMeetAgain) {
    TPinView v;
    v.ChangeOpacity(1);
    EXPECT_EQ(v.opacity, 1) << "fully opaque is the top";
    v.ChangeOpacity(-3);
    EXPECT_DOUBLE_EQ(v.opacity, 0.7);
    v.ChangeOpacity(3);
    EXPECT_EQ(v.opacity, 1);
    v.ChangeOpacity(-50);
    EXPECT_DOUBLE_EQ(v.opacity, TPinView::MinOpacity) << "never so faint that it is lost";
}

// A picture whose every pixel differs from its neighbours.
TDIB Noise(int w, int h) {
    TDIB d(w, h, 32);
    uint32_t s = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1103515245u + 12345u;
            d.SetPixel(x, y, 0xFF000000u | (s >> 8));
        }
    return d;
}

TEST(RenderPin, ShowsThePixelsExactlyAtOneAndAsBlocksOrAveragesOtherwise) {
    const TDIB picture = Noise(40, 30);
    TPinView v{.picture = QSize(40, 30), .origin = QPointF(-10, 5)};
    // At 100 %, partly off the desktop's left edge: the pixels themselves, shifted by the cut.
    TDIB out(30, 30, 32);
    RenderPin(picture, v, QRect(0, 5, 30, 30), out);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(out.GetPixel(x, y), picture.GetPixel(x + 10, y)) << x << "," << y;
    // At 200 % every pixel is a 2 x 2 block.
    v.zoom = 2;
    v.origin = QPointF(0, 0);
    TDIB big(80, 60, 32);
    RenderPin(picture, v, QRect(0, 0, 80, 60), big);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x)
            ASSERT_EQ(big.GetPixel(x, y), picture.GetPixel(x / 2, y / 2)) << x << "," << y;
    // At 50 % each pixel is the mean of the four it covers.
    v.zoom = 0.5;
    TDIB small(20, 15, 32);
    RenderPin(picture, v, QRect(0, 0, 20, 15), small);
    for (int shift : {0, 8, 16}) {
        int sum = 0;
        for (QPoint p : {QPoint(6, 4), QPoint(7, 4), QPoint(6, 5), QPoint(7, 5)})
            sum += int(picture.GetPixel(p.x(), p.y()) >> shift & 255);
        EXPECT_NEAR(int(small.GetPixel(3, 2) >> shift & 255), sum / 4.0, 1.0) << "channel at bit " << shift;
    }
}

TEST(LogicalCover, CoversTheDevicePixelsAtEveryScale) {
    EXPECT_EQ(LogicalCover(QRect(100, 50, 300, 200), 1), QRect(100, 50, 300, 200));
    EXPECT_EQ(LogicalCover(QRect(100, 50, 300, 200), 2), QRect(50, 25, 150, 100));
    // Odd device pixels at 2x: the logical window reaches around them.
    EXPECT_EQ(LogicalCover(QRect(101, 51, 301, 201), 2), QRect(50, 25, 151, 101));
    EXPECT_EQ(LogicalCover(QRect(-3, 0, 6, 3), 1.5), QRect(-2, 0, 4, 2));
}

struct TRecordingOwner : IPinOwner {
    int menus = 0;
    std::vector<TPinWindow*> closed;
    void PopupPinMenu(TPinWindow*, const QPoint&) override { ++menus; }
    void PinClosed(TPinWindow* pin) override { closed.push_back(pin); }
};

class PinWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_ = InstallFakePlatform(); }
    TPinWindow* Open(QRect place) {
        TPinnedCapture c;
        c.flatImage.SetSize(place.width(), place.height(), 24);
        Noise(place.width(), place.height()).DrawTo(c.flatImage, 0, 0, QRect(QPoint(0, 0), place.size()));
        c.captureImage = Noise(place.width(), place.height());
        c.desktopRect = place;
        auto* pin = new TPinWindow(c, &owner_, true);
        pin->Open();
        return pin;
    }
    static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    std::shared_ptr<TFakeState> fake_;
    TRecordingOwner owner_;
};

TEST_F(PinWindowTest, StandsOverItsPlaceZoomsByTheWheelAndClosesByEscOrDoubleClick) {
    QPointer<TPinWindow> pin = Open(QRect(200, 100, 320, 240));
    EXPECT_EQ(pin->geometry(), QRect(200, 100, 320, 240));
    EXPECT_EQ(pin->Picture().GetPixel(5, 7) & 0xFFFFFF, Noise(320, 240).GetPixel(5, 7) & 0xFFFFFF);
    // One notch away from the user at the picture's centre: 25 % larger around it.
    pin->WheelTurned(1, Qt::NoModifier, QPointF(360, 220));
    EXPECT_EQ(pin->geometry(), QRect(160, 70, 400, 300));
    pin->WheelTurned(-2, Qt::ControlModifier, QPointF(360, 220));
    EXPECT_EQ(pin->geometry(), QRect(160, 70, 400, 300)) << "Ctrl with the wheel sets the opacity only";
    EXPECT_DOUBLE_EQ(pin->windowOpacity(), 0.8);
    // Zoomed past the desktop's edges (the picture then spans -920..1640 x -740..1180), the window
    // keeps to the desktop.
    pin->WheelTurned(30, Qt::NoModifier, QPointF(360, 220));
    EXPECT_EQ(pin->View().zoom, TPinView::MaxZoom);
    EXPECT_EQ(pin->geometry(), QRect(0, 0, 1640, 1080));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(pin, &esc);
    ASSERT_EQ(owner_.closed.size(), 1u);
    Flush();
    EXPECT_TRUE(pin.isNull()) << "a closed pin frees itself";

    // Another pin of its own; a double click closes it.
    pin = Open(QRect(0, 0, 50, 40));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(pin, &dbl);
    Flush();
    EXPECT_TRUE(pin.isNull());
    EXPECT_EQ(owner_.closed.size(), 2u);
}

} // namespace
