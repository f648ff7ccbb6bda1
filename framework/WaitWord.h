// Internal: sleeping on a 32-bit word until another thread changes it (a Linux futex). A hand-over
// costs one system call to sleep and one to wake; with a condition variable the waker's mutex is
// marked contended on every wake-up, which costs each side a further wake.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// A counter that waiters watch: each change wakes them all.
class TGenerationWord {
public:
    using TClock = std::chrono::steady_clock;

    std::uint32_t Load() const { return value_.load(); }
    // Moves the counter on and wakes every waiter; a system call only when one sleeps.
    void Advance();
    // Sleeps while the counter still reads Seen, until Deadline when given; may return early.
    // False when Deadline passed.
    bool WaitWhile(std::uint32_t Seen, const TClock::time_point* Deadline);

private:
    std::atomic<std::uint32_t> value_{0};
    std::atomic<std::uint32_t> sleepers_{0};
};

// Set once by one thread while another waits for it. The setter touches the word with one atomic
// exchange and then passes only its address to the kernel, so the waiter may return, and its
// frame holding the word end, as soon as it sees the word set.
class TDoneWord {
public:
    // Everything written before Set is visible after Wait returns.
    void Set();
    void Wait();

private:
    static constexpr std::uint32_t kPending = 0, kSleeping = 1, kSet = 2;
    std::atomic<std::uint32_t> state_{kPending};
};
