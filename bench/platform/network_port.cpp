// bench_network_port [--mib N] [--trips N]: a network port through a real serial server on the
// loopback address (started here, serving a pty whose master plays the device), for three
// clients of the same server: the serial driver (rfc2217://), a plain TCP poll/read loop that
// only undoes the telnet byte stuffing, and a serial library's rfc2217:// client in Python
// (bench/platform/network_port_client.py, needs python3-serial). Figures: one-byte echo round
// trip p50/p99 (measured at the device end), client CPU per echoed byte, receive throughput
// and client CPU per received byte, each also as a ratio to the plain loop.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include "common/DriverBench.h"
#include "common/PtyBench.h"
#include "tests/common/Ser2net.h"

namespace {

using namespace PtyBench;

constexpr std::uint8_t IAC = 255;

struct TFigures {
    std::vector<double> Rtt; // microseconds
    double EchoCpu = 0;      // seconds, all rounds
    int Echoes = 0;
    double RxWall = 0, RxCpu = 0;
    std::uint64_t RxBytes = 0;
    bool Exact = true;

    double P(double Q) {
        std::sort(Rtt.begin(), Rtt.end());
        return Rtt.empty() ? 0 : Rtt[std::min(Rtt.size() - 1, std::size_t(double(Rtt.size()) * Q))];
    }
    double EchoCpuUs() const { return EchoCpu / Echoes * 1e6; }
    double MBps() const { return double(RxBytes) / RxWall / 1e6; }
    double RxNsPerByte() const { return RxCpu / double(RxBytes) * 1e9; }
};

// The device end of an echo: one byte into the pty, wait for it to come back; Rounds times.
std::thread Pinger(int Master, int Rounds, std::vector<double>& Rtt, double& Cpu,
                   const char* Client) {
    return std::thread([=, &Rtt, &Cpu] {
        const double C0 = ThreadCpu();
        for (int I = 0; I < Rounds; ++I) {
            std::uint8_t B = std::uint8_t(I * 7);
            const auto T0 = Clock::now();
            if (write(Master, &B, 1) != 1)
                throw std::runtime_error("pty write failed");
            pollfd P{Master, POLLIN, 0};
            if (poll(&P, 1, 10000) != 1 || read(Master, &B, 1) != 1) {
                std::fprintf(stderr, "echo: no answer from the %s client after %d bytes\n", Client,
                             I);
                std::exit(1);
            }
            Rtt.push_back(Seconds(Clock::now() - T0) * 1e6);
        }
        Cpu = ThreadCpu() - C0;
    });
}

// The in-process clients: Echo(Rounds) echoes that many bytes, Receive(Check, Total) takes the
// stream.
struct TClient {
    std::function<void(int)> Echo;
    std::function<void(TChecker&, std::uint64_t)> Receive;
};

// The server opens the device for a connection after accepting it, and flushes it then: bytes
// written before are lost. So each client waits for the server to let go of the device after
// the one before, and to hold it for itself.
void WaitHeld(const TSer2net& Server, const std::string& Device, bool Held) {
    const auto End = Clock::now() + std::chrono::seconds(5);
    while (Server.HoldsDevice(Device) != Held) {
        if (Clock::now() > End)
            throw std::runtime_error("the server did not open or close the device");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Measure(TPty& Pty, TClient& C, const char* Name, int Rounds, std::uint64_t Total,
             TFigures& F) {
    double PingCpu = 0;
    const double P0 = ProcessCpu();
    std::thread Ping = Pinger(Pty.Master, Rounds, F.Rtt, PingCpu, Name);
    C.Echo(Rounds);
    Ping.join();
    F.EchoCpu += ProcessCpu() - P0 - PingCpu;
    F.Echoes += Rounds;
    TChecker Check;
    const TThroughput T = MeasureThroughput(Pty, Check, Total, [&] { C.Receive(Check, Total); });
    F.RxWall += T.Wall;
    F.RxCpu += T.Cpu;
    F.RxBytes += Total;
    F.Exact = F.Exact && T.Exact;
}

TClient DriverClient(TSerialHandle H) {
    auto Ov = std::make_shared<OVERLAPPED>();
    Ov->Event = CreateSyncEvent(true, true);
    TClient C;
    C.Echo = [H, Ov](int Rounds) {
        for (int I = 0; I < Rounds; ++I) {
            std::uint8_t B;
            DriverBench::ReadOverlapped(H, &B, 1, *Ov);
            DriverBench::WriteOverlapped(H, &B, 1, *Ov);
        }
    };
    C.Receive = [H, Ov](TChecker& Check, std::uint64_t Total) {
        std::vector<std::uint8_t> Buf(65536);
        while (Check.Pos < Total) {
            const std::uint32_t N = DriverBench::ReadOverlapped(
                H, Buf.data(),
                std::uint32_t(std::min<std::uint64_t>(Buf.size(), Total - Check.Pos)), *Ov);
            Check.Feed(Buf.data(), N);
        }
    };
    return C;
}

// The least a telnet client must do: 255 255 is one 255, other commands are skipped.
struct TUnstuff {
    int State = 0; // 0 data, 1 after IAC, 2 option byte, 3 in SB, 4 IAC in SB
    std::size_t Run(std::uint8_t* B, std::size_t N) {
        std::size_t W = 0;
        for (std::size_t I = 0; I < N; ++I) {
            const std::uint8_t C = B[I];
            if (State == 0) {
                if (C != IAC)
                    B[W++] = C;
                else
                    State = 1;
            } else if (State == 1) {
                State = C == IAC ? (B[W++] = C, 0) : C == 250 ? 3 : C >= 251 ? 2 : 0;
            } else if (State == 2) {
                State = 0;
            } else if (State == 3) {
                State = C == IAC ? 4 : 3;
            } else {
                State = C == 240 ? 0 : 3;
            }
        }
        return W;
    }
};

TClient PlainClient(int Fd) {
    auto U = std::make_shared<TUnstuff>();
    auto Read = [Fd, U](std::uint8_t* B, std::size_t Max) {
        std::size_t N = 0;
        while (N == 0)
            N = U->Run(B, PollRead(Fd, B, Max));
        return N;
    };
    TClient C;
    C.Echo = [Fd, Read](int Rounds) {
        for (int I = 0; I < Rounds; ++I) {
            std::uint8_t B[2];
            Read(B, 1);
            B[1] = B[0];
            const std::size_t N = B[0] == IAC ? 2 : 1;
            if (write(Fd, B, N) != ssize_t(N))
                throw std::runtime_error("socket write failed");
        }
    };
    C.Receive = [Read](TChecker& Check, std::uint64_t Total) {
        std::vector<std::uint8_t> Buf(65536);
        while (Check.Pos < Total)
            Check.Feed(Buf.data(), Read(Buf.data(), Buf.size()));
    };
    return C;
}

int ConnectPlain(std::uint16_t Port) {
    const int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_port = htons(Port);
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int One = 1;
    setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &One, sizeof One);
    if (connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0)
        throw std::runtime_error("connect failed");
    // Binary both ways, so the server passes every byte; then the line's rate asked for, whose
    // answer tells that the server has the device open (bytes written before that are lost).
    const std::uint8_t Ask[] = {IAC, 251, 0,   IAC, 253, 0, IAC, 251, 3, IAC, 253, 3,  IAC,
                                251, 44,  IAC, 250, 44,  1, 0,   0,   0, 0,   IAC, 240};
    if (write(Fd, Ask, sizeof Ask) != ssize_t(sizeof Ask))
        throw std::runtime_error("socket write failed");
    // The answer's end: IAC SE after the command code 101.
    std::uint8_t Last = 0, B = 0;
    bool Answer = false;
    for (;;) {
        pollfd P{Fd, POLLIN, 0};
        if (poll(&P, 1, 5000) != 1 || read(Fd, &B, 1) != 1)
            throw std::runtime_error("no answer from the server");
        Answer = Answer || (Last == 44 && B == 101);
        if (Answer && Last == IAC && B == 240)
            break;
        Last = B;
    }
    return Fd;
}

// The Python client for one part; its CPU as it reports it. False when it cannot run.
bool RunPython(const std::string& Script, const std::string& Url, const char* Mode, int Count,
               const std::function<void()>& Drive, double& Cpu) {
    int Out[2], In[2];
    if (pipe2(Out, O_CLOEXEC) != 0 || pipe2(In, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t Files;
    posix_spawn_file_actions_init(&Files);
    posix_spawn_file_actions_adddup2(&Files, Out[1], 1);
    posix_spawn_file_actions_adddup2(&Files, In[0], 0);
    const std::string N = std::to_string(Count);
    const std::string Address = Url + "?ign_set_control"; // a pty has no modem lines
    const char* Argv[] = {"/usr/bin/python3", Script.c_str(), Address.c_str(), Mode,
                          N.c_str(),          nullptr};
    pid_t Pid = -1;
    const int Rc = posix_spawn(&Pid, Argv[0], &Files, nullptr, const_cast<char**>(Argv), environ);
    posix_spawn_file_actions_destroy(&Files);
    close(Out[1]);
    close(In[0]);
    if (Rc != 0) {
        close(Out[0]);
        close(In[1]);
        return false;
    }
    FILE* From = fdopen(Out[0], "r");
    char Line[128] = {};
    bool Ok = std::fgets(Line, sizeof Line, From) && std::strncmp(Line, "ready", 5) == 0;
    if (Ok) {
        Drive();
        Ok = std::fgets(Line, sizeof Line, From) && std::sscanf(Line, "cpu %lf", &Cpu) == 1;
    }
    close(In[1]); // the client may close its port now
    std::fclose(From);
    int Status = 0;
    waitpid(Pid, &Status, 0);
    return Ok && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

bool MeasurePython(const TSer2net& Server, TPty& Pty, const std::string& Url, int Rounds,
                   std::uint64_t Total, TFigures& F) {
    const std::string Script = TESSAL_BENCH_DIR "/platform/network_port_client.py";
    double PingCpu = 0, Cpu = 0;
    if (!RunPython(
            Script, Url, "echo", Rounds,
            [&] { Pinger(Pty.Master, Rounds, F.Rtt, PingCpu, "python").join(); }, Cpu))
        return false;
    F.EchoCpu += Cpu;
    F.Echoes += Rounds;
    WaitHeld(Server, Pty.Path, false);
    double WriterCpu = 0;
    Clock::time_point T0;
    if (!RunPython(
            Script, Url, "recv", int(Total),
            [&] {
                T0 = Clock::now();
                StartWriter(Pty.Master, Total, WriterCpu).join();
            },
            Cpu))
        return false;
    F.RxWall += Seconds(Clock::now() - T0);
    F.RxCpu += Cpu;
    F.RxBytes += Total;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t Mib = 16;
    int Trips = 3000;
    for (int I = 1; I + 1 < argc; I += 2) {
        if (std::strcmp(argv[I], "--mib") == 0)
            Mib = std::strtoull(argv[I + 1], nullptr, 10);
        else if (std::strcmp(argv[I], "--trips") == 0)
            Trips = std::atoi(argv[I + 1]);
    }
    TPty Pty;
    TSer2net Server;
    const std::string Error = Server.Start(Pty.Path, "");
    if (!Error.empty()) {
        std::fprintf(stderr, "bench_network_port: %s\n", Error.c_str());
        return 1;
    }
    const std::string Url = Server.RfcUrl();
    // The machine is shared: the clients take turns, round by round.
    constexpr int Rounds = 3;
    const std::uint64_t Part = (Mib << 20) / Rounds;
    TFigures Driver, Plain, Python;
    bool PythonRan = true;
    for (int R = 0; R < Rounds; ++R) {
        WaitHeld(Server, Pty.Path, false);
        const TSerialHandle H = DriverBench::OpenDriver(Url);
        WaitHeld(Server, Pty.Path, true);
        TClient D = DriverClient(H);
        Measure(Pty, D, "driver", Trips / Rounds, Part, Driver);
        SerialClose(H);
        WaitHeld(Server, Pty.Path, false);
        const int Fd = ConnectPlain(Server.RfcPort);
        WaitHeld(Server, Pty.Path, true);
        TClient P = PlainClient(Fd);
        Measure(Pty, P, "plain", Trips / Rounds, Part, Plain);
        close(Fd);
        WaitHeld(Server, Pty.Path, false);
        PythonRan = PythonRan && MeasurePython(Server, Pty, Url, Trips / Rounds, Part, Python);
    }
    std::printf("Through a serial server on 127.0.0.1 (rfc2217://), %d echoes and %llu MiB "
                "received per client, in %d alternating rounds:\n",
                Trips, static_cast<unsigned long long>(Mib), Rounds);
    std::printf("  %-16s %9s %9s %12s %9s %11s\n", "client", "echo p50", "echo p99", "CPU/echo",
                "MB/s", "CPU ns/B");
    auto Row = [](const char* Name, TFigures& F) {
        std::printf("  %-16s %7.1fus %7.1fus %10.2fus %9.1f %11.2f%s\n", Name, F.P(0.5), F.P(0.99),
                    F.EchoCpuUs(), F.MBps(), F.RxNsPerByte(), F.Exact ? "" : "  (bytes wrong!)");
    };
    Row("plain poll/read", Plain);
    Row("serial driver", Driver);
    if (PythonRan)
        Row("python rfc2217", Python);
    else
        std::printf("  python rfc2217: did not run (python3-serial installed?)\n");
    std::printf("  driver / plain: echo p50 %.2f (goal <= 1.1), throughput %.2f (goal >= 0.95), "
                "CPU per echo %.2f, CPU per byte %.2f\n",
                Driver.P(0.5) / Plain.P(0.5), Driver.MBps() / Plain.MBps(),
                Driver.EchoCpuUs() / Plain.EchoCpuUs(), Driver.RxNsPerByte() / Plain.RxNsPerByte());
    if (PythonRan)
        std::printf("  driver / python: echo p50 %.2f, throughput %.2f\n",
                    Driver.P(0.5) / Python.P(0.5), Driver.MBps() / Python.MBps());
    return Driver.Exact && Plain.Exact ? 0 : 1;
}
