// What recording the traffic costs: the window on a pty flooded at 1 MB/s with random bytes by a
// child process (so its own CPU time stays out of the figures), in phases of a few seconds that
// alternate between not recording and recording to a capture file. Prints each phase's CPU time
// of the window's process and the bytes it recorded, then the extra CPU of recording; last, the
// capture writer alone writing 64 MB, as CPU time per megabyte.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_record_cost [seconds-per-phase=5] [rounds=3]
// Goal: recording costs at most 5 % more CPU than not recording.
#include "app/window/Tessalmain.h"
#include "bench/common/Offscreen.h"
#include "bench/common/WorkbenchDir.h"
#include "controls/GuiSynchronize.h"
#include "platform/registry/Registry.h"
#include "tests/common/ProcessFigures.h"
#include "tests/common/PtyAdapter.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBytesPerTick = 10000; // every 10 ms: 1 MB/s

[[noreturn]] void Flood(int fd) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::mt19937 random(12345);
    std::vector<std::uint8_t> chunk(kBytesPerTick);
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    while (true) {
        for (auto& b : chunk) {
            b = static_cast<std::uint8_t>(random());
        }
        // The whole tick's bytes, as fast as the window takes them.
        for (std::size_t done = 0; done < chunk.size();) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 100) != 1) {
                continue;
            }
            const ssize_t n = ::write(fd, chunk.data() + done, chunk.size() - done);
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        next.tv_nsec += 10000000;
        if (next.tv_nsec >= 1000000000) {
            next.tv_nsec -= 1000000000;
            ++next.tv_sec;
        }
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}

double CpuSeconds() {
    return std::chrono::duration<double>(ProcessCpuTime()).count();
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const TWorkbenchDir workbenchDir("record-cost");
    TPtyAdapter pty(workbenchDir.Dir / "ttyRECORD");
    const pid_t flooder = ::fork();
    if (flooder == 0) {
        Flood(pty.MasterFd());
    }

    PreferOffscreen();
    QApplication app(argc, argv);
    InstallGuiSynchronize();
    TTessalOptions options;
    options.PortName = pty.Name().string();
    TWorkbenchDir::StorePort(options.PortName);
    {
        TRegistry port(HKEY_CURRENT_USER);
        port.OpenKey("Software\\Tessal\\ComPort", true);
        port.WriteString("BaudRate", std::getenv("BAUD") ? std::getenv("BAUD") : "921600");
    }
    auto form = TWorkbenchDir::OpenWindow(options);
    if (!form) {
        ::kill(flooder, SIGKILL);
        return 1;
    }
    const std::string capture = (workbenchDir.Dir / "flood.capture").string();
    double cpu[2] = {0, 0};
    std::printf("%6s %10s %10s %14s\n", "round", "recording", "CPU s", "recorded MB/s");
    for (int round = 1; round <= rounds; ++round) {
        for (const bool recording : {false, true}) {
            form->RXFramesDeleteallClick();
            if (recording) {
                form->RecordTraffic(true, capture);
            }
            const double start = CpuSeconds();
            QEventLoop loop;
            QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
            const double used = CpuSeconds() - start;
            cpu[recording] += used;
            double recorded = 0;
            if (recording) {
                form->RecordTraffic(false);
                // Three characters a byte.
                recorded = static_cast<double>(std::filesystem::file_size(capture)) / 3e6 / seconds;
                std::filesystem::remove(capture);
            }
            std::printf("%6d %10s %10.3f %14.2f\n", round, recording ? "yes" : "no", used,
                        recorded);
        }
    }
    std::printf("CPU not recording:              %.3f s\n", cpu[0]);
    std::printf("CPU recording:                  %.3f s\n", cpu[1]);
    std::printf("extra CPU of recording:         %+.1f %% (goal <= 5 %%)\n",
                (cpu[1] / cpu[0] - 1) * 100);
    form.reset();
    ::kill(flooder, SIGKILL);
    ::waitpid(flooder, nullptr, 0);

    // The recording alone, at full speed: what a megabyte of traffic costs to write down.
    std::mt19937 random(1);
    std::vector<std::uint8_t> chunk(4096);
    for (auto& b : chunk) {
        b = static_cast<std::uint8_t>(random());
    }
    constexpr int kMegabytes = 64;
    const double start = CpuSeconds();
    {
        std::ofstream file(capture, std::ios::binary);
        TCaptureWriter writer(file);
        for (std::int64_t k = 0; k < kMegabytes * 1000000 / 4096; ++k) {
            writer.Record(ckReceived, 1765118607000000 + k, chunk);
        }
        writer.Flush();
    }
    const double perMegabyte = (CpuSeconds() - start) / kMegabytes;
    std::filesystem::remove(capture);
    std::printf(
        "capture writer alone:           %.2f ms CPU per MB (%.2f %% of a core at 1 MB/s)\n",
        perMegabyte * 1000, perMegabyte * 100);
    return 0;
}
