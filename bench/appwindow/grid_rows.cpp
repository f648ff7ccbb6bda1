// Appends frame rows to the received-frames grid (model and view, offscreen) up to 1,000,000 and
// prints: rows per second per stretch, the process's peak memory per row, and the longest stall
// of the event loop while appending. Rows arrive as receptions do, in bursts handled one burst
// per turn of the event loop, each with its time, answer time and bytes on the line, and the
// "Time" and "Answer time" columns shown.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_grid_rows [rows] [rows-per-burst]
#include "app/core/FrameRendering.h"
#include "app/window/RxFrameGrid.h"
#include "bench/common/Offscreen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Peak resident set (VmHWM) in bytes.
long long PeakRss() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atoll(line.c_str() + 6) * 1024;
        }
    }
    return 0;
}

// A typical answer: two parameter bytes, a named operation code, a CRC verdict.
TFrameRow ReceivedRow(std::int32_t number) {
    return {std::to_string(number), "01", "08", "10", "", "0x05   ACK", "94 B1", ""};
}

} // namespace

int main(int argc, char** argv) {
    PreferOffscreen();
    QApplication app(argc, argv);
    const int total = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int burst = argc > 2 ? std::atoi(argv[2]) : 200;

    TFrameRows rows;
    TRxFramesModel model(rows);
    TRxFrameGrid grid(model);
    grid.resize(762, 300);
    grid.SetStartWidths(1.0);
    grid.ShowColumn(kColTime, true);
    grid.ShowColumn(kColAnswerTime, true);
    grid.show();
    app.processEvents();
    const long long baseline = PeakRss();

    QElapsedTimer clock;
    clock.start();
    qint64 longestTurn = 0;
    qint64 lastMark = 0;
    int lastMarkRows = 0;
    int appended = 0;
    int nextReport = 10000;
    std::printf("%10s %14s %12s\n", "rows", "rows/s", "elapsed s");
    while (appended < total) {
        QElapsedTimer turn;
        turn.start();
        const int n = std::min(burst, total - appended);
        const TWorkbenchTime now = TWorkbenchClock::now();
        for (int i = 0; i < n; ++i) {
            const std::uint8_t line[] = {0x01, 0x08, 0x10, static_cast<std::uint8_t>(appended + i),
                                         0xA0, 0x05, 0x94, 0xB1};
            TRowData data;
            data.Kind = rkCrcOk;
            data.Time = now;
            data.Line = line;
            data.ParamOffset = 3;
            data.ParamCount = 2;
            rows.AppendRow(ReceivedRow(rows.GetFrameCount()), data);
            rows.SetAnswerMicros(rows.GetFrameCount(), 4321);
        }
        appended += n;
        model.RowsChanged();
        // One turn of the loop: the model's sync, layout and the repaint it asks for.
        app.processEvents();
        app.sendPostedEvents(nullptr, 0);
        longestTurn = std::max(longestTurn, turn.elapsed());
        if (appended >= nextReport || appended == total) {
            const qint64 now = clock.elapsed();
            const double rate =
                (appended - lastMarkRows) * 1000.0 / std::max<qint64>(1, now - lastMark);
            std::printf("%10d %14.0f %12.2f\n", appended, rate, now / 1000.0);
            lastMark = now;
            lastMarkRows = appended;
            nextReport *= 10;
        }
    }
    const long long peak = PeakRss();
    std::printf("rows in the grid:               %d (view rows %d)\n", rows.GetFrameCount(),
                model.rowCount());
    std::printf("overall rows/s:                 %.0f\n", total * 1000.0 / clock.elapsed());
    std::printf("peak memory per row:            %.1f bytes (goal <= 100)\n",
                static_cast<double>(peak - baseline) / total);
    std::printf("longest event-loop stall:       %lld ms (goal <= 50), %d rows per burst\n",
                static_cast<long long>(longestTurn), burst);
    return 0;
}
