// The overlay's start-up timing for measurements from outside: with VEXMOR_CAPTURE_TIMING set, each
// stage of a capture's start writes one line "vexmor: ..." on stderr (scripts/measure-capture.sh reads
// them). Off, nothing is written and nothing is formatted.
#pragma once

#include <chrono>

using TCaptureClock = std::chrono::steady_clock;

bool CaptureTimingOn();
double MsBetween(TCaptureClock::time_point from, TCaptureClock::time_point to);
double MsSince(TCaptureClock::time_point from);
// One line, "vexmor: " and the formatted text, when timing is on.
void CaptureTimingLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
