// The record of one overlapped read or write.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sync/SyncEvent.h"
#include "port/CPortTypes.h"

// Provisional until the driver's handle type is in.
using THandle = std::intptr_t;
inline constexpr THandle InvalidHandle = -1;

struct TAsync;
using PAsync = TAsync*;

void InitAsync(PAsync& AsyncPtr);
void DoneAsync(PAsync& AsyncPtr);
