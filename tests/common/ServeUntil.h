// The GUI thread's wait in tests: serves the framework's GUI queue until Done holds or Limit
// passes. Done is checked after every queued call and every NotifySynchronizeWaiters, and at
// least every 20 ms, so conditions nobody announces are seen too.
#pragma once

#include <chrono>
#include <functional>

#include "framework/Synchronize.h"

inline bool ServeUntil(const std::function<bool()>& Done,
                       std::chrono::milliseconds Limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + Limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return Done();
        if (WaitServingSynchronize(Done, static_cast<int>(std::min<long long>(left.count(), 20))))
            return true;
    }
}
