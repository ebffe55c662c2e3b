// The process from its first instruction to its last: set-up, refusal of a display without
// per-pixel alpha, the single-instance hand-over, the hidden main window, the message loop and the
// one exit path.
#pragma once

#include <QByteArray>
#include <QList>

// The refusal shown when the display cannot show per-pixel-alpha windows (translation context
// "Startup").
inline constexpr const char* kRefusalText =
    QT_TRANSLATE_NOOP("Startup", "Vexmor需要运行于Windows XP或更高的系统。");
inline constexpr const char* kRefusalCaption = QT_TRANSLATE_NOOP("Startup", "错误");

// Runs the program; returns the process exit status.
int RunVexmor(int argc, char** argv);

// Ends the message loop through the program's one exit path (tray menu, signals, session end).
void ExitApplication();
