// tessal-devsim: a simulated device on a pseudo-terminal. See SimUsage (--help).
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/registry/Registry.h"
#include "tools/devsim/DeviceMapEntry.h"
#include "tools/devsim/PtyDevice.h"
#include "tools/devsim/SimOptions.h"
#include "tools/devsim/SimServer.h"

namespace {

// Ctrl+C, SIGTERM and a closed terminal end the simulator through the same path as any other
// stop, so its device map entry is removed on the way out.
int StopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) {
        return -1;
    }
    return signalfd(-1, &stops, SFD_CLOEXEC);
}

int Run(const TSimOptions& Options) {
    const int stopFd = StopSignals();
    if (stopFd < 0) {
        std::perror("tessal-devsim: signals");
        return 1;
    }
    const std::string rulesPath =
        Options.RulesPath.empty() ? DefaultRulesPath() : Options.RulesPath;
    TDeviceSimulator device(Options.Config, TSimRules::Load(rulesPath));
    if (!Options.Quiet) {
        device.OnLog = [](const std::string& Line) { std::cout << Line << std::endl; };
    }
    TPtyDevice pty;
    std::unique_ptr<TDeviceMapEntry> entry;
    if (Options.Register) {
        TDeviceMapEntry::PruneStale();
        entry = std::make_unique<TDeviceMapEntry>(pty.SlavePath());
    }
    std::cout << pty.SlavePath() << std::endl;
    TFdChannel channel(pty.Master(), stopFd);
    ServeDevice(channel, device);
    ::close(stopFd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const auto parsed = ParseSimOptions({argv + 1, argv + argc});
    if (parsed.Error) {
        std::cerr << "tessal-devsim: " << *parsed.Error << "\nTry tessal-devsim --help.\n";
        return 2;
    }
    if (parsed.Options.Help) {
        std::cout << SimUsage();
        return 0;
    }
    try {
        return Run(parsed.Options);
    } catch (const std::exception& e) {
        std::cerr << "tessal-devsim: " << e.what() << '\n';
        return 1;
    }
}
