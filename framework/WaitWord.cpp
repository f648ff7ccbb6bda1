#include "framework/WaitWord.h"

#include <cerrno>
#include <climits>
#include <ctime>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

// FUTEX_WAIT_BITSET takes an absolute time on CLOCK_MONOTONIC, the steady clock's.
long FutexWait(std::atomic<std::uint32_t>& Word, std::uint32_t Seen, const timespec* Deadline) {
    return syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&Word), FUTEX_WAIT_BITSET_PRIVATE,
                   Seen, Deadline, nullptr, FUTEX_BITSET_MATCH_ANY);
}

void FutexWake(std::atomic<std::uint32_t>& Word, int Count) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&Word), FUTEX_WAKE_PRIVATE, Count, nullptr,
            nullptr, 0);
}

} // namespace

void TGenerationWord::Advance() {
    // Sequentially consistent on both sides: either the waker sees the sleeper counted, or the
    // sleeper sees the new value and does not sleep.
    value_.fetch_add(1);
    if (sleepers_.load() != 0)
        FutexWake(value_, INT_MAX);
}

bool TGenerationWord::WaitWhile(std::uint32_t Seen, const TClock::time_point* Deadline) {
    timespec until{};
    if (Deadline) {
        if (TClock::now() >= *Deadline)
            return false;
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Deadline->time_since_epoch());
        until.tv_sec = static_cast<time_t>(ns.count() / 1000000000);
        until.tv_nsec = static_cast<long>(ns.count() % 1000000000);
    }
    bool timedOut = false;
    sleepers_.fetch_add(1);
    if (value_.load() == Seen && FutexWait(value_, Seen, Deadline ? &until : nullptr) == -1)
        timedOut = errno == ETIMEDOUT;
    sleepers_.fetch_sub(1);
    return !timedOut;
}

void TDoneWord::Set() {
    if (state_.exchange(kSet, std::memory_order_acq_rel) == kSleeping)
        FutexWake(state_, 1);
}

void TDoneWord::Wait() {
    std::uint32_t s = kPending;
    if (!state_.compare_exchange_strong(s, kSleeping, std::memory_order_acquire))
        return; // already set
    while (state_.load(std::memory_order_acquire) != kSet)
        FutexWait(state_, kSleeping, nullptr);
}
