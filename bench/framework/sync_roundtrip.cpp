// Cost of handing a call to the GUI thread and waiting for it (the event thread's Synchronize
// path), and of a message sent to a hidden window from another thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "framework/MessageWindow.h"
#include "framework/Synchronize.h"

namespace {

using TClock = std::chrono::steady_clock;

void Report(const char* What, std::vector<double>& Us) {
    std::sort(Us.begin(), Us.end());
    std::printf("%-34s n=%zu  median %.1f us  p90 %.1f us  p99 %.1f us\n", What, Us.size(),
                Us[Us.size() / 2], Us[Us.size() * 9 / 10], Us[Us.size() * 99 / 100]);
}

template <typename F>
void Measure(const char* What, int N, F&& OneCall) {
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(N));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < N; ++i) {
            const auto t0 = TClock::now();
            OneCall();
            us.push_back(std::chrono::duration<double, std::micro>(TClock::now() - t0).count());
        }
        done = true;
    });
    while (!done)
        CheckSynchronize(10);
    worker.join();
    Report(What, us);
}

} // namespace

int main() {
    constexpr int kN = 20000;
    Measure("Synchronize round trip", kN, [] { Synchronize([] {}); });
    HWND wnd = AllocateHWnd([](TMessage& M) { M.Result = 1; });
    Measure("SendMessage round trip", kN, [wnd] { SendMessage(wnd, WM_USER + 1, 0, 0); });
    Measure("SendMessage with immediate reply", kN, [wnd] { SendMessage(wnd, WM_USER + 1, 0, 0); });
    DeallocateHWnd(wnd);
    return 0;
}
