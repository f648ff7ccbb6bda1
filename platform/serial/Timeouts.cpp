#include "platform/serial/Timeouts.h"

#include <algorithm>
#include <chrono>

namespace {

TTimePoint After(TTimePoint start, std::uint64_t ms) {
    // Far enough to be "never" without overflowing the clock's representation.
    constexpr std::uint64_t cap = 100ull * 365 * 24 * 3600 * 1000;
    return start + std::chrono::milliseconds(std::min(ms, cap));
}

} // namespace

TReadRule MakeReadRule(const COMMTIMEOUTS& T, std::uint32_t Count, TTimePoint Start) {
    TReadRule r;
    const std::uint32_t ri = T.ReadIntervalTimeout, rm = T.ReadTotalTimeoutMultiplier,
                        rc = T.ReadTotalTimeoutConstant;
    if (ri == MAXDWORD && rm == 0 && rc == 0) {
        r.Immediate = true;
        return r;
    }
    if (ri == MAXDWORD && rm == MAXDWORD && rc != 0 && rc != MAXDWORD) {
        r.FirstByte = true;
        r.Deadline = After(Start, rc);
        return r;
    }
    r.IntervalMs = ri == MAXDWORD ? 0 : ri;
    if (rm != 0 || rc != 0)
        r.Deadline = After(Start, std::uint64_t(rm) * Count + rc);
    return r;
}

bool ReadEnds(const TReadRule& R, std::uint32_t Done, std::uint32_t Count, TTimePoint Now,
              TTimePoint LastByte) {
    if (Done >= Count || R.Immediate)
        return true;
    if (R.FirstByte && Done > 0)
        return true;
    if (Now >= R.Deadline)
        return true;
    return R.IntervalMs != 0 && Done > 0 &&
           Now - LastByte >= std::chrono::milliseconds(R.IntervalMs);
}

TTimePoint ReadWakeAt(const TReadRule& R, std::uint32_t Done, TTimePoint LastByte) {
    TTimePoint at = R.Deadline;
    if (R.IntervalMs != 0 && Done > 0)
        at = std::min(at, LastByte + std::chrono::milliseconds(R.IntervalMs));
    return at;
}

TTimePoint WriteDeadline(const COMMTIMEOUTS& T, std::uint32_t Count, TTimePoint Start) {
    const std::uint32_t wm = T.WriteTotalTimeoutMultiplier, wc = T.WriteTotalTimeoutConstant;
    if (wm == 0 && wc == 0)
        return NoDeadline;
    return After(Start, std::uint64_t(wm) * Count + wc);
}
