#include "FollowFilter.h"

#include <algorithm>

double FollowCoefficient(double timeConstant) {
    return std::exp(std::log(0.01) / std::max(timeConstant / std::sqrt(3.0), 1.0));
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
