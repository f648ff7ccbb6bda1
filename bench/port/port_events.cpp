// Receive throughput, receive latency and idle cost of an open port over a pty pair, each
// against a plain poll()/read() loop on the same kind of pair in the same run.
//
//   bench_port_events [--mib N] [--rounds N] [--idle-seconds S] [--only throughput|echo|idle]
//                     [--mode plain|none|sync] [--raw]
//   (defaults 64 MiB, 10000 round trips, 10 s; --raw adds name=value lines for bench/ratios.sh;
//   --only runs one part and --mode one receiver, e.g. for instruction counts under callgrind;
//   the ratios are then meaningless)
//
// Throughput: the far end (pty master) writes the stream from its own thread; the receiver's
// CPU is the process's CPU minus the writer thread's. Echo: one byte at a time, from the write
// on the far end to the receiver holding it (after its read), which writes it back; the next
// byte only after the echo arrived.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/PortBench.h"
#include "common/PtyBench.h"
#include "framework/Synchronize.h"
#include "port/CPort.h"

namespace {

using namespace PtyBench;

TThroughput PortThroughput(std::uint64_t Total, TSyncMethod Mode) {
    TPty Pty;
    TComPort P;
    ConfigurePort(P, Pty.Path, Mode);
    P.SetEvents(TComEvents{evRxChar});
    P.SetTriggersOnRxChar(false);
    TChecker Check;
    std::atomic<bool> Done{false};
    P.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) {
        Check.Feed(static_cast<const std::uint8_t*>(B), std::size_t(N));
        if (Check.Pos >= Total) {
            Done = true;
            NotifySynchronizeWaiters();
        }
    };
    P.Open();
    double WriterCpu = 0;
    const double P0 = ProcessCpu();
    const auto T0 = Clock::now();
    std::thread Writer = StartWriter(Pty.Master, Total, WriterCpu);
    const bool Finished = WaitServingSynchronize([&] { return Done.load(); }, 600000);
    TThroughput Out;
    Out.Wall = Seconds(Clock::now() - T0);
    Writer.join();
    Out.Cpu = ProcessCpu() - P0 - WriterCpu;
    P.Close();
    Out.Exact = Finished && Check.Ok && Check.Pos == Total;
    return Out;
}

TLatency PortLatency(int Rounds, TSyncMethod Mode) {
    TPty Pty;
    TComPort P;
    ConfigurePort(P, Pty.Path, Mode);
    P.SetEvents(TComEvents{evRxChar});
    TPinger Ping;
    std::atomic<int> Seen{0};
    P.OnRxChar = [&](TObject* Sender, std::int32_t Count) {
        auto* Port = static_cast<TCustomComPort*>(Sender);
        std::uint8_t B[64];
        const std::int32_t Got = Port->Read(B, std::min<std::int32_t>(Count, 64));
        const auto At = Clock::now();
        for (std::int32_t I = 0; I < Got; ++I)
            Ping.Held(At);
        Port->Write(B, Got);
        // Under smNone the main thread only waits for the end: waking it per byte would bill the
        // port for a thread the plain loop does not have.
        if ((Seen += Got) >= Rounds)
            NotifySynchronizeWaiters();
    };
    P.Open();
    const double P0 = ProcessCpu();
    std::thread Writer = Ping.Start(Pty.Master, Rounds);
    WaitServingSynchronize([&] { return Seen.load() >= Rounds; }, 600000);
    Writer.join();
    const double Cpu = ProcessCpu() - P0 - Ping.Cpu();
    P.Close();
    return Percentiles(Ping.Samples(), Cpu, Rounds);
}

template <typename TRawLine>
void Idle(double Secs, TRawLine RawLine) {
    TPty Pty;
    TComPort P;
    ConfigurePort(P, Pty.Path, smThreadSync);
    P.Open();
    // Let the event thread reach its wait.
    WaitServingSynchronize([] { return false; }, 200);
    const TOthers O0 = OtherThreads();
    WaitServingSynchronize([] { return false; }, int(Secs * 1000));
    const TOthers O1 = OtherThreads();
    P.Close();
    std::printf("idle, port open with its event thread, %.0f s: %ld wake-ups, %.3f ms CPU "
                "(every thread but the measuring one)\n",
                Secs, O1.Switches - O0.Switches, double(O1.CpuNs - O0.CpuNs) / 1e6);
    RawLine("port.idle.wakeups", double(O1.Switches - O0.Switches));
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t MiB = 64;
    int Rounds = 10000;
    double IdleSecs = 10;
    std::string Only, Mode;
    bool Raw = false;
    for (int I = 1; I < argc; ++I) {
        const std::string A = argv[I];
        const char* V = I + 1 < argc ? argv[I + 1] : "0";
        if (A == "--raw") {
            Raw = true;
            continue;
        }
        if (A == "--mib")
            MiB = std::strtoull(V, nullptr, 10);
        else if (A == "--rounds")
            Rounds = std::max(1, std::atoi(V));
        else if (A == "--idle-seconds")
            IdleSecs = std::strtod(V, nullptr);
        else if (A == "--only")
            Only = V;
        else if (A == "--mode")
            Mode = V;
        else {
            std::fprintf(stderr, "bench_port_events: unknown option %s\n", A.c_str());
            return 2;
        }
        ++I;
    }
    const std::uint64_t Total = MiB << 20;
    auto Want = [&](const char* M) { return Mode.empty() || Mode == M; };
    auto Runs = [&](const char* Part) { return Only.empty() || Only == Part; };
    auto RawLine = [&](const char* Name, double Value) {
        if (Raw)
            std::printf("%s=%.6g\n", Name, Value);
    };
    bool Exact = true;

    if (Runs("throughput") && Total > 0) {
        std::printf("receive %llu MiB over a pty pair\n", (unsigned long long)MiB);
        const TThroughput Skipped{1, 1, true};
        const TThroughput Base = Want("plain") ? BaselineThroughput(Total) : Skipped;
        const TThroughput None = Want("none") ? PortThroughput(Total, smNone) : Skipped;
        const TThroughput Sync = Want("sync") ? PortThroughput(Total, smThreadSync) : Skipped;
        auto Row = [&](const char* Name, const TThroughput& T) {
            std::printf("  %-22s %s %8.1f MB/s  %6.2f ns CPU/byte  ratio %.2f\n", Name,
                        T.Exact ? "exact" : "WRONG", T.MBps(Total), T.NsPerByte(Total),
                        T.NsPerByte(Total) / Base.NsPerByte(Total));
        };
        Row("poll/read baseline", Base);
        Row("OnRxBuf smNone", None);
        Row("OnRxBuf smThreadSync", Sync);
        RawLine("port.rx.plain_ns_per_byte", Base.NsPerByte(Total));
        RawLine("port.rx.none.cpu", None.NsPerByte(Total) / Base.NsPerByte(Total));
        RawLine("port.rx.sync.cpu", Sync.NsPerByte(Total) / Base.NsPerByte(Total));
        Exact = Base.Exact && None.Exact && Sync.Exact;
    }

    if (Runs("echo")) {
        std::printf("echo, far-end write to the receiver holding the byte, %d round trips "
                    "(one-way microseconds; receiver CPU per echoed byte)\n",
                    Rounds);
        const TLatency Skipped{1, 1, 1};
        const TLatency LBase = Want("plain") ? BaselineLatency(Rounds) : Skipped;
        const TLatency LNone = Want("none") ? PortLatency(Rounds, smNone) : Skipped;
        const TLatency LSync = Want("sync") ? PortLatency(Rounds, smThreadSync) : Skipped;
        auto LRow = [&](const char* Name, const TLatency& L) {
            std::printf("  %-22s p50 %7.1f  p99 %7.1f  %8.0f ns CPU  ratio p50 %.2f p99 %.2f "
                        "CPU %.2f\n",
                        Name, L.P50, L.P99, L.CpuNs, L.P50 / LBase.P50, L.P99 / LBase.P99,
                        L.CpuNs / LBase.CpuNs);
        };
        LRow("poll/read baseline", LBase);
        LRow("OnRxChar+Read smNone", LNone);
        LRow("OnRxChar+Read smThrSync", LSync);
        RawLine("port.echo.plain_p50_us", LBase.P50);
        RawLine("port.echo.plain_cpu_ns", LBase.CpuNs);
        RawLine("port.echo.none.p50", LNone.P50 / LBase.P50);
        RawLine("port.echo.none.p99", LNone.P99 / LBase.P99);
        RawLine("port.echo.none.cpu", LNone.CpuNs / LBase.CpuNs);
        RawLine("port.echo.sync.p50", LSync.P50 / LBase.P50);
        RawLine("port.echo.sync.p99", LSync.P99 / LBase.P99);
        RawLine("port.echo.sync.cpu", LSync.CpuNs / LBase.CpuNs);
    }

    if (Runs("idle") && IdleSecs > 0)
        Idle(IdleSecs, RawLine);
    return Exact ? 0 : 1;
}
