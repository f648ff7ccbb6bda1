#include "port/CPortRecords.h"

#include <array>

#include "port/CPortComPort.h"

namespace {

constexpr std::array<std::uint32_t, 10> EventBits = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040,
                                                     0x0008, 0x0010, 0x0080, 0x0020, 0x0400};

constexpr std::array<std::uint32_t, 8> ErrorBits = {0x0008, 0x0004, 0x0002, 0x0010,
                                                    0x0400, 0x8000, 0x0001, 0x0100};

constexpr std::array<std::uint32_t, 4> SignalBits = {0x10, 0x20, 0x40, 0x80};

constexpr std::array<std::int32_t, 16> BaudRates = {0,     110,    300,    600,   1200,  2400,
                                                    4800,  9600,   14400,  19200, 38400, 56000,
                                                    57600, 115200, 128000, 256000};

// Member n of a set stands for Bits[n] of a platform word; other bits of the word are ignored.
template <typename TSetT, std::size_t N>
TSetT SetFromWord(std::uint32_t Word, const std::array<std::uint32_t, N>& Bits) {
    TSetT Set;
    for (std::size_t I = 0; I < N; ++I)
        if (Word & Bits[I])
            Set.Include(static_cast<typename TSetT::Element>(I));
    return Set;
}

} // namespace

std::uint32_t EventsToMask(TComEvents Events) {
    std::uint32_t Mask = 0;
    for (std::size_t I = 0; I < EventBits.size(); ++I)
        if (Events.Contains(static_cast<TComEvent>(I)))
            Mask |= EventBits[I];
    return Mask;
}

TComEvents MaskToEvents(std::uint32_t Mask) {
    return SetFromWord<TComEvents>(Mask, EventBits);
}

TComErrors ErrorsFromBits(std::uint32_t Bits, bool ParityCheck) {
    TComErrors Errors = SetFromWord<TComErrors>(Bits, ErrorBits);
    if (!ParityCheck)
        Errors.Exclude(ceRxParity);
    return Errors;
}

TComSignals SignalsFromModemStatus(std::uint32_t Status) {
    return SetFromWord<TComSignals>(Status, SignalBits);
}

std::int32_t BaudRateValue(TBaudRate Rate, std::int32_t CustomBaudRate) {
    if (Rate == brCustom || static_cast<std::size_t>(Rate) >= BaudRates.size())
        return CustomBaudRate;
    return BaudRates[Rate];
}

DCB BuildDCB(const TCustomComPort& Port) {
    const TComParity& Par = Port.GetParity();
    const TComFlowControl& Flow = Port.GetFlowControl();
    DCB D{};
    D.DCBlength = sizeof(DCB);
    D.BaudRate =
        static_cast<std::uint32_t>(BaudRateValue(Port.GetBaudRate(), Port.GetCustomBaudRate()));
    std::uint32_t F = DCB_fBinary;
    if (Par.GetCheck())
        F |= DCB_fParity;
    if (Flow.GetOutCTSFlow())
        F |= DCB_fOutxCtsFlow;
    if (Flow.GetOutDSRFlow())
        F |= DCB_fOutxDsrFlow;
    F |= static_cast<std::uint32_t>(Flow.GetControlDTR()) << DCB_fDtrControlShift;
    if (Flow.GetDSRSensitivity())
        F |= DCB_fDsrSensitivity;
    if (Flow.GetTxContinueOnXoff())
        F |= DCB_fTXContinueOnXoff;
    if (Flow.GetXonXoffOut())
        F |= DCB_fOutX;
    if (Flow.GetXonXoffIn())
        F |= DCB_fInX;
    const bool ErrorChar = Par.GetCheck() && Par.GetReplace();
    if (ErrorChar)
        F |= DCB_fErrorChar;
    if (Port.GetDiscardNull())
        F |= DCB_fNull;
    F |= static_cast<std::uint32_t>(Flow.GetControlRTS()) << DCB_fRtsControlShift;
    D.Flags = F;
    const auto Lim = static_cast<std::uint16_t>(Port.GetBuffer().GetInputSize() / 4);
    D.XonLim = Lim;
    D.XoffLim = Lim;
    D.ByteSize = static_cast<std::uint8_t>(5 + Port.GetDataBits());
    D.Parity = Par.GetBits();
    D.StopBits = Port.GetStopBits();
    D.XonChar = Flow.GetXonChar();
    D.XoffChar = Flow.GetXoffChar();
    D.ErrorChar = ErrorChar ? Par.GetReplaceChar() : 0;
    D.EofChar = 0;
    D.EvtChar = Port.GetEventChar();
    return D;
}

COMMTIMEOUTS BuildTimeouts(const TComTimeouts& Timeouts) {
    COMMTIMEOUTS T;
    T.ReadIntervalTimeout = static_cast<std::uint32_t>(Timeouts.GetReadInterval());
    T.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(Timeouts.GetReadTotalMultiplier());
    T.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(Timeouts.GetReadTotalConstant());
    T.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(Timeouts.GetWriteTotalMultiplier());
    T.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(Timeouts.GetWriteTotalConstant());
    return T;
}
