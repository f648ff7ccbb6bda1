// Time as the simulator sees it. The device logic takes the time of every call as an argument,
// so its tests choose the instants and never wait; the server reads a clock.
#pragma once

#include <chrono>
#include <functional>

using TSimClock = std::chrono::steady_clock;
using TSimTime = TSimClock::time_point;
using TSimDuration = std::chrono::milliseconds;
using TSimNow = std::function<TSimTime()>;
