// The command line: the word /TRAY in any case and position, and GNU-style options beside it that
// ask for a capture or the settings, print help or the version. What a start asks of the program is
// also what it hands to a copy already running, as one request line. Plain C++ without Qt: the
// launcher that hands a request over reads the command line before any library of the program loads.
#pragma once

#include "CaptureMode.h"

#include <string>
#include <vector>

// The longest wait before a capture that a request may ask for (--delay, the bus).
inline constexpr int kMaxCaptureDelayMs = 3600 * 1000;

struct TCommandLine {
    enum class TAction { None, Capture, Settings, Help, Version, Error };
    TAction action = TAction::None;
    bool tray = false; // /TRAY (any case) or --tray: start quietly in the tray
    TCaptureMode mode = TCaptureMode::Desktop;
    int delayMs = 0;   // --delay, with --capture only
    std::string error; // one line for stderr when action is Error

    // The request a running copy is handed: "capture MODE DELAY_MS", "settings", or "forward".
    std::string Request() const;
};

// True when any argument equals "/TRAY", compared case-insensitively (ASCII); others are ignored.
bool HasTrayWord(const std::vector<std::string>& arguments);

// Reads the arguments (raw bytes, the program name left out). Anything that is not an option of its
// own and not /TRAY is ignored; an unknown "--" option, a bad value or --delay without --capture is
// an error.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// A request line as Request() writes it; false for anything else (it is then ignored).
bool ParseRequest(const std::string& request, TCommandLine& out);

// The text of --help (stdout) and --version.
const char* UsageText();
std::string VersionText();
// Answers the command lines that start nothing (--help, --version, a mistake) on the standard
// streams and gives the exit status; -1 for every other command line.
int AnswerWithoutStarting(const TCommandLine& command);
