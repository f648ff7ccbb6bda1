// Links, the event entries the dispatch calls, and the hidden window's message procedure.
#include <algorithm>
#include <cerrno>
#include <exception>
#include <iterator>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/Application.h"
#include "port/CPortComPort.h"
#include "port/CPortRecords.h"
#include "port/CPortThread.h"

namespace {

// Visits the links in registration order. A handler may register or unregister links (a
// component detaching itself): a link removed meanwhile is not visited, and none is skipped
// or visited twice because the list shifted under the loop.
template <class TVisit>
void ForEachLink(const std::vector<TComLink*>& Links, TVisit Visit) {
    std::size_t I = 0;
    while (I < Links.size()) {
        TComLink* L = Links[I];
        Visit(L);
        auto It = std::find(Links.begin(), Links.end(), L);
        if (It != Links.end())
            I = static_cast<std::size_t>(It - Links.begin()) + 1;
    }
}

} // namespace

// --- links ---

void TCustomComPort::RegisterLink(TComLink* Link) {
    // A null link would be called on the next delivery.
    if (!Link || std::find(FLinks.begin(), FLinks.end(), Link) != FLinks.end())
        throw EComPort(CError_RegFailed);
    FLinks.push_back(Link);
    FHasLink = HasLink();
}

void TCustomComPort::UnRegisterLink(TComLink* Link) {
    auto It = std::find(FLinks.begin(), FLinks.end(), Link);
    if (It == FLinks.end())
        throw EComPort(CError_RegFailed);
    FLinks.erase(It);
    FHasLink = HasLink();
}

bool TCustomComPort::HasLink() const {
    return std::any_of(FLinks.begin(), FLinks.end(),
                       [](const TComLink* L) { return static_cast<bool>(L->OnRxBuf); });
}

void TCustomComPort::SendSignalToLink(TComLinkEvent Event, bool OnOff) {
    TComSignalEvent TComLink::*Slot = nullptr;
    switch (Event) {
    case leConn:
        Slot = &TComLink::OnConn;
        break;
    case leCTS:
        Slot = &TComLink::OnCTSChange;
        break;
    case leDSR:
        Slot = &TComLink::OnDSRChange;
        break;
    case leRLSD:
        Slot = &TComLink::OnRLSDChange;
        break;
    case leRx:
        Slot = &TComLink::OnRx;
        break;
    case leTx:
        Slot = &TComLink::OnTx;
        break;
    default:
        return;
    }
    ForEachLink(FLinks, [&](TComLink* L) {
        if (L->*Slot)
            (L->*Slot)(this, OnOff);
    });
}

void TCustomComPort::NotifyLink(TComLinkEvent Event) {
    TNotifyEvent TComLink::*Slot = nullptr;
    switch (Event) {
    case leRing:
        Slot = &TComLink::OnRing;
        break;
    case leTxEmpty:
        Slot = &TComLink::OnTxEmpty;
        break;
    case leRxFlag:
        Slot = &TComLink::OnRxFlag;
        break;
    default:
        return;
    }
    ForEachLink(FLinks, [&](TComLink* L) {
        if (L->*Slot)
            (L->*Slot)(this);
    });
}

void TCustomComPort::TxNotifyLink(const void* Buffer, std::int32_t Count) {
    ForEachLink(FLinks, [&](TComLink* L) {
        if (L->OnTxBuf)
            L->OnTxBuf(this, Buffer, Count);
    });
}

// --- event entries ---

void TCustomComPort::CallError() {
    TComErrors Errors = LastErrors();
    if (!Errors.Empty())
        DoError(Errors);
}

void TCustomComPort::DeliverRxBuf(std::int32_t& Count) {
    // The bytes are read at most once and shared by the port's OnRxBuf and every link.
    // Another reader may have taken some meanwhile: only the bytes read are passed on.
    // A handler that raises does not keep the bytes from the others; the first exception
    // leaves once all have had them.
    std::uint8_t* Bytes = nullptr;
    std::unique_ptr<std::uint8_t[]> Own;
    std::int32_t Got = 0;
    struct TLend {
        bool& Lent;
        bool Mine = false;
        ~TLend() {
            if (Mine)
                Lent = false;
        }
    } Lend{FRxBytesLent};
    std::exception_ptr Failure;
    auto Guarded = [&](const auto& Call) {
        try {
            Call();
        } catch (...) {
            if (!Failure)
                Failure = std::current_exception();
        }
    };
    auto ReadOnce = [&] {
        const auto Size = static_cast<std::size_t>(Count);
        // A batch delivered from inside another one's handler reads into its own buffer.
        if (FRxBytesLent) {
            Own.reset(new std::uint8_t[Size]);
            Bytes = Own.get();
        } else {
            if (FRxBytes.size() < Size)
                FRxBytes.resize(Size);
            FRxBytesLent = Lend.Mine = true;
            Bytes = FRxBytes.data();
        }
        Got = Read(Bytes, Count);
        if (Got > 0)
            Guarded([&] { DoRxBuf(Bytes, Got); });
    };
    ForEachLink(FLinks, [&](TComLink* L) {
        if (!L->OnRxBuf)
            return;
        if (!Bytes)
            ReadOnce();
        if (Got > 0)
            Guarded([&] { L->OnRxBuf(this, Bytes, Got); });
    });
    if (!Bytes && !FTriggersOnRxChar)
        ReadOnce();
    if (Bytes)
        Count = 0;
    if (Failure)
        std::rethrow_exception(Failure);
}

void TCustomComPort::NoteRxWake(TComClock::time_point Time) {
    TComClock::rep None = 0;
    FRxSince.compare_exchange_strong(None, Time.time_since_epoch().count());
}

void TCustomComPort::CallRxChar() {
    // Asked before the count: a mark made after it may be for bytes the count has not seen.
    TComClock::rep Since = FRxSince.load();
    // Right after the event thread's wait (smNone) its service has just taken in what came: the
    // queue is the count. A dispatch handed to another thread runs later; taking in what came
    // meanwhile makes that this batch's bytes instead of the next hand-over's.
    std::int32_t Count = GetSyncMethod() == smNone ? QueuedInputCount() : InputCount();
    if (Since != 0 && Count == 0) {
        // A read outside the dispatch took the bytes before their wake was marked.
        FRxSince.compare_exchange_strong(Since, 0);
    } else if (Since != 0) {
        FEventTime = TComClock::time_point(TComClock::duration(Since));
    }
    if (Count > 0)
        SendSignalToLink(leRx, true);
    // A link that closed the port (allowed under smWindowSync) ends the dispatch here.
    if (!FConnected)
        return;
    if (Count > 0 && !GetTriggersOnRxChar())
        DeliverRxBuf(Count);
    if (Count > 0)
        DoRxChar(Count);
}

void TCustomComPort::CallTxEmpty() {
    SendSignalToLink(leTx, false);
    NotifyLink(leTxEmpty);
    DoTxEmpty();
}

void TCustomComPort::CallBreak() {
    DoBreak();
}

void TCustomComPort::CallRing() {
    NotifyLink(leRing);
    DoRing();
}

void TCustomComPort::CallCTSChange() {
    bool OnOff = Signals().Contains(csCTS);
    SendSignalToLink(leCTS, OnOff);
    DoCTSChange(OnOff);
}

void TCustomComPort::CallDSRChange() {
    bool OnOff = Signals().Contains(csDSR);
    SendSignalToLink(leDSR, OnOff);
    DoDSRChange(OnOff);
}

void TCustomComPort::CallRLSDChange() {
    bool OnOff = Signals().Contains(csRLSD);
    SendSignalToLink(leRLSD, OnOff);
    DoRLSDChange(OnOff);
}

void TCustomComPort::CallRxFlag() {
    NotifyLink(leRxFlag);
    DoRxFlag();
}

void TCustomComPort::CallRx80Full() {
    DoRx80Full();
}

void TCustomComPort::CallDeviceLost(std::int32_t Errno) {
    if (!FConnected || FClosing)
        return;
    DoDeviceLost(Errno);
}

void TCustomComPort::CallBeforeOpen() {
    DoBeforeOpen();
}

void TCustomComPort::CallAfterOpen() {
    SendSignalToLink(leConn, true);
    DoAfterOpen();
    CheckSignals(true);
}

void TCustomComPort::CallBeforeClose() {
    CheckSignals(false);
    DoBeforeClose();
}

void TCustomComPort::CallAfterClose() {
    SendSignalToLink(leConn, false);
    DoAfterClose();
}

void CallEventEntry(TCustomComPort& Port, TComEvent Event, TComClock::time_point Time) {
    // An entry whose handler dispatches another event meanwhile finds its own time again after.
    struct TRestore {
        TComClock::time_point& Slot;
        TComClock::time_point Outer;
        ~TRestore() { Slot = Outer; }
    } Restore{Port.FEventTime, std::exchange(Port.FEventTime, Time)};
    switch (Event) {
    case evError:
        Port.CallError();
        break;
    case evRxChar:
        Port.CallRxChar();
        break;
    case evTxEmpty:
        Port.CallTxEmpty();
        break;
    case evBreak:
        Port.CallBreak();
        break;
    case evRing:
        Port.CallRing();
        break;
    case evCTS:
        Port.CallCTSChange();
        break;
    case evDSR:
        Port.CallDSRChange();
        break;
    case evRxFlag:
        Port.CallRxFlag();
        break;
    case evRLSD:
        Port.CallRLSDChange();
        break;
    case evRx80Full:
        Port.CallRx80Full();
        break;
    }
}

void TCustomComPort::CheckSignals(bool Open) {
    if (Open) {
        CallCTSChange();
        CallDSRChange();
        CallRLSDChange();
        return;
    }
    SendSignalToLink(leCTS, false);
    SendSignalToLink(leDSR, false);
    SendSignalToLink(leRLSD, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
}

void TCustomComPort::WindowMethod(TMessage& Message) {
    if (Message.Msg != CM_COMPORT && Message.Msg != CM_COMPORTLOST) {
        Message.Result = DefWindowProc(FWindow, Message.Msg, Message.WParam, Message.LParam);
        return;
    }
    // Release the event thread at once: it goes back to waiting while the handlers run.
    if (InSendMessage())
        ReplyMessage(0);
    // One event's bit selects its entry; any other value does nothing. A loss (Loss != 0) is
    // told after the events.
    static_assert(sizeof(LPARAM) >= sizeof(TComClock::rep));
    TComEvent Next = evRxChar;
    TComClock::time_point Time{TComClock::duration(Message.LParam)};
    std::int32_t Loss = 0;
    if (Message.Msg == CM_COMPORTLOST) {
        Loss = Message.WParam > 0 ? static_cast<std::int32_t>(Message.WParam) : EIO;
    } else {
        const TComEvent* Found = std::find_if(
            std::begin(EventDispatchOrder), std::end(EventDispatchOrder),
            [&](TComEvent E) { return Message.WParam == EventsToMask(TComEvents{E}); });
        if (Found == std::end(EventDispatchOrder))
            return;
        Next = *Found;
    }
    if (FWindowDispatching) {
        // A handler of this port serves the GUI queue (a modal dialog): it is not entered
        // again; the event runs once that handler has returned, as a synchronous send would.
        // An event deferred twice keeps its first time, as the first of its bytes does.
        if (Loss != 0)
            FDeferredLoss = Loss;
        else if (std::find_if(FDeferredEvents.begin(), FDeferredEvents.end(), [&](const auto& D) {
                     return D.first == Next;
                 }) == FDeferredEvents.end())
            FDeferredEvents.emplace_back(Next, Time);
        return;
    }
    FWindowDispatching = true;
    for (;;) {
        // A close, from a handler or under way, ends what is left of the batch.
        if (!FConnected || FClosing)
            break;
        try {
            if (Loss != 0)
                CallDeviceLost(Loss);
            else
                CallEventEntry(*this, Next, Time);
        } catch (...) {
            if (!IsDeviceLossFailure(std::current_exception()))
                Application->HandleException(this);
        }
        // The loss came last from the event thread, so it goes after the events deferred with it.
        if (!FDeferredEvents.empty()) {
            std::tie(Next, Time) = FDeferredEvents.front();
            FDeferredEvents.erase(FDeferredEvents.begin());
            Loss = 0;
        } else if (FDeferredLoss != 0) {
            Loss = std::exchange(FDeferredLoss, 0);
        } else {
            break;
        }
    }
    FDeferredEvents.clear();
    FDeferredLoss = 0;
    FWindowDispatching = false;
}
