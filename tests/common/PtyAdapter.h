// A pty standing in for a USB serial adapter, reached by a link of its own so that it keeps its
// name when it is plugged in again: pulling it removes the link, as udev removes an adapter's
// by-id link, and closes the master (the port's side sees a hang-up); plugging it makes a new pty
// under the same link. A link left dangling would name whatever pty gets its number next, in any
// process: a port watching for it would open another test's device. Header only; used by tests
// and benchmarks.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

class TPtyAdapter {
public:
    explicit TPtyAdapter(std::filesystem::path link) : Link(std::move(link)) { Plug(); }
    ~TPtyAdapter() { Pull(); }
    TPtyAdapter(const TPtyAdapter&) = delete;
    TPtyAdapter& operator=(const TPtyAdapter&) = delete;

    void Plug() {
        Pull();
        Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0) {
            throw std::system_error(errno, std::generic_category(), "pty");
        }
        std::error_code ignored;
        std::filesystem::remove(Link, ignored);
        std::filesystem::create_symlink(::ptsname(Master), Link);
    }
    void Pull() {
        if (Master >= 0) {
            std::error_code ignored;
            std::filesystem::remove(Link, ignored);
            ::close(Master);
            Master = -1;
        }
    }
    const std::filesystem::path& Name() const { return Link; }
    int MasterFd() const { return Master; }

    // Bytes the port sent, waiting at most timeoutMs for the first of them.
    std::vector<std::uint8_t> Read(int timeoutMs) const {
        std::vector<std::uint8_t> bytes(4096);
        pollfd p{Master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1 || (p.revents & POLLIN) == 0) {
            return {};
        }
        const ssize_t n = ::read(Master, bytes.data(), bytes.size());
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }

private:
    std::filesystem::path Link;
    int Master = -1;
};

// Writes random bytes into an adapter as fast as the port's side takes them until Stop is set;
// counts what went in. Runs on the caller's thread.
inline std::uint64_t FloodGarbage(const TPtyAdapter& adapter, const std::atomic<bool>& Stop) {
    std::mt19937 random(12345);
    std::vector<std::uint8_t> chunk(4096);
    std::uint64_t written = 0;
    while (!Stop) {
        for (auto& b : chunk) {
            b = static_cast<std::uint8_t>(random());
        }
        pollfd p{adapter.MasterFd(), POLLOUT, 0};
        if (::poll(&p, 1, 50) != 1) {
            continue;
        }
        const ssize_t n = ::write(adapter.MasterFd(), chunk.data(), chunk.size());
        if (n > 0) {
            written += static_cast<std::uint64_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
    }
    return written;
}
