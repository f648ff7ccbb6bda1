// Modem-line changes of a real serial device cannot be polled: TIOCMIWAIT blocks until one
// happens. A watcher thread sits in it (no CPU while idle) and turns each change into a
// readable eventfd that the driver polls with the device. A signal ends the wait at close.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class TModemWatcher {
public:
    // Fd must stay open until the watcher is destroyed. Raises std::system_error when the
    // eventfd or the thread cannot be created.
    explicit TModemWatcher(int Fd);
    ~TModemWatcher();
    TModemWatcher(const TModemWatcher&) = delete;
    TModemWatcher& operator=(const TModemWatcher&) = delete;

    int EventFd() const { return eventFd_; }
    // Consumes the readiness after a poll reported it.
    void Acknowledge();

private:
    void Run();

    const int fd_;
    int eventFd_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;
};
