#include "port/CPortRecords.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 10> EventBits = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040,
                                                     0x0008, 0x0010, 0x0080, 0x0020, 0x0400};

constexpr std::array<std::uint32_t, 8> ErrorBits = {0x0008, 0x0004, 0x0002, 0x0010,
                                                    0x0400, 0x8000, 0x0001, 0x0100};

constexpr std::array<std::uint32_t, 4> SignalBits = {0x10, 0x20, 0x40, 0x80};

constexpr std::array<std::int32_t, 16> BaudRates = {0,     110,    300,    600,   1200,  2400,
                                                    4800,  9600,   14400,  19200, 38400, 56000,
                                                    57600, 115200, 128000, 256000};

} // namespace

std::uint32_t EventsToMask(TComEvents Events) {
    std::uint32_t Mask = 0;
    for (std::size_t I = 0; I < EventBits.size(); ++I)
        if (Events.Contains(static_cast<TComEvent>(I)))
            Mask |= EventBits[I];
    return Mask;
}

TComEvents MaskToEvents(std::uint32_t Mask) {
    TComEvents Events;
    for (std::size_t I = 0; I < EventBits.size(); ++I)
        if (Mask & EventBits[I])
            Events.Include(static_cast<TComEvent>(I));
    return Events;
}

TComErrors ErrorsFromBits(std::uint32_t Bits, bool ParityCheck) {
    TComErrors Errors;
    for (std::size_t I = 0; I < ErrorBits.size(); ++I)
        if (Bits & ErrorBits[I])
            Errors.Include(static_cast<TComError>(I));
    if (!ParityCheck)
        Errors.Exclude(ceRxParity);
    return Errors;
}

TComSignals SignalsFromModemStatus(std::uint32_t Status) {
    TComSignals Signals;
    for (std::size_t I = 0; I < SignalBits.size(); ++I)
        if (Status & SignalBits[I])
            Signals.Include(static_cast<TComSignal>(I));
    return Signals;
}

std::int32_t BaudRateValue(TBaudRate Rate, std::int32_t CustomBaudRate) {
    if (Rate == brCustom || static_cast<std::size_t>(Rate) >= BaudRates.size())
        return CustomBaudRate;
    return BaudRates[Rate];
}
