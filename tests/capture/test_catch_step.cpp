// The worker's steps without a window: strokes following the pointer, the help card's fade and the
// zoom and pan glide.
#include "CatchStep.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr QSize Image(200, 100);

CaptureShape FollowingFrom(TPointD start, double timeConstant) {
    CaptureShape s;
    s.Kind = skFollowing;
    s.Pen = s.Target = start;
    FollowStart(s.FollowParams[0], s.FollowState[0], timeConstant, start.x);
    FollowStart(s.FollowParams[1], s.FollowState[1], timeConstant, start.y);
    return s;
}

TEST(CatchStepStrokes, TheActivePenFollowsThePointerAndTheReleasedStrokeCatchesUpAndFinishes) {
    std::vector<CaptureShape> shapes{FollowingFrom({20.5, 20.5}, 15)};
    QRect repainted;
    for (int c = 0; c < 20; ++c)
        repainted |= StepStrokes(shapes, 0, TPointD{120.5, 60.5}, 6, Image);
    CaptureShape& s = shapes[0];
    ASSERT_GT(s.Points.size(), 10u);
    EXPECT_GT(s.Pen.x, 20.5);
    EXPECT_LT(s.Pen.x, 120.5);
    // Everything drawn so far lies in what was asked to be repainted (the pen's margin around it).
    for (const TPointD& q : s.Points)
        EXPECT_TRUE(repainted.contains(RoundEven(q.x), RoundEven(q.y))) << q.x << "," << q.y;
    EXPECT_TRUE(s.Bounds.ToRect().contains(repainted.intersected(QRect(QPoint(0, 0), Image))));

    // Released (no active shape): it goes on towards its last target until it has caught up.
    int cycles = 0;
    while (s.Kind == skFollowing && cycles < 1000) {
        StepStrokes(shapes, -1, TPointD{0.5, 0.5}, 6, Image);
        ++cycles;
    }
    EXPECT_EQ(s.Kind, skFinished);
    EXPECT_NEAR(s.Points.back().x, 120.5, PenCaughtUpDistance);
    EXPECT_NEAR(s.Points.back().y, 60.5, PenCaughtUpDistance);
    const size_t n = s.Points.size();
    EXPECT_TRUE(StepStrokes(shapes, -1, TPointD{0.5, 0.5}, 6, Image).isEmpty()) << "a finished stroke rests";
    EXPECT_EQ(s.Points.size(), n);
}

TEST(CatchStepStrokes, APointerNearThePenAddsNothingAndRectanglesAreLeftToTheMouse) {
    CaptureShape rectangle;
    rectangle.Kind = skRectangle;
    rectangle.Points.assign(4, TPointD{5.5, 5.5});
    std::vector<CaptureShape> shapes{rectangle, FollowingFrom({50.5, 50.5}, 10)};
    EXPECT_TRUE(StepStrokes(shapes, 1, TPointD{51.5, 51.5}, 6, Image, 5).isEmpty());
    EXPECT_TRUE(shapes[1].Points.empty());
    EXPECT_EQ(shapes[0].Points.size(), 4u);
    // Several cycles at once are the same as one at a time.
    std::vector<CaptureShape> stepped = shapes, batched = shapes;
    QRect one;
    for (int c = 0; c < 7; ++c)
        one |= StepStrokes(stepped, 1, TPointD{190.5, 95.5}, 6, Image);
    EXPECT_EQ(StepStrokes(batched, 1, TPointD{190.5, 95.5}, 6, Image, 7), one);
    EXPECT_EQ(batched[1].Points, stepped[1].Points);
    // Repaints near the edge stay inside the image.
    EXPECT_TRUE(QRect(QPoint(0, 0), Image).contains(one));
}

TEST(CatchStepFade, TheCardFadesOnlyOnceBegunAndIsGoneAfterHalfASecond) {
    int elapsed = -1, alpha = 255;
    EXPECT_FALSE(StepHelpCardFade(elapsed, alpha, 10));
    EXPECT_EQ(alpha, 255);
    elapsed = 0;
    ASSERT_TRUE(StepHelpCardFade(elapsed, alpha));
    EXPECT_EQ(alpha, int(std::nearbyint(255 - 255 * std::log(1.2) / std::log(11.0))));
    int last = alpha, cycles = 1;
    while (alpha > 0 && cycles < 100) {
        StepHelpCardFade(elapsed, alpha);
        EXPECT_LE(alpha, last);
        last = alpha;
        ++cycles;
    }
    EXPECT_EQ(cycles, 50);
    EXPECT_EQ(elapsed, 500);
    EXPECT_FALSE(StepHelpCardFade(elapsed, alpha)) << "a faded card needs no more repaints";
}

TEST(CatchStepView, TheGlideSettlesExactlyOnItsTargetAndThenRests) {
    TViewGlide v{1, QPointF(0, 0), 8, QPointF(700.0, -300.0)};
    ASSERT_TRUE(StepView(v));
    EXPECT_DOUBLE_EQ(v.zoom, 1 + 7 * ViewStepShare);
    int cycles = 1;
    while (StepView(v) && cycles < 1000)
        ++cycles;
    EXPECT_LT(cycles, 100);
    EXPECT_EQ(v.zoom, 8);
    EXPECT_EQ(v.offset.x(), 700.0);
    EXPECT_EQ(v.offset.y(), -300.0);
    // Back to zoom 1: it lands on 1 as soon as it is within a tenth of it and the pan has arrived.
    v.targetZoom = 1;
    v.targetOffset = QPointF(0, 0);
    StepView(v, 1000);
    EXPECT_EQ(v.zoom, 1);
    EXPECT_EQ(v.offset, QPointF(0, 0));
}

} // namespace
