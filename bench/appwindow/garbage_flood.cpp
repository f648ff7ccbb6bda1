// The workbench window on a pty while the device side floods random bytes at full speed, and
// prints per second: bytes in, rows added, the longest event-loop stall, resident memory; then
// the totals. Goal: the longest stall <= 100 ms, memory bounded, rows at a bounded rate.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_garbage_flood [seconds=30]
#include "app/window/Tessalmain.h"
#include "bench/common/Offscreen.h"
#include "bench/common/WorkbenchDir.h"
#include "controls/GuiSynchronize.h"
#include "tests/common/ProcessFigures.h"
#include "tests/common/PtyAdapter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

int main(int argc, char** argv) {
    PreferOffscreen();
    QApplication app(argc, argv);
    InstallGuiSynchronize();
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;

    const TWorkbenchDir workbenchDir("flood");
    const std::filesystem::path& dir = workbenchDir.Dir;

    TPtyAdapter pty(dir / "ttyFLOOD");
    TTessalOptions options;
    options.PortName = pty.Name().string();
    TWorkbenchDir::StorePort(options.PortName);
    auto form = TWorkbenchDir::OpenWindow(options);
    if (!form) {
        return 1;
    }

    const long long rssStart = ResidentBytes();
    std::atomic<bool> stop{false};
    std::uint64_t written = 0;
    std::thread device([&] { written = FloodGarbage(pty, stop); });

    // A heartbeat every 5 ms: a gap beyond that is time the event loop could not turn.
    constexpr int kBeatMs = 5;
    QElapsedTimer clock;
    clock.start();
    qint64 lastBeat = 0;
    qint64 secondStall = 0;
    qint64 worstStall = 0;
    int second = 0;
    std::int32_t rowsAtSecond = 0;
    std::int32_t rowsAdded = 0;
    std::printf("%4s %12s %10s %10s %10s\n", "s", "rows added", "rows", "stall ms", "RSS KiB");
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        secondStall = std::max(secondStall, now - lastBeat - kBeatMs);
        lastBeat = now;
        // Rows counted across "Delete all" of the grid: a drop in the count is a clear.
        const std::int32_t rows = form->Bench().Rows().GetFrameCount();
        if (now >= (second + 1) * 1000) {
            ++second;
            const std::int32_t added = rows >= rowsAtSecond ? rows - rowsAtSecond : rows;
            rowsAdded += added;
            rowsAtSecond = rows;
            std::printf("%4d %12d %10d %10lld %10lld\n", second, added, rows,
                        static_cast<long long>(secondStall), ResidentBytes() / 1024);
            worstStall = std::max(worstStall, secondStall);
            secondStall = 0;
            if (second >= seconds) {
                app.quit();
            }
        }
    });
    beat.start(kBeatMs);
    app.exec();
    stop = true;
    device.join();

    std::printf("bytes flooded:                  %llu (%.1f MB/s)\n",
                static_cast<unsigned long long>(written), written / 1e6 / seconds);
    std::printf("rows added:                     %d (%.0f rows/s)\n", rowsAdded,
                static_cast<double>(rowsAdded) / seconds);
    std::printf("longest event-loop stall:       %lld ms (goal <= 100)\n",
                static_cast<long long>(worstStall));
    std::printf("memory: start %lld KiB, end %lld KiB, peak %lld KiB\n", rssStart / 1024,
                ResidentBytes() / 1024, ResidentBytes("VmHWM:") / 1024);
    form.reset();
    return 0;
}
