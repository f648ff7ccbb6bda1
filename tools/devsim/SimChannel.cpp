#include "tools/devsim/SimChannel.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(int Error, const char* What) {
    throw std::system_error(Error, std::generic_category(), What);
}

// None waits without limit; a time already past does not wait.
int TimeoutMs(std::optional<TSimDuration> Timeout) {
    if (!Timeout) {
        return -1;
    }
    return static_cast<int>(std::max<std::int64_t>(0, Timeout->count()));
}

constexpr std::size_t kReadChunk = 4096;

} // namespace

TSerialChannel::TSerialChannel(TSerialHandle Handle)
    : handle_(Handle), stop_(CreateSyncEvent(true, false)) {
    wait_.Event = CreateSyncEvent(true, false);
    // All bits set interval with zero totals: a read returns at once with what is queued.
    COMMTIMEOUTS immediate{};
    immediate.ReadIntervalTimeout = MAXDWORD;
    if (!SetDeviceTimeouts(handle_, immediate) || !SetDeviceEventMask(handle_, EV_RXCHAR)) {
        Fail(LastPlatformError(), "setting up the simulator's device");
    }
}

TSerialChannel::~TSerialChannel() {
    if (waitPending_) {
        // Setting the mask ends the pending wait; collect it so the driver lets go of wait_.
        SetDeviceEventMask(handle_, EV_RXCHAR);
        std::uint32_t ignored = 0;
        OverlappedResult(handle_, &wait_, &ignored, true);
    }
}

std::vector<std::uint8_t> TSerialChannel::ReadQueued() {
    std::vector<std::uint8_t> bytes(kReadChunk);
    std::uint32_t got = 0;
    if (!SerialRead(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &got,
                    nullptr)) {
        Fail(LastPlatformError(), "reading from the simulator's device");
    }
    bytes.resize(got);
    return bytes;
}

TChannelRead TSerialChannel::Read(std::optional<TSimDuration> Timeout) {
    if (stop_->IsSet()) {
        return {true, {}};
    }
    if (auto bytes = ReadQueued(); !bytes.empty()) {
        return {false, std::move(bytes)};
    }
    if (!waitPending_) {
        events_ = 0;
        if (WaitForDeviceEvent(handle_, &events_, &wait_)) {
            return {false, ReadQueued()};
        }
        if (LastPlatformError() != IO_PENDING) {
            Fail(LastPlatformError(), "waiting on the simulator's device");
        }
        waitPending_ = true;
    }
    const TEventHandle events[] = {wait_.Event, stop_};
    const int ms = TimeoutMs(Timeout);
    const std::uint32_t woke =
        WaitForSyncEvents(events, 2, ms < 0 ? SyncInfinite : static_cast<std::uint32_t>(ms));
    if (woke == 0) {
        std::uint32_t ignored = 0;
        waitPending_ = false;
        if (!OverlappedResult(handle_, &wait_, &ignored, false)) {
            Fail(LastPlatformError(), "waiting on the simulator's device");
        }
        return {false, ReadQueued()};
    }
    if (woke == 1) {
        return {true, {}};
    }
    if (woke == SyncWaitFailed) {
        Fail(LastPlatformError(), "waiting on the simulator's device");
    }
    return {false, {}};
}

void TSerialChannel::Write(std::span<const std::uint8_t> Bytes) {
    std::uint32_t written = 0;
    if (!SerialWrite(handle_, Bytes.data(), static_cast<std::uint32_t>(Bytes.size()), &written,
                     nullptr)) {
        Fail(LastPlatformError(), "writing to the simulator's device");
    }
    if (written != Bytes.size()) {
        Fail(EIO, "writing to the simulator's device");
    }
}

TFdChannel::TFdChannel(int DataFd, int StopFd) : fd_(DataFd), stopFd_(StopFd) {
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) {
        Fail(errno, "setting up the simulator's descriptor");
    }
}

TChannelRead TFdChannel::Read(std::optional<TSimDuration> Timeout) {
    pollfd fds[] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, TimeoutMs(Timeout));
    if (ready < 0) {
        if (errno == EINTR) {
            return {false, {}};
        }
        Fail(errno, "waiting on the simulator's descriptor");
    }
    if (fds[0].revents != 0) {
        return {true, {}};
    }
    if (fds[1].revents == 0) {
        return {false, {}};
    }
    std::vector<std::uint8_t> bytes(kReadChunk);
    const ssize_t got = ::read(fd_, bytes.data(), bytes.size());
    if (got < 0) {
        if (errno == EAGAIN || errno == EINTR) {
            return {false, {}};
        }
        Fail(errno, "reading from the simulator's descriptor");
    }
    if (got == 0) {
        Fail(EIO, "the simulator's descriptor was closed");
    }
    bytes.resize(static_cast<std::size_t>(got));
    return {false, std::move(bytes)};
}

void TFdChannel::Write(std::span<const std::uint8_t> Bytes) {
    std::size_t done = 0;
    while (done < Bytes.size()) {
        const ssize_t n = ::write(fd_, Bytes.data() + done, Bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            Fail(errno, "writing to the simulator's descriptor");
        }
        // The other side does not read: wait until it does, or until the channel is stopped.
        pollfd fds[] = {{stopFd_, POLLIN, 0}, {fd_, POLLOUT, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            Fail(errno, "waiting on the simulator's descriptor");
        }
        if (fds[0].revents != 0) {
            return;
        }
    }
}
