// Process-wide set-up and small system services: number format, floating-point state, folders,
// the nested wait cursor, the drag threshold and the window switches the layered forms use.
// Everything here runs on the GUI thread.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

class QWidget;

// Set-up and finalisation nest: the work happens on the first InitSystemUtilities and on the
// matching last DoneSystemUtilities.
void InitSystemUtilities();
void DoneSystemUtilities();
int SystemUtilitiesInitCount();

// Numbers are formatted and parsed with "." and no grouping in every layer (C library, Qt
// default locale). Qt's application object resets the C locale when it is made, so the entry calls
// this again after making it.
void ApplyNumberFormat();

// Floating point on x86-64: x87 control word 0x033F (all exceptions masked, 64-bit precision,
// round to nearest) and MXCSR 0x9F80 (all exceptions masked, flush to zero), plus
// denormals-are-zero (0x40) when the processor supports it. Nothing on other processors.
void SetupFloatingPoint();
struct TFloatingPointState {
    bool applies = false; // false on processors where nothing is set
    uint16_t x87Control = 0;
    uint32_t mxcsr = 0;
    bool dazSupported = false;
};
TFloatingPointState ReadFloatingPointState();

// The system's temporary folder with a trailing "/"; "/tmp/" when it cannot be found.
QString TempFolder();

enum class TSpecialFolder { Desktop, Documents };
// The user's desktop or documents folder with a trailing "/"; the temporary folder when the
// folder is unknown or cannot be made.
QString SpecialFolder(TSpecialFolder folder);

// Nested busy cursor: the cursor in force before the first BeginWait comes back at the last EndWait.
void BeginWait();
void EndWait();
int WaitCursorDepth();

// Drag threshold: a press records its point; DragStarted tells whether the pointer has since moved
// at least the system's drag distance on either axis, and is false unless `control` holds the mouse
// (it grabbed the mouse, see QWidget::grabMouse).
void SetDragStart(int x, int y);
bool DragStarted(const QWidget* control, int x, int y);

// The window shows nothing while it stays mapped, and back again (the platform's input/bounding
// shape); used while layered windows switch modes.
void HideWindowRegion(QWidget* window);
void RestoreWindowRegion(QWidget* window);

// Has the kernel back a range of memory at once, for writing or for reading, instead of page by page as
// it is first touched: a fresh frame-sized buffer (a new window's surface) is ready in about half the
// time. Ranges are widened to whole pages; nothing happens where the kernel cannot do it.
void PrepareMemory(const void* p, size_t bytes, bool forWriting);
