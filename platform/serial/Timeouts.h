// The read and write time-out rules of the time-out record, as pure functions of the clock.
#pragma once

#include <cstdint>

#include "platform/serial/SerialDriver.h"
#include "platform/sync/SyncEvent.h"

using TTimePoint = TSyncClock::time_point;
inline constexpr TTimePoint NoDeadline = TTimePoint::max();

// Rules of one read, fixed when it starts.
struct TReadRule {
    bool Immediate = false;       // return at once with what is queued
    bool FirstByte = false;       // return as soon as anything is there, or at Deadline
    std::uint32_t IntervalMs = 0; // 0: no interval limit
    TTimePoint Deadline = NoDeadline;
};

// Interval all bits set with both totals 0: at once. Interval and multiplier all bits set with a
// constant between: the first byte, or the constant expires. Otherwise the total is
// multiplier x Count + constant (none when both are 0) and the interval (0 or all bits set:
// none) limits the gap after the first byte.
TReadRule MakeReadRule(const COMMTIMEOUTS& T, std::uint32_t Count, TTimePoint Start);

// Whether a read holding Done of Count bytes ends now; LastByte is when its last byte came.
bool ReadEnds(const TReadRule& R, std::uint32_t Done, std::uint32_t Count, TTimePoint Now,
              TTimePoint LastByte);

// When the read must be looked at again, NoDeadline when only a byte can end it.
TTimePoint ReadWakeAt(const TReadRule& R, std::uint32_t Done, TTimePoint LastByte);

// Total time-out of a write that becomes the current one at Start (NoDeadline when both 0).
TTimePoint WriteDeadline(const COMMTIMEOUTS& T, std::uint32_t Count, TTimePoint Start);
