#include "platform/serial/ModemWatcher.h"

#include <cerrno>
#include <csignal>
#include <system_error>

#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int WakeSignal() {
    return SIGRTMIN + 5;
}

void InstallWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0; // no SA_RESTART: the blocked ioctl must return EINTR
        if (sigaction(WakeSignal(), &sa, nullptr) != 0)
            throw std::system_error(errno, std::generic_category(), "sigaction");
    });
}

} // namespace

TModemWatcher::TModemWatcher(int Fd) : fd_(Fd) {
    InstallWakeHandler();
    eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (eventFd_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        ::close(eventFd_);
        throw;
    }
}

TModemWatcher::~TModemWatcher() {
    stop_.store(true);
    std::unique_lock lock(mutex_);
    // The signal may arrive just before the thread enters the ioctl; repeat until it has left.
    for (int i = 0; i < 200 && !done_; ++i) {
        pthread_kill(thread_.native_handle(), WakeSignal());
        finished_.wait_for(lock, std::chrono::milliseconds(10), [this] { return done_; });
    }
    lock.unlock();
    thread_.join();
    ::close(eventFd_);
}

void TModemWatcher::Acknowledge() {
    std::uint64_t value = 0;
    if (::read(eventFd_, &value, sizeof value) < 0 && errno != EAGAIN)
        throw std::system_error(errno, std::generic_category(), "eventfd read");
}

void TModemWatcher::Run() {
    const std::uint64_t one = 1;
    while (!stop_.load()) {
        const int rc = ::ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CAR);
        if (rc != 0 && errno == EINTR)
            continue;
        // A change, or a failure (hang-up): either way the driver must look at the device.
        if (::write(eventFd_, &one, sizeof one) != sizeof one && errno != EAGAIN)
            break;
        if (rc != 0)
            break;
    }
    std::lock_guard lock(mutex_);
    done_ = true;
    finished_.notify_all();
}
