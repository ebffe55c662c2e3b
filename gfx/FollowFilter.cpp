#include "FollowFilter.h"

#include <algorithm>

namespace {

// Each stage keeps this part of a step once it has run its share of the time constant.
constexpr double kStageRemainder = 0.01;
// The stages of the cascade: their settling times add about as a root sum of squares, so each stage
// gets the time constant over the square root of their number.
constexpr double kStageCount = 3.0;
// A stage takes at least one step to settle.
constexpr double kLeastStageSteps = 1.0;

} // namespace

double FollowCoefficient(double timeConstant) {
    return std::exp(std::log(kStageRemainder) /
                    std::max(timeConstant / std::sqrt(kStageCount), kLeastStageSteps));
}

void FollowStart(TFollowParams& params, TFollowState& state, double timeConstant, double start) {
    params = TFollowParams{};
    params.kind = TFollowKind::ThreeStage;
    params.k = FollowCoefficient(timeConstant);
    state = TFollowState{};
    state.base = start;
}

double FollowStep(const TFollowParams& params, TFollowState& state, double x) {
    if (params.kind != TFollowKind::ThreeStage) return x;
    const double k = params.k;
    const double b = x - state.base;
    state.s[0] = b + k * (state.s[0] - b);
    state.s[1] = state.s[0] + (state.s[1] - state.s[0]) * k;
    state.s[2] = state.s[1] + (state.s[2] - state.s[1]) * k;
    return state.base + state.s[2];
}
