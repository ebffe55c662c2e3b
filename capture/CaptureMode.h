// The ways a capture starts: the whole desktop, the active window, the magnifier (at zoom 8), the text
// capture (the selection's text is recognised instead of keeping a picture), and the region of the last
// capture taken again without the overlay. The first three numbers are the capture keys' identifiers;
// all are the modes of the command line, the request line and the bus. Plain C++: the launcher's command line
// reads them before any library of the program loads.
#pragma once

#include <optional>

enum class TCaptureMode : int { Desktop = 0, Window = 1, Magnifier = 2, Text = 3, LastRegion = 4 };

// The mode of a number; none for any other number.
inline std::optional<TCaptureMode> CaptureModeFromInt(int mode) {
    switch (TCaptureMode(mode)) {
    case TCaptureMode::Desktop:
    case TCaptureMode::Window:
    case TCaptureMode::Magnifier:
    case TCaptureMode::Text:
    case TCaptureMode::LastRegion:
        return TCaptureMode(mode);
    }
    return std::nullopt;
}
