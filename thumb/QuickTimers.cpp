#include "QuickTimers.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

const QEvent::Type TickEventType = QEvent::Type(QEvent::registerEventType(QEvent::User + 0xFFC));

// One tick on its way to the GUI thread. Qt deletes posted events after delivery; the class
// allocator hands out slots of a fixed pool so a tick costs no heap allocation. Only the ticking
// thread allocates and only the GUI thread frees, and each slot's flag is one atomic.
class TTickEvent : public QEvent {
  public:
    TTickEvent(uint64_t serial, int skipped) : QEvent(TickEventType), serial(serial), skipped(skipped) {}
    uint64_t serial;
    int skipped;

    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size);
};

constexpr int PoolSlots = 512;
struct alignas(std::max_align_t) TEventSlot {
    unsigned char bytes[sizeof(TTickEvent)];
};
TEventSlot eventPool[PoolSlots];
std::atomic<bool> slotUsed[PoolSlots];
std::atomic<int> poolHint{0};
std::atomic<int> poolMisses{0};

void* TTickEvent::operator new(std::size_t size) {
    if (size == sizeof(TTickEvent)) {
        const int start = poolHint.load(std::memory_order_relaxed);
        for (int k = 0; k < PoolSlots; ++k) {
            const int i = (start + k) % PoolSlots;
            if (!slotUsed[i].load(std::memory_order_relaxed) &&
                !slotUsed[i].exchange(true, std::memory_order_acquire)) {
                poolHint.store((i + 1) % PoolSlots, std::memory_order_relaxed);
                return eventPool[i].bytes;
            }
        }
    }
    // A normal-mode timer whose ticks pile up behind a blocked GUI thread can exhaust the pool.
    poolMisses.fetch_add(1, std::memory_order_relaxed);
    return ::operator new(size);
}

void TTickEvent::operator delete(void* p, std::size_t size) {
    auto* slot = static_cast<TEventSlot*>(p);
    if (slot >= eventPool && slot < eventPool + PoolSlots) {
        slotUsed[slot - eventPool].store(false, std::memory_order_release);
        return;
    }
    ::operator delete(p, size);
}

} // namespace

// The hidden receiver on the GUI thread. Ticks name their timer by the serial of the period that
// produced them; a stopped or destroyed timer's serial is no longer listed, so its queued ticks
// are dropped on arrival while every other event (other timers' ticks, a quit request) keeps its
// place in the queue.
class TTimerReceiver : public QObject {
  public:
    std::unordered_map<uint64_t, TQuickCustomTimer*> running;

    bool event(QEvent* e) override {
        if (e->type() != TickEventType) return QObject::event(e);
        const auto* tick = static_cast<TTickEvent*>(e);
        auto it = running.find(tick->serial);
        if (it == running.end()) return true;
        TQuickCustomTimer* timer = it->second;
        timer->missedTicks_ = tick->skipped;
        if (timer->OnTimer) timer->OnTimer(timer);
        // The handler may have stopped, restarted or destroyed the timer: only the same period
        // may clear its state.
        it = running.find(tick->serial);
        if (it != running.end()) {
            it->second->missedTicks_ = 0;
            it->second->pending_.store(0, std::memory_order_release);
        }
        return true;
    }
};

// The ticking thread. It sleeps until the earliest absolute deadline (a condition-variable wait
// on the monotonic clock, so that starting and stopping can wake it), posts the ticks that are
// due and advances each deadline by whole periods, so lateness never accumulates into drift.
class TTimerTicker {
  public:
    struct TRun {
        TQuickCustomTimer* timer;
        uint64_t serial;
        TClock::duration period;
        TClock::time_point deadline;
        bool noOverflow;
    };

    TTimerTicker() : thread_([this] { Loop(); }) {}
    ~TTimerTicker() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    void Add(const TRun& run) {
        {
            std::lock_guard lock(mutex_);
            runs_.push_back(run);
        }
        wake_.notify_one();
    }

    // Returns once the run is gone; the ticks are posted under the same lock, so none of this
    // timer is in flight afterwards.
    void Remove(uint64_t serial) {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < runs_.size(); ++i) {
            if (runs_[i].serial == serial) {
                runs_[i] = runs_.back();
                runs_.pop_back();
                break;
            }
        }
    }

    int Count() {
        std::lock_guard lock(mutex_);
        return int(runs_.size());
    }

    QObject* receiver = nullptr;

  private:
    void Fire(TRun& run) {
        TQuickCustomTimer* t = run.timer;
        int skipped = 0;
        if (run.noOverflow) {
            if (t->pending_.exchange(1, std::memory_order_acq_rel)) {
                t->skippedTicks_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            skipped = t->skippedTicks_.exchange(0, std::memory_order_relaxed);
        }
        QCoreApplication::postEvent(receiver, new TTickEvent(run.serial, skipped));
    }

    void Loop() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (runs_.empty()) {
                wake_.wait(lock);
                continue;
            }
            TClock::time_point earliest = runs_.front().deadline;
            for (const TRun& r : runs_)
                earliest = std::min(earliest, r.deadline);
            if (wake_.wait_until(lock, earliest) == std::cv_status::no_timeout) continue;
            const TClock::time_point now = TClock::now();
            for (std::size_t i = 0; i < runs_.size();) {
                TRun& r = runs_[i];
                if (r.deadline > now) {
                    ++i;
                    continue;
                }
                if (r.period.count() == 0) { // a one-shot timer
                    Fire(r);
                    r = runs_.back();
                    runs_.pop_back();
                    continue;
                }
                // Each expiry that passed counts (posted, or skipped in no-overflow mode). After a
                // long stall (a suspended machine) the schedule restarts instead of bursting.
                const auto behind = (now - r.deadline) / r.period + 1;
                const int expiries = behind > 64 ? 1 : int(behind);
                for (int k = 0; k < expiries; ++k)
                    Fire(r);
                r.deadline += r.period * behind;
                ++i;
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<TRun> runs_;
    bool quit_ = false;
    std::thread thread_;
};

namespace {

TTimerTicker* ticker = nullptr;
TTimerReceiver* receiver = nullptr;
std::atomic<uint64_t> nextSerial{1};

// The thread and the receiver end with the application object, before static destruction.
void ShutdownTimers() {
    delete ticker;
    ticker = nullptr;
    delete receiver;
    receiver = nullptr;
}

bool EnsureTimerService() {
    if (ticker) return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return false;
    receiver = new TTimerReceiver;
    ticker = new TTimerTicker;
    ticker->receiver = receiver;
    qAddPostRoutine(ShutdownTimers);
    return true;
}

} // namespace

int QuickTimerRunCount() {
    return ticker ? ticker->Count() : 0;
}
int QuickTimerPoolMisses() {
    return poolMisses.load();
}

TQuickCustomTimer::TQuickCustomTimer(QObject* owner) : QObject(owner) {}

TQuickCustomTimer::~TQuickCustomTimer() {
    Stop();
}

void TQuickCustomTimer::SetInterval(int ms) {
    if (ms == interval_) return;
    Stop();
    interval_ = ms;
    if (enabled_) enabled_ = Start();
}

bool TQuickCustomTimer::Start() {
    Stop();
    if (interval_ < 0 || !EnsureTimerService()) return false;
    skippedTicks_.store(0, std::memory_order_relaxed);
    serial_ = nextSerial.fetch_add(1);
    receiver->running.emplace(serial_, this);
    const TClock::duration period = std::chrono::milliseconds(interval_);
    ticker->Add({this, serial_, period, TClock::now() + period, noOverflow_});
    return true;
}

void TQuickCustomTimer::Stop() {
    if (!serial_) return;
    if (ticker) ticker->Remove(serial_);
    if (receiver) receiver->running.erase(serial_);
    serial_ = 0;
    pending_.store(0, std::memory_order_release);
    skippedTicks_.store(0, std::memory_order_relaxed);
}

void TQuickCustomTimer::SetEnabledState(bool on) {
    if (on == enabled_) return;
    if (on) {
        pending_.store(0, std::memory_order_release);
        enabled_ = Start();
    } else {
        Stop();
        enabled_ = false;
    }
}

TQuickSharedTimer::TQuickSharedTimer(QObject* owner) : TQuickCustomTimer(owner) {
    OnTimer = [this](TQuickCustomTimer*) { Dispatch(); };
}

bool TQuickSharedTimer::Register(TCallback callback, void* data) {
    for (int i = 0; i < clients_.Count(); ++i)
        if (clients_[i].callback == callback && clients_[i].data == data) return true;
    clients_.Append({callback, data});
    SetEnabledState(true);
    if (!Enabled()) clients_.Clear();
    return Enabled();
}

void TQuickSharedTimer::RemoveAt(int index) {
    clients_.Delete(index);
    if (clients_.Count() == 0) SetEnabledState(false);
}

void TQuickSharedTimer::Unregister(TCallback callback, void* data) {
    for (int i = 0; i < clients_.Count(); ++i) {
        if (clients_[i].callback == callback && clients_[i].data == data) {
            RemoveAt(i);
            return;
        }
    }
}

void TQuickSharedTimer::UnregisterAll(void* data) {
    for (int i = 0; i < clients_.Count(); ++i) {
        if (clients_[i].data == data) {
            RemoveAt(i);
            return;
        }
    }
}

void TQuickSharedTimer::Dispatch() {
    // From the end: a client removing itself pulls the last entry, already called, into its
    // place. A callback that removes several others can shorten the list below the walk.
    for (int i = clients_.Count() - 1; i >= 0; --i) {
        if (i >= clients_.Count()) continue;
        const TClient client = clients_[i];
        client.callback(client.data);
    }
}
