// The follow filter: three cascaded one-pole smoothers working on the distance from a base value.
// Pen strokes and lasso outlines trail the mouse through it; the thumbnail's flight uses it too.
#pragma once

#include <cmath>

enum class TFollowKind : int { None = 0, ThreeStage = 3 };

struct TFollowParams {
    TFollowKind kind = TFollowKind::None;
    double k = 0;         // per-step coefficient
    double reserved[5]{}; // room for other filter kinds
};

struct TFollowState {
    double s[3]{}; // stage values, relative to base
    double base = 0;
};

// k = exp(ln(0.01) / max(T / sqrt(3), 1)) for a time constant of T steps.
double FollowCoefficient(double timeConstant);
// Three-stage kind with time constant T, started at `start` (stages 0, base = start).
void FollowStart(TFollowParams& params, TFollowState& state, double timeConstant, double start);
// One step toward input x; returns the new output. A filter of kind None passes x through.
double FollowStep(const TFollowParams& params, TFollowState& state, double x);
