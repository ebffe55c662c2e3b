#include "WinTools.h"

#include "FakePlatform.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

#include <cmath>
#include <limits>

namespace {

TEST(SystemUtilities, NestedSetUpRunsOnceAndFinalisesOnTheLastCall) {
    // The test program's entry already ran one set-up.
    const int outer = SystemUtilitiesInitCount();
    InitSystemUtilities();
    InitSystemUtilities();
    EXPECT_EQ(SystemUtilitiesInitCount(), outer - 2);
    BeginWait();
    DoneSystemUtilities();
    EXPECT_EQ(WaitCursorDepth(), 1); // an inner finalisation does not reset state
    DoneSystemUtilities();
    EXPECT_EQ(SystemUtilitiesInitCount(), outer);
    EndWait();
}

TEST(WaitCursor, NestedCallsRestoreAtTheLastEnd) {
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    BeginWait();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    BeginWait();
    EndWait();
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr); // still busy: one level open
    EndWait();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EndWait(); // unpaired: harmless
    EXPECT_EQ(WaitCursorDepth(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(DragThreshold, OnlyTheControlHoldingTheMouseStartsADrag) {
    QWidget holder, other;
    holder.show();
    other.show();
    const int d = QApplication::startDragDistance();
    SetDragStart(100, 100);
    EXPECT_FALSE(DragStarted(&holder, 100 + 5 * d, 100)); // nobody holds the mouse
    holder.grabMouse();
    EXPECT_FALSE(DragStarted(&other, 100 + 5 * d, 100));
    EXPECT_FALSE(DragStarted(&holder, 100 + d - 1, 100 - (d - 1)));
    EXPECT_TRUE(DragStarted(&holder, 100 + d, 100));
    EXPECT_TRUE(DragStarted(&holder, 100, 100 - d));
    EXPECT_FALSE(DragStarted(nullptr, 100 + 5 * d, 100));
    holder.releaseMouse();
    EXPECT_FALSE(DragStarted(&holder, 100 + 5 * d, 100));
}

TEST(Folders, SpecialFoldersEndWithASeparatorAndFallBackToTemp) {
    auto fake = InstallFakePlatform();
    QTemporaryDir dir;
    fake->desktop = dir.filePath("Desktop"); // missing: made on demand
    fake->documents = dir.filePath("Docs");
    EXPECT_EQ(SpecialFolder(TSpecialFolder::Desktop), dir.filePath("Desktop") + "/");
    EXPECT_TRUE(QDir(dir.filePath("Desktop")).exists());
    EXPECT_EQ(SpecialFolder(TSpecialFolder::Documents), dir.filePath("Docs") + "/");
    fake->desktop.clear();
    EXPECT_EQ(SpecialFolder(TSpecialFolder::Desktop), TempFolder());
    fake->documents = "/proc/vexmor-cannot-make-this";
    EXPECT_EQ(SpecialFolder(TSpecialFolder::Documents), TempFolder());
    EXPECT_TRUE(TempFolder().endsWith('/'));
}

TEST(WindowRegion, HidingAndRestoringGoThroughTheWindowShape) {
    auto fake = InstallFakePlatform();
    QWidget w;
    HideWindowRegion(&w);
    ASSERT_EQ(fake->hiddenWindows.size(), 1);
    EXPECT_EQ(fake->hiddenWindows[0], w.winId());
    RestoreWindowRegion(&w);
    EXPECT_TRUE(fake->hiddenWindows.isEmpty());
}

TEST(FloatingPoint, ControlWordsAsSet) {
    SetupFloatingPoint();
    const TFloatingPointState s = ReadFloatingPointState();
    if (!s.applies) GTEST_SKIP() << "not an x86-64 processor";
    EXPECT_EQ(s.x87Control & ~0x40, 0x033F);                         // bit 6 is reserved and reads as 1
    EXPECT_EQ(s.mxcsr & ~0x3Fu, s.dazSupported ? 0x9FC0u : 0x9F80u); // low six bits are sticky flags
    // Flush to zero: a product below the smallest normal number becomes 0 instead of a denormal.
    volatile float tiny = std::numeric_limits<float>::min();
    volatile float product = tiny * 0.5f;
    EXPECT_EQ(product, 0.0f);
    // Masked exceptions: dividing by zero gives infinity instead of a trap.
    volatile double zero = 0.0;
    EXPECT_TRUE(std::isinf(1.0 / zero));
}

} // namespace

TEST(PrepareMemory, BacksAnyRangeWithoutChangingWhatIsThere) {
    // Fresh pages (as a large buffer gets) and a range that starts and ends inside pages.
    std::vector<uint8_t> buffer(5 * 4096 + 123);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = uint8_t(i * 7);
    PrepareMemory(buffer.data() + 100, 3 * 4096 + 5, true);
    PrepareMemory(buffer.data() + 1, buffer.size() - 2, false);
    PrepareMemory(nullptr, 4096, true);
    PrepareMemory(buffer.data(), 0, false);
    for (size_t i = 0; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], uint8_t(i * 7)) << i;
}
