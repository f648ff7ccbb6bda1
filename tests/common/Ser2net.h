// A serial server on the loopback address, serving a pty made here: the real program users run
// on their serial servers, started per test with a configuration of its own (a free port with
// telnet com port control, one with raw TCP) and stopped by its PID. Header only, without
// GoogleTest: tests and benchmarks share it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tests/common/TempDir.h"

// A raw pty pair: the server opens SlaveName, the test plays the device on Master. The test's
// own slave descriptor stays open so that the server closing its own is no hang-up.
struct TServedPty {
    int Master = -1, Slave = -1;
    std::string SlaveName;
    TServedPty() {
        char Name[256];
        if (::openpty(&Master, &Slave, Name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        for (int Fd : {Master, Slave}) {
            termios T{};
            ::tcgetattr(Fd, &T);
            ::cfmakeraw(&T);
            ::tcsetattr(Fd, TCSANOW, &T);
        }
        SlaveName = Name;
    }
    ~TServedPty() {
        ::close(Slave);
        ::close(Master);
    }
    TServedPty(const TServedPty&) = delete;
    TServedPty& operator=(const TServedPty&) = delete;
};

// A loopback port nobody listens on now.
inline std::uint16_t FreeLoopbackPort() {
    const int S = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    std::uint16_t Port = 0;
    if (S >= 0 && ::bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 &&
        ::getsockname(S, reinterpret_cast<sockaddr*>(&A), &Len) == 0)
        Port = ntohs(A.sin_port);
    if (S >= 0)
        ::close(S);
    return Port;
}

// Whether a socket listens on 127.0.0.1:Port, read from the kernel's table: a connection to
// find out would open the served device.
inline bool LoopbackListens(std::uint16_t Port) {
    std::ifstream Table("/proc/net/tcp");
    char Wanted[32];
    std::snprintf(Wanted, sizeof Wanted, "0100007F:%04X", Port);
    std::string Line;
    while (std::getline(Table, Line)) {
        std::istringstream Fields(Line);
        std::string Slot, Local, Remote, State;
        if (Fields >> Slot >> Local >> Remote >> State && Local == Wanted && State == "0A")
            return true;
    }
    return false;
}

class TSer2net {
public:
    static constexpr const char* Program = "/usr/sbin/ser2net";

    TSer2net() : Dir("tessal-ser2net"), RfcPort(FreeLoopbackPort()), RawPort(FreeLoopbackPort()) {}
    ~TSer2net() { Stop(); }
    TSer2net(const TSer2net&) = delete;
    TSer2net& operator=(const TSer2net&) = delete;

    // Serves RfcDevice with com port control and RawDevice (one device is served to one
    // connection at a time; "" for none) as raw TCP; the ports stay those of the first start.
    // "" on success, else what failed.
    std::string Start(const std::string& RfcDevice, const std::string& RawDevice) {
        Stop();
        if (::access(Program, X_OK) != 0)
            return std::string(Program) + " is missing: apt-get install ser2net (./test does)";
        if (RfcPort == 0 || RawPort == 0 || RfcPort == RawPort)
            return "no free loopback port";
        const std::string Config = Dir.Write(
            "ser2net.yaml", Entry("rfc", "telnet(rfc2217),tcp", RfcPort, RfcDevice) +
                                (RawDevice.empty() ? "" : Entry("raw", "tcp", RawPort, RawDevice)));
        const std::string Log = Dir.File("ser2net.log");
        const std::string Pidfile = Dir.File("ser2net.pid");
        const char* Argv[] = {Program, "-n", "-c", Config.c_str(), "-P", Pidfile.c_str(), nullptr};
        const int LogFd = ::open(Log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (LogFd < 0)
            return "cannot write " + Log;
        const pid_t Parent = ::getpid();
        Pid = ::fork();
        if (Pid == 0) {
            // Ends with us, however we end (a benchmark that exits, a test that crashes), and
            // holds nothing else of ours: a pty's master kept there would outlive the test's.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != Parent)
                ::_exit(127);
            ::dup2(LogFd, 1);
            ::dup2(LogFd, 2);
            ::close_range(3, ~0u, 0);
            ::execv(Program, const_cast<char**>(Argv));
            ::_exit(127);
        }
        ::close(LogFd);
        if (Pid < 0) {
            Pid = -1;
            return std::string("cannot start ") + Program + ": " + std::strerror(errno);
        }
        PidFd = static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0));
        // Listening once both ports take a connection; an exit meanwhile is a failure.
        const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(LoopbackListens(RfcPort) && (RawDevice.empty() || LoopbackListens(RawPort)))) {
            pollfd P{PidFd, POLLIN, 0};
            if (std::chrono::steady_clock::now() > End || ::poll(&P, 1, 10) != 0) {
                Stop();
                return std::string(Program) +
                       " did not listen on 127.0.0.1:" + std::to_string(RfcPort) + ": " +
                       Dir.Read("ser2net.log");
            }
        }
        return {};
    }

    // Ends it as a server that goes away does: SIGTERM closes the connections, SIGKILL too.
    void Stop(int Signal = SIGTERM) {
        if (Pid <= 0)
            return;
        ::kill(Pid, Signal);
        pollfd P{PidFd, POLLIN, 0};
        if (PidFd < 0 || ::poll(&P, 1, 5000) != 1)
            ::kill(Pid, SIGKILL);
        ::waitpid(Pid, nullptr, 0);
        if (PidFd >= 0)
            ::close(PidFd);
        Pid = -1;
        PidFd = -1;
    }

    // Whether the server has Device open now (a connection is being served on it).
    bool HoldsDevice(const std::string& Device) const {
        std::error_code Ignored;
        const std::filesystem::path Fds = "/proc/" + std::to_string(Pid) + "/fd";
        for (const auto& E : std::filesystem::directory_iterator(Fds, Ignored))
            if (std::filesystem::read_symlink(E.path(), Ignored) == Device)
                return true;
        return false;
    }

    std::string RfcUrl() const { return "rfc2217://127.0.0.1:" + std::to_string(RfcPort); }
    std::string RawUrl() const { return "socket://127.0.0.1:" + std::to_string(RawPort); }
    pid_t ProcessId() const { return Pid; }

private:
    static std::string Entry(const char* Name, const char* Accepter, std::uint16_t Port,
                             const std::string& Device) {
        return std::string("connection: &") + Name + "\n  accepter: " + Accepter + ",127.0.0.1," +
               std::to_string(Port) + "\n  connector: serialdev," + Device +
               ",9600n81,local\n  options:\n    kickolduser: true\n    chardelay: false\n";
    }

    TTempDir Dir;

public:
    const std::uint16_t RfcPort, RawPort;

private:
    pid_t Pid = -1;
    int PidFd = -1;
};
