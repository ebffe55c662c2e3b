// The command line: the word /TRAY in any case and position, and GNU-style options beside it that
// ask for a capture, the settings or the history, print help or the version. What a start asks of the program
// is also what it hands to a copy already running, as one request line. Plain C++ without Qt: the launcher
// that hands a request over reads the command line before any library of the program loads.
#pragma once

#include "CaptureMode.h"

#include <functional>
#include <string>
#include <vector>

// Looks one of the texts below up in the interface language (the texts are written in Chinese, in
// UTF-8; QT_TRANSLATE_NOOP context "CommandLine"). Without one the texts are used as written.
using TTranslate = std::function<std::string(const char* source)>;

// The longest wait before a capture that a request may ask for (--delay, the bus).
inline constexpr int kMaxCaptureDelayMs = 3600 * 1000;

struct TCommandLine {
    enum class TAction { None, Capture, Settings, History, Edit, Help, Version, Error };
    TAction action = TAction::None;
    bool tray = false; // /TRAY (any case) or --tray: start quietly in the tray
    TCaptureMode mode = TCaptureMode::Desktop;
    int delayMs = 0; // --delay, with --capture only
    // --edit FILE: the picture to open in the overlay, made absolute (a running copy has another
    // working folder); empty for --edit-clipboard.
    std::string editPath;
    bool editClipboard = false;
    bool pin = false; // --pin, with --capture only: the confirmed capture is pinned to the screen
    // What is wrong when action is Error: a text with %1 and %2 standing for the arguments.
    const char* errorText = nullptr;
    std::vector<std::string> errorArguments;

    // The one line for stderr when action is Error, in the interface language, pointing to --help.
    std::string ErrorLine(const TTranslate& translate = {}) const;

    // The request a running copy is handed: "capture MODE DELAY_MS" (followed by " pin" for --pin),
    // "settings", "history", "edit PATH" (the path with "%", line feed and carriage return as %25,
    // %0A, %0D), "edit-clipboard", or "forward".
    std::string Request() const;
};

// True when any argument equals "/TRAY", compared case-insensitively (ASCII); others are ignored.
bool HasTrayWord(const std::vector<std::string>& arguments);

// Reads the arguments (raw bytes, the program name left out). Anything that is not an option of its
// own and not /TRAY is ignored; an unknown "--" option, a bad value or --delay or --pin without
// --capture is an error.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// A request line as Request() writes it; false for anything else (it is then ignored).
bool ParseRequest(const std::string& request, TCommandLine& out);

// The text of --help (stdout) and --version.
std::string UsageText(const TTranslate& translate = {});
std::string VersionText();
// Answers the command lines that start nothing (--help, --version, a mistake) on the standard
// streams and gives the exit status; -1 for every other command line.
int AnswerWithoutStarting(const TCommandLine& command, const TTranslate& translate = {});
// Whether AnswerWithoutStarting answers this command line without a translation (--version); the
// launcher leaves the others to the program, which knows the interface language.
bool AnswersInAnyLanguage(const TCommandLine& command);
