#include "platform/serial/VirtualNullModem.h"

#include <cerrno>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/serial/ByteRing.h"
#include "platform/serial/VirtualBackend.h"

namespace {
constexpr std::size_t WireBytes = 4096;
}

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
    DCB line;
    TLineCounters counters;
    int wakeFd = -1;
};

struct TVirtualPair {
    std::mutex m;
    TVirtualEnd ends[2];

    TVirtualPair() {
        for (auto& e : ends) {
            e.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            if (e.wakeFd < 0)
                throw std::system_error(errno, std::generic_category(), "eventfd");
            e.line.BaudRate = 9600;
            e.line.Flags = DCB_fBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
        }
    }
    ~TVirtualPair() {
        for (auto& e : ends)
            ::close(e.wakeFd);
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
        if (!peer.open || peer.unplugged) {
            me.tx.Clear(); // nobody at the other end of the cable
        } else {
            const std::size_t n = me.tx.Peek(chunk, peer.rx.Free());
            if (n == 0)
                return;
            peer.rx.Push(chunk, n);
            me.tx.Drop(n);
            Wake(peer);
        }
        if (me.tx.Empty())
            Wake(me);
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

namespace {

std::mutex registryMutex;
std::map<std::string, std::pair<std::weak_ptr<TVirtualPair>, int>>& Registry() {
    static std::map<std::string, std::pair<std::weak_ptr<TVirtualPair>, int>> names;
    return names;
}

class TVirtualBackend : public TSerialBackend {
public:
    TVirtualBackend(std::shared_ptr<TVirtualPair> pair, int end)
        : p_(std::move(pair)), i_(end), gen_(p_->ends[end].generation) {}

    ~TVirtualBackend() override {
        std::lock_guard lock(p_->m);
        auto& me = p_->ends[i_];
        if (me.generation != gen_)
            return; // the end was replugged and belongs to a newer handle
        me.open = false;
        me.tx.Clear();
        me.rx.Clear();
        me.rxFlags.clear();
        p_->SetOutputs(i_, false, false);
        me.brk = false;
    }

    int PollFd() const override { return p_->ends[i_].wakeFd; }
    short PollEvents(bool, bool) const override { return POLLIN; }

    void Acknowledge() override {
        std::uint64_t value = 0;
        if (::read(p_->ends[i_].wakeFd, &value, sizeof value) < 0 && errno != EAGAIN)
            throw std::system_error(errno, std::generic_category(), "eventfd read");
    }

    ssize_t Receive(std::uint8_t* Data, std::uint8_t* Flags, std::size_t Max,
                    bool& AnyFlags) override {
        std::lock_guard lock(p_->m);
        auto& me = p_->ends[i_];
        AnyFlags = false;
        if (Lost(me))
            return -1;
        const std::size_t n = me.rx.Pop(Data, Max);
        if (n == 0)
            return 0;
        std::fill(Flags, Flags + n, std::uint8_t{0});
        while (!me.rxFlags.empty() && me.rxFlags.front().first < me.rxHead + n) {
            Flags[me.rxFlags.front().first - me.rxHead] = me.rxFlags.front().second;
            me.rxFlags.pop_front();
            AnyFlags = true;
        }
        me.rxHead += n;
        p_->Transmit(1 - i_);
        return static_cast<ssize_t>(n);
    }

    ssize_t Send(const std::uint8_t* Data, std::size_t Count) override {
        std::lock_guard lock(p_->m);
        auto& me = p_->ends[i_];
        if (Lost(me))
            return -1;
        const std::size_t n = me.tx.Push(Data, Count);
        p_->Transmit(i_);
        return static_cast<ssize_t>(n);
    }

    bool SetLine(const DCB& State) override {
        if (State.BaudRate == 0 || State.ByteSize < 5 || State.ByteSize > 8 || State.Parity > 4 ||
            State.StopBits > 2) {
            errno = EINVAL;
            return false;
        }
        std::lock_guard lock(p_->m);
        if (Lost(p_->ends[i_]))
            return false;
        p_->ends[i_].line = State;
        p_->Transmit(i_);
        return true;
    }

    bool GetLine(DCB& State) override {
        std::lock_guard lock(p_->m);
        if (Lost(p_->ends[i_]))
            return false;
        State = p_->ends[i_].line;
        return true;
    }

    bool ModemLines(std::uint32_t& Ms) override {
        std::lock_guard lock(p_->m);
        const auto& me = p_->ends[i_];
        if (Lost(me))
            return false;
        Ms = (p_->CtsAt(i_) ? MS_CTS_ON : 0) | (p_->DsrAt(i_) ? MS_DSR_ON | MS_RLSD_ON : 0) |
             (me.ring ? MS_RING_ON : 0);
        return true;
    }

    bool SetRts(bool On) override {
        std::lock_guard lock(p_->m);
        if (Lost(p_->ends[i_]))
            return false;
        p_->SetOutputs(i_, On, p_->ends[i_].dtr);
        return true;
    }

    bool SetDtr(bool On) override {
        std::lock_guard lock(p_->m);
        if (Lost(p_->ends[i_]))
            return false;
        p_->SetOutputs(i_, p_->ends[i_].rts, On);
        return true;
    }

    bool SetBreak(bool On) override {
        std::lock_guard lock(p_->m);
        auto& me = p_->ends[i_];
        if (Lost(me))
            return false;
        if (On && !me.brk) {
            auto& peer = p_->ends[1 - i_];
            ++peer.counters.Break;
            p_->ReceiveMarked(1 - i_, 0, RXF_BREAK);
            p_->Wake(peer);
        }
        me.brk = On;
        return true;
    }

    bool StopOutput(bool Stop) override {
        std::lock_guard lock(p_->m);
        auto& me = p_->ends[i_];
        if (Lost(me))
            return false;
        me.stopped = Stop;
        p_->Transmit(i_);
        return true;
    }

    bool Flush(bool Input, bool Output) override {
        std::lock_guard lock(p_->m);
        auto& me = p_->ends[i_];
        if (Lost(me))
            return false;
        if (Input) {
            me.rxHead += me.rx.Size();
            me.rx.Clear();
            me.rxFlags.clear();
            p_->Transmit(1 - i_);
        }
        if (Output)
            me.tx.Clear();
        return true;
    }

    bool OutputQueued(std::uint32_t& Count) override {
        std::lock_guard lock(p_->m);
        if (Lost(p_->ends[i_]))
            return false;
        Count = static_cast<std::uint32_t>(p_->ends[i_].tx.Size());
        return true;
    }

    bool Counters(TLineCounters& C) override {
        std::lock_guard lock(p_->m);
        if (Lost(p_->ends[i_]))
            return false;
        C = p_->ends[i_].counters;
        return true;
    }

private:
    bool Lost(const TVirtualEnd& e) const {
        if (!e.unplugged && e.generation == gen_)
            return false;
        errno = EIO;
        return true;
    }

    std::shared_ptr<TVirtualPair> p_;
    int i_;
    std::uint64_t gen_;
};

} // namespace

std::unique_ptr<TSerialBackend> OpenVirtualBackend(const std::string& Name, bool& Known) {
    std::shared_ptr<TVirtualPair> pair;
    int end = 0;
    {
        std::lock_guard lock(registryMutex);
        auto it = Registry().find(Name);
        Known = it != Registry().end();
        if (!Known)
            return nullptr;
        pair = it->second.first.lock();
        end = it->second.second;
    }
    if (!pair) {
        errno = ENOENT;
        return nullptr;
    }
    std::lock_guard lock(pair->m);
    auto& me = pair->ends[end];
    if (me.unplugged) {
        errno = ENOENT;
        return nullptr;
    }
    if (me.open) {
        errno = EBUSY;
        return nullptr;
    }
    me.open = true;
    ++me.generation;
    me.stopped = false;
    me.brk = false;
    me.rx.Clear();
    me.rxFlags.clear();
    me.tx.Clear();
    // A tty raises DTR and RTS on open; so does the virtual end.
    pair->SetOutputs(end, true, true);
    return std::make_unique<TVirtualBackend>(pair, end);
}

void ListVirtualDevices(std::vector<std::string>& Names) {
    std::lock_guard lock(registryMutex);
    for (const auto& [name, entry] : Registry())
        if (!entry.first.expired())
            Names.push_back(name);
}

TVirtualNullModem::TVirtualNullModem(std::shared_ptr<TVirtualPair> Pair) : pair_(std::move(Pair)) {}

std::unique_ptr<TVirtualNullModem> TVirtualNullModem::Create(const std::string& NameA,
                                                             const std::string& NameB) {
    if (NameA.empty() || NameB.empty() || NameA == NameB) {
        SetLastPlatformError(EINVAL);
        return nullptr;
    }
    auto pair = std::make_shared<TVirtualPair>();
    pair->ends[0].name = NameA;
    pair->ends[1].name = NameB;
    std::lock_guard lock(registryMutex);
    auto& reg = Registry();
    for (const auto* name : {&NameA, &NameB}) {
        auto it = reg.find(*name);
        if (it != reg.end() && !it->second.first.expired()) {
            SetLastPlatformError(EEXIST);
            return nullptr;
        }
    }
    reg[NameA] = {pair, 0};
    reg[NameB] = {pair, 1};
    return std::unique_ptr<TVirtualNullModem>(new TVirtualNullModem(pair));
}

TVirtualNullModem::~TVirtualNullModem() {
    {
        std::lock_guard lock(registryMutex);
        for (auto& e : pair_->ends) {
            auto it = Registry().find(e.name);
            if (it != Registry().end() && it->second.first.lock() == pair_)
                Registry().erase(it);
        }
    }
    for (int i = 0; i < 2; ++i)
        Unplug(i);
}

void TVirtualNullModem::InjectBreak(int End) {
    std::lock_guard lock(pair_->m);
    ++pair_->ends[End & 1].counters.Break;
    pair_->ReceiveMarked(End & 1, 0, RXF_BREAK);
    TVirtualPair::Wake(pair_->ends[End & 1]);
}

void TVirtualNullModem::InjectLineError(int End, std::uint32_t Errors, std::uint8_t Byte) {
    std::lock_guard lock(pair_->m);
    auto& e = pair_->ends[End & 1];
    std::uint8_t flags = 0;
    if (Errors & CE_FRAME) {
        flags |= RXF_FRAME;
        ++e.counters.Frame;
    }
    if (Errors & CE_RXPARITY) {
        flags |= RXF_PARITY;
        ++e.counters.Parity;
    }
    if (Errors & CE_OVERRUN) {
        flags |= RXF_OVERRUN;
        ++e.counters.Overrun;
    }
    pair_->ReceiveMarked(End & 1, Byte, flags);
    TVirtualPair::Wake(e);
}

void TVirtualNullModem::SetRing(int End, bool On) {
    std::lock_guard lock(pair_->m);
    auto& e = pair_->ends[End & 1];
    if (On && !e.ring)
        ++e.counters.Ring;
    e.ring = On;
    TVirtualPair::Wake(e);
}

void TVirtualNullModem::Unplug(int End) {
    std::lock_guard lock(pair_->m);
    auto& e = pair_->ends[End & 1];
    if (e.unplugged)
        return;
    pair_->SetOutputs(End & 1, false, false);
    e.unplugged = true;
    TVirtualPair::Wake(e);
    TVirtualPair::Wake(pair_->ends[1 - (End & 1)]);
}

void TVirtualNullModem::Replug(int End) {
    std::lock_guard lock(pair_->m);
    auto& e = pair_->ends[End & 1];
    if (!e.unplugged)
        return;
    e.unplugged = false;
    // A handle that was open across the unplug stays dead, like a hung-up tty descriptor.
    e.open = false;
    ++e.generation;
}

DCB TVirtualNullModem::LineState(int End) const {
    std::lock_guard lock(pair_->m);
    return pair_->ends[End & 1].line;
}

bool TVirtualNullModem::Rts(int End) const {
    std::lock_guard lock(pair_->m);
    return pair_->ends[End & 1].rts;
}

bool TVirtualNullModem::Dtr(int End) const {
    std::lock_guard lock(pair_->m);
    return pair_->ends[End & 1].dtr;
}

bool TVirtualNullModem::Break(int End) const {
    std::lock_guard lock(pair_->m);
    return pair_->ends[End & 1].brk;
}
