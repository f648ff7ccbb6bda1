// Waits of tests that end in a failure with a message when what they wait for does not come,
// instead of hanging until ctest's own time-out.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/serial/SerialDriver.h"
#include "platform/sync/PlatformError.h"

// Up to Count bytes from a descriptor, fewer when TimeoutMs passes first or the far side ends.
inline std::string ReadWithin(int Fd, std::size_t Count, int TimeoutMs) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (out.size() < Count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd fd{Fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buf[4096];
        const ssize_t n = ::read(Fd, buf, std::min(sizeof buf, Count - out.size()));
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

// OverlappedResult with a bound: waits (and so pumps the device) for the operation to complete,
// then collects its result. An operation still pending after TimeoutMs is a failure of the test.
inline bool OverlappedResultWithin(TSerialHandle Handle, OVERLAPPED* Overlapped,
                                   std::uint32_t* Transferred, std::uint32_t TimeoutMs = 10000) {
    if (WaitForSyncEvent(Overlapped->Event, TimeoutMs) != 0) {
        ADD_FAILURE() << "the overlapped operation is still pending after " << TimeoutMs << " ms";
        SetLastPlatformError(IO_INCOMPLETE);
        return false;
    }
    return OverlappedResult(Handle, Overlapped, Transferred, false);
}

// The exit status of a child process; -1 (and a failure) when it has not ended within TimeoutMs,
// after which it is killed and reaped.
inline int WaitChildWithin(pid_t Pid, int TimeoutMs = 30000) {
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0));
    bool ended = true;
    if (pidFd >= 0) {
        pollfd fd{pidFd, POLLIN, 0};
        ended = ::poll(&fd, 1, TimeoutMs) == 1;
        ::close(pidFd);
    }
    if (!ended) {
        ADD_FAILURE() << "child " << Pid << " has not ended after " << TimeoutMs << " ms";
        ::kill(Pid, SIGKILL);
    }
    int status = 0;
    if (::waitpid(Pid, &status, 0) != Pid) {
        ADD_FAILURE() << "waitpid failed for child " << Pid;
        return -1;
    }
    return ended ? status : -1;
}

// For calls that block by design (a read with all-zero time-outs, a device event wait without an
// OVERLAPPED): when the scope is not left within Limit, What is reported and the test process
// ends with a failure rather than hanging.
class TWatchdog {
public:
    TWatchdog(std::string What, std::chrono::milliseconds Limit = std::chrono::seconds(10))
        : FWhat(std::move(What)), FThread([this, Limit] { Watch(Limit); }) {}
    ~TWatchdog() {
        {
            std::lock_guard lock(FMutex);
            FLeft = true;
        }
        FChanged.notify_all();
        FThread.join();
    }
    TWatchdog(const TWatchdog&) = delete;
    TWatchdog& operator=(const TWatchdog&) = delete;

private:
    void Watch(std::chrono::milliseconds Limit) {
        std::unique_lock lock(FMutex);
        if (FChanged.wait_for(lock, Limit, [this] { return FLeft; }))
            return;
        std::fprintf(stderr, "FAILED: %s: still blocked after %lld ms\n", FWhat.c_str(),
                     static_cast<long long>(Limit.count()));
        std::fflush(stderr);
        std::_Exit(1);
    }

    std::string FWhat;
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FLeft = false;
    std::thread FThread;
};

// Call() under a watchdog named What; its result.
template <class TCall>
auto Within(const std::string& What, TCall&& Call,
            std::chrono::milliseconds Limit = std::chrono::seconds(10)) {
    const TWatchdog dog(What, Limit);
    return Call();
}
