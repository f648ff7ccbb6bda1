#include "platform/serial/VirtualNullModem.h"

#include "platform/serial/VirtualBackend.h"
#include "platform/serial/VirtualWire.h"

TVirtualNullModem::TVirtualNullModem(std::shared_ptr<TVirtualPair> Pair) : pair_(std::move(Pair)) {}

std::unique_ptr<TVirtualNullModem> TVirtualNullModem::Create(const std::string& NameA,
                                                             const std::string& NameB) {
    if (NameA.empty() || NameB.empty() || NameA == NameB) {
        SetLastPlatformError(EINVAL);
        return nullptr;
    }
    auto pair = std::make_shared<TVirtualPair>();
    if (!pair->Init()) {
        SetLastPlatformError(errno);
        return nullptr;
    }
    pair->ends[0].name = NameA;
    pair->ends[1].name = NameB;
    std::lock_guard lock(VirtualRegistryMutex());
    auto& reg = VirtualRegistry();
    for (const auto* name : {&NameA, &NameB}) {
        auto it = reg.find(*name);
        if (it != reg.end() && !it->second.first.expired()) {
            SetLastPlatformError(EEXIST);
            return nullptr;
        }
    }
    reg[NameA] = {pair, 0};
    reg[NameB] = {pair, 1};
    NotifyVirtualPlug();
    return std::unique_ptr<TVirtualNullModem>(new TVirtualNullModem(pair));
}

TVirtualNullModem::~TVirtualNullModem() {
    {
        std::lock_guard lock(VirtualRegistryMutex());
        for (auto& e : pair_->ends) {
            auto it = VirtualRegistry().find(e.name);
            if (it != VirtualRegistry().end() && it->second.first.lock() == pair_)
                VirtualRegistry().erase(it);
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

void TVirtualNullModem::SetRlsd(int End, bool On) {
    SetCarrier(End & 1, On ? 1 : 0);
}

void TVirtualNullModem::ReleaseRlsd(int End) {
    SetCarrier(End & 1, -1);
}

void TVirtualNullModem::SetCarrier(int End, int Carrier) {
    std::lock_guard lock(pair_->m);
    auto& e = pair_->ends[End];
    const bool before = pair_->RlsdAt(End);
    e.carrier = Carrier;
    if (pair_->RlsdAt(End) != before) {
        ++e.counters.Rlsd;
        TVirtualPair::Wake(e);
    }
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
    {
        std::lock_guard lock(pair_->m);
        auto& e = pair_->ends[End & 1];
        if (!e.unplugged)
            return;
        e.unplugged = false;
        // A handle that was open across the unplug stays dead, like a hung-up tty descriptor.
        e.open = false;
        ++e.generation;
    }
    NotifyVirtualPlug();
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
