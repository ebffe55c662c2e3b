#include "CommandLine.h"

#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstdlib>

#ifndef VEXMOR_VERSION
#define VEXMOR_VERSION "0.0.0.0"
#endif

namespace {

constexpr int kMaxDelaySeconds = kMaxCaptureDelayMs / 1000;

struct TModeName {
    const char* name;
    TCaptureMode mode;
};
constexpr TModeName kModeNames[] = {{"desktop", TCaptureMode::Desktop},
                                    {"window", TCaptureMode::Window},
                                    {"magnifier", TCaptureMode::Magnifier}};

bool ModeFromName(const std::string& name, TCaptureMode& mode) {
    for (const TModeName& m : kModeNames)
        if (name == m.name) {
            mode = m.mode;
            return true;
        }
    return false;
}

// Seconds as a plain decimal number (a fraction allowed), 0 to the maximum, in whole milliseconds.
bool DelayFromText(const std::string& text, int& ms) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds) || seconds < 0 ||
        seconds > kMaxDelaySeconds)
        return false;
    ms = int(std::lround(seconds * 1000));
    return true;
}

bool ToInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

TCommandLine Error(const std::string& text) {
    TCommandLine c;
    c.action = TCommandLine::TAction::Error;
    c.error = text + "; see 'vexmor --help'";
    return c;
}

} // namespace

std::string TCommandLine::Request() const {
    switch (action) {
    case TAction::Capture:
        return "capture " + std::to_string(int(mode)) + ' ' + std::to_string(delayMs);
    case TAction::Settings:
        return "settings";
    default:
        return "forward";
    }
}

bool HasTrayWord(const std::vector<std::string>& arguments) {
    for (const std::string& arg : arguments) {
        if (arg.size() != 5 || arg[0] != '/') continue;
        std::string upper = arg;
        for (char& ch : upper)
            if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
        if (upper == "/TRAY") return true;
    }
    return false;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    TCommandLine c;
    c.tray = HasTrayWord(arguments);
    bool capture = false, settings = false, help = false, version = false, delayGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg.rfind("--", 0) != 0)
            continue; // as ever, words other than /TRAY and these options are ignored
        const size_t eq = arg.find('=');
        const std::string name = eq == std::string::npos ? arg : arg.substr(0, eq);
        const bool hasValue = eq != std::string::npos;
        const std::string value = hasValue ? arg.substr(eq + 1) : std::string();
        if (name == "--capture") {
            capture = true;
            if (hasValue && !ModeFromName(value, c.mode))
                return Error("unknown capture mode '" + value + "' (desktop, window or magnifier)");
        } else if (name == "--delay") {
            std::string seconds = value;
            if (!hasValue) {
                if (i + 1 >= arguments.size()) return Error("option '--delay' needs a number of seconds");
                seconds = arguments[++i];
            }
            if (!DelayFromText(seconds, c.delayMs))
                return Error("'--delay " + seconds + "': seconds from 0 to " +
                             std::to_string(kMaxDelaySeconds));
            delayGiven = true;
        } else if (name == "--settings" || name == "--tray" || name == "--help" || name == "--version") {
            if (hasValue) return Error("option '" + name + "' takes no value");
            if (name == "--settings") settings = true;
            if (name == "--tray") c.tray = true;
            if (name == "--help") help = true;
            if (name == "--version") version = true;
        } else {
            return Error("unknown option '" + arg + "'");
        }
    }
    if (delayGiven && !capture) return Error("option '--delay' goes with '--capture'");
    if (help)
        c.action = TCommandLine::TAction::Help;
    else if (version)
        c.action = TCommandLine::TAction::Version;
    else if (capture)
        c.action = TCommandLine::TAction::Capture;
    else if (settings)
        c.action = TCommandLine::TAction::Settings;
    return c;
}

bool ParseRequest(const std::string& request, TCommandLine& out) {
    out = TCommandLine{};
    if (request == "forward") return true;
    if (request == "settings") {
        out.action = TCommandLine::TAction::Settings;
        return true;
    }
    if (request.rfind("capture ", 0) != 0) return false;
    const std::string rest = request.substr(8);
    const size_t space = rest.find(' ');
    if (space == std::string::npos) return false;
    int mode = 0, delay = 0;
    if (!ToInt(rest.substr(0, space), mode) || !ToInt(rest.substr(space + 1), delay)) return false;
    const std::optional<TCaptureMode> known = CaptureModeFromInt(mode);
    if (!known || delay < 0 || delay > kMaxCaptureDelayMs) return false;
    out.action = TCommandLine::TAction::Capture;
    out.mode = *known;
    out.delayMs = delay;
    return true;
}

const char* UsageText() {
    return "Usage: vexmor [OPTION]... [/tray]\n"
           "Freezes the screens and lets you outline what to keep; waits in the tray.\n"
           "\n"
           "  --capture[=MODE]   capture now: desktop (the default), window (the active window's area)\n"
           "                     or magnifier; a copy already running does it, or confirms the capture\n"
           "                     it has open\n"
           "  --delay SECONDS    with --capture: wait first (0 to 3600; a new request replaces a\n"
           "                     pending one)\n"
           "  --settings         show the settings\n"
           "  --tray, /tray      start quietly in the tray\n"
           "  --help             show this help and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "Without options Vexmor captures at once, or brings a running copy forward.\n"
           "Bind 'vexmor --capture' to a key in your desktop's keyboard settings where the desktop\n"
           "keeps Print Screen for itself.\n";
}

std::string VersionText() {
    return "Vexmor " VEXMOR_VERSION "\n";
}

int AnswerWithoutStarting(const TCommandLine& command) {
    switch (command.action) {
    case TCommandLine::TAction::Help:
        std::fputs(UsageText(), stdout);
        return 0;
    case TCommandLine::TAction::Version:
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Error:
        std::fprintf(stderr, "vexmor: %s\n", command.error.c_str());
        return 2;
    default:
        return -1;
    }
}
