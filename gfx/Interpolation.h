// How the image library's resamplers read between source pixels.
#pragma once

#include <optional>

// The values are the library's long-standing numbering; a number from outside (a fuzzer's input, say)
// becomes one through InterpolationFromInt.
enum class TInterpolation : int { Nearest = 1, Linear = 2, Cubic = 4, SuperSampling = 8, Lanczos = 16 };

// The interpolation a number names; nothing for a number that names none. The resizers refuse a value
// outside the enumeration, checked here too.
constexpr std::optional<TInterpolation> InterpolationFromInt(int value) {
    switch (value) {
    case int(TInterpolation::Nearest):
    case int(TInterpolation::Linear):
    case int(TInterpolation::Cubic):
    case int(TInterpolation::SuperSampling):
    case int(TInterpolation::Lanczos):
        return TInterpolation(value);
    default:
        return std::nullopt;
    }
}

// The zoomed view's interpolation after the middle button: nearest and cubic alternate, anything
// else becomes cubic.
constexpr TInterpolation NextZoomInterpolation(TInterpolation mode) {
    return mode == TInterpolation::Cubic ? TInterpolation::Nearest : TInterpolation::Cubic;
}
