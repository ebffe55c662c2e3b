#include "LayeredForms.h"

#include "FakePlatform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "RunUntil.h"

namespace {

// A form that paints an opaque square in the middle of a transparent surface and counts paints.
struct TTestForm : TLayeredFormEx {
    int paints = 0;
    QRect dirtyAtPaint;
    TTestForm() {
        OnPaint = [this](TLayeredForm*) {
            ++paints;
            dirtyAtPaint = DirtyRect;
            Surface.FillRect(QRect(0, 0, Surface.Width(), Surface.Height()), 0, 256);
            Surface.FillRect(
                QRect(Surface.Width() / 4, Surface.Height() / 4, Surface.Width() / 2, Surface.Height() / 2),
                0xFFFFFFFFu, 256);
        };
    }
};

} // namespace

// --- animation maths -------------------------------------------------------------------------

struct TAnimCase {
    const char* name;
    double p;
    int style;
    int alphaScale, kernel;
};

class AnimFrameTest : public ::testing::TestWithParam<TAnimCase> {};

TEST_P(AnimFrameTest, AlphaAndKernel) {
    const TAnimCase& c = GetParam();
    const TAnimFrame f = ComputeAnimFrame(c.p, c.style, QSize(560, 360), QMargins(), QPointF());
    EXPECT_EQ(f.alphaScale, c.alphaScale);
    EXPECT_EQ(f.d, c.kernel);
    EXPECT_EQ(f.c, (c.kernel - 1) / 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, AnimFrameTest,
                         ::testing::Values(TAnimCase{"halfFadedBlur7", 0.4, 1, 128, 7},
                                           TAnimCase{"noBlurFullAlpha", 0.05, 1, 256, 1},
                                           TAnimCase{"hiddenStyle1", 1.0, 1, 1, 17},
                                           TAnimCase{"exponentialHidden", 1.0, 2, 0, 17},
                                           TAnimCase{"exponentialShown", 0.0, 2, 256, 1},
                                           TAnimCase{"fadeOnlyQuarter", 0.25, 0, 192, 1},
                                           TAnimCase{"fadeOnlyHidden", 1.0, 0, 0, 1},
                                           TAnimCase{"tiltBlur", 0.4, 3, 128, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AnimFrame, ZoomShrinksAndTiltPullsTheNamedEdgeIn) {
    double previous = 1.0;
    for (double p : {0.1, 0.3, 0.6, 0.9}) {
        const TAnimFrame f = ComputeAnimFrame(p, 1, QSize(200, 100), QMargins(), QPointF());
        ASSERT_TRUE(f.zoom);
        EXPECT_LT(f.scale, previous);
        previous = f.scale;
        // Without margins or offset the zoom centre is the temporary's centre.
        EXPECT_DOUBLE_EQ(f.centre.x(), f.temporary.width() / 2.0);
        EXPECT_DOUBLE_EQ(f.centre.y(), f.temporary.height() / 2.0);
    }
    // Shadow margins shift the centre by k x (margins / 2 - offset).
    const TAnimFrame shifted =
        ComputeAnimFrame(0.5, 1, QSize(200, 100), QMargins(10, 0, 30, 0), QPointF(5, 0));
    const double k = 1 / shifted.scale - 1;
    EXPECT_NEAR(shifted.centre.x() - shifted.temporary.width() / 2.0, k * (20 - 5), 1e-9);

    auto width = [](const std::array<QPointF, 4>& q, bool top) {
        return top ? q[1].x() - q[0].x() : q[2].x() - q[3].x();
    };
    const TAnimFrame s3 = ComputeAnimFrame(0.8, 3, QSize(200, 100), QMargins(), QPointF());
    const TAnimFrame s4 = ComputeAnimFrame(0.8, 4, QSize(200, 100), QMargins(), QPointF());
    ASSERT_TRUE(s3.tilt && s4.tilt);
    EXPECT_LT(width(s3.destQuad, true), width(s3.destQuad, false));
    EXPECT_GT(width(s4.destQuad, true), width(s4.destQuad, false));
    EXPECT_EQ(s3.sourceQuad[2], QPointF(s3.temporary.width(), s3.temporary.height()));
}

TEST(AnimFrame, RenderedFramesStayPremultipliedAndShrinkTowardsTheCentre) {
    for (int style : {1, 2, 3, 4}) {
        TDIB surface(120, 80, 32);
        surface.FillRect(QRect(0, 0, 120, 80), 0, 256);
        surface.FillRect(QRect(10, 10, 100, 60), 0xFF20C040u, 256);
        TDIB scratch;
        const TAnimFrame f = ComputeAnimFrame(0.7, style, QSize(120, 80), QMargins(), QPointF());
        RenderAnimFrame(surface, scratch, f);
        int opaqueCentre = 0;
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 120; ++x) {
                const uint8_t* px = surface.PixelPtr(x, y);
                ASSERT_LE(std::max({px[0], px[1], px[2]}), px[3]) << style << " at " << x << "," << y;
            }
        }
        // The old top-left corner of the square is now outside the shrunken picture.
        EXPECT_LT(surface.PixelPtr(11, 11)[3], 128) << "style " << style;
        opaqueCentre = surface.PixelPtr(60, 40)[3];
        EXPECT_GT(opaqueCentre, 200) << "style " << style;
    }
}

// --- layered form geometry and input ---------------------------------------------------------

TEST(LayeredForm, ZeroRectangleGivesAOnePixelInterior) {
    TTestForm form;
    form.SetShadowMargins(QMargins(3, 4, 5, 6));
    form.SetLayeredRect(QRect(50, 60, 0, 0), true);
    EXPECT_EQ(form.LayeredRect(), QRect(50, 60, 1, 1));
    EXPECT_EQ(form.Surface.Width(), 1 + 3 + 5);
    EXPECT_EQ(form.Surface.Height(), 1 + 4 + 6);
    EXPECT_EQ(form.Surface.BitCount(), 32);
    form.SetLayeredRect(QRect(50, 60, -20, 7), true);
    EXPECT_EQ(form.LayeredRect(), QRect(50, 60, 1, 7));
}

struct THitCase {
    int x, y, zone;
};

TEST(LayeredForm, HitZonesAroundTheInterior) {
    TTestForm form;
    form.SetLayeredRect(QRect(0, 0, 100, 60), false);
    form.HitInsets = QMargins(8, 8, 8, 8);
    for (THitCase c : {THitCase{50, 30, hzMove}, THitCase{8, 8, hzMove}, THitCase{91, 51, hzMove},
                       THitCase{7, 30, hzNone}, THitCase{92, 30, hzNone}, THitCase{50, 7, hzNone},
                       THitCase{50, 52, hzNone}, THitCase{2, 2, hzNone}})
        EXPECT_EQ(form.HitZone(c.x, c.y), c.zone) << c.x << "," << c.y;
}

TEST(LayeredForm, ConstrainPositionKeepsSixteenPixelsOnTheDesktop) {
    auto state = InstallFakePlatform();
    state->monitors = {QRect(0, 0, 1920, 1080)};
    TTestForm form;
    form.SetLayeredRect(QRect(0, 0, 100, 50), false);
    EXPECT_EQ(form.ConstrainPosition(-500, -500, 0, 0), QPoint(-84, -34));
    EXPECT_EQ(form.ConstrainPosition(3000, 3000, 0, 0), QPoint(1904, 1064));
    EXPECT_EQ(form.ConstrainPosition(10, 20, 0, 0), QPoint(10, 20));
    // The plain form keeps 32 pixels of its width and 16 of its height.
    TWPForm plain;
    EXPECT_EQ(plain.ConstrainPosition(-500, -500, 50, 100), QPoint(-68, -16));
}

TEST(LayeredForm, InvalidateGrowsTheDirtyRectOnlyOnceTheWindowExists) {
    TTestForm form;
    form.SetLayeredRect(QRect(0, 0, 100, 100), false);
    form.InvalidateArea(QRect(1, 1, 5, 5));
    EXPECT_TRUE(form.DirtyRect.isEmpty());
    form.winId();
    form.InvalidateArea(QRect(10, 10, 20, 20));
    EXPECT_EQ(form.DirtyRect, QRect(10, 10, 20, 20));
    form.InvalidateArea(QRect(12, 12, 5, 5));
    EXPECT_EQ(form.DirtyRect, QRect(10, 10, 20, 20));
    form.InvalidateArea(QRect(50, 40, 10, 10));
    EXPECT_EQ(form.DirtyRect, QRect(10, 10, 50, 40));
}

TEST(LayeredForm, ShowPaintsPlacesAndLetsTheMarginsPassClicks) {
    auto state = InstallFakePlatform();
    TTestForm form;
    form.AnimStyle = 0;
    form.SetShadowMargins(QMargins(10, 12, 14, 16));
    form.SetLayeredRect(QRect(200, 100, 80, 60), false);
    form.paints = 0;
    form.show();
    EXPECT_EQ(form.paints, 1);
    EXPECT_EQ(form.dirtyAtPaint, QRect(0, 0, 80 + 24, 60 + 28));
    EXPECT_TRUE(form.DirtyRect.isEmpty());
    EXPECT_EQ(form.geometry(), QRect(190, 88, 104, 88));
    ASSERT_TRUE(state->inputRegions.contains(form.winId()));
    EXPECT_EQ(state->inputRegions[form.winId()], QList<QRect>{QRect(10, 12, 80, 60)});

    // Moving pushes the same picture at the new place without repainting it.
    const int pushes = form.PushCount();
    form.SetLayeredRect(QRect(300, 150, 80, 60), true);
    EXPECT_EQ(form.paints, 1);
    EXPECT_EQ(form.PushCount(), pushes + 1);
    EXPECT_EQ(form.geometry().topLeft(), QPoint(290, 138));
    // A new size repaints.
    form.SetLayeredRect(QRect(300, 150, 90, 60), true);
    EXPECT_EQ(form.paints, 2);
    EXPECT_EQ(state->inputRegions[form.winId()], QList<QRect>{QRect(10, 12, 90, 60)});

    form.SetAcceptsMouse(false);
    EXPECT_TRUE(form.windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
    form.SetAcceptsMouse(true);
    EXPECT_FALSE(form.windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(form.isVisible()) << "changing click-through must not hide the window";
}

TEST(LayeredForm, ConstantAlphaIsAlphaValueTimesAlphaScale) {
    TTestForm form;
    form.SetAlphaValue(200);
    form.AlphaScale = 128;
    EXPECT_EQ(form.ConstantAlpha(), 100);
    form.SetAlphaValue(400);
    EXPECT_EQ(form.AlphaValue(), 255);
}

// --- animated showing and hiding -------------------------------------------------------------

TEST(LayeredFormEx, HidingIsClickThroughAtOnceAndClosesAtTheEnd) {
    TTestForm form;
    form.OwnAnimDriver = true;
    form.SetLayeredRect(QRect(10, 10, 60, 40), false);
    form.show();
    ASSERT_TRUE(form.AcceptsMouse());
    form.SetVisibleAnim(false);
    EXPECT_FALSE(form.AcceptsMouse());
    EXPECT_FALSE(form.VisibleAnim());
    EXPECT_TRUE(form.windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
    for (int i = 0; i < 16; ++i)
        form.AnimTick(24);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Animating);
    form.AnimTick(24); // 17 ticks of 24 ms at 0.0025 per ms pass 1
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Animating);
    EXPECT_EQ(form.AnimProgress, 1.0f);
}

TEST(LayeredFormEx, ReversingAFadeKeepsItsProgress) {
    TTestForm form;
    form.OwnAnimDriver = true;
    form.show();
    form.SetVisibleAnim(false);
    for (int i = 0; i < 8; ++i)
        form.AnimTick(24);
    const float midway = form.AnimProgress;
    EXPECT_NEAR(midway, 8 * 24 * 0.0025, 1e-5);
    form.SetVisibleAnim(true);
    EXPECT_EQ(form.AnimProgress, midway);
    EXPECT_LT(form.AnimVelocity, 0);
    EXPECT_TRUE(form.VisibleAnim());
    EXPECT_TRUE(form.AcceptsMouse());
    while (form.Animating)
        form.AnimTick(24);
    EXPECT_EQ(form.AnimProgress, 0.0f);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
}

TEST(LayeredFormEx, PaintAppliesTheFrameOfTheProgress) {
    TTestForm form;
    form.OwnAnimDriver = true;
    form.SetLayeredRect(QRect(0, 0, 560, 360), false);
    form.show();
    form.AnimProgress = 0.4f;
    form.RepaintAll();
    EXPECT_EQ(form.AlphaScale, 128);
    form.AnimProgress = 0;
    form.RepaintAll();
    EXPECT_EQ(form.AlphaScale, 256);
    EXPECT_EQ(form.Surface.PixelPtr(140, 90)[3], 255) << "the shown picture is the plain paint";
    EXPECT_EQ(form.Surface.PixelPtr(139, 89)[3], 0);
}

TEST(LayeredFormEx, SharedTimerDrivesShowingAndHiding) {
    TTestForm form;
    form.SetLayeredRect(QRect(10, 10, 40, 30), false);
    form.SetVisibleAnim(true);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Animating);
    EXPECT_LT(form.AnimProgress, 1.0f) << "one step runs at once";
    EXPECT_EQ(TLayeredFormEx::AnimTimer().Interval(), 24);
    EXPECT_TRUE(TLayeredFormEx::AnimTimer().NoOverflow());
    ASSERT_TRUE(RunUntil([&] { return !form.Animating; }, 3000));
    EXPECT_EQ(form.AnimProgress, 0.0f);
    EXPECT_EQ(TLayeredFormEx::AnimTimer().ClientCount(), 0);
    form.SetVisibleAnim(false);
    ASSERT_TRUE(RunUntil([&] { return !form.isVisible(); }, 3000));
    EXPECT_FALSE(TLayeredFormEx::AnimTimer().Enabled());
}

TEST(LayeredFormEx, DestroyingAnAnimatingFormLeavesTheSharedTimer) {
    auto* form = new TTestForm;
    form->show();
    form->SetVisibleAnim(false);
    EXPECT_EQ(TLayeredFormEx::AnimTimer().ClientCount(), 1);
    delete form;
    EXPECT_EQ(TLayeredFormEx::AnimTimer().ClientCount(), 0);
    EXPECT_FALSE(TLayeredFormEx::AnimTimer().Enabled());
}

// --- what the window shows and how the mouse moves it ----------------------------------------

TEST(LayeredForm, ShownPixelsAreTheSurfaceTimesTheConstantAlpha) {
    TTestForm form;
    form.AnimStyle = 0;
    form.SetLayeredRect(QRect(0, 0, 40, 40), false);
    form.show();
    form.SetAlphaValue(128);
    const QImage shown = form.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRgb inside = shown.pixel(20, 20), outside = shown.pixel(2, 2);
    EXPECT_NEAR(qAlpha(inside), 128, 1);
    EXPECT_NEAR(qRed(inside), 128, 1);
    EXPECT_EQ(qAlpha(outside), 0);
}

static void SendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button,
                      Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent e(type, QPointF(global - w->geometry().topLeft()), QPointF(global), button, buttons, mods);
    QCoreApplication::sendEvent(w, &e);
}

TEST(LayeredForm, DragMovesTheWindowAndModifiersLockAnAxis) {
    InstallFakePlatform();
    struct TCase {
        Qt::KeyboardModifiers mods;
        QPoint expected;
    };
    for (TCase c : {TCase{Qt::NoModifier, QPoint(130, 120)}, TCase{Qt::AltModifier, QPoint(100, 120)},
                    TCase{Qt::ShiftModifier, QPoint(130, 100)}}) {
        TTestForm form;
        form.SetShadowMargins(QMargins(5, 5, 5, 5));
        form.SetLayeredRect(QRect(100, 100, 60, 40), false);
        form.show();
        SendMouse(&form, QEvent::MouseButtonPress, QPoint(120, 110), Qt::LeftButton);
        EXPECT_EQ(form.DragZone(), hzMove);
        SendMouse(&form, QEvent::MouseMove, QPoint(150, 130), Qt::NoButton, c.mods);
        SendMouse(&form, QEvent::MouseButtonRelease, QPoint(150, 130), Qt::LeftButton);
        EXPECT_EQ(form.DragZone(), hzNone);
        EXPECT_EQ(form.LayeredRect(), QRect(c.expected, QSize(60, 40))) << int(c.mods);
        EXPECT_EQ(form.geometry().topLeft(), c.expected - QPoint(5, 5));
    }
}

TEST(WPForm, PlainBackgroundThenOnPaint) {
    TWPForm form;
    form.resize(30, 20);
    form.Color = QColor(10, 200, 30);
    bool painted = false;
    form.OnPaint = [&](TWPForm*, QPainter& p) {
        painted = true;
        p.fillRect(QRect(0, 0, 2, 2), Qt::red);
    };
    const QImage shown = form.grab().toImage();
    EXPECT_TRUE(painted);
    EXPECT_EQ(shown.pixel(15, 10) & 0xFFFFFF, 0x0AC81Eu);
    EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, 0xFF0000u) << "OnPaint draws over the background";
}

TEST(LayeredFormEx, AnimationThatEndsInItsFirstStepLeavesNoDriverBehind) {
    TTestForm form;
    form.AnimSpeed = 100;
    form.show();
    form.SetVisibleAnim(false);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Animating);
    EXPECT_EQ(TLayeredFormEx::AnimTimer().ClientCount(), 0);
    EXPECT_FALSE(TLayeredFormEx::AnimTimer().Enabled());
}

TEST(LayeredFormEx, WithoutATimerShowingAndHidingHappenAtOnce) {
    TLayeredFormEx::SetAnimInterval(-1); // the shared timer cannot start
    TTestForm form;
    form.SetVisibleAnim(true);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.Animating);
    EXPECT_EQ(form.AnimProgress, 0.0f);
    form.SetVisibleAnim(false);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Animating);
    TLayeredFormEx::SetAnimInterval(24);
    EXPECT_EQ(TLayeredFormEx::AnimTimer().Interval(), 24);
}

TEST(LayeredForm, WithoutACompositorTheWindowIsCutToItsOpaquePixelsUntilOneStarts) {
    auto state = InstallFakePlatform();
    state->compositor = false;
    TTestForm form;
    form.AnimStyle = 0;
    form.SetLayeredRect(QRect(0, 0, 40, 40), false);
    form.SetAlphaValue(128);
    form.show();
    const quintptr window = form.winId();
    EXPECT_EQ(state->visibleRegions.value(window), QList<QRect>{QRect(10, 10, 20, 20)});
    // Nothing blends the window: a constant alpha would only darken the cut picture.
    QImage shown = form.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(qAlpha(shown.pixel(20, 20)), 255);

    // A new picture brings a new cut; the same picture pushed again sends nothing.
    form.SetLayeredRect(QRect(0, 0, 80, 40), true);
    EXPECT_EQ(state->visibleRegions.value(window), QList<QRect>{QRect(20, 10, 40, 20)});
    const int calls = state->visibleRegionCalls;
    form.SetLayeredRect(QRect(5, 5, 80, 40), true);
    form.RepaintAll();
    EXPECT_EQ(state->visibleRegionCalls, calls);

    // A compositor starts: the whole window, blended at its constant alpha.
    state->SetCompositor(true);
    EXPECT_FALSE(state->visibleRegions.contains(window));
    shown = form.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_NEAR(qAlpha(shown.pixel(40, 20)), 128, 1);
    form.RepaintAll();
    EXPECT_FALSE(state->visibleRegions.contains(window));
    // It stops: cut again at the next picture shown.
    state->SetCompositor(false);
    ASSERT_TRUE(RunUntil([&] { return state->visibleRegions.contains(window); }, 2000));
    EXPECT_EQ(state->visibleRegions.value(window), QList<QRect>{QRect(20, 10, 40, 20)});
}
