// Events and waits: manual- and auto-reset events, waiting on one or several with a time-out
// (telling which one ended the wait), and sleep.
//
// An event is an eventfd plus an atomic flag. The flag is the truth; the eventfd only wakes
// threads blocked in poll(), and is written only while such a thread exists, so setting an event
// nobody sleeps on costs no system call.
//
// Wait sources: an object that finishes its work only when someone waits for it (the serial
// driver's pending operations) attaches itself to the completion event. Every wait on that event
// then polls the source's descriptors too and lets the source do its work in the waiting thread,
// so a completion costs the waiting thread one wake-up and no hand-over between threads.
//
// Concurrency: all operations may be called from any thread at any time. Set happens-before the
// return of a wait that it ended.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <poll.h>

using TSyncClock = std::chrono::steady_clock;

class TWaitSource {
public:
    virtual ~TWaitSource() = default;
    // Appends the descriptors to watch and lowers Deadline when time-based work falls due.
    // Every PollBegin is followed by exactly one PollEnd with the same slice, revents filled.
    virtual void PollBegin(std::vector<pollfd>& Fds, TSyncClock::time_point& Deadline) = 0;
    virtual void PollEnd(const pollfd* Fds, std::size_t Count) = 0;
};

class TSyncEvent {
public:
    // Raises std::system_error when the descriptor cannot be created.
    TSyncEvent(bool ManualReset, bool InitialState);
    ~TSyncEvent();
    TSyncEvent(const TSyncEvent&) = delete;
    TSyncEvent& operator=(const TSyncEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    bool ManualReset() const { return manual_; }

    void AttachSource(std::shared_ptr<TWaitSource> Source);
    // Detaches only if Source is the one attached.
    void DetachSource(const TWaitSource* Source);

private:
    friend std::uint32_t WaitForSyncEvents(const std::shared_ptr<TSyncEvent>* Events,
                                           std::size_t Count, std::uint32_t TimeoutMs);
    bool TryAcquire();
    // Under mutex_: empties the eventfd once nobody needs waking.
    void Disarm();
    std::shared_ptr<TWaitSource> Source() const;

    const bool manual_;
    int fd_ = -1;
    mutable std::mutex mutex_;
    std::atomic<bool> signalled_;
    std::atomic<int> sleepers_{0};
    bool armed_ = false; // eventfd counter non-zero; guarded by mutex_
    std::shared_ptr<TWaitSource> source_;
    std::atomic<bool> hasSource_{false}; // source_ is set; written under mutex_
};

using TEventHandle = std::shared_ptr<TSyncEvent>;

inline constexpr std::uint32_t SyncInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t SyncWaitTimeout = 0x102;
inline constexpr std::uint32_t SyncWaitFailed = 0xFFFFFFFFu;

// Raises std::system_error like the constructor.
TEventHandle CreateSyncEvent(bool ManualReset, bool InitialState);

// Waits until any of the events is signalled, for at most TimeoutMs (SyncInfinite: no limit).
// Returns the index of the event that ended the wait (the lowest when several are signalled; an
// auto-reset event is reset by it), SyncWaitTimeout, or SyncWaitFailed with the platform error
// (EINVAL for no events or an empty handle, else the failing call's number).
std::uint32_t WaitForSyncEvents(const TEventHandle* Events, std::size_t Count,
                                std::uint32_t TimeoutMs);
std::uint32_t WaitForSyncEvent(const TEventHandle& Event, std::uint32_t TimeoutMs);

// Sleep 0 gives up the rest of the time slice.
void SyncSleep(std::uint32_t Ms);
