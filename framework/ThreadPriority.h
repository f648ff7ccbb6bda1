// The seven thread priority levels of the component model, lowest first.
#pragma once

#include <cstdint>

enum TThreadPriority : std::uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};
