// The serial driver and the port side by side with libserialport and QSerialPort, each on a
// pty pair of its own, in one run, every figure also as a ratio to a plain poll()/read() loop
// measured in the same run:
//   - receive: MB/s and the receiver's CPU per byte for a stream from the far end, and the bytes
//     its reads (or handlers) get at a time;
//   - echo: one byte at a time, far-end write to the receiver holding the byte (one-way p50 and
//     p99), which sends it back; the receiver's CPU per echoed byte;
//   - idle: wake-ups and CPU of the receiver's threads over a wait with nothing arriving.
//
//   bench_peers [--runs N] [--pin CPU] [--mib N] [--trips N] [--slices N] [--idle-seconds S]
//               [--only NAME,...] [--phases stream,echo,idle]
//
// The machine is shared, so the stream and the echoes are cut into slices and the cases take
// turns slice by slice, each on its own pair, all open at once; the idle waits come after, one
// case open at a time. --runs repeats the whole set and prints the median and range of each
// figure; --pin keeps the process and all its threads on one core; --only keeps the cases whose
// names contain one of the words (for a profiler), --phases the phases named.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include "peers/Receiver.h"

namespace {

using namespace PtyBench;
using namespace Peers;

struct TOptions {
    int Runs = 1;
    int Pin = -1;
    std::uint64_t MiB = 32;
    int Trips = 10000;
    int Slices = 16;
    double IdleSecs = 2;
    std::vector<std::string> Only;
    bool Stream = true, Echo = true, Idle = true;
};

std::vector<std::string> Words(const std::string& List) {
    std::vector<std::string> Out;
    std::size_t From = 0;
    while (From <= List.size()) {
        const std::size_t To = std::min(List.find(',', From), List.size());
        if (To > From)
            Out.push_back(List.substr(From, To - From));
        From = To + 1;
    }
    return Out;
}

TOptions ParseOptions(int Argc, char** Argv) {
    TOptions O;
    for (int I = 1; I < Argc; ++I) {
        const std::string A = Argv[I];
        const char* V = I + 1 < Argc ? Argv[I + 1] : nullptr;
        if (!V || A.rfind("--", 0) != 0) {
            std::fprintf(stderr, "bench_peers: %s wants a value (see the head of peers.cpp)\n",
                         A.c_str());
            std::exit(2);
        }
        ++I;
        if (A == "--runs")
            O.Runs = std::max(1, std::atoi(V));
        else if (A == "--pin")
            O.Pin = std::atoi(V);
        else if (A == "--mib")
            O.MiB = std::max<std::uint64_t>(1, std::strtoull(V, nullptr, 10));
        else if (A == "--trips")
            O.Trips = std::max(100, std::atoi(V));
        else if (A == "--slices")
            O.Slices = std::max(1, std::atoi(V));
        else if (A == "--idle-seconds")
            O.IdleSecs = std::strtod(V, nullptr);
        else if (A == "--only")
            O.Only = Words(V);
        else if (A == "--phases") {
            const std::vector<std::string> P = Words(V);
            auto Has = [&](const char* W) { return std::find(P.begin(), P.end(), W) != P.end(); };
            O.Stream = Has("stream");
            O.Echo = Has("echo");
            O.Idle = Has("idle");
        } else {
            std::fprintf(stderr, "bench_peers: unknown option %s\n", A.c_str());
            std::exit(2);
        }
    }
    return O;
}

TThroughput StreamPhase(TPty& Pty, TReceiver& R, std::uint64_t Total) {
    TChecker Check;
    const TSink Sink = [&](const std::uint8_t* B, std::size_t N) {
        Check.Feed(B, N);
        return Check.Pos >= Total;
    };
    R.Expect(Sink);
    return MeasureThroughput(Pty, Check, Total, [&] { R.Take(); });
}

// Gives the receiver's CPU seconds; the samples collect in Ping.
double EchoPhase(TPty& Pty, TReceiver& R, TPinger& Ping, int Rounds) {
    int Seen = 0;
    const TSink Sink = [&](const std::uint8_t* B, std::size_t N) {
        const auto At = Clock::now();
        for (std::size_t I = 0; I < N; ++I)
            Ping.Held(At);
        R.Send(B, N);
        Seen += int(N);
        return Seen >= Rounds;
    };
    R.Expect(Sink);
    return EchoRounds(Pty, Ping, Rounds, [&] { R.Take(); });
}

// The receiver waits on the calling thread as it would for a stream; another thread measures
// the rest of the process and then ends the wait with one byte from the far end.
TIdle IdlePhase(TPty& Pty, TReceiver& R, double Secs) {
    const TSink Sink = [](const std::uint8_t*, std::size_t) { return true; };
    R.Expect(Sink);
    TIdle Out;
    std::thread Meter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the receiver settles
        Out = MeasureIdle(
            Secs, [](double S) { std::this_thread::sleep_for(std::chrono::duration<double>(S)); });
        const std::uint8_t B = 0;
        if (write(Pty.Master, &B, 1) != 1)
            std::perror("write");
    });
    R.Take();
    Meter.join();
    return Out;
}

enum TMetric { mMBps, mCpuByte, mBatch, mP50, mP99, mEchoCpu, mWakeUps, mIdleCpu, mCount };
const char* const MetricNames[mCount] = {"recv MB/s",     "recv CPU ns/B", "recv B/read",
                                         "echo p50 us",   "echo p99 us",   "echo CPU ns/B",
                                         "idle wake-ups", "idle CPU ms"};
// A ratio is meaningful for these: the plain loop's idle figures are zero, and bytes per read
// explain rather than measure.
const bool HasRatio[mCount] = {true, true, false, true, true, true, false, false};

using TFigures = std::vector<double>; // by TMetric; NaN where the phase did not run

struct TOpenCase {
    TPty Pty;
    std::unique_ptr<TReceiver> Receiver;
    TThroughput Stream{0, 0, true};
    std::uint64_t Reads = 0;
    TPinger Ping;
    double EchoCpu = 0;
};

// One run of every case: Figures[case][metric].
std::vector<TFigures> RunOnce(const std::vector<TCase>& Cases, const TOptions& O, int Run,
                              bool& Exact) {
    const std::size_t N = Cases.size();
    std::vector<TFigures> F(N, TFigures(mCount, std::nan("")));
    // Every other slice backwards, so that no case always follows the same one.
    auto Turns = [&](int Slice, const std::function<void(std::size_t)>& Turn) {
        for (std::size_t K = 0; K < N; ++K)
            Turn((Run + Slice) % 2 ? N - 1 - K : K);
    };
    if (O.Stream || O.Echo) {
        std::vector<std::unique_ptr<TOpenCase>> Open;
        for (const TCase& C : Cases) {
            Open.push_back(std::make_unique<TOpenCase>());
            Open.back()->Receiver = C.Open(Open.back()->Pty);
        }
        const std::uint64_t Slice = std::max<std::uint64_t>(1, (O.MiB << 20) / O.Slices);
        const int Trips = std::max(1, O.Trips / O.Slices);
        for (int S = 0; O.Stream && S < O.Slices; ++S)
            Turns(S, [&](std::size_t C) {
                TOpenCase& Oc = *Open[C];
                const std::uint64_t D0 = Oc.Receiver->Deliveries();
                const TThroughput T = StreamPhase(Oc.Pty, *Oc.Receiver, Slice);
                Oc.Reads += Oc.Receiver->Deliveries() - D0;
                Oc.Stream.Wall += T.Wall;
                Oc.Stream.Cpu += T.Cpu;
                Oc.Stream.Exact &= T.Exact;
            });
        for (int S = 0; O.Echo && S < O.Slices; ++S)
            Turns(S, [&](std::size_t C) {
                TOpenCase& Oc = *Open[C];
                Oc.EchoCpu += EchoPhase(Oc.Pty, *Oc.Receiver, Oc.Ping, Trips);
            });
        for (std::size_t C = 0; C < N; ++C) {
            const TOpenCase& Oc = *Open[C];
            if (O.Stream) {
                const std::uint64_t Total = Slice * std::uint64_t(O.Slices);
                if (!Oc.Stream.Exact)
                    std::fprintf(stderr, "%s: the stream arrived WRONG\n", Cases[C].Name.c_str());
                Exact &= Oc.Stream.Exact;
                F[C][mMBps] = Oc.Stream.MBps(Total);
                F[C][mCpuByte] = Oc.Stream.NsPerByte(Total);
                F[C][mBatch] = double(Total) / double(Oc.Reads);
            }
            if (O.Echo) {
                const TLatency L =
                    Percentiles(Open[C]->Ping.Samples(), Oc.EchoCpu, Trips * O.Slices);
                F[C][mP50] = L.P50;
                F[C][mP99] = L.P99;
                F[C][mEchoCpu] = L.CpuNs;
            }
        }
    }
    for (std::size_t C = 0; O.Idle && C < N; ++C) {
        TPty Pty;
        const std::unique_ptr<TReceiver> R = Cases[C].Open(Pty);
        const TIdle I = IdlePhase(Pty, *R, O.IdleSecs);
        F[C][mWakeUps] = double(I.WakeUps);
        F[C][mIdleCpu] = I.CpuMs;
    }
    return F;
}

std::string Cell(std::vector<double> V) {
    V.erase(std::remove_if(V.begin(), V.end(), [](double X) { return std::isnan(X); }), V.end());
    if (V.empty())
        return "-";
    std::sort(V.begin(), V.end());
    const double Median =
        V.size() % 2 ? V[V.size() / 2] : (V[V.size() / 2 - 1] + V[V.size() / 2]) / 2;
    const bool Whole = std::all_of(V.begin(), V.end(), [](double X) { return X == std::floor(X); });
    const int Digits = Whole || Median >= 100 ? 0 : Median >= 10 ? 1 : 2;
    char Buf[96];
    if (V.size() == 1)
        std::snprintf(Buf, sizeof Buf, "%.*f", Digits, Median);
    else
        std::snprintf(Buf, sizeof Buf, "%.*f (%.*f-%.*f)", Digits, Median, Digits, V.front(),
                      Digits, V.back());
    return Buf;
}

// Figures[case][run][metric]; with Base, each figure divided by the base case's in the same run.
void PrintTable(const char* Title, const std::vector<TCase>& Cases,
                const std::vector<std::vector<TFigures>>& Figures, int Base) {
    std::printf("\n%s\n%-32s", Title, "case");
    for (int M = 0; M < mCount; ++M)
        if (Base < 0 || HasRatio[M])
            std::printf(" %-20s", MetricNames[M]);
    std::printf("\n");
    for (std::size_t C = 0; C < Cases.size(); ++C) {
        std::printf("%-32s", Cases[C].Name.c_str());
        for (int M = 0; M < mCount; ++M) {
            if (Base >= 0 && !HasRatio[M])
                continue;
            std::vector<double> V;
            for (std::size_t R = 0; R < Figures[C].size(); ++R)
                V.push_back(Base < 0 ? Figures[C][R][M]
                                     : Figures[C][R][M] / Figures[std::size_t(Base)][R][M]);
            std::printf(" %-20s", Cell(V).c_str());
        }
        std::printf("\n");
    }
}

std::string LoadAverage() {
    char Buf[64] = {};
    if (FILE* F = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(Buf, sizeof Buf, F))
            Buf[0] = 0;
        std::fclose(F);
    }
    std::string S = Buf;
    return S.substr(0, S.find(' ', S.find(' ', S.find(' ') + 1) + 1));
}

} // namespace

int main(int argc, char** argv) {
    const TOptions O = ParseOptions(argc, argv);
    // Before any thread exists, so that every thread of every library inherits it.
    if (O.Pin >= 0) {
        cpu_set_t Set;
        CPU_ZERO(&Set);
        CPU_SET(O.Pin, &Set);
        if (sched_setaffinity(0, sizeof Set, &Set) != 0) {
            std::perror("sched_setaffinity");
            return 2;
        }
    }
    QCoreApplication App(argc, argv);

    std::vector<TCase> Cases;
    for (auto Group : {TessalCases, LibSerialPortCases, QtSerialPortCases})
        for (TCase& C : Group())
            if (O.Only.empty() || std::any_of(O.Only.begin(), O.Only.end(), [&](auto& W) {
                    return C.Name.find(W) != std::string::npos;
                }))
                Cases.push_back(std::move(C));
    const int Base = !Cases.empty() && Cases[0].Name.rfind("plain", 0) == 0 ? 0 : -1;

    const std::string Pinning = O.Pin >= 0 ? "pinned to CPU " + std::to_string(O.Pin) : "unpinned";
    std::printf("bench_peers: %d run(s), %s, stream %llu MiB and %d echo round trips in %d "
                "slices per case, idle %.1f s; load average %s\n",
                O.Runs, Pinning.c_str(), (unsigned long long)O.MiB, O.Trips, O.Slices, O.IdleSecs,
                LoadAverage().c_str());
    std::vector<std::vector<TFigures>> Figures(Cases.size());
    bool Exact = true;
    for (int Run = 0; Run < O.Runs; ++Run) {
        std::fprintf(stderr, "run %d of %d\n", Run + 1, O.Runs);
        const std::vector<TFigures> F = RunOnce(Cases, O, Run, Exact);
        for (std::size_t C = 0; C < Cases.size(); ++C)
            Figures[C].push_back(F[C]);
    }
    PrintTable(O.Runs > 1 ? "absolute figures, median (min-max) over the runs" : "absolute figures",
               Cases, Figures, -1);
    if (Base >= 0)
        PrintTable(O.Runs > 1 ? "ratio to the plain loop in the same run, median (min-max)"
                              : "ratio to the plain loop",
                   Cases, Figures, Base);
    std::printf("\nload average at the end %s\n", LoadAverage().c_str());
    return Exact ? 0 : 1;
}
