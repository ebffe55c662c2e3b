#include "WinTools.h"
#include "AllTools.h"

#include "Platform.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLocale>
#include <QWidget>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {
int gInitCount = 0;
int gWaitDepth = 0;
int gDragX = 0, gDragY = 0;
} // namespace

void ApplyNumberFormat() {
    std::setlocale(LC_NUMERIC, "C");
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    QLocale::setDefault(c);
}

void InitSystemUtilities() {
    // The counter runs down from 0 on each set-up and back up on each finalisation.
    if (gInitCount-- != 0) return;
    ApplyNumberFormat();
    (void)FileNameChars();
}

void DoneSystemUtilities() {
    if (++gInitCount != 0) return;
    gWaitDepth = 0;
}

int SystemUtilitiesInitCount() {
    return gInitCount;
}

#if defined(__x86_64__)
namespace {
bool DenormalsAreZeroSupported() {
    // FXSAVE reports the MXCSR bits the processor implements; zero means the default mask 0xFFBF,
    // which lacks denormals-are-zero.
    alignas(16) unsigned char area[512] = {};
    __builtin_ia32_fxsave(area);
    uint32_t mask;
    std::memcpy(&mask, area + 28, 4);
    if (mask == 0) mask = 0xFFBF;
    return (mask & 0x40) != 0;
}
} // namespace

void SetupFloatingPoint() {
    const uint16_t x87 = 0x033F;
    asm volatile("fldcw %0" : : "m"(x87));
    uint32_t mxcsr = 0x9F80;
    if (DenormalsAreZeroSupported()) mxcsr |= 0x40;
    __builtin_ia32_ldmxcsr(mxcsr);
}

TFloatingPointState ReadFloatingPointState() {
    TFloatingPointState s;
    s.applies = true;
    asm volatile("fnstcw %0" : "=m"(s.x87Control));
    s.mxcsr = __builtin_ia32_stmxcsr();
    s.dazSupported = DenormalsAreZeroSupported();
    return s;
}
#else
void SetupFloatingPoint() {}
TFloatingPointState ReadFloatingPointState() {
    return {};
}
#endif

QString TempFolder() {
    QString path = QDir::tempPath();
    if (path.isEmpty() || !QDir(path).exists()) return QStringLiteral("/tmp/");
    IncludeTrailingBackslash(path);
    return path;
}

QString SpecialFolder(TSpecialFolder folder) {
    IFolders& folders = *Platform().folders;
    QString path = folder == TSpecialFolder::Desktop ? folders.Desktop() : folders.Documents();
    // A Linux desktop often has no Desktop folder until something is put there.
    if (path.isEmpty() || !QDir().mkpath(path)) return TempFolder();
    IncludeTrailingBackslash(path);
    return path;
}

void BeginWait() {
    if (gWaitDepth++ == 0 && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndWait() {
    if (gWaitDepth <= 0) return; // unpaired EndWait: nothing to restore
    if (--gWaitDepth == 0 && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::restoreOverrideCursor();
}

int WaitCursorDepth() {
    return gWaitDepth;
}

void SetDragStart(int x, int y) {
    gDragX = x;
    gDragY = y;
}

bool DragStarted(const QWidget* control, int x, int y) {
    if (!control || QWidget::mouseGrabber() != control) return false;
    const int distance = QApplication::startDragDistance();
    return std::abs(gDragX - x) >= distance || std::abs(gDragY - y) >= distance;
}

void HideWindowRegion(QWidget* window) {
    if (!window) return;
    Platform().windowShape->HideWindowRegion(window->winId());
}

void RestoreWindowRegion(QWidget* window) {
    if (!window) return;
    Platform().windowShape->RestoreWindowRegion(window->winId());
    window->update();
}

void PrepareMemory(const void* p, size_t bytes, bool forWriting) {
#if defined(__linux__)
#ifndef MADV_POPULATE_READ
    constexpr int MADV_POPULATE_READ = 22;
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    if (!p || bytes == 0) return;
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = uintptr_t(p) & ~(page - 1);
    const uintptr_t end = (uintptr_t(p) + bytes + page - 1) & ~(page - 1);
    // Older kernels refuse the advice (EINVAL): the pages then come as they are touched.
    madvise(reinterpret_cast<void*>(begin), end - begin,
            forWriting ? MADV_POPULATE_WRITE : MADV_POPULATE_READ);
#else
    (void)p;
    (void)bytes;
    (void)forWriting;
#endif
}
