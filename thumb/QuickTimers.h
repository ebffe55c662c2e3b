// Animation timers whose handlers run on the GUI thread at a steady rate.
//
// Qt's own timers are merged and delayed while the GUI thread is busy, which makes animations
// stutter and lose time. These timers are driven by one process-wide ticking thread that keeps
// absolute deadlines on the monotonic clock and posts one tick event per expiry to a hidden
// receiver on the GUI thread; `OnTimer` always runs there.
//
// In no-overflow mode a timer keeps at most one tick in the queue: expiries that find a tick still
// pending are only counted, and the next delivered tick reports them as `MissedTicks`, so an
// animation can advance by Interval x (MissedTicks + 1) instead of piling up work.
//
// Every operation except the tick itself is GUI-thread only.
#pragma once

#include "QuickLists.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>

class TQuickCustomTimer : public QObject {
  public:
    explicit TQuickCustomTimer(QObject* owner = nullptr);
    ~TQuickCustomTimer() override;

    // Due time and period in ms. Changing it restarts a running timer from now; the same value
    // leaves the running period alone. 0 fires once; a negative interval cannot start.
    int Interval() const { return interval_; }
    void SetInterval(int ms);

    // Takes effect at the next start.
    bool NoOverflow() const { return noOverflow_; }
    void SetNoOverflow(bool on) { noOverflow_ = on; }

    // Expiries skipped before the tick being handled; valid inside OnTimer only, 0 otherwise.
    int MissedTicks() const { return missedTicks_; }
    bool Enabled() const { return enabled_; }
    bool Running() const { return serial_ != 0; }

    // (Re)starts the period from now; false when it cannot run.
    bool Start();
    // When Stop returns, no tick of this timer is being posted, and none that was already queued
    // will reach OnTimer.
    void Stop();

    std::function<void(TQuickCustomTimer* sender)> OnTimer;

  protected:
    void SetEnabledState(bool on);

  private:
    friend class TTimerTicker;
    friend class TTimerReceiver;

    int interval_ = 100;
    int missedTicks_ = 0;
    bool enabled_ = false;
    bool noOverflow_ = false;
    uint64_t serial_ = 0; // the running period's identity; 0 when stopped
    // Shared with the ticking thread: single values, read and written atomically, no lock.
    std::atomic<int> pending_{0};
    std::atomic<int> skippedTicks_{0};
};

class TQuickTimer : public TQuickCustomTimer {
  public:
    explicit TQuickTimer(QObject* owner = nullptr) : TQuickCustomTimer(owner) {}
    // Setting the current value does nothing; true starts (Enabled reads whether that worked).
    void SetEnabled(bool on) { SetEnabledState(on); }
};

// One timer driving any number of (callback, data) clients. Clients are called from the last
// registered to the first, so a client may unregister itself from inside its callback. The timer
// runs exactly while it has clients; its MissedTicks tells each client how much time has passed.
class TQuickSharedTimer : public TQuickCustomTimer {
  public:
    using TCallback = void (*)(void* data);

    explicit TQuickSharedTimer(QObject* owner = nullptr);

    // True when the pair is listed and the timer runs. A pair already listed is not added twice.
    // When the timer cannot start, every client is dropped and the result is false.
    bool Register(TCallback callback, void* data);
    void Unregister(TCallback callback, void* data);
    // Removes the first client with this data pointer.
    void UnregisterAll(void* data);
    int ClientCount() const { return clients_.Count(); }

  private:
    struct TClient {
        TCallback callback;
        void* data;
    };
    void Dispatch();
    void RemoveAt(int index);
    TRecordList<TClient> clients_{false};
};

// Diagnostics for tests: periods the ticking thread currently serves.
int QuickTimerRunCount();
// Tick events allocated outside the preallocated pool since start (0 in steady operation).
int QuickTimerPoolMisses();
