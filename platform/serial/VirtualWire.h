// The wire between the two ends of a virtual null-modem pair and the names it is known by.
// Everything of a pair is guarded by its mutex.
#pragma once

#include <cerrno>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/serial/ByteRing.h"
#include "platform/serial/SerialBackend.h"

inline constexpr std::size_t WireBytes = 4096;

struct TVirtualEnd {
    std::string name;
    bool open = false;
    bool unplugged = false;
    std::uint64_t generation = 0; // of the open handle; an older handle has lost its device
    TByteRing tx{WireBytes};
    TByteRing rx{WireBytes};
    std::deque<std::pair<std::uint64_t, std::uint8_t>> rxFlags; // stream index -> RXF_* bits
    std::uint64_t rxHead = 0;                                   // stream index of rx's first byte
    bool rts = false, dtr = false, brk = false, ring = false, stopped = false;
    int carrier = -1; // RLSD held on (1) or off (0) by injection; -1 follows the peer's DTR
    DCB line;
    TLineCounters counters;
    int wakeFd = -1;
};

struct TVirtualPair {
    std::mutex m;
    TVirtualEnd ends[2];

    TVirtualPair() {
        for (auto& e : ends) {
            e.line.BaudRate = 9600;
            e.line.Flags = DCB_fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
        }
    }
    ~TVirtualPair() {
        for (auto& e : ends)
            if (e.wakeFd >= 0)
                ::close(e.wakeFd);
    }
    // The ends' wake-up descriptors; false with errno when the system has none left.
    bool Init() {
        for (auto& e : ends) {
            e.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            if (e.wakeFd < 0)
                return false;
        }
        return true;
    }

    static void Wake(TVirtualEnd& e) {
        const std::uint64_t one = 1;
        if (::write(e.wakeFd, &one, sizeof one) != sizeof one && errno != EAGAIN)
            throw std::system_error(errno, std::generic_category(), "eventfd write");
    }

    bool CtsAt(int i) const {
        const auto& peer = ends[1 - i];
        return peer.open && !peer.unplugged && peer.rts;
    }
    bool DsrAt(int i) const {
        const auto& peer = ends[1 - i];
        return peer.open && !peer.unplugged && peer.dtr;
    }
    bool RlsdAt(int i) const { return ends[i].carrier >= 0 ? ends[i].carrier > 0 : DsrAt(i); }

    // Moves end i's transmit queue onto the wire as far as the peer's buffer and CTS allow.
    void Transmit(int i) {
        auto& me = ends[i];
        auto& peer = ends[1 - i];
        if (me.tx.Empty() || me.stopped)
            return;
        const bool ctsFlow = (me.line.Flags & DCB_fOutxCtsFlow) ||
                             (me.line.Flags & DCB_fRtsControlMask) == RTS_CONTROL_HANDSHAKE;
        if (ctsFlow && !CtsAt(i))
            return;
        std::uint8_t chunk[WireBytes];
        bool peerRestarted = false;
        if (!peer.open || peer.unplugged) {
            me.tx.Clear(); // nobody at the other end of the cable
        } else {
            const std::size_t n = me.tx.Peek(chunk, peer.rx.Free());
            if (n == 0)
                return;
            me.tx.Drop(n);
            peer.rx.Push(chunk, ObeyFlowChars(peer, chunk, n, peerRestarted));
            Wake(peer);
        }
        if (me.tx.Empty())
            Wake(me);
        if (peerRestarted)
            Transmit(1 - i);
    }

    // Output XON/XOFF of the receiving end, as a UART driver does it: the two characters stop and
    // restart that end's own output and are not received as data. Returns the bytes kept.
    static std::size_t ObeyFlowChars(TVirtualEnd& e, std::uint8_t* data, std::size_t n,
                                     bool& restarted) {
        if (!(e.line.Flags & DCB_fOutX))
            return n;
        std::size_t w = 0;
        for (std::size_t r = 0; r < n; ++r) {
            if (data[r] == e.line.XoffChar) {
                e.stopped = true;
            } else if (data[r] == e.line.XonChar) {
                restarted = restarted || e.stopped;
                e.stopped = false;
            } else {
                data[w++] = data[r];
            }
        }
        return w;
    }

    void ReceiveMarked(int i, std::uint8_t byte, std::uint8_t flags) {
        auto& me = ends[i];
        if (!me.open)
            return;
        if (me.rx.Free() == 0) {
            ++me.counters.Overrun;
            return;
        }
        me.rxFlags.emplace_back(me.rxHead + me.rx.Size(), flags);
        me.rx.Push(&byte, 1);
        Wake(me);
    }

    // Output lines of end i changed: the peer's inputs follow.
    void LinesChanged(int i, bool rtsChanged, bool dtrChanged) {
        auto& peer = ends[1 - i];
        if (rtsChanged)
            ++peer.counters.Cts;
        if (dtrChanged) {
            ++peer.counters.Dsr;
            if (peer.carrier < 0)
                ++peer.counters.Rlsd;
        }
        if (rtsChanged || dtrChanged) {
            Wake(peer);
            Transmit(1 - i);
        }
    }

    void SetOutputs(int i, bool rts, bool dtr) {
        auto& me = ends[i];
        const bool rc = me.rts != rts, dc = me.dtr != dtr;
        me.rts = rts;
        me.dtr = dtr;
        LinesChanged(i, rc, dc);
    }
};

// Names of the live pairs: name -> (pair, end).
std::mutex& VirtualRegistryMutex();
std::map<std::string, std::pair<std::weak_ptr<TVirtualPair>, int>>& VirtualRegistry();
