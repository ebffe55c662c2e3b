#pragma once

// Pieces of parameterised test names, which may hold only ASCII letters, digits and underscores.

#include "Interpolation.h"

#include <sstream>
#include <string>

// A number as part of a test name: "-3.5" becomes "Minus3p5".
inline std::string NamePart(double v) {
    std::ostringstream s;
    s << v;
    std::string out;
    for (const char c : s.str()) {
        if (c == '-')
            out += "Minus";
        else if (c == '.')
            out += 'p';
        else
            out += c;
    }
    return out;
}

// The interpolation modes of the resampling code, by name.
inline std::string InterpolationName(TInterpolation mode) {
    switch (mode) {
    case TInterpolation::Nearest:
        return "Nearest";
    case TInterpolation::Linear:
        return "Linear";
    case TInterpolation::Cubic:
        return "Cubic";
    case TInterpolation::SuperSampling:
        return "SuperSampling";
    case TInterpolation::Lanczos:
        return "Lanczos";
    default:
        return "Mode" + NamePart(int(mode));
    }
}
