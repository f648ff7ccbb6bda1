// The driver's side of a virtual end, and the registry of the pairs' names.
#include "platform/serial/VirtualBackend.h"

#include <algorithm>

#include "platform/serial/VirtualWire.h"

std::mutex& VirtualRegistryMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::pair<std::weak_ptr<TVirtualPair>, int>>& VirtualRegistry() {
    static std::map<std::string, std::pair<std::weak_ptr<TVirtualPair>, int>> names;
    return names;
}

namespace {

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
        // A write of the peer held by a full wire now goes to nobody and completes.
        p_->Transmit(1 - i_);
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

    // The wake-up descriptor is consumed once per arrival: bytes left on the wire while input
    // was held back by flow control wake nobody, so they count as held here.
    bool Buffered() const override {
        std::lock_guard lock(p_->m);
        const auto& me = p_->ends[i_];
        return me.generation == gen_ && !me.rx.Empty();
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
        return Live([&](TVirtualEnd& me) {
            me.line = State;
            p_->Transmit(i_);
        });
    }

    bool GetLine(DCB& State) override {
        return Live([&](TVirtualEnd& me) { State = me.line; });
    }

    bool ModemLines(std::uint32_t& Ms) override {
        return Live([&](TVirtualEnd& me) {
            Ms = (p_->CtsAt(i_) ? MS_CTS_ON : 0) | (p_->DsrAt(i_) ? MS_DSR_ON : 0) |
                 (p_->RlsdAt(i_) ? MS_RLSD_ON : 0) | (me.ring ? MS_RING_ON : 0);
        });
    }

    bool SetRts(bool On) override {
        return Live([&](TVirtualEnd& me) { p_->SetOutputs(i_, On, me.dtr); });
    }

    bool SetDtr(bool On) override {
        return Live([&](TVirtualEnd& me) { p_->SetOutputs(i_, me.rts, On); });
    }

    bool SetBreak(bool On) override {
        return Live([&](TVirtualEnd& me) {
            if (On && !me.brk) {
                auto& peer = p_->ends[1 - i_];
                ++peer.counters.Break;
                p_->ReceiveMarked(1 - i_, 0, RXF_BREAK);
                p_->Wake(peer);
            }
            me.brk = On;
        });
    }

    bool StopOutput(bool Stop) override {
        return Live([&](TVirtualEnd& me) {
            me.stopped = Stop;
            p_->Transmit(i_);
        });
    }

    int OutputStopped() override {
        bool stopped = false;
        return Live([&](TVirtualEnd& me) { stopped = me.stopped; }) ? (stopped ? 1 : 0) : -1;
    }

    bool Flush(bool Input, bool Output) override {
        return Live([&](TVirtualEnd& me) {
            if (Input) {
                me.rxHead += me.rx.Size();
                me.rx.Clear();
                me.rxFlags.clear();
                p_->Transmit(1 - i_);
            }
            if (Output)
                me.tx.Clear();
        });
    }

    bool OutputQueued(std::uint32_t& Count) override {
        return Live([&](TVirtualEnd& me) { Count = static_cast<std::uint32_t>(me.tx.Size()); });
    }

    bool Counters(TLineCounters& C) override {
        return Live([&](TVirtualEnd& me) { C = me.counters; });
    }

private:
    // Runs Body on this handle's end under the pair's lock, unless the end is gone (EIO).
    template <typename Body>
    bool Live(Body body) {
        std::lock_guard lock(p_->m);
        auto& me = p_->ends[i_];
        if (Lost(me))
            return false;
        body(me);
        return true;
    }

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
        std::lock_guard lock(VirtualRegistryMutex());
        auto it = VirtualRegistry().find(Name);
        Known = it != VirtualRegistry().end();
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

bool VirtualDevicePresent(const std::string& Name, bool& Known) {
    std::shared_ptr<TVirtualPair> pair;
    int end = 0;
    {
        std::lock_guard lock(VirtualRegistryMutex());
        auto it = VirtualRegistry().find(Name);
        Known = it != VirtualRegistry().end();
        if (!Known)
            return false;
        pair = it->second.first.lock();
        end = it->second.second;
    }
    if (!pair)
        return false;
    std::lock_guard lock(pair->m);
    return !pair->ends[end].unplugged;
}

namespace {

std::mutex& PlugListenersMutex() {
    static std::mutex m;
    return m;
}

std::vector<int>& PlugListeners() {
    static std::vector<int> fds;
    return fds;
}

} // namespace

void AddVirtualPlugListener(int EventFd) {
    std::lock_guard lock(PlugListenersMutex());
    PlugListeners().push_back(EventFd);
}

void RemoveVirtualPlugListener(int EventFd) {
    std::lock_guard lock(PlugListenersMutex());
    auto& fds = PlugListeners();
    fds.erase(std::remove(fds.begin(), fds.end(), EventFd), fds.end());
}

void NotifyVirtualPlug() {
    std::lock_guard lock(PlugListenersMutex());
    const std::uint64_t one = 1;
    for (int fd : PlugListeners()) {
        // Only a counter at its limit refuses, and that one wakes its reader anyway.
        const ssize_t n = ::write(fd, &one, sizeof one);
        (void)n;
    }
}

void ListVirtualDevices(std::vector<std::string>& Names) {
    std::lock_guard lock(VirtualRegistryMutex());
    for (const auto& [name, entry] : VirtualRegistry())
        if (!entry.first.expired())
            Names.push_back(name);
}
