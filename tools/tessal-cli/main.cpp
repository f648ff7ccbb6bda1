// tessal-cli: the workbench's requests and answers from the command line or a script. See
// CliUsage (--help).
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "app/core/SettingsFile.h"
#include "app/core/StoredSettings.h"
#include "framework/ProgramInfo.h"
#include "framework/Synchronize.h"
#include "platform/registry/Registry.h"
#include "platform/text/AsciiText.h"
#include "port/CPort.h"
#include "tools/tessal-cli/CliOptions.h"
#include "tools/tessal-cli/CliReport.h"
#include "tools/tessal-cli/CliRun.h"
#include "tools/tessal-cli/Progress.h"
#include "tools/tessal-cli/RowPrinter.h"

namespace {

enum TExit : int {
    exPassed = 0,
    exFailed = 1,
    exUsage = 2,
    exPort = 3,
    exInterrupted = 130,
};

constexpr std::size_t kMaxScriptBytes = 16 << 20;

// Ctrl+C and SIGTERM are taken by a thread of their own (blocked everywhere else, the port's
// threads included): it sets Stop and wakes the main thread, whose loop then ends the run the
// ordinary way. SIGUSR2 ends the thread itself.
class TStopSignals {
public:
    TStopSignals() {
        sigemptyset(&Set);
        for (int signal : {SIGINT, SIGTERM, SIGUSR2}) {
            sigaddset(&Set, signal);
        }
        pthread_sigmask(SIG_BLOCK, &Set, nullptr);
        Waiter = std::thread([this] {
            for (;;) {
                int signal = 0;
                if (sigwait(&Set, &signal) != 0 || signal == SIGUSR2) {
                    return;
                }
                Stop = true;
                Queue([] {});
            }
        });
    }
    ~TStopSignals() {
        pthread_kill(Waiter.native_handle(), SIGUSR2);
        Waiter.join();
    }
    std::atomic<bool> Stop{false};

private:
    sigset_t Set{};
    std::thread Waiter;
};

struct TCliError {
    int Code;
    std::string Text;
};

// Text fits the setting when it reads back as itself; an unknown text would quietly become the
// table's fallback.
template <typename E>
E Setting(const std::string& option, const std::string& text, E (*from)(const std::string&),
          std::string (*to)(E)) {
    const E value = from(text);
    if (!SameText(to(value), text)) {
        throw TCliError{exUsage, "bad value for " + option + ": '" + text + "'"};
    }
    return value;
}

void SetUpPort(TComPort& port, const TCliOptions& o) {
    port.SetName(kPortComponentName);
    port.SetEvents(TComEvents{evRxChar, evTxEmpty, evError});
    port.GetFlowControl().SetControlDTR(dtrDisable);
    port.GetFlowControl().SetControlRTS(rtsDisable);
    TRegistry settings(HKEY_CURRENT_USER);
    const bool stored = settings.OpenKeyReadOnly(kPortSettingsPath);
    if (stored) {
        try {
            port.LoadSettings(stRegistry, kPortSettingsKey);
        } catch (const EComPort& e) {
            throw TCliError{exPort, std::string("the stored port settings: ") + e.what()};
        }
    }
    if (o.Port) {
        port.SetPort(*o.Port);
    } else if (!stored) {
        throw TCliError{exUsage, "no port: give --port NAME (no workbench settings are stored)"};
    }
    if (o.Baud) {
        const TBaudRate rate = StrToBaudRate(*o.Baud);
        if (SameText(BaudRateToStr(rate), *o.Baud) && rate != brCustom) {
            port.SetBaudRate(rate);
        } else if (const auto custom = ReadNumber(*o.Baud, 50, 4000000)) {
            port.SetBaudRate(brCustom);
            port.SetCustomBaudRate(*custom);
        } else {
            throw TCliError{exUsage, "bad value for --baud: '" + *o.Baud + "'"};
        }
    }
    if (o.DataBits) {
        port.SetDataBits(Setting("--data-bits", *o.DataBits, StrToDataBits, DataBitsToStr));
    }
    if (o.Parity) {
        port.GetParity().SetBits(Setting("--parity", *o.Parity, StrToParity, ParityToStr));
    }
    if (o.StopBits) {
        port.SetStopBits(Setting("--stop-bits", *o.StopBits, StrToStopBits, StopBitsToStr));
    }
    if (o.Flow) {
        const TFlowControl flow = Setting("--flow", *o.Flow, StrToFlowControl, FlowControlToStr);
        if (flow == fcCustom) {
            throw TCliError{exUsage, "bad value for --flow: '" + *o.Flow + "'"};
        }
        port.GetFlowControl().SetFlowControl(flow);
    }
}

// The stored answer time-out, when there is one.
void TakeStoredTimeout(TWorkbench& workbench) {
    TRegistry settings(HKEY_CURRENT_USER);
    try {
        if (settings.OpenKeyReadOnly(kPortSettingsPath) &&
            settings.ValueExists(kAnswerTimeoutValue)) {
            workbench.SetAnswerTimeout(settings.ReadInteger(kAnswerTimeoutValue));
        }
    } catch (const std::exception&) {
        // Not a number: the workbench's own default stays.
    }
}

void LoadDefinitions(TWorkbench& workbench, const TCliOptions& o) {
    workbench.SetRememberCommandFile(false);
    const std::optional<std::string> path =
        o.TslFile ? o.TslFile : ReadSettingsFile(kSettingsFileName);
    if (!path) {
        throw TCliError{exUsage, "no command file: give --tsl FILE (" +
                                     std::string(kSettingsOpenFailedText) + ")"};
    }
    const TWorkbenchOutcome load = workbench.LoadCommandFile(*path);
    if (!workbench.Definitions().GetConfigLoaded()) {
        throw TCliError{exUsage, *path + ": " + load.StatusText.value_or("not loaded")};
    }
    workbench.ComposeInitialFrame("01");
}

std::vector<TStep> ReadScript(const std::string& path, const TCommandDefinitions& defs) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf()) || text.view().size() > kMaxScriptBytes) {
        throw TCliError{exUsage,
                        path + ": cannot be read" + (file ? " (over 16 MB)" : std::string())};
    }
    TScriptResult script = ParseScript(text.view(), defs);
    if (script.Error) {
        throw TCliError{exUsage, path + ":" + *script.Error};
    }
    return std::move(script.Steps);
}

std::vector<TStep> SendStep(const TCliOptions& o, const TCommandDefinitions& defs) {
    TStep step;
    TSendStep& send = step.Send;
    std::string error = FindCommand(o.Command, defs, send.CommandIndex);
    send.Params = o.Params;
    if (error.empty()) {
        error = CheckParams(send.Params);
    }
    for (const auto& [clause, value] : o.SendClauses) {
        if (error.empty()) {
            error = ApplySendClause(clause, value, defs, send);
        }
    }
    if (error.empty() && o.Repeat) {
        const auto n = ReadNumber(*o.Repeat, 1, kMaxRepeat);
        error = n ? "" : "bad value for --repeat: '" + *o.Repeat + "'";
        send.Repeat = n.value_or(1);
    }
    if (error.empty() && o.Period) {
        const auto ms = ReadNumber(*o.Period, 1, kMaxWaitMs);
        error = ms ? "" : "bad value for --period: '" + *o.Period + "'";
        send.PeriodMs = ms.value_or(1);
    }
    if (!error.empty()) {
        throw TCliError{exUsage, error};
    }
    return {step};
}

int Run(const TCliOptions& o, std::atomic<bool>& stop) {
    TWorkbench workbench(ExecutableDir());
    LoadDefinitions(workbench, o);
    TakeStoredTimeout(workbench);
    const std::vector<TStep> steps = o.Verb == cvRun ? ReadScript(o.Script, workbench.Definitions())
                                                     : SendStep(o, workbench.Definitions());
    TComPort port;
    SetUpPort(port, o);
    TCliRunner runner(workbench, port, stop);
    try {
        port.Open();
    } catch (const EComPort& e) {
        throw TCliError{exPort, PortFailureInWords(port.GetPort(), e) + " (" + e.what() + ")"};
    }

    const bool terminal = isatty(STDOUT_FILENO) == 1;
    TRowPrinter printer(o.Format.value_or(terminal ? ofText : ofCsv), stdout, terminal);
    TProgress progress(CountRequests(steps), o.Progress && isatty(STDERR_FILENO) == 1);
    runner.OnRow = [&](std::int32_t row) {
        progress.Clear(terminal);
        printer.Row(workbench.Rows(), row);
    };
    runner.OnProgress = [&](std::int64_t requests) { progress.Update(requests); };
    const TRunEnd end = runner.Run(steps);
    progress.Clear(true);
    printer.Finish();
    try {
        port.Close();
    } catch (const EComPort&) {
        // The run's verdict stands; a port that will not close adds nothing to it.
    }

    const TRunReport report = Report(runner, o.Verb == cvRun ? o.Script : "tessal-cli send");
    std::fputs((SummaryLine(report, workbench) + "\n").c_str(), stderr);
    for (const std::string& failure : report.FailureLines) {
        std::fputs((failure + "\n").c_str(), stderr);
    }
    if (!o.JUnitFile.empty() && !WriteJUnit(o.JUnitFile, report)) {
        std::fprintf(stderr, "tessal-cli: %s: cannot be written\n", o.JUnitFile.c_str());
        return exUsage;
    }
    switch (end) {
    case rePortFailed:
        std::fprintf(stderr, "tessal-cli: %s\n", runner.PortProblem().c_str());
        return exPort;
    case reRefused:
        std::fprintf(stderr, "tessal-cli: %s\n", runner.GetRefusal().c_str());
        return exUsage;
    case reInterrupted:
        return exInterrupted;
    case reDone:
        break;
    }
    return report.Failures > 0 ? exFailed : exPassed;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const TCliOptionsResult parsed = ParseCliOptions({argv + 1, argv + argc});
    if (parsed.Error) {
        std::fprintf(stderr, "tessal-cli: %s\nTry tessal-cli --help.\n", parsed.Error->c_str());
        return exUsage;
    }
    if (parsed.Options.Help) {
        std::fputs(CliUsage().c_str(), stdout);
        return exPassed;
    }
    if (parsed.Options.Version) {
        std::printf("tessal-cli %s\n", TessalVersion());
        return exPassed;
    }
    TStopSignals signals;
    try {
        return Run(parsed.Options, signals.Stop);
    } catch (const TCliError& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", e.Text.c_str());
        return e.Code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessal-cli: %s\n", e.what());
        return exPort;
    }
}
