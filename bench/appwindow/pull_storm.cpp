// The workbench repeating a request every few milliseconds against the device simulator on a
// virtual line whose end is pulled at random moments and plugged back after a random 0-300 ms,
// again and again. Prints, per pull, nothing unless something is wrong; at the end: pulls,
// "disconnected" and "reconnected" statuses seen (one of each a pull is right), boxes shown
// (none is right), answers the device sent against the rows the grid made of them, and the
// reconnection times.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_pull_storm [pulls=500] [period-ms=10] [wait]
// "wait" repeats with "Wait for the answer": then every answer that arrived whole is a row.
#include "app/window/Tessalmain.h"
#include "bench/common/Offscreen.h"
#include "bench/common/WorkbenchDir.h"
#include "controls/GuiSynchronize.h"
#include "framework/Application.h"
#include "platform/serial/VirtualNullModem.h"
#include "tools/devsim/DeviceSimulator.h"
#include "tools/devsim/SimChannel.h"
#include "tools/devsim/SimServer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// Serves the event loop until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    PreferOffscreen();
    QApplication app(argc, argv);
    InstallGuiSynchronize();
    const int pulls = argc > 1 ? std::atoi(argv[1]) : 500;
    const int period = argc > 2 ? std::atoi(argv[2]) : 10;
    const bool waitForAnswer = argc > 3 && std::string(argv[3]) == "wait";

    const TWorkbenchDir workbenchDir("pulls");

    const std::string nameA = "pullA_" + std::to_string(::getpid());
    const std::string nameB = "pullB_" + std::to_string(::getpid());
    const auto modem = TVirtualNullModem::Create(nameA, nameB);
    if (!modem) {
        std::fprintf(stderr, "no virtual pair\n");
        return 1;
    }
    TWorkbenchDir::StorePort(nameA);

    // The device: the simulator served on the far end for the whole run.
    const TSerialHandle far = SerialOpen(nameB);
    TSerialChannel channel(far);
    TDeviceSimulator device(TSimConfig{}, TSimRules::Parse("00 -> 00\n"));
    std::thread server([&] {
        try {
            ServeDevice(channel, device);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "device: %s\n", e.what());
        }
    });

    std::vector<std::string> boxes;
    Application->OnException = [&](TObject*, const std::exception_ptr& e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            boxes.emplace_back(x.what());
        }
    };
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back(box->text().toStdString());
            box->accept();
        }
    });
    boxCloser.start(5);

    TTessalOptions options;
    options.PortName = nameA;
    auto form = std::make_unique<TTessalForm>(options);
    form->show();
    form->SetRepeatPeriod(period);
    int lost = 0;
    int back = 0;
    QObject::connect(form.get(), &TTessalForm::StatusChanged, [&](const QString& text) {
        lost += text.endsWith("disconnected: the device was removed") ? 1 : 0;
        back += text.endsWith(" reconnected") ? 1 : 0;
    });
    for (QAction* action : form->findChildren<QAction*>()) {
        if (action->text() == "Wait for the answer" && action->isChecked() != waitForAnswer) {
            action->trigger();
        }
    }
    auto* autoRepeat = form->findChild<QCheckBox*>("AutoRepeatCheckBox");
    auto* send = form->findChild<QPushButton*>("SendFrameBitBtn");
    autoRepeat->setChecked(true);

    std::mt19937 random(2026);
    std::uniform_int_distribution<int> moment(0, 300);
    std::vector<double> reconnectMs;
    int stuck = 0;
    QElapsedTimer run;
    run.start();
    for (int pull = 0; pull < pulls; ++pull) {
        if (!form->Repeating()) {
            send->click();
        }
        QTest::qWait(moment(random));
        modem->Unplug(0);
        if (!WaitFor([&] { return !form->Bench().GetConnected(); }, 5000)) {
            ++stuck;
            std::fprintf(stderr, "pull %d: the loss was not told\n", pull);
        }
        QTest::qWait(moment(random));
        QElapsedTimer plugged;
        plugged.start();
        modem->Replug(0);
        if (!WaitFor([&] { return form->Bench().GetConnected(); }, 5000)) {
            ++stuck;
            std::fprintf(stderr, "pull %d: not reconnected\n", pull);
        }
        reconnectMs.push_back(static_cast<double>(plugged.nsecsElapsed()) / 1e6);
    }
    // What is still on its way settles.
    autoRepeat->setChecked(false);
    QTest::qWait(300);

    const TFrameRows& rows = form->Bench().Rows();
    std::array<int, kRowKinds> kinds{};
    for (std::int32_t r = 1; r <= rows.GetFrameCount(); ++r) {
        ++kinds[rows.Kind(r)];
    }
    std::printf("pulls:                          %d in %.1f s, period %d ms%s\n", pulls,
                static_cast<double>(run.elapsed()) / 1000, period,
                waitForAnswer ? ", waiting for the answer" : "");
    std::printf("statuses:                       %d disconnected, %d reconnected (goal %d each)\n",
                lost, back, pulls);
    std::printf("not told or not back in 5 s:    %d (goal 0)\n", stuck);
    std::printf("boxes shown:                    %zu (goal 0)%s%s\n", boxes.size(),
                boxes.empty() ? "" : ", first: ", boxes.empty() ? "" : boxes.front().c_str());
    std::printf("device: requests %zu, answers %zu\n", device.Stats().Requests,
                device.Stats().Answers);
    std::printf("rows: sent %d, CRC OK %d, CRC FAIL %d, timeout %d, too short %d, no answer %d\n",
                kinds[rkSent], kinds[rkCrcOk], kinds[rkCrcFail], kinds[rkTimeout],
                kinds[rkTooShort] + kinds[rkTooShortTimeout], kinds[rkNoAnswer]);
    std::printf("answers shown whole:            %d of %zu sent (never more)\n", kinds[rkCrcOk],
                device.Stats().Answers);
    std::printf("plug -> reconnected:            median %.2f ms, p99 %.2f ms (goal p99 <= 1000)\n",
                Percentile(reconnectMs, 0.5), Percentile(reconnectMs, 0.99));

    form.reset();
    channel.Stop();
    server.join();
    SerialClose(far);
    return lost == pulls && back == pulls && stuck == 0 && boxes.empty() ? 0 : 1;
}
