#include "platform/serial/ComPortControl.h"

using namespace telnet;
using namespace rfc2217;

namespace {

// Parity codes of SET-PARITY by DCB::Parity (none, odd, even, mark, space).
constexpr std::uint8_t ParityCodes[] = {1, 2, 3, 4, 5};

bool RateClose(std::uint32_t Asked, std::uint32_t Got) {
    const std::uint64_t Off = Asked > Got ? Asked - Got : Got - Asked;
    return Off * 100 <= static_cast<std::uint64_t>(Asked) * 3;
}

} // namespace

std::uint8_t TComPortControl::ParityCode(std::uint8_t DcbParity) {
    return DcbParity <= SPACEPARITY ? ParityCodes[DcbParity] : 1;
}

std::uint8_t TComPortControl::StopCode(std::uint8_t DcbStopBits) {
    return DcbStopBits == TWOSTOPBITS ? 2 : DcbStopBits == ONE5STOPBITS ? 3 : 1;
}

std::uint8_t TComPortControl::FlowCode(const DCB& State) {
    if ((State.Flags & DCB_fOutxCtsFlow) ||
        (State.Flags & DCB_fRtsControlMask) == RTS_CONTROL_HANDSHAKE)
        return FLOW_HARDWARE;
    if (State.Flags & (DCB_fOutX | DCB_fInX))
        return FLOW_XONXOFF;
    return FLOW_NONE;
}

void TComPortControl::Send(std::string& Out, std::uint8_t Verb, std::uint8_t Option) {
    Out += static_cast<char>(IAC);
    Out += static_cast<char>(Verb);
    Out += static_cast<char>(Option);
}

bool TComPortControl::Wanted(std::uint8_t Option) {
    return Option == BINARY || Option == SGA;
}

void TComPortControl::Start(std::string& Out) {
    for (std::uint8_t Option : {BINARY, SGA}) {
        Send(Out, WILL, Option);
        Send(Out, DO, Option);
        usAsked_[Option] = themAsked_[Option] = true;
    }
    Send(Out, WILL, COM_PORT);
    usAsked_[COM_PORT] = true;
}

std::size_t TComPortControl::Receive(const std::uint8_t* In, std::size_t N, std::uint8_t* Data,
                                     std::string& Out) {
    out_ = &Out;
    const std::size_t Count = reader_.Feed(In, N, Data, *this);
    out_ = nullptr;
    return Count;
}

void TComPortControl::Negotiate(std::uint8_t Verb, std::uint8_t Option) {
    std::string& Out = *out_;
    switch (Verb) {
    case WILL:
        if (!Wanted(Option)) {
            Send(Out, DONT, Option);
        } else if (!them_[Option]) {
            them_[Option] = true;
            if (!themAsked_[Option])
                Send(Out, DO, Option);
        }
        themAsked_[Option] = false;
        break;
    case WONT:
        if (them_[Option] || themAsked_[Option]) {
            if (!themAsked_[Option])
                Send(Out, DONT, Option);
            them_[Option] = themAsked_[Option] = false;
        }
        break;
    case DO:
        if (!Wanted(Option) && Option != COM_PORT) {
            Send(Out, WONT, Option);
        } else if (!us_[Option]) {
            us_[Option] = true;
            if (!usAsked_[Option])
                Send(Out, WILL, Option);
        }
        usAsked_[Option] = false;
        break;
    case DONT:
        if (Option == COM_PORT)
            refused_ = true;
        if (us_[Option] || usAsked_[Option]) {
            if (!usAsked_[Option])
                Send(Out, WONT, Option);
            us_[Option] = usAsked_[Option] = false;
        }
        break;
    default:
        break;
    }
}

void TComPortControl::Record(TAnswerKind Kind, std::uint32_t Value) {
    answers_[Kind].Value = Value;
    ++answers_[Kind].Count;
}

void TComPortControl::Subnegotiation(const std::uint8_t* Data, std::size_t Count, bool Truncated) {
    if (Truncated || Count < 2 || Data[0] != COM_PORT || Data[1] < ServerOffset)
        return;
    const std::uint8_t Code = static_cast<std::uint8_t>(Data[1] - ServerOffset);
    const std::uint8_t* V = Data + 2;
    const std::size_t N = Count - 2;
    // Suspend and resume carry no value; every other command has one at least.
    if (N == 0 && Code != FLOWCONTROL_SUSPEND && Code != FLOWCONTROL_RESUME)
        return;
    switch (Code) {
    case SET_BAUDRATE:
        if (N == 4)
            Record(akBaud, (std::uint32_t{V[0]} << 24) | (std::uint32_t{V[1]} << 16) |
                               (std::uint32_t{V[2]} << 8) | V[3]);
        break;
    case SET_DATASIZE:
        Record(akDataSize, V[0]);
        break;
    case SET_PARITY:
        Record(akParity, V[0]);
        break;
    case SET_STOPSIZE:
        Record(akStopSize, V[0]);
        break;
    case SET_CONTROL:
        if (V[0] <= FLOW_HARDWARE || (V[0] >= 17 && V[0] <= 19))
            Record(akFlow, V[0]);
        else if (V[0] <= BREAK_OFF)
            Record(akBreak, V[0]);
        else if (V[0] <= DTR_OFF)
            Record(akDtr, V[0]);
        else if (V[0] <= RTS_OFF)
            Record(akRts, V[0]);
        break;
    case NOTIFY_LINESTATE:
        counters_.Overrun += (V[0] & LS_OVERRUN) != 0;
        counters_.Parity += (V[0] & LS_PARITY) != 0;
        counters_.Frame += (V[0] & LS_FRAMING) != 0;
        counters_.Break += (V[0] & LS_BREAK) != 0;
        break;
    case NOTIFY_MODEMSTATE: {
        // Low nibble: the server's own change bits (delta CTS, DSR, ring's trailing edge, DCD);
        // a change it did not mark is one still.
        const std::uint8_t Changed = static_cast<std::uint8_t>(((V[0] ^ modemState_) >> 4) | V[0]);
        counters_.Cts += (Changed & 0x01) != 0;
        counters_.Dsr += (Changed & 0x02) != 0;
        counters_.Ring += (Changed & 0x04) != 0;
        counters_.Rlsd += (Changed & 0x08) != 0;
        modemState_ = V[0];
        break;
    }
    case FLOWCONTROL_SUSPEND:
        suspended_ = true;
        break;
    case FLOWCONTROL_RESUME:
        suspended_ = false;
        break;
    case PURGE_DATA:
        Record(akPurge, V[0]);
        break;
    default:
        break;
    }
}

void TComPortControl::Command(std::string& Out, std::uint8_t Code, const std::uint8_t* Value,
                              std::size_t Count) {
    Out += static_cast<char>(IAC);
    Out += static_cast<char>(SB);
    Out += static_cast<char>(COM_PORT);
    Out += static_cast<char>(Code);
    for (std::size_t I = 0; I < Count; ++I) {
        Out += static_cast<char>(Value[I]);
        if (Value[I] == IAC)
            Out += static_cast<char>(IAC);
    }
    Out += static_cast<char>(IAC);
    Out += static_cast<char>(SE);
}

void TComPortControl::AskRate(std::string& Out, std::uint32_t Rate) {
    const std::uint8_t V[4] = {
        static_cast<std::uint8_t>(Rate >> 24), static_cast<std::uint8_t>(Rate >> 16),
        static_cast<std::uint8_t>(Rate >> 8), static_cast<std::uint8_t>(Rate)};
    Command(Out, SET_BAUDRATE, V, 4);
}

void TComPortControl::AskLine(std::string& Out, const DCB& State) {
    AskRate(Out, State.BaudRate);
    Command(Out, SET_DATASIZE, State.ByteSize);
    Command(Out, SET_PARITY, ParityCode(State.Parity));
    Command(Out, SET_STOPSIZE, StopCode(State.StopBits));
    Command(Out, SET_CONTROL, FlowCode(State));
}

TComPortControl::TAnswerCounts TComPortControl::Counts() const {
    TAnswerCounts C{};
    for (std::size_t K = 0; K < akCount; ++K)
        C[K] = answers_[K].Count;
    return C;
}

bool TComPortControl::LineAnswered(const TAnswerCounts& Before) const {
    for (std::size_t K = akBaud; K <= akFlow; ++K)
        if (answers_[K].Count == Before[K])
            return false;
    return true;
}

bool TComPortControl::LineMatches(const DCB& State) const {
    return RateClose(State.BaudRate, answers_[akBaud].Value) &&
           answers_[akDataSize].Value == State.ByteSize &&
           answers_[akParity].Value == ParityCode(State.Parity) &&
           answers_[akStopSize].Value == StopCode(State.StopBits) &&
           answers_[akFlow].Value == FlowCode(State);
}

DCB TComPortControl::AnsweredLine(const DCB& Base) const {
    DCB D = Base;
    D.BaudRate = answers_[akBaud].Value;
    D.ByteSize = static_cast<std::uint8_t>(answers_[akDataSize].Value);
    D.Parity = NOPARITY;
    for (std::uint8_t P = 0; P <= SPACEPARITY; ++P)
        if (ParityCodes[P] == answers_[akParity].Value)
            D.Parity = P;
    D.StopBits = answers_[akStopSize].Value == 2   ? TWOSTOPBITS
                 : answers_[akStopSize].Value == 3 ? ONE5STOPBITS
                                                   : ONESTOPBIT;
    D.Flags &= ~(DCB_fOutxCtsFlow | DCB_fRtsControlMask | DCB_fOutX | DCB_fInX);
    if (answers_[akFlow].Value == FLOW_HARDWARE)
        D.Flags |= DCB_fOutxCtsFlow | RTS_CONTROL_HANDSHAKE;
    else if (answers_[akFlow].Value == FLOW_XONXOFF)
        D.Flags |= DCB_fOutX | DCB_fInX | RTS_CONTROL_ENABLE;
    else
        D.Flags |= RTS_CONTROL_ENABLE;
    return D;
}
