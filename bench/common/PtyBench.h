// What the receive benchmarks on a pty pair share: the pair, the byte pattern and its check, the
// far ends (a streaming writer and a one-byte pinger), CPU clocks, the count of wake-ups of the
// other threads, and the plain poll()/read() loop every receiver is compared with.
//
// The receiver's CPU is the process's CPU minus the far end's thread, so a receiver may use as
// many threads as it likes. An echo round trip is stamped where the receiver holds the byte
// (after its read), against the far end's write.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace PtyBench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration D) {
    return std::chrono::duration<double>(D).count();
}

inline double ThreadCpu() {
    timespec T{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
    return double(T.tv_sec) + double(T.tv_nsec) * 1e-9;
}

inline double ProcessCpu() {
    rusage U{};
    getrusage(RUSAGE_SELF, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) * 1e-6;
}

struct TPty {
    int Master = -1;
    int Slave = -1;
    std::string Path;

    TPty() {
        char Name[256];
        if (openpty(&Master, &Slave, Name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        Path = Name;
        termios T{};
        if (tcgetattr(Slave, &T) != 0)
            throw std::runtime_error("tcgetattr failed");
        cfmakeraw(&T);
        if (tcsetattr(Slave, TCSANOW, &T) != 0)
            throw std::runtime_error("tcsetattr failed");
    }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;
    ~TPty() {
        close(Slave);
        close(Master);
    }
};

// The byte at stream position I; cheap, and no period shorter than 251 bytes.
inline std::uint8_t Pattern(std::uint64_t I) {
    return std::uint8_t((I % 251) ^ (I >> 16));
}

// Checks the stream as it arrives.
struct TChecker {
    std::uint64_t Pos = 0;
    bool Ok = true;
    void Feed(const std::uint8_t* B, std::size_t N) {
        for (std::size_t I = 0; I < N; ++I)
            Ok &= B[I] == Pattern(Pos + I);
        Pos += N;
    }
};

// Writes Total bytes of the pattern into Fd; returns its own CPU seconds through Cpu.
inline std::thread StartWriter(int Fd, std::uint64_t Total, double& Cpu) {
    return std::thread([Fd, Total, &Cpu] {
        const double C0 = ThreadCpu();
        std::vector<std::uint8_t> Chunk(4096);
        std::uint64_t Pos = 0;
        while (Pos < Total) {
            const std::size_t N = std::size_t(std::min<std::uint64_t>(Chunk.size(), Total - Pos));
            for (std::size_t I = 0; I < N; ++I)
                Chunk[I] = Pattern(Pos + I);
            std::size_t Done = 0;
            while (Done < N) {
                const ssize_t W = write(Fd, Chunk.data() + Done, N - Done);
                if (W < 0) {
                    std::perror("write");
                    std::exit(1);
                }
                Done += std::size_t(W);
            }
            Pos += N;
        }
        Cpu = ThreadCpu() - C0;
    });
}

// The plain loop's step: waits for bytes, then reads what is there (at least one).
inline std::size_t PollRead(int Fd, std::uint8_t* Buf, std::size_t Size) {
    pollfd P{Fd, POLLIN, 0};
    if (poll(&P, 1, -1) < 0)
        throw std::runtime_error("poll failed");
    const ssize_t R = read(Fd, Buf, Size);
    if (R <= 0)
        throw std::runtime_error("read failed");
    return std::size_t(R);
}

struct TThroughput {
    double Wall = 0, Cpu = 0;
    bool Exact = false;
    double MBps(std::uint64_t Bytes) const { return double(Bytes) / Wall / 1e6; }
    double NsPerByte(std::uint64_t Bytes) const { return Cpu / double(Bytes) * 1e9; }
};

// Streams Total bytes into the pair while Receive() takes them at the other end, feeding Check,
// and returns once Check.Pos has reached Total (or it gave up: the result is then not exact).
// The receiver is open before and closed after, so neither is timed.
inline TThroughput MeasureThroughput(TPty& Pty, TChecker& Check, std::uint64_t Total,
                                     const std::function<void()>& Receive) {
    double WriterCpu = 0;
    const double P0 = ProcessCpu();
    const auto T0 = Clock::now();
    std::thread Writer = StartWriter(Pty.Master, Total, WriterCpu);
    Receive();
    TThroughput Out;
    Out.Wall = Seconds(Clock::now() - T0);
    Writer.join();
    Out.Cpu = ProcessCpu() - P0 - WriterCpu;
    Out.Exact = Check.Ok && Check.Pos == Total;
    return Out;
}

inline TThroughput BaselineThroughput(std::uint64_t Total) {
    TPty Pty;
    TChecker Check;
    return MeasureThroughput(Pty, Check, Total, [&] {
        std::vector<std::uint8_t> Buf(65536);
        while (Check.Pos < Total)
            Check.Feed(Buf.data(), PollRead(Pty.Slave, Buf.data(), Buf.size()));
    });
}

// The far end of an echo: writes one byte and waits for it to come back, the next byte only
// then. The receiver stamps the moment it holds the byte (after its read) against the write.
class TPinger {
public:
    void Held(Clock::time_point At) {
        FSamples.push_back(double((At.time_since_epoch().count() - FSent.load())) / 1e3);
    }
    std::thread Start(int Fd, int Rounds) {
        return std::thread([this, Fd, Rounds] {
            const double C0 = ThreadCpu();
            for (int I = 0; I < Rounds; ++I) {
                std::uint8_t B = std::uint8_t(I);
                FSent = Clock::now().time_since_epoch().count();
                if (write(Fd, &B, 1) != 1) {
                    std::perror("write");
                    std::exit(1);
                }
                pollfd P{Fd, POLLIN, 0};
                if (poll(&P, 1, 10000) != 1 || read(Fd, &B, 1) != 1) {
                    std::fprintf(stderr, "echo: no answer\n");
                    std::exit(1);
                }
            }
            FCpu += ThreadCpu() - C0;
        });
    }
    // Of all its rounds so far.
    double Cpu() const { return FCpu; }
    // Only once the pinger has been joined: the receiver wrote them.
    std::vector<double> Samples() {
        std::sort(FSamples.begin(), FSamples.end());
        return FSamples;
    }

private:
    std::atomic<std::int64_t> FSent{0};
    double FCpu = 0;
    std::vector<double> FSamples;
};

struct TLatency {
    double P50 = 0, P99 = 0; // one-way microseconds
    double CpuNs = 0;        // receiver CPU per echoed byte
};

inline TLatency Percentiles(const std::vector<double>& S, double Cpu, int Rounds) {
    if (S.empty())
        return {};
    return {S[S.size() / 2], S[std::min(S.size() - 1, S.size() * 99 / 100)], Cpu / Rounds * 1e9};
}

// Runs Rounds echoes from Ping through the pair; Serve() at the other end echoes them all,
// telling Ping when it holds each byte, and returns. Gives the receiver's CPU seconds.
inline double EchoRounds(TPty& Pty, TPinger& Ping, int Rounds, const std::function<void()>& Serve) {
    const double P0 = ProcessCpu();
    const double PingCpu0 = Ping.Cpu();
    std::thread Writer = Ping.Start(Pty.Master, Rounds);
    Serve();
    Writer.join();
    return ProcessCpu() - P0 - (Ping.Cpu() - PingCpu0);
}

inline TLatency MeasureLatency(TPty& Pty, TPinger& Ping, int Rounds,
                               const std::function<void()>& Serve) {
    const double Cpu = EchoRounds(Pty, Ping, Rounds, Serve);
    return Percentiles(Ping.Samples(), Cpu, Rounds);
}

inline TLatency BaselineLatency(int Rounds) {
    TPty Pty;
    TPinger Ping;
    return MeasureLatency(Pty, Ping, Rounds, [&] {
        for (int I = 0; I < Rounds; ++I) {
            std::uint8_t B;
            PollRead(Pty.Slave, &B, 1);
            Ping.Held(Clock::now());
            if (write(Pty.Slave, &B, 1) != 1)
                throw std::runtime_error("write failed");
        }
    });
}

// Voluntary context switches and CPU nanoseconds of every thread but the calling one.
struct TOthers {
    long Switches = 0;
    long long CpuNs = 0;
};

inline TOthers OtherThreads() {
    TOthers Sum;
    const std::string Self = std::to_string(gettid());
    DIR* D = opendir("/proc/self/task");
    if (!D)
        return {-1, -1};
    while (dirent* E = readdir(D)) {
        if (E->d_name[0] == '.' || Self == E->d_name)
            continue;
        const std::string Task = std::string("/proc/self/task/") + E->d_name;
        std::ifstream Status(Task + "/status");
        std::string Line;
        while (std::getline(Status, Line))
            if (Line.rfind("voluntary_ctxt_switches:", 0) == 0)
                Sum.Switches += std::atol(Line.c_str() + 24);
        std::ifstream Sched(Task + "/schedstat");
        long long Ns = 0;
        if (Sched >> Ns)
            Sum.CpuNs += Ns;
    }
    closedir(D);
    return Sum;
}

struct TIdle {
    long WakeUps = 0;
    double CpuMs = 0;
};

// What every thread but the caller did while Pass let Secs go by.
inline TIdle MeasureIdle(double Secs, const std::function<void(double)>& Pass) {
    const TOthers O0 = OtherThreads();
    Pass(Secs);
    const TOthers O1 = OtherThreads();
    return {O1.Switches - O0.Switches, double(O1.CpuNs - O0.CpuNs) / 1e6};
}

} // namespace PtyBench
