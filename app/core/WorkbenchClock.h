// The one monotonic clock the workbench is told its times in, and how a time of it is shown: the
// grid, the export and captures give wall time, mapped from the monotonic time through one origin
// taken once (so a clock step while running moves no row against another).
#pragma once

#include <chrono>
#include <cstdint>

using TWorkbenchClock = std::chrono::steady_clock;
using TWorkbenchTime = TWorkbenchClock::time_point;

struct TClockOrigin {
    TWorkbenchTime Steady{};
    std::int64_t WallMicros = 0; // microseconds since 1970-01-01 UTC at Steady

    // Now, as both clocks read it.
    static TClockOrigin Now();

    std::int64_t WallAt(TWorkbenchTime time) const {
        return WallMicros + std::chrono::floor<std::chrono::microseconds>(time - Steady).count();
    }
    TWorkbenchTime SteadyAt(std::int64_t wallMicros) const {
        return Steady + std::chrono::microseconds(wallMicros - WallMicros);
    }
};
