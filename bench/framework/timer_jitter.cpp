// Lateness of periodic timer ticks against their steady-clock schedule, and the drift of the
// last tick, for a few periods.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/timer/MmTimer.h"

namespace {

using TClock = std::chrono::steady_clock;

void Run(std::uint32_t PeriodMs, std::size_t Ticks) {
    std::mutex m;
    std::condition_variable cv;
    std::vector<TClock::time_point> at;
    at.reserve(Ticks);
    const auto start = TClock::now();
    const std::uint32_t id = timeSetEvent(
        PeriodMs, 0,
        [&](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
            std::lock_guard lk(m);
            if (at.size() < Ticks)
                at.push_back(TClock::now());
            cv.notify_all();
        },
        0, TIME_PERIODIC);
    if (id == 0) {
        std::printf("timer refused\n");
        return;
    }
    {
        std::unique_lock lk(m);
        cv.wait(lk, [&] { return at.size() >= Ticks; });
    }
    timeKillEvent(id);
    // Lateness against the slot each tick belongs to; slots passed over under load are counted.
    const auto period = std::chrono::milliseconds(PeriodMs);
    std::vector<double> late;
    std::int64_t skipped = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        const std::int64_t slot = (at[i] - start) / period;
        skipped = slot - static_cast<std::int64_t>(i + 1);
        late.push_back(
            std::chrono::duration<double, std::micro>(at[i] - (start + slot * period)).count());
    }
    const double lastLate = late.back();
    std::sort(late.begin(), late.end());
    std::printf("period %4u ms, %4zu ticks: lateness median %.0f us  p90 %.0f us  max %.0f us;"
                "  last tick %.0f us after its slot; %lld slots skipped\n",
                PeriodMs, Ticks, late[late.size() / 2], late[late.size() * 9 / 10], late.back(),
                lastLate, static_cast<long long>(skipped));
}

} // namespace

int main() {
    Run(1, 2000);
    Run(10, 300);
    Run(100, 30);
    return 0;
}
