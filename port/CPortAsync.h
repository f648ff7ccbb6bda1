// The record of one overlapped read or write: it owns its completion event and, for a write,
// a private copy of the bytes. InitAsync creates it, DoneAsync releases it; the port never
// keeps a reference to it.
#pragma once

#include <cstdint>

#include "platform/serial/SerialDriver.h"
#include "port/CPortTypes.h"

using THandle = TSerialHandle;
inline constexpr THandle InvalidHandle = InvalidSerialHandle;

struct TAsync {
    OVERLAPPED Overlapped;
    // okWrite before the first start, so that waiting on an unused record notifies no link.
    TOperationKind Kind = okWrite;
    std::uint8_t* Data = nullptr;
    std::int32_t Size = 0;
};
using PAsync = TAsync*;

void InitAsync(PAsync& AsyncPtr);
void DoneAsync(PAsync& AsyncPtr);
