#include "CommandLine.h"

#include <charconv>
#include <string_view>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

// The texts are marked for the translation tools; this file builds without Qt.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

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
                                    {"magnifier", TCaptureMode::Magnifier},
                                    {"text", TCaptureMode::Text},
                                    {"last-region", TCaptureMode::LastRegion}};

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

TCommandLine Error(const char* text, std::vector<std::string> arguments = {}) {
    TCommandLine c;
    c.action = TCommandLine::TAction::Error;
    c.errorText = text;
    c.errorArguments = std::move(arguments);
    return c;
}

std::string Translated(const TTranslate& translate, const char* source) {
    return translate ? translate(source) : std::string(source);
}

// %1, %2 ... replaced by the arguments, each once, left to right (an argument's own "%2" stays).
std::string Arguments(const std::string& text, const std::vector<std::string>& arguments) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' &&
            size_t(text[i + 1] - '1') < arguments.size()) {
            out += arguments[size_t(text[i + 1] - '1')];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string EncodePath(const std::string& path) {
    std::string out;
    for (const char ch : path) {
        if (ch == '%')
            out += "%25";
        else if (ch == '\n')
            out += "%0A";
        else if (ch == '\r')
            out += "%0D";
        else
            out += ch;
    }
    return out;
}

bool DecodePath(const std::string& text, std::string& path) {
    path.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            path += text[i];
            continue;
        }
        const std::string code = text.substr(i + 1, 2);
        if (code == "25")
            path += '%';
        else if (code == "0A")
            path += '\n';
        else if (code == "0D")
            path += '\r';
        else
            return false;
        i += 2;
    }
    return !path.empty() && path[0] == '/';
}

// The path as seen from the folder the command was given in.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

} // namespace

std::string TCommandLine::Request() const {
    switch (action) {
    case TAction::Capture:
        return "capture " + std::to_string(int(mode)) + ' ' + std::to_string(delayMs) + (pin ? " pin" : "");
    case TAction::Settings:
        return "settings";
    case TAction::Edit:
        return editClipboard ? "edit-clipboard" : "edit " + EncodePath(editPath);
    case TAction::History:
        return "history";
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
    bool capture = false, settings = false, history = false, help = false, version = false,
         delayGiven = false;
    bool edit = false;
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
                return Error(QT_TRANSLATE_NOOP("CommandLine",
                                               "未知的捕获方式“%1”（可用 desktop、window、magnifier、"
                                               "text 或 last-region）"),
                             {value});
        } else if (name == "--delay") {
            std::string seconds = value;
            if (!hasValue) {
                if (i + 1 >= arguments.size())
                    return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“--delay”后面要有秒数"));
                seconds = arguments[++i];
            }
            if (!DelayFromText(seconds, c.delayMs))
                return Error(QT_TRANSLATE_NOOP("CommandLine", "“--delay %1”：秒数应在 0 到 %2 之间"),
                             {seconds, std::to_string(kMaxDelaySeconds)});
            delayGiven = true;
        } else if (name == "--edit") {
            std::string file = value;
            if (!hasValue) {
                if (i + 1 >= arguments.size())
                    return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“--edit”后面要有图片文件"));
                file = arguments[++i];
            }
            if (file.empty()) return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“--edit”后面要有图片文件"));
            if (edit) return Error(QT_TRANSLATE_NOOP("CommandLine", "一次只能编辑一张图片"));
            edit = true;
            c.editPath = AbsolutePath(file);
        } else if (name == "--edit-clipboard") {
            if (hasValue) return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“%1”不带值"), {name});
            if (edit) return Error(QT_TRANSLATE_NOOP("CommandLine", "一次只能编辑一张图片"));
            edit = true;
            c.editClipboard = true;
        } else if (name == "--settings" || name == "--history" || name == "--tray" || name == "--help" ||
                   name == "--version" || name == "--pin") {
            if (hasValue) return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“%1”不带值"), {name});
            if (name == "--pin") c.pin = true;
            if (name == "--settings") settings = true;
            if (name == "--history") history = true;
            if (name == "--tray") c.tray = true;
            if (name == "--help") help = true;
            if (name == "--version") version = true;
        } else {
            return Error(QT_TRANSLATE_NOOP("CommandLine", "未知的选项“%1”"), {arg});
        }
    }
    if (delayGiven && !capture)
        return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“--delay”要与“--capture”同用"));
    if (edit && capture && !help && !version)
        return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“--edit”不能与“--capture”同用"));
    if (c.pin && !capture) return Error(QT_TRANSLATE_NOOP("CommandLine", "选项“--pin”要与“--capture”同用"));
    if (help)
        c.action = TCommandLine::TAction::Help;
    else if (version)
        c.action = TCommandLine::TAction::Version;
    else if (capture)
        c.action = TCommandLine::TAction::Capture;
    else if (edit)
        c.action = TCommandLine::TAction::Edit;
    else if (settings)
        c.action = TCommandLine::TAction::Settings;
    else if (history)
        c.action = TCommandLine::TAction::History;
    return c;
}

bool ParseRequest(const std::string& request, TCommandLine& out) {
    out = TCommandLine{};
    if (request == "forward") return true;
    if (request == "settings") {
        out.action = TCommandLine::TAction::Settings;
        return true;
    }
    if (request == "edit-clipboard") {
        out.action = TCommandLine::TAction::Edit;
        out.editClipboard = true;
        return true;
    }
    if (request.rfind("edit ", 0) == 0) {
        if (!DecodePath(request.substr(5), out.editPath)) return false;
        out.action = TCommandLine::TAction::Edit;
        return true;
    }
    if (request == "history") {
        out.action = TCommandLine::TAction::History;
        return true;
    }
    if (request.rfind("capture ", 0) != 0) return false;
    std::string rest = request.substr(8);
    constexpr std::string_view kPinWord = " pin";
    const bool pin = rest.size() > kPinWord.size() && rest.ends_with(kPinWord);
    if (pin) rest.resize(rest.size() - kPinWord.size());
    const size_t space = rest.find(' ');
    if (space == std::string::npos) return false;
    int mode = 0, delay = 0;
    if (!ToInt(rest.substr(0, space), mode) || !ToInt(rest.substr(space + 1), delay)) return false;
    const std::optional<TCaptureMode> known = CaptureModeFromInt(mode);
    if (!known || delay < 0 || delay > kMaxCaptureDelayMs) return false;
    out.action = TCommandLine::TAction::Capture;
    out.mode = *known;
    out.delayMs = delay;
    out.pin = pin;
    return true;
}

std::string TCommandLine::ErrorLine(const TTranslate& translate) const {
    if (!errorText) return {};
    return Arguments(Translated(translate, errorText), errorArguments) +
           Translated(translate, QT_TRANSLATE_NOOP("CommandLine", "；请参阅“vexmor --help”"));
}

std::string UsageText(const TTranslate& translate) {
    // Columns line up in a terminal: a Chinese character takes two.
    return Translated(
        translate,
        QT_TRANSLATE_NOOP("CommandLine",
                          "用法：vexmor [选项]... [/tray]\n"
                          "冻结屏幕，圈出要留下的部分；平时在托盘中等候。\n"
                          "\n"
                          "  --capture[=方式]   立即捕获：desktop（整个桌面，默认）、window（活动窗口\n"
                          "                     的区域）、magnifier（放大镜）、text（识别所选区域的\n"
                          "                     文字并复制）或 last-region（不经覆盖层再取上次的区\n"
                          "                     域）；已在运行的副本执行它，或确认它已打开的捕获\n"
                          "  --delay 秒数       与 --capture 同用：先等待（0 到 3600 秒；新的请求取代\n"
                          "                     等候中的请求）\n"
                          "  --edit 文件        在覆盖层中打开图片，像捕获一样圈选、画笔和标注；\n"
                          "                     原文件不会被覆盖\n"
                          "  --edit-clipboard   同上，打开剪贴板中的图片\n"
                          "  --pin              与 --capture 同用：确认后把捕获钉在屏幕上原来的位置\n"
                          "  --settings         显示设置\n"
                          "  --history          显示历史：保存下来的捕获\n"
                          "  --tray, /tray      安静地启动到托盘\n"
                          "  --help             显示本帮助并退出\n"
                          "  --version          显示版本并退出\n"
                          "\n"
                          "不带选项时，Vexmor 立即捕获，或把已在运行的副本带到前面。\n"
                          "桌面自己占用 Print Screen 键时，请在桌面的键盘设置中把\n"
                          "“vexmor --capture”绑定到一个键。\n"));
}

std::string VersionText() {
    return "Vexmor " VEXMOR_VERSION "\n";
}

bool AnswersInAnyLanguage(const TCommandLine& command) {
    return command.action == TCommandLine::TAction::Version;
}

int AnswerWithoutStarting(const TCommandLine& command, const TTranslate& translate) {
    switch (command.action) {
    case TCommandLine::TAction::Help:
        std::fputs(UsageText(translate).c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Version:
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Error:
        std::fprintf(stderr, "vexmor: %s\n", command.ErrorLine(translate).c_str());
        return 2;
    default:
        return -1;
    }
}
