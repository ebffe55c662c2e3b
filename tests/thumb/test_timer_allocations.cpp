// Ticks must not allocate: every allocation made by a thread other than the GUI thread is counted
// while timers run (the only other thread of this test program is the ticking thread).
#include "QuickTimers.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace {
const std::thread::id guiThread = std::this_thread::get_id();
std::atomic<bool> counting{false};
std::atomic<int> otherThreadAllocations{0};
} // namespace

void* operator new(std::size_t n) {
    if (counting.load(std::memory_order_relaxed) && std::this_thread::get_id() != guiThread)
        otherThreadAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

TEST(QuickTimerAllocations, TicksAllocateNothingOnTheTickingThread) {
    for (bool noOverflow : {false, true}) {
        TQuickTimer a, b;
        int calls = 0;
        for (TQuickTimer* t : {&a, &b}) {
            t->SetInterval(2);
            t->SetNoOverflow(noOverflow);
            t->OnTimer = [&](TQuickCustomTimer*) { ++calls; };
            t->SetEnabled(true);
        }
        // Let the first ticks pass (the thread's own start-up may allocate), then count.
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
        const int before = calls;
        otherThreadAllocations = 0;
        counting = true;
        QTimer::singleShot(150, &loop, &QEventLoop::quit);
        loop.exec();
        counting = false;
        a.SetEnabled(false);
        b.SetEnabled(false);
        EXPECT_GT(calls - before, 40) << "noOverflow=" << noOverflow;
        EXPECT_EQ(otherThreadAllocations.load(), 0) << "noOverflow=" << noOverflow;
    }
    EXPECT_EQ(QuickTimerPoolMisses(), 0);
}
