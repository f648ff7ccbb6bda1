// A virtual null-modem pair in the process: two device names, each opened with SerialOpen like
// a real device, cross-wired like a null-modem cable: bytes written at one end arrive at the
// other, RTS drives the peer's CTS, DTR drives the peer's DSR and RLSD. Each end has a transmit
// queue of 4096 bytes that drains into the peer's receive buffer of 4096 bytes while its CTS
// allows (fOutxCtsFlow or RTS handshake), so output backs up when the peer does not read, and
// transmit-empty can be observed. An end with fOutX set stops and restarts its output on the
// XOFF and XON characters it receives, which it does not pass on as data, like a UART driver.
// Break, ring, line errors and unplugging are injected here.
// The names stay registered while the object lives; an end still open when it is destroyed
// behaves as unplugged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/serial/SerialDriver.h"

struct TVirtualPair;

class TVirtualNullModem {
public:
    // Fails (null, LastPlatformError EEXIST or EINVAL) when a name is taken, empty or the same;
    // with the system's number when its event descriptors cannot be created.
    static std::unique_ptr<TVirtualNullModem> Create(const std::string& NameA,
                                                     const std::string& NameB);
    ~TVirtualNullModem();
    TVirtualNullModem(const TVirtualNullModem&) = delete;
    TVirtualNullModem& operator=(const TVirtualNullModem&) = delete;

    // End 0 is NameA, end 1 NameB; each injection acts on what that end receives or sees.
    void InjectBreak(int End);
    // One received byte carrying line errors (CE_FRAME, CE_RXPARITY and/or CE_OVERRUN).
    void InjectLineError(int End, std::uint32_t Errors, std::uint8_t Byte);
    void SetRing(int End, bool On);
    // Holds the end's RLSD (carrier) on or off, as a modem does, instead of following the peer's
    // DTR; an RLSD change alone. ReleaseRlsd returns it to the wire.
    void SetRlsd(int End, bool On);
    void ReleaseRlsd(int End);
    // Unplugging makes an open handle on that end lose its device; opening the name fails with
    // ENOENT until Replug.
    void Unplug(int End);
    void Replug(int End);

    // What the end's owner has set: its line state and its output lines.
    DCB LineState(int End) const;
    bool Rts(int End) const;
    bool Dtr(int End) const;
    bool Break(int End) const;

private:
    explicit TVirtualNullModem(std::shared_ptr<TVirtualPair> Pair);
    void SetCarrier(int End, int Carrier);
    std::shared_ptr<TVirtualPair> pair_;
};
