#include "CommandLine.h"

#include "Startup.h"

#include <cmath>

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

bool ModeFromName(const QByteArray& name, TCaptureMode& mode) {
    for (const TModeName& m : kModeNames)
        if (name == m.name) {
            mode = m.mode;
            return true;
        }
    return false;
}

// Seconds as a plain decimal number (a fraction allowed), 0 to the maximum, in whole milliseconds.
bool DelayFromText(const QByteArray& text, int& ms) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || text.isEmpty() || !std::isfinite(seconds) || seconds < 0 || seconds > kMaxDelaySeconds)
        return false;
    for (char c : text)
        if (!(c >= '0' && c <= '9') && c != '.') return false;
    ms = int(std::lround(seconds * 1000));
    return true;
}

TCommandLine Error(const QString& text) {
    TCommandLine c;
    c.action = TCommandLine::TAction::Error;
    c.error = text + QStringLiteral("; see 'vexmor --help'");
    return c;
}

} // namespace

QByteArray TCommandLine::Request() const {
    switch (action) {
    case TAction::Capture:
        return "capture " + QByteArray::number(int(mode)) + ' ' + QByteArray::number(delayMs);
    case TAction::Settings:
        return "settings";
    default:
        return "forward";
    }
}

TCommandLine ParseCommandLine(const QList<QByteArray>& arguments) {
    TCommandLine c;
    c.tray = HasTrayArgument(arguments);
    bool capture = false, settings = false, help = false, version = false, delayGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray& arg = arguments[i];
        if (!arg.startsWith("--")) continue; // the design's /TRAY rule: everything else is ignored
        const qsizetype eq = arg.indexOf('=');
        const QByteArray name = eq < 0 ? arg : arg.left(eq);
        const bool hasValue = eq >= 0;
        const QByteArray value = hasValue ? arg.mid(eq + 1) : QByteArray();
        const QString shown = QString::fromLocal8Bit(name);
        if (name == "--capture") {
            capture = true;
            if (hasValue && !ModeFromName(value, c.mode))
                return Error(QStringLiteral("unknown capture mode '%1' (desktop, window or magnifier)")
                                 .arg(QString::fromLocal8Bit(value)));
        } else if (name == "--delay") {
            QByteArray seconds = value;
            if (!hasValue) {
                if (i + 1 >= arguments.size())
                    return Error(QStringLiteral("option '--delay' needs a number of seconds"));
                seconds = arguments[++i];
            }
            if (!DelayFromText(seconds, c.delayMs))
                return Error(QStringLiteral("'--delay %1': seconds from 0 to %2")
                                 .arg(QString::fromLocal8Bit(seconds))
                                 .arg(kMaxDelaySeconds));
            delayGiven = true;
        } else if (name == "--settings" || name == "--tray" || name == "--help" || name == "--version") {
            if (hasValue) return Error(QStringLiteral("option '%1' takes no value").arg(shown));
            if (name == "--settings") settings = true;
            if (name == "--tray") c.tray = true;
            if (name == "--help") help = true;
            if (name == "--version") version = true;
        } else {
            return Error(QStringLiteral("unknown option '%1'").arg(QString::fromLocal8Bit(arg)));
        }
    }
    if (delayGiven && !capture) return Error(QStringLiteral("option '--delay' goes with '--capture'"));
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

bool ParseRequest(const QByteArray& request, TCommandLine& out) {
    out = TCommandLine{};
    const QList<QByteArray> words = request.split(' ');
    if (request == "forward") return true;
    if (request == "settings") {
        out.action = TCommandLine::TAction::Settings;
        return true;
    }
    if (words.size() != 3 || words[0] != "capture") return false;
    bool okMode = false, okDelay = false;
    const int mode = words[1].toInt(&okMode);
    const int delay = words[2].toInt(&okDelay);
    if (!okMode || !okDelay || mode < 0 || mode > 2 || delay < 0 || delay > kMaxDelaySeconds * 1000)
        return false;
    out.action = TCommandLine::TAction::Capture;
    out.mode = TCaptureMode(mode);
    out.delayMs = delay;
    return true;
}

QByteArray UsageText() {
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

QByteArray VersionText() {
    return "Vexmor " VEXMOR_VERSION "\n";
}
