// The ways a capture starts: the whole desktop, the active window, the magnifier (at zoom 8), and the
// region of the last capture taken again without the overlay. The first three numbers are the capture
// keys' identifiers; all four are the modes of the command line, the request line and the bus. Plain C++: the
// launcher's command line reads them before any library of the program loads.
#pragma once

#include <optional>

enum class TCaptureMode : int { Desktop = 0, Window = 1, Magnifier = 2, LastRegion = 3 };

// The mode of a number; none for any other number.
inline std::optional<TCaptureMode> CaptureModeFromInt(int mode) {
    if (mode < int(TCaptureMode::Desktop) || mode > int(TCaptureMode::LastRegion)) return std::nullopt;
    return TCaptureMode(mode);
}
