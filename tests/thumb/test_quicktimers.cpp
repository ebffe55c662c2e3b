#include "QuickTimers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "RunUntil.h"

namespace {

void RunFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    RunUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

struct TTickLog {
    std::vector<int> missed;
    std::vector<qint64> at;
    QElapsedTimer clock;
    TTickLog() { clock.start(); }
    auto Handler() {
        return [this](TQuickCustomTimer* t) {
            missed.push_back(t->MissedTicks());
            at.push_back(clock.elapsed());
        };
    }
};

} // namespace

TEST(QuickTimer, DefaultsAndTicksOnTheGuiThread) {
    TQuickTimer timer;
    EXPECT_EQ(timer.Interval(), 100);
    EXPECT_FALSE(timer.NoOverflow());
    EXPECT_FALSE(timer.Enabled());

    std::vector<QThread*> threads;
    timer.SetInterval(5);
    timer.OnTimer = [&](TQuickCustomTimer* sender) {
        EXPECT_EQ(sender, &timer);
        threads.push_back(QThread::currentThread());
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(timer.Enabled());
    ASSERT_TRUE(RunUntil([&] { return threads.size() >= 3; }, 3000));
    timer.SetEnabled(false);
    for (QThread* t : threads)
        EXPECT_EQ(t, qApp->thread());
    EXPECT_EQ(timer.MissedTicks(), 0);
}

TEST(QuickTimer, NoTickAfterStopEvenWhenOneWasQueued) {
    for (bool noOverflow : {false, true}) {
        TQuickTimer stopped, other;
        int stoppedCalls = 0, otherCalls = 0;
        stopped.OnTimer = [&](TQuickCustomTimer*) { ++stoppedCalls; };
        other.OnTimer = [&](TQuickCustomTimer*) { ++otherCalls; };
        for (TQuickTimer* t : {&stopped, &other}) {
            t->SetInterval(2);
            t->SetNoOverflow(noOverflow);
            t->SetEnabled(true);
        }
        // The GUI thread is busy while both timers post ticks.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        stopped.SetEnabled(false);
        other.SetEnabled(false);
        bool markerSeen = false;
        QTimer::singleShot(0, [&] { markerSeen = true; });
        RunUntil([&] { return markerSeen; }, 2000);
        EXPECT_EQ(stoppedCalls, 0) << "noOverflow=" << noOverflow;
        // Stopping one timer does not throw away the others' queued ticks.
        stopped.SetEnabled(true);
        other.SetEnabled(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stopped.SetEnabled(false);
        RunFor(10);
        other.SetEnabled(false);
        EXPECT_EQ(stoppedCalls, 0);
        EXPECT_GE(otherCalls, 1) << "noOverflow=" << noOverflow;
    }
}

TEST(QuickTimer, QueuedEventsOfOthersKeepTheirOrderAcrossStop) {
    TQuickTimer timer;
    timer.SetInterval(1);
    std::vector<int> order;
    timer.OnTimer = [&](TQuickCustomTimer*) { order.push_back(0); };
    timer.SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int i = 1; i <= 3; ++i)
        QTimer::singleShot(0, [&, i] { order.push_back(i); });
    timer.SetEnabled(false);
    RunUntil([&] { return order.size() >= 3; }, 2000);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(QuickTimer, NoOverflowReportsTheBacklogAsMissedTicksInOneCall) {
    TQuickTimer timer;
    timer.SetInterval(16);
    timer.SetNoOverflow(true);
    TTickLog log;
    timer.OnTimer = [&](TQuickCustomTimer* t) {
        log.Handler()(t);
        if (log.missed.size() == 2) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    timer.SetEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return log.missed.size() >= 4; }, 5000));
    timer.SetEnabled(false);
    // 100 ms at 16 ms a tick: about six expiries found the tick still pending.
    EXPECT_GE(log.missed[2], 4);
    EXPECT_LE(log.missed[2], 10); // a slow GUI thread delays the handler a little
    // That backlog was one call: the next tick is a fresh period, not a pile-up.
    EXPECT_LE(log.missed[3], 1);
    EXPECT_GE(log.at[3] - log.at[2], 8);
    EXPECT_EQ(QuickTimerPoolMisses(), 0);
}

TEST(QuickTimer, EnablingTwiceStartsOnePeriod) {
    const int before = QuickTimerRunCount();
    TQuickTimer timer;
    timer.SetInterval(50);
    timer.SetEnabled(true);
    timer.SetEnabled(true);
    EXPECT_EQ(QuickTimerRunCount(), before + 1);
    timer.SetEnabled(false);
    timer.SetEnabled(false);
    EXPECT_EQ(QuickTimerRunCount(), before);
    {
        TQuickTimer destroyedRunning;
        destroyedRunning.SetEnabled(true);
        EXPECT_EQ(QuickTimerRunCount(), before + 1);
    }
    EXPECT_EQ(QuickTimerRunCount(), before);
}

TEST(QuickTimer, SettingTheSameIntervalDoesNotRestartThePeriod) {
    struct Case {
        int newInterval;
        bool restarts;
    };
    for (Case c : {Case{200, false}, Case{201, true}}) {
        TQuickTimer timer;
        timer.SetInterval(200);
        TTickLog log;
        timer.OnTimer = log.Handler();
        timer.SetEnabled(true);
        log.clock.restart();
        RunFor(100);
        timer.SetInterval(c.newInterval);
        EXPECT_TRUE(timer.Enabled());
        ASSERT_TRUE(RunUntil([&] { return !log.at.empty(); }, 2000));
        timer.SetEnabled(false);
        if (c.restarts)
            EXPECT_GE(log.at[0], 290) << "a new interval restarts from the change";
        else
            EXPECT_LT(log.at[0], 285) << "the unchanged period keeps running";
    }
}

TEST(QuickTimer, NegativeIntervalCannotStartAndZeroFiresOnce) {
    TQuickTimer timer;
    timer.SetInterval(-5);
    timer.SetEnabled(true);
    EXPECT_FALSE(timer.Enabled());

    int calls = 0;
    timer.OnTimer = [&](TQuickCustomTimer*) { ++calls; };
    timer.SetInterval(0);
    timer.SetEnabled(true);
    ASSERT_TRUE(timer.Enabled());
    RunFor(50);
    EXPECT_EQ(calls, 1);
    timer.SetEnabled(false);
}

TEST(QuickTimer, HandlerMayDestroyOrRestartItsTimer) {
    auto timer = std::make_unique<TQuickTimer>();
    timer->SetInterval(1);
    int calls = 0;
    timer->OnTimer = [&](TQuickCustomTimer*) {
        ++calls;
        timer.reset();
    };
    timer->SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    RunFor(20);
    EXPECT_EQ(calls, 1);

    // Restarting from inside the handler: the new period's pending state is its own.
    TQuickTimer restarting;
    restarting.SetNoOverflow(true);
    restarting.SetInterval(3);
    int restartCalls = 0;
    restarting.OnTimer = [&](TQuickCustomTimer* t) {
        ++restartCalls;
        t->SetInterval(t->Interval() == 3 ? 4 : 3);
    };
    restarting.SetEnabled(true);
    EXPECT_TRUE(RunUntil([&] { return restartCalls >= 5; }, 3000));
    restarting.SetEnabled(false);
}

namespace {
struct TClient {
    TQuickSharedTimer* timer;
    int calls = 0;
    bool leaveOnFirstCall = false;
    static void Tick(void* data) {
        auto* c = static_cast<TClient*>(data);
        ++c->calls;
        if (c->leaveOnFirstCall) c->timer->Unregister(&TClient::Tick, c);
    }
};
} // namespace

TEST(QuickSharedTimer, RegisterTwiceListsOnePair) {
    TQuickSharedTimer shared;
    shared.SetInterval(5);
    TClient a{&shared};
    EXPECT_TRUE(shared.Register(&TClient::Tick, &a));
    EXPECT_TRUE(shared.Register(&TClient::Tick, &a));
    EXPECT_EQ(shared.ClientCount(), 1);
    EXPECT_TRUE(shared.Enabled());
    shared.UnregisterAll(&a);
    EXPECT_EQ(shared.ClientCount(), 0);
    EXPECT_FALSE(shared.Enabled());
}

TEST(QuickSharedTimer, SelfUnregisteringClientsLeaveTheOthersCalledOnce) {
    // Each position of the leaving client in the list.
    for (int leaver = 0; leaver < 4; ++leaver) {
        TQuickSharedTimer shared;
        shared.SetInterval(3);
        shared.SetNoOverflow(true);
        std::vector<TClient> clients(4, TClient{&shared});
        clients[leaver].leaveOnFirstCall = true;
        for (TClient& c : clients)
            ASSERT_TRUE(shared.Register(&TClient::Tick, &c));
        // Counts after exactly one dispatch, observed from a client registered first (called last).
        std::vector<int> afterFirst;
        struct TProbe {
            std::vector<TClient>* clients;
            std::vector<int>* out;
            static void Tick(void* d) {
                auto* p = static_cast<TProbe*>(d);
                if (!p->out->empty()) return;
                for (TClient& c : *p->clients)
                    p->out->push_back(c.calls);
            }
        } probeData{&clients, &afterFirst};
        // Re-register everything so that the probe sits first in the list (called last).
        for (TClient& c : clients)
            shared.Unregister(&TClient::Tick, &c);
        ASSERT_TRUE(shared.Register(&TProbe::Tick, &probeData));
        for (TClient& c : clients)
            ASSERT_TRUE(shared.Register(&TClient::Tick, &c));
        ASSERT_TRUE(RunUntil([&] { return clients[(leaver + 1) % 4].calls >= 3; }, 3000));
        shared.UnregisterAll(&probeData);
        for (TClient& c : clients)
            shared.Unregister(&TClient::Tick, &c);
        EXPECT_FALSE(shared.Enabled());
        EXPECT_EQ(afterFirst, (std::vector<int>{1, 1, 1, 1})) << "leaver " << leaver;
        EXPECT_EQ(clients[leaver].calls, 1) << "leaver " << leaver;
    }
}

TEST(QuickSharedTimer, RunsExactlyWhileItHasClients) {
    TQuickSharedTimer shared;
    shared.SetInterval(4);
    TClient a{&shared}, b{&shared};
    shared.Register(&TClient::Tick, &a);
    shared.Register(&TClient::Tick, &b);
    shared.Unregister(&TClient::Tick, &a);
    EXPECT_TRUE(shared.Enabled());
    shared.Unregister(&TClient::Tick, &a); // not listed: nothing
    EXPECT_EQ(shared.ClientCount(), 1);
    ASSERT_TRUE(RunUntil([&] { return b.calls >= 2; }, 3000));
    EXPECT_EQ(a.calls, 0);
    shared.Unregister(&TClient::Tick, &b);
    EXPECT_FALSE(shared.Enabled());
    const int callsAtStop = b.calls;
    RunFor(20);
    EXPECT_EQ(b.calls, callsAtStop);
}

TEST(QuickSharedTimer, FailedStartDropsAllClients) {
    TQuickSharedTimer shared;
    shared.SetInterval(-1);
    TClient a{&shared};
    EXPECT_FALSE(shared.Register(&TClient::Tick, &a));
    EXPECT_EQ(shared.ClientCount(), 0);
}
