// The thumbnail card's motion with injected time: resting place, scale, alpha, glide, sway.
#include "ThumbMotion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QRect kMonitor(0, 0, 1920, 1080);

struct RestCase {
    const char* name;
    QRect owner, monitor;
    double hw, hh;
    bool fading;
    QPointF expected;
};

class ThumbRestTargetTest : public ::testing::TestWithParam<RestCase> {};

TEST_P(ThumbRestTargetTest, SideAndClamps) {
    const RestCase& c = GetParam();
    const QPointF t = ThumbRestTarget(c.owner, c.monitor, c.hw, c.hh, c.fading);
    EXPECT_DOUBLE_EQ(t.x(), c.expected.x());
    EXPECT_DOUBLE_EQ(t.y(), c.expected.y());
}

// Card 400 x 300 at actual size: hw 200, hh 150; lo = 190, hi = 890 on a 1080-pixel monitor.
INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbRestTargetTest,
    ::testing::Values(
        RestCase{"OwnerLeftCardRight", QRect(100, 400, 300, 200), kMonitor, 200, 150, false, {1672, 500}},
        RestCase{"OwnerRightCardLeft", QRect(1500, 400, 300, 200), kMonitor, 200, 150, false, {248, 500}},
        RestCase{"ExactlyCentredGoesLeft", QRect(810, 400, 300, 200), kMonitor, 200, 150, false, {248, 500}},
        RestCase{"OddWidthHalvedDown", QRect(810, 400, 301, 200), kMonitor, 200, 150, false, {248, 500}},
        RestCase{"OnePixelLeftOfCentre", QRect(809, 400, 300, 200), kMonitor, 200, 150, false, {1672, 500}},
        RestCase{"SecondMonitor",
                 QRect(2000, 300, 300, 200),
                 QRect(1920, 0, 1280, 1024),
                 200,
                 150,
                 false,
                 {2952, 400}},
        RestCase{"NegativeMonitor",
                 QRect(-300, 300, 200, 200),
                 QRect(-1280, 0, 1280, 1024),
                 100,
                 50,
                 false,
                 {-1132, 400}},
        RestCase{"TopClamp", QRect(100, 0, 300, 100), kMonitor, 200, 150, false, {1672, 190}},
        RestCase{"BottomClamp", QRect(100, 1000, 300, 200), kMonitor, 200, 150, false, {1672, 890}},
        RestCase{"AtLo", QRect(100, 140, 300, 100), kMonitor, 200, 150, false, {1672, 190}},
        RestCase{"TallCardCentreAboveLo", QRect(100, 400, 300, 200), kMonitor, 200, 600, false, {1672, 640}},
        RestCase{"TallCardCentreBelowLo", QRect(100, 600, 300, 200), kMonitor, 200, 600, false, {1672, 440}},
        RestCase{"FadingDrops110", QRect(100, 400, 300, 200), kMonitor, 200, 150, true, {1672, 610}},
        RestCase{
            "FadingBelowBottomClamp", QRect(100, 1000, 300, 200), kMonitor, 200, 150, true, {1672, 1000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ThumbMotion, DragTargetHangsBelowRightOfPointer) {
    const QPointF t = ThumbDragTarget(QPoint(500, 300), 50, 37.5);
    EXPECT_DOUBLE_EQ(t.x(), 520);
    EXPECT_DOUBLE_EQ(t.y(), 397.5);
}

TEST(ThumbMotion, AlphaAtRestAndInTheDrag) {
    EXPECT_EQ(ThumbAlpha(0.5), 255);
    EXPECT_EQ(ThumbAlpha(0.125), 233);          // 22.5 rounds to even
    EXPECT_EQ(ThumbAlpha(0.5 - 0.5 / 60), 254); // 0.5 rounds to even: 0
    EXPECT_EQ(ThumbAlpha(0.5 - 1.5 / 60), 253); // 1.5 rounds to even: 2
}

TThumbInputs RestInputs(QRect owner = QRect(100, 400, 300, 200)) {
    TThumbInputs in;
    in.owner = owner;
    in.monitor = kMonitor;
    return in;
}

TEST(ThumbMotion, StartsExactlyAtTheOriginAndGlidesWithoutAJump) {
    TThumbMotion m;
    m.Start(QPointF(700.5, 300.25), QSize(400, 300));
    EXPECT_EQ(m.Centre, QPointF(700.5, 300.25));
    EXPECT_EQ(m.WindowRect, QRect(500, 150, 400, 300)); // 500.5 and 900.5 round to even
    const TThumbInputs in = RestInputs();
    const QPointF target = ThumbRestTarget(in.owner, in.monitor, 200, 150, false);
    m.Step(1, 16, in);
    EXPECT_NEAR(m.Centre.x() - 700.5, (target.x() - 700.5) * 0.003206, 0.01);
    EXPECT_NEAR(m.Centre.y() - 300.25, (target.y() - 300.25) * 0.003206, 0.01);
    double last = m.Centre.x();
    for (int i = 1; i < 80; ++i) {
        m.Step(1, 16, in);
        EXPECT_GE(m.Centre.x(), last); // heading right, never back
        EXPECT_LE(m.Centre.x(), target.x() + 1e-9);
        last = m.Centre.x();
    }
    // Settled to 0.03 % after 80 ticks.
    EXPECT_NEAR(m.Centre.x(), target.x(), 0.0003 * std::abs(target.x() - 700.5));
    EXPECT_NEAR(m.Centre.y(), target.y(), 0.0003 * std::abs(target.y() - 300.25) + 1e-9);
}

TEST(ThumbMotion, StallOfFiveTicksAdvancesSixStepsAtRest) {
    TThumbMotion once, steps;
    once.Start(QPointF(900, 500), QSize(400, 300));
    steps = once;
    const TThumbInputs in = RestInputs();
    once.Step(6, 16, in);
    for (int i = 0; i < 6; ++i)
        steps.Step(1, 16, in);
    EXPECT_DOUBLE_EQ(once.Time, 96);
    EXPECT_DOUBLE_EQ(steps.Time, 96);
    EXPECT_DOUBLE_EQ(once.Centre.x(), steps.Centre.x());
    EXPECT_DOUBLE_EQ(once.Centre.y(), steps.Centre.y());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(once.ScreenQuad[i], steps.ScreenQuad[i]);
    EXPECT_EQ(once.WindowRect, steps.WindowRect);
}

TEST(ThumbMotion, StallInTheDragShrinksSixStepsAtOnce) {
    TThumbMotion m;
    m.Start(QPointF(900, 500), QSize(400, 300));
    TThumbInputs in = RestInputs();
    in.dragging = true;
    in.pointer = QPoint(300, 200);
    m.Step(6, 16, in);
    const double expected = 0.125 + 0.375 * std::pow(0.75, 6);
    EXPECT_DOUBLE_EQ(m.Scale, expected);
    EXPECT_DOUBLE_EQ(m.HalfExtent.x(), expected * 400);
    EXPECT_EQ(m.Alpha, 255 - int(std::nearbyint((0.5 - expected) * 60)));
    // The target was taken once, with the scale reached, and the filter ran six times toward it.
    EXPECT_EQ(m.Target, ThumbDragTarget(QPoint(300, 200), expected * 400, expected * 300));
    TFollowState x;
    TFollowParams p;
    FollowStart(p, x, 50, 900);
    double px = 0;
    for (int i = 0; i < 6; ++i)
        px = FollowStep(p, x, m.Target.x());
    EXPECT_DOUBLE_EQ(m.Centre.x(), px);
    for (int i = 0; i < 60; ++i)
        m.Step(1, 16, in);
    EXPECT_NEAR(m.Scale, 0.125, 1e-6);
    EXPECT_EQ(m.Alpha, 233);
}

TEST(ThumbMotion, ZeroPeriodsOnlyRedrawsTheCorners) {
    TThumbMotion m;
    m.Start(QPointF(900, 500), QSize(400, 300));
    m.Step(3, 16, RestInputs());
    const TThumbMotion before = m;
    m.Step(0, 16, RestInputs(QRect(1500, 0, 10, 10)));
    EXPECT_EQ(m.Centre, before.Centre);
    EXPECT_EQ(m.Scale, before.Scale);
    EXPECT_EQ(m.Time, before.Time);
}

TEST(ThumbMotion, WindowQuadIsScreenQuadRelativeToTheWindow) {
    TThumbMotion m;
    m.Start(QPointF(900, 500), QSize(401, 299));
    for (int i = 0; i < 37; ++i)
        m.Step(1 + i % 3, 16, RestInputs());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m.WindowQuad[i], m.ScreenQuad[i] - QPointF(m.WindowRect.topLeft()));
        EXPECT_GE(m.WindowQuad[i].x(), -0.5);
        EXPECT_GE(m.WindowQuad[i].y(), -0.5);
        EXPECT_LE(m.WindowQuad[i].x(), m.WindowRect.width() + 0.5);
        EXPECT_LE(m.WindowQuad[i].y(), m.WindowRect.height() + 0.5);
    }
}

TEST(ThumbSway, AtTimeZeroTheCardIsUpright) {
    const QPointF o(100, 100);
    const double h = 1.5707963267948966;
    const QPointF corners[4] = {{-50, -30}, {50, -30}, {50, 30}, {-50, 30}};
    for (int i = 0; i < 4; ++i) {
        const QPointF p = SwayCorner(o + corners[i], o, i < 2 ? h : -h, 0);
        EXPECT_NEAR(p.x(), o.x() + corners[i].x(), 1e-3) << i;
        EXPECT_NEAR(p.y(), o.y() + corners[i].y(), 1e-3) << i;
    }
}

TEST(ThumbSway, StaysWithinItsBoundsAndReachesThem) {
    const QPointF o(500, 400);
    const double hw = 200, hh = 150, r = std::hypot(hw, hh), h = 1.5707963267948966;
    const QPointF corners[4] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
    double maxRise = 0, minRise = 1e9, maxTilt = 0;
    for (double t = 0; t < 16000; t += 3.7) {
        QPointF p[4];
        for (int i = 0; i < 4; ++i) {
            p[i] = SwayCorner(o + corners[i], o, i < 2 ? h : -h, t);
            EXPECT_LE(std::abs(p[i].x() - o.x()), 1.06 * r + 0.01);
            EXPECT_LE(std::abs(p[i].y() - o.y()), r + 0.01);
        }
        // The card as a whole only rises (up to 12 % of its half height), never sinks.
        const double rise = o.y() - (p[0].y() + p[1].y() + p[2].y() + p[3].y()) / 4;
        maxRise = std::max(maxRise, rise);
        minRise = std::min(minRise, rise);
        // The tilt of the line through the middles of the left and right edges.
        const QPointF l = (p[0] + p[3]) / 2, rr = (p[1] + p[2]) / 2;
        maxTilt = std::max(maxTilt, std::abs(std::atan2(l.y() - rr.y(), rr.x() - l.x())));
    }
    EXPECT_GE(minRise, -0.01);
    EXPECT_LE(maxRise, 0.12 * hh + 0.01);
    EXPECT_GT(maxRise, 0.11 * hh);
    const double pi35 = 3.14159265358979 / 35;
    EXPECT_LE(maxTilt, pi35 + 0.005);
    EXPECT_GT(maxTilt, pi35 * 0.9);
}

TEST(ThumbGeometry, QuadBoundsRoundEachExtreme) {
    const TQuad q = {QPointF(10.4, 20.6), QPointF(30.5, 19.5), QPointF(31.49, 40.5), QPointF(9.6, 41.5)};
    // Ties go to even: top 19.5 -> 20, bottom 41.5 -> 42; left 9.6 -> 10, right 31.49 -> 31.
    EXPECT_EQ(QuadBounds(q), QRect(QPoint(10, 20), QPoint(30, 41)));
}

TEST(ThumbGeometry, MonitorOfAWindow) {
    const QList<QRect> monitors{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)};
    EXPECT_EQ(MonitorOf(QRect(100, 100, 300, 200), monitors), monitors[0]);
    EXPECT_EQ(MonitorOf(QRect(1200, 100, 300, 200), monitors), monitors[1]); // mostly on the right
    EXPECT_EQ(MonitorOf(QRect(1100, 100, 300, 200), monitors), monitors[0]);
    EXPECT_EQ(MonitorOf(QRect(4000, 100, 300, 200), monitors), monitors[1]); // off screen: nearest
    EXPECT_EQ(MonitorOf(QRect(-900, 100, 300, 200), monitors), monitors[0]);
    EXPECT_TRUE(MonitorOf(QRect(0, 0, 10, 10), {}).isEmpty());
}

} // namespace
