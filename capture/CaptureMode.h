// The three ways a capture starts: the whole desktop, the active window, the magnifier (at zoom 8).
// Their numbers are the capture keys' identifiers and the modes of the command line, the request line
// and the bus. Plain C++: the launcher's command line reads them before any library of the program loads.
#pragma once

#include <optional>

enum class TCaptureMode : int { Desktop = 0, Window = 1, Magnifier = 2 };

// The mode of a number; none for any other number.
inline std::optional<TCaptureMode> CaptureModeFromInt(int mode) {
    if (mode < int(TCaptureMode::Desktop) || mode > int(TCaptureMode::Magnifier)) return std::nullopt;
    return TCaptureMode(mode);
}
