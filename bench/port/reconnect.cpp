// Losing and finding a device again: a pty under a link of its own, pulled and plugged like a USB
// adapter, under an open port (smNone) and a device watcher.
//
//   bench_reconnect [--cycles N] [--idle-seconds S]      (defaults 100 cycles, 5 s)
//
// Per cycle: pull → OnDeviceLost; the port is closed and the watcher started; plug → the
// watcher's callback → the port reopened by the name it gave. Then, pulled and watched with
// nothing changing, the watcher's wake-ups per second.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial/DeviceWatch.h"
#include "port/CPort.h"
#include "tests/common/PtyAdapter.h"
#include "tests/common/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

// A moment another thread marks and this one waits for.
class TMoment {
public:
    void Mark() {
        std::lock_guard G(FLock);
        FAt = Clock::now();
        FSet = true;
        FChanged.notify_all();
    }
    // The moment, or nothing when it has not come within Limit.
    bool Wait(Clock::time_point& At, std::chrono::seconds Limit = std::chrono::seconds(10)) {
        std::unique_lock G(FLock);
        if (!FChanged.wait_for(G, Limit, [&] { return FSet; }))
            return false;
        At = FAt;
        FSet = false;
        return true;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    Clock::time_point FAt;
    bool FSet = false;
};

double Ms(Clock::duration D) {
    return std::chrono::duration<double, std::milli>(D).count();
}

void Print(const char* What, std::vector<double> Samples, double GoalP99) {
    std::sort(Samples.begin(), Samples.end());
    const double P50 = Samples[Samples.size() / 2];
    const double P99 = Samples[std::min(Samples.size() - 1, Samples.size() * 99 / 100)];
    std::printf("  %-28s median %8.3f ms  p99 %8.3f ms  max %8.3f ms", What, P50, P99,
                Samples.back());
    if (GoalP99 > 0)
        std::printf("   (goal p99 <= %.0f ms: %s)", GoalP99, P99 <= GoalP99 ? "met" : "MISSED");
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    int Cycles = 100;
    int IdleSeconds = 5;
    for (int I = 1; I + 1 < argc; I += 2) {
        if (std::strcmp(argv[I], "--cycles") == 0)
            Cycles = std::max(1, std::atoi(argv[I + 1]));
        else if (std::strcmp(argv[I], "--idle-seconds") == 0)
            IdleSeconds = std::max(1, std::atoi(argv[I + 1]));
    }
    TTempDir Dir("tessal-bench-reconnect");
    TPtyAdapter Adapter(Dir.Dir() / "ttyBENCH");
    const std::string Name = Adapter.Name().string();

    TComPort Port;
    Port.SetSyncMethod(smNone);
    Port.SetEvents(TComEvents{evRxChar, evError});
    TMoment Lost, Back;
    Port.OnDeviceLost = [&](TObject*, std::int32_t) { Lost.Mark(); };
    std::string NameToOpen;
    std::mutex NameLock;
    TDeviceWatcher Watcher;

    std::vector<double> ToLoss, ToCallback, ToReopen;
    Port.SetPort(Name);
    Port.Open();
    for (int Cycle = 0; Cycle < Cycles; ++Cycle) {
        const TDeviceIdentity Id = IdentifyDevice(Name);
        const auto Pulled = Clock::now();
        Adapter.Pull();
        Clock::time_point At;
        if (!Lost.Wait(At)) {
            std::fprintf(stderr, "cycle %d: the loss was not told within 10 s\n", Cycle);
            return 1;
        }
        ToLoss.push_back(Ms(At - Pulled));
        Port.Close();
        Watcher.Start(Id, [&](const std::string& Found) {
            {
                std::lock_guard G(NameLock);
                NameToOpen = Found;
            }
            Back.Mark();
        });
        const auto Plugged = Clock::now();
        Adapter.Plug();
        if (!Back.Wait(At)) {
            std::fprintf(stderr, "cycle %d: the device was not found again within 10 s\n", Cycle);
            return 1;
        }
        ToCallback.push_back(Ms(At - Plugged));
        {
            std::lock_guard G(NameLock);
            Port.SetPort(NameToOpen);
        }
        Port.Open();
        ToReopen.push_back(Ms(Clock::now() - Plugged));
        Watcher.Stop();
    }

    // Disconnected and watched while nothing changes.
    const TDeviceIdentity Id = IdentifyDevice(Name);
    Adapter.Pull();
    Clock::time_point At;
    Lost.Wait(At);
    Port.Close();
    Watcher.Start(Id, [&](const std::string&) { Back.Mark(); });
    const std::uint64_t Before = Watcher.Wakeups();
    std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds));
    const double PerSecond = double(Watcher.Wakeups() - Before) / IdleSeconds;
    Adapter.Plug();
    Back.Wait(At);
    Watcher.Stop();

    std::printf("bench_reconnect: %d pull/plug cycles of a pty adapter (%s)\n", Cycles,
                Name.c_str());
    Print("pull -> OnDeviceLost", ToLoss, 1000);
    Print("plug -> watcher's callback", ToCallback, 0);
    Print("plug -> port reopened", ToReopen, 1000);
    std::printf("  %-28s %8.2f per second over %d s   (goal <= 2: %s)\n", "watcher wake-ups, idle",
                PerSecond, IdleSeconds, PerSecond <= 2 ? "met" : "MISSED");
    return 0;
}
