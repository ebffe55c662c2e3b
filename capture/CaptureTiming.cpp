#include "CaptureTiming.h"

#include <QtGlobal>

#include <cstdarg>
#include <cstdio>

bool CaptureTimingOn() {
    return qEnvironmentVariableIsSet("VEXMOR_CAPTURE_TIMING");
}

double MsBetween(TCaptureClock::time_point from, TCaptureClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double MsSince(TCaptureClock::time_point from) {
    return MsBetween(from, TCaptureClock::now());
}

void CaptureTimingLine(const char* format, ...) {
    if (!CaptureTimingOn()) return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "vexmor: %s\n", line);
}
