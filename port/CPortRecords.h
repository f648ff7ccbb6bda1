// Pure translations between the port's settings and the platform's records and bit words.
#pragma once

#include <cstdint>

#include "platform/serial/SerialDriver.h"
#include "port/CPortTypes.h"

class TCustomComPort;
class TComTimeouts;

std::uint32_t EventsToMask(TComEvents Events);
TComEvents MaskToEvents(std::uint32_t Mask);
// Parity errors count only while the port checks parity.
TComErrors ErrorsFromBits(std::uint32_t Bits, bool ParityCheck);
TComSignals SignalsFromModemStatus(std::uint32_t Status);
std::int32_t BaudRateValue(TBaudRate Rate, std::int32_t CustomBaudRate);

// The device-control record of the port's settings; every field not derived from them is 0.
DCB BuildDCB(const TCustomComPort& Port);
// Each value is passed as its 32-bit pattern: -1 becomes the all-bits-set maximum.
COMMTIMEOUTS BuildTimeouts(const TComTimeouts& Timeouts);
