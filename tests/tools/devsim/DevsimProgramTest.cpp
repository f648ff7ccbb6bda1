// The real tessal-devsim on a real pty: started, found by the path it prints, asked, stopped.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SimTestSupport.h"
#include "platform/serial/SerialDriver.h"
#include "platform/serial/SerialPortList.h"
#include "tools/devsim/DeviceSimulator.h"

extern char** environ;

namespace {

using namespace std::chrono;

// A child process with its standard output on a pipe. Every wait is bounded.
class TSimProcess {
public:
    explicit TSimProcess(std::vector<std::string> Args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        Args.insert(Args.begin(), TESSAL_DEVSIM_EXE);
        std::vector<char*> argv;
        for (auto& a : Args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TESSAL_DEVSIM_EXE, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~TSimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }
    bool Started() const { return pid_ > 0; }

    // The next line of output without its line end; empty after the time-out or at the end.
    std::string ReadLine(milliseconds Timeout = seconds(10)) {
        const auto deadline = steady_clock::now() + Timeout;
        for (;;) {
            if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            if (!Fill(deadline)) {
                return {};
            }
        }
    }

    // Signals the process and collects its exit status (-1 when it did not end in time).
    int Stop(int Signal, milliseconds Timeout = seconds(10)) {
        ::kill(pid_, Signal);
        const auto deadline = steady_clock::now() + Timeout;
        while (Fill(deadline)) {
        }
        if (steady_clock::now() >= deadline) {
            return -1;
        }
        // Standard output closed: the process is on its way out.
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        return status;
    }

private:
    // Reads what arrives before Deadline; false at the end of the output or on time-out.
    bool Fill(steady_clock::time_point Deadline) {
        const auto left = duration_cast<milliseconds>(Deadline - steady_clock::now()).count();
        pollfd p{out_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
        char chunk[256];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0) {
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

std::vector<std::string> Registered() {
    std::vector<std::string> names;
    if (!ListRegisteredSerialDevices(names)) {
        names.clear();
    }
    return names;
}

TBytes Ask(const std::string& Port, const TBytes& Request, std::size_t AnswerSize) {
    const TSerialHandle h = SerialOpen(Port);
    EXPECT_NE(h, InvalidSerialHandle) << LastPlatformError();
    if (h == InvalidSerialHandle) {
        return {};
    }
    COMMTIMEOUTS t{};
    t.ReadTotalTimeoutConstant = 5000;
    EXPECT_TRUE(SetDeviceTimeouts(h, t));
    std::uint32_t n = 0;
    EXPECT_TRUE(
        SerialWrite(h, Request.data(), static_cast<std::uint32_t>(Request.size()), &n, nullptr));
    TBytes answer(AnswerSize);
    EXPECT_TRUE(SerialRead(h, answer.data(), static_cast<std::uint32_t>(AnswerSize), &n, nullptr));
    answer.resize(n);
    SerialClose(h);
    return answer;
}

TEST(DevsimProgram, AnswersOnItsPtyAndLeavesTheDeviceMapClean) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        TPrivateRegistry registry;
        TSimProcess sim({"--delay", "0"});
        ASSERT_TRUE(sim.Started());
        const std::string port = sim.ReadLine();
        ASSERT_TRUE(port.starts_with("/dev/")) << port;
        EXPECT_EQ(Registered(), std::vector<std::string>{port});

        // READ from the example rules; the same port can be opened again afterwards.
        const TBytes expected =
            TDeviceSimulator::BuildAnswer(0x01, 0x01, {0xDE, 0xAD, 0xBE, 0xEF}, 0x00);
        EXPECT_EQ(HexBytes(Ask(port, Request(0x01, 0x01, {0x00, 0x04}), expected.size())),
                  HexBytes(expected));
        EXPECT_NE(sim.ReadLine().find("answer"), std::string::npos);
        EXPECT_EQ(HexBytes(Ask(port, Request(0xFF, 0x00), 6)),
                  HexBytes(TDeviceSimulator::BuildAnswer(0x01, 0x00, TBytes{}, 0x00)));

        const int status = sim.Stop(signal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_TRUE(Registered().empty());
    }
}

TEST(DevsimProgram, NameOfAKilledSimulatorIsDroppedByTheNext) {
    TPrivateRegistry registry;
    std::string first;
    {
        TSimProcess sim({"--quiet"});
        first = sim.ReadLine();
        ASSERT_FALSE(first.empty());
        sim.Stop(SIGKILL);
    }
    EXPECT_EQ(Registered(), std::vector<std::string>{first});
    TSimProcess next({"--quiet"});
    const std::string second = next.ReadLine();
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(Registered(), std::vector<std::string>{second});
}

TEST(DevsimProgram, RefusesBadOptionsAndBadRules) {
    struct TCase {
        std::vector<std::string> Args;
        int Exit;
    } const cases[] = {
        {{"--help"}, 0},
        {{"--bogus"}, 2},
        {{"--rules", "/nonexistent/x.rules"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args[0]);
        TPrivateRegistry registry;
        TSimProcess sim(c.Args);
        ASSERT_TRUE(sim.Started());
        const int status = sim.Stop(0);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.Exit);
        EXPECT_TRUE(Registered().empty());
    }
}

} // namespace
