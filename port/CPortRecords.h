// Pure translations between the port's settings and the platform's records and bit words.
#pragma once

#include <cstdint>

#include "port/CPortTypes.h"

class TCustomComPort;

// Device-control flag bits (the DCB's flags word).
enum : std::uint32_t {
    dcb_Binary = 0x0001,
    dcb_Parity = 0x0002,
    dcb_OutxCtsFlow = 0x0004,
    dcb_OutxDsrFlow = 0x0008,
    dcb_DtrControlShift = 4,
    dcb_DsrSensitivity = 0x0040,
    dcb_TXContinueOnXoff = 0x0080,
    dcb_OutX = 0x0100,
    dcb_InX = 0x0200,
    dcb_ErrorChar = 0x0400,
    dcb_Null = 0x0800,
    dcb_RtsControlShift = 12,
};

std::uint32_t EventsToMask(TComEvents Events);
TComEvents MaskToEvents(std::uint32_t Mask);
// Parity errors count only while the port checks parity.
TComErrors ErrorsFromBits(std::uint32_t Bits, bool ParityCheck);
TComSignals SignalsFromModemStatus(std::uint32_t Status);
std::int32_t BaudRateValue(TBaudRate Rate, std::int32_t CustomBaudRate);
