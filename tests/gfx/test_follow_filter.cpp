#include "FollowFilter.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(FollowFilter, CoefficientsOfTheTimeConstants) {
    EXPECT_NEAR(FollowCoefficient(10), 0.4504, 5e-5); // ink
    EXPECT_NEAR(FollowCoefficient(15), 0.5876, 5e-5); // lasso: trails more
    EXPECT_DOUBLE_EQ(FollowCoefficient(1), 0.01);     // below sqrt(3) the divisor is 1
    EXPECT_DOUBLE_EQ(FollowCoefficient(0), 0.01);
}

TEST(FollowFilter, FirstStepIsThreeCascadedPoles) {
    TFollowParams p;
    TFollowState s;
    FollowStart(p, s, 10, 0);
    const double k = p.k;
    EXPECT_DOUBLE_EQ(FollowStep(p, s, 10), 10 * (1 - k) * (1 - k) * (1 - k));
    // Second step, worked out by hand from the three stages.
    const double s0 = 10 * (1 - k), s1 = s0 * (1 - k), s2 = s1 * (1 - k);
    const double t0 = 10 + k * (s0 - 10), t1 = t0 + (s1 - t0) * k, t2 = t1 + (s2 - t1) * k;
    EXPECT_DOUBLE_EQ(FollowStep(p, s, 10), t2);
}

TEST(FollowFilter, WorksRelativeToItsStartAndCatchesUpWithoutOvershoot) {
    for (double T : {10.0, 15.0}) {
        TFollowParams p;
        TFollowState s;
        FollowStart(p, s, T, 1000.5);
        EXPECT_DOUBLE_EQ(FollowStep(p, s, 1000.5), 1000.5) << "a pen resting on the mouse stays";
        double last = 1000.5;
        int steps = 0;
        while (std::abs(1100.5 - last) >= 0.25 && steps < 1000) {
            const double v = FollowStep(p, s, 1100.5);
            EXPECT_GE(v, last) << "monotone approach";
            EXPECT_LE(v, 1100.5) << "no overshoot";
            last = v;
            ++steps;
        }
        // A 100-pixel jump is caught up within a fraction of a second of 10 ms cycles.
        EXPECT_LT(steps, T == 10 ? 30 : 45) << T;
        EXPECT_GT(steps, 5) << T;
    }
}

TEST(FollowFilter, LassoTrailsMoreThanInk) {
    TFollowParams pi, pl;
    TFollowState si, sl;
    FollowStart(pi, si, 10, 0);
    FollowStart(pl, sl, 15, 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_GT(FollowStep(pi, si, 50), FollowStep(pl, sl, 50));
}

TEST(FollowFilter, NoneKindPassesThrough) {
    TFollowParams p;
    TFollowState s;
    EXPECT_EQ(FollowStep(p, s, 42.5), 42.5);
}
