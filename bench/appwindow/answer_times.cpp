// How exact the answer times the window shows are: the window on a pty sends requests one after
// another; the far end, a thread here, reads each request whole, sleeps exactly the delay from
// the moment its last byte was read (an absolute sleep on the monotonic clock) and writes the
// answer. Per delay it prints the true delays (read to write) against the answer times of the
// answer rows: the difference's median and 99th percentile, and the largest.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_answer_times [requests-per-delay=200] [ms...]
// Goal: |shown - true| at most 1 ms median and 2 ms at the 99th percentile. The window's event
// loop runs as in the program, without the sleeps of a test's waits.
#include "app/window/Tessalmain.h"
#include "bench/common/Offscreen.h"
#include "bench/common/WorkbenchDir.h"
#include "controls/GuiSynchronize.h"
#include "platform/registry/Registry.h"
#include "tests/common/PtyAdapter.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <time.h>

namespace {

// A CRC OK answer: 01 06 00 05 and its CRC.
const std::uint8_t kAnswer[] = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};

std::int64_t NowNs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Answers every whole request after DelayNs, keeping the true delay of each.
class TExactFarEnd {
public:
    TExactFarEnd(const TPtyAdapter& pty, std::int64_t delayNs)
        : Pty(pty), DelayNs(delayNs), Worker([this] { Run(); }) {}
    ~TExactFarEnd() {
        Stop = true;
        Worker.join();
    }
    std::vector<std::int64_t> TrueDelaysNs() const {
        std::lock_guard lock(Lock);
        return Delays;
    }

private:
    void Run() {
        std::vector<std::uint8_t> request;
        while (!Stop) {
            const std::vector<std::uint8_t> bytes = Pty.Read(50);
            request.insert(request.end(), bytes.begin(), bytes.end());
            if (request.size() < 2 || request.size() < request[1]) {
                continue;
            }
            const std::int64_t read = NowNs();
            request.clear();
            const std::int64_t due = read + DelayNs;
            const timespec at{static_cast<time_t>(due / 1000000000),
                              static_cast<long>(due % 1000000000)};
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
            }
            const std::int64_t written = NowNs();
            if (::write(Pty.MasterFd(), kAnswer, sizeof kAnswer) != sizeof kAnswer) {
                std::perror("write");
            }
            std::lock_guard lock(Lock);
            Delays.push_back(written - read);
        }
    }

    const TPtyAdapter& Pty;
    const std::int64_t DelayNs;
    std::atomic<bool> Stop{false};
    mutable std::mutex Lock;
    std::vector<std::int64_t> Delays;
    std::thread Worker;
};

// Runs the event loop as the program does (no sleeps between turns, which would delay the port's
// events and their times) until the condition holds or the time is up.
bool Serve(const std::function<bool()>& condition, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition()) {
            loop.quit();
        }
    });
    check.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1];
}

} // namespace

int main(int argc, char** argv) {
    PreferOffscreen();
    QApplication app(argc, argv);
    InstallGuiSynchronize();
    const int requests = argc > 1 ? std::atoi(argv[1]) : 200;
    std::vector<int> delays;
    for (int k = 2; k < argc; ++k) {
        delays.push_back(std::atoi(argv[k]));
    }
    if (delays.empty()) {
        delays = {5, 20, 100};
    }

    const TWorkbenchDir workbenchDir("answer-times");
    TPtyAdapter pty(workbenchDir.Dir / "ttyANSWER");
    TTessalOptions options;
    options.PortName = pty.Name().string();
    TWorkbenchDir::StorePort(options.PortName);
    {
        TRegistry registry(HKEY_CURRENT_USER);
        registry.OpenKey("Software\\Tessal", true);
        registry.WriteInteger("AnswerTimeout", 1000);
        TRegistry port(HKEY_CURRENT_USER);
        port.OpenKey("Software\\Tessal\\ComPort", true);
        // A pty carries a request at once, but the port reports its transmit buffer empty when
        // the bytes would have left at the set rate: at 9600 baud five bytes take 5.2 ms the
        // far end does not wait for. At 115200 that is under the port's 1 ms check interval.
        port.WriteString("BaudRate", "115200");
    }
    auto form = TWorkbenchDir::OpenWindow(options);
    if (!form) {
        return 1;
    }
    const TFrameRows& rows = form->Bench().Rows();
    std::printf("%8s %9s %14s %14s %14s %14s\n", "delay", "answers", "median diff", "p99 |diff|",
                "max |diff|", "median shown");
    for (const int delayMs : delays) {
        TExactFarEnd farEnd(pty, static_cast<std::int64_t>(delayMs) * 1000000);
        std::vector<double> shown;
        for (int i = 0; i < requests; ++i) {
            form->RXFramesDeleteallClick();
            form->OnButtonSendFrame();
            const bool answered = Serve(
                [&] {
                    const std::int32_t n = rows.GetFrameCount();
                    return n > 0 && rows.Kind(n) == rkCrcOk && rows.AnswerMicros(n).has_value();
                },
                5000);
            if (!answered) {
                std::fprintf(stderr, "request %d: no answer row\n", i);
                return 1;
            }
            shown.push_back(*rows.AnswerMicros(rows.GetFrameCount()) / 1000.0);
        }
        const std::vector<std::int64_t> trueNs = farEnd.TrueDelaysNs();
        std::vector<double> diff, absDiff;
        for (std::size_t k = 0; k < shown.size() && k < trueNs.size(); ++k) {
            diff.push_back(shown[k] - static_cast<double>(trueNs[k]) / 1e6);
            absDiff.push_back(std::fabs(diff.back()));
        }
        std::printf("%5d ms %9zu %11.3f ms %11.3f ms %11.3f ms %11.3f ms\n", delayMs, diff.size(),
                    Percentile(diff, 0.5), Percentile(absDiff, 0.99), Percentile(absDiff, 1.0),
                    Percentile(shown, 0.5));
    }
    form.reset();
    return 0;
}
