// What the driver core needs from a device: the tty backend (real devices and ptys) and the
// virtual null-modem end implement it. Every bool call reports failure with errno set; EIO,
// ENXIO and ENODEV mean the device has vanished.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/types.h>

#include "platform/serial/SerialDriver.h"

// Per received byte.
inline constexpr std::uint8_t RXF_PARITY = 0x01;
inline constexpr std::uint8_t RXF_FRAME = 0x02;
inline constexpr std::uint8_t RXF_OVERRUN = 0x04;
inline constexpr std::uint8_t RXF_BREAK = 0x08;

// Line event counters of devices that keep them; a change is one occurrence.
struct TLineCounters {
    std::uint32_t Cts = 0, Dsr = 0, Rlsd = 0, Ring = 0;
    std::uint32_t Frame = 0, Parity = 0, Overrun = 0, Break = 0;
};

class TSerialBackend {
public:
    virtual ~TSerialBackend() = default;

    // The descriptor to poll and the poll bits for what the core wants.
    virtual int PollFd() const = 0;
    virtual short PollEvents(bool WantInput, bool WantOutput) const = 0;
    // After readiness: consume the notification, if the descriptor needs that.
    virtual void Acknowledge() {}
    // After the descriptor reported room for output: for a backend with bytes of its own queued.
    virtual void Writable() {}
    // A second descriptor that becomes readable when modem lines or line counters change, for
    // devices whose main descriptor does not tell (-1: none).
    virtual int LineEventFd() const { return -1; }
    virtual void AcknowledgeLineEvent() {}

    // > 0 bytes received, 0 nothing now, -1 failure. Flags[i] belongs to Data[i]; AnyFlags
    // tells whether any is non-zero.
    virtual ssize_t Receive(std::uint8_t* Data, std::uint8_t* Flags, std::size_t Max,
                            bool& AnyFlags) = 0;
    // Bytes received and held back by the backend, to be taken by Receive without waiting for
    // the descriptor's readiness.
    virtual bool Buffered() const { return false; }
    // >= 0 bytes accepted (0: full now), -1 failure.
    virtual ssize_t Send(const std::uint8_t* Data, std::size_t Count) = 0;

    // Fails with EINVAL when the device keeps a part of the state other than asked, with its
    // previous state back in force.
    virtual bool SetLine(const DCB& State) = 0;
    // Whether the far end (a network server) applies the line's flow control itself: output is
    // then never held back here for CTS or DSR.
    virtual bool RemoteFlowControl() const { return false; }
    // Whether the device itself keys RTS around transmissions in RTS toggle mode.
    virtual bool TogglesRts() const { return false; }
    virtual bool GetLine(DCB& State) = 0;
    virtual bool ModemLines(std::uint32_t& ModemStatus) = 0;
    virtual bool SetRts(bool On) = 0;
    virtual bool SetDtr(bool On) = 0;
    virtual bool SetBreak(bool On) = 0;
    // Stop or restart output as if XOFF or XON had been received.
    virtual bool StopOutput(bool Stop) = 0;
    // Output held as if XOFF had been received: 1 yes, 0 no, -1 the device cannot tell.
    virtual int OutputStopped() { return -1; }
    virtual bool Flush(bool Input, bool Output) = 0;
    virtual bool OutputQueued(std::uint32_t& Count) = 0;
    // False without touching errno when the device keeps no counters.
    virtual bool Counters(TLineCounters& Counters) = 0;
};
