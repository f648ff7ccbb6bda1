// tessal-cli beside a minimal poll/read/write loop: request/answer exchanges with the device
// simulator on a pty (answers at once), the same READ frame each time, the next request only
// after the whole answer. Both run in the same round against a fresh simulator; the simulator's
// own CPU is counted for neither.
//
// tessal-cli is a whole program (start, command file, port, rows printed to /dev/null, the last
// answer time-out): its cost per exchange is the difference between a run of N exchanges and a
// run of one, divided by N - 1. Printed: per exchange, wall and CPU, for each, and the ratios to
// the loop; median and range of the rounds.
//   bench_cli_exchanges [exchanges (10000)] [rounds (5)]
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/Crc16.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct TCost {
    double Wall = 0; // seconds
    double Cpu = 0;
};

double Cpu(const rusage& u) {
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Out takes the program's standard output, and its standard error too when Quiet.
pid_t Spawn(std::vector<std::string> args, int out, bool quiet = false) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    if (quiet) {
        posix_spawn_file_actions_adddup2(&actions, out, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The simulator on a pty of its own, answering at once; ends with the object.
class TSimulator {
public:
    TSimulator() {
        int fds[2];
        if (pipe(fds) != 0) {
            throw std::runtime_error("pipe");
        }
        Pid = Spawn({TESSAL_DEVSIM_EXE, "--quiet", "--no-register", "--delay", "0"}, fds[1]);
        close(fds[1]);
        char ch = 0;
        while (read(fds[0], &ch, 1) == 1 && ch != '\n') {
            Port += ch;
        }
        close(fds[0]);
    }
    ~TSimulator() {
        kill(Pid, SIGTERM);
        waitpid(Pid, nullptr, 0);
    }
    std::string Port;

private:
    pid_t Pid = -1;
};

std::vector<std::uint8_t> ReadRequest() {
    std::vector<std::uint8_t> frame = {0x01, 0x07, 0x01, 0x00, 0x04};
    const std::uint16_t crc = Crc16(frame.data(), 5);
    frame.push_back(std::uint8_t(crc >> 8));
    frame.push_back(std::uint8_t(crc));
    return frame;
}

// The loop every serial program could be: write the request, poll and read until the answer's
// ten bytes are in.
TCost Loop(const std::string& port, int exchanges) {
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (fd < 0 || tcgetattr(fd, &t) != 0) {
        throw std::runtime_error("cannot open " + port);
    }
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    const std::vector<std::uint8_t> request = ReadRequest();
    constexpr std::size_t kAnswer = 10; // 01 0A 01 DE AD BE EF 00 CRC CRC
    rusage u0{}, u1{};
    getrusage(RUSAGE_SELF, &u0);
    const auto t0 = Clock::now();
    std::uint8_t buffer[64];
    for (int i = 0; i < exchanges; ++i) {
        if (write(fd, request.data(), request.size()) != ssize_t(request.size())) {
            throw std::runtime_error("write");
        }
        for (std::size_t got = 0; got < kAnswer;) {
            pollfd p{fd, POLLIN, 0};
            const ssize_t n = poll(&p, 1, 5000) == 1 ? read(fd, buffer, sizeof buffer) : -1;
            if (n <= 0) {
                throw std::runtime_error("no answer");
            }
            got += std::size_t(n);
        }
    }
    TCost cost{std::chrono::duration<double>(Clock::now() - t0).count(), 0};
    getrusage(RUSAGE_SELF, &u1);
    cost.Cpu = Cpu(u1) - Cpu(u0);
    close(fd);
    return cost;
}

// tessal-cli from start to end, with its rows going to /dev/null.
TCost Cli(const std::string& port, int exchanges, const std::string& scriptDir) {
    const std::string script = scriptDir + "/exchanges-" + std::to_string(exchanges) + ".tss";
    std::ofstream(script) << "repeat " << exchanges << " {\n  send READ 00 04 expect ok\n}\n";
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto t0 = Clock::now();
    const pid_t pid =
        Spawn({TESSAL_CLI_EXE, "--port", port, "--tsl", TESSAL_SOURCE_DIR "/resources/example.tsl",
               "--format", "csv", "--no-progress", "run", script},
              null, true);
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    TCost cost{std::chrono::duration<double>(Clock::now() - t0).count(), Cpu(u)};
    close(null);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("tessal-cli failed: " + std::to_string(status));
    }
    return cost;
}

struct TSpread {
    double Median, Min, Max;
};

TSpread Spread(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

void Print(const char* what, const std::vector<double>& values, const char* unit, double scale) {
    const TSpread s = Spread(values);
    std::printf("  %-34s %8.2f %s  (%.2f .. %.2f)\n", what, s.Median * scale, unit, s.Min * scale,
                s.Max * scale);
}

} // namespace

int main(int argc, char** argv) {
    const int exchanges = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    char dir[] = "/tmp/bench-cli-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    std::vector<double> loopWall, loopCpu, cliWall, cliCpu, wallRatio, cpuRatio, cliTotal;
    try {
        for (int round = 0; round < rounds; ++round) {
            TSimulator sim;
            const TCost loop = Loop(sim.Port, exchanges);
            const TCost one = Cli(sim.Port, 1, dir);
            const TCost many = Cli(sim.Port, exchanges, dir);
            const double n = exchanges - 1;
            loopWall.push_back(loop.Wall / exchanges);
            loopCpu.push_back(loop.Cpu / exchanges);
            cliWall.push_back((many.Wall - one.Wall) / n);
            cliCpu.push_back((many.Cpu - one.Cpu) / n);
            cliTotal.push_back(many.Wall);
            wallRatio.push_back(cliWall.back() / loopWall.back());
            cpuRatio.push_back(cliCpu.back() / loopCpu.back());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cli_exchanges: %s\n", e.what());
        return 1;
    }
    std::printf("%d exchanges (READ, 7 bytes out, 10 back) against tessal-devsim on a pty, "
                "%d rounds: median (range)\n",
                exchanges, rounds);
    Print("poll/read/write loop, wall", loopWall, "us/exchange", 1e6);
    Print("poll/read/write loop, CPU", loopCpu, "us/exchange", 1e6);
    Print("tessal-cli, wall", cliWall, "us/exchange", 1e6);
    Print("tessal-cli, CPU", cliCpu, "us/exchange", 1e6);
    Print("tessal-cli, whole run", cliTotal, "s", 1);
    Print("ratio wall (cli / loop)", wallRatio, "x", 1);
    Print("ratio CPU (cli / loop)", cpuRatio, "x", 1);
    std::filesystem::remove_all(dir);
    return 0;
}
