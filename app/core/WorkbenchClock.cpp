#include "app/core/WorkbenchClock.h"

TClockOrigin TClockOrigin::Now() {
    const auto wall = std::chrono::system_clock::now().time_since_epoch();
    return {TWorkbenchClock::now(),
            std::chrono::duration_cast<std::chrono::microseconds>(wall).count()};
}
