// The line a simulated device talks over. Read waits for bytes with a time-out and ends early
// when the channel is stopped; nothing polls in a loop.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/serial/SerialDriver.h"
#include "tools/devsim/SimClock.h"

struct TChannelRead {
    bool Stopped = false;
    std::vector<std::uint8_t> Bytes; // empty when the time ran out
};

class TSimChannel {
public:
    virtual ~TSimChannel() = default;
    // Timeout none: wait without limit.
    virtual TChannelRead Read(std::optional<TSimDuration> Timeout) = 0;
    // Writes all of Bytes or raises std::system_error.
    virtual void Write(std::span<const std::uint8_t> Bytes) = 0;
};

// A device of the serial driver, already open (the tests use one end of a virtual null-modem).
// The channel sets its time-outs and event mask; Stop may be called from any thread.
class TSerialChannel : public TSimChannel {
public:
    explicit TSerialChannel(TSerialHandle Handle);
    ~TSerialChannel() override;
    TSerialChannel(const TSerialChannel&) = delete;
    TSerialChannel& operator=(const TSerialChannel&) = delete;

    TChannelRead Read(std::optional<TSimDuration> Timeout) override;
    void Write(std::span<const std::uint8_t> Bytes) override;
    void Stop() { stop_->Set(); }

private:
    std::vector<std::uint8_t> ReadQueued();

    TSerialHandle handle_;
    TEventHandle stop_;
    OVERLAPPED wait_;
    std::uint32_t events_ = 0;
    bool waitPending_ = false;
};

// A descriptor, such as a pty's master side, set non-blocking here. The channel stops when
// StopFd becomes readable (a signalfd for the console program, an eventfd, a pipe).
class TFdChannel : public TSimChannel {
public:
    TFdChannel(int DataFd, int StopFd);
    TChannelRead Read(std::optional<TSimDuration> Timeout) override;
    void Write(std::span<const std::uint8_t> Bytes) override;

private:
    int fd_;
    int stopFd_;
};
