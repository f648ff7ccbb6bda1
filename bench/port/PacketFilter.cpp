// Throughput of the packet filter fed from memory: framed packets cut by start/stop strings
// and by size, in blocks of several sizes. Each block rescans what is buffered, and a packet
// taken from the front moves the rest, so the cost per byte grows with the block size.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "port/CPortPacket.h"

static std::string FramedStream(std::size_t Bytes, std::mt19937& Rng) {
    std::uniform_int_distribution<int> Len(1, 40);
    std::uniform_int_distribution<int> Ch('a', 'z');
    std::string S;
    while (S.size() < Bytes) {
        S += "<<";
        for (int I = Len(Rng); I > 0; --I)
            S += static_cast<char>(Ch(Rng));
        S += ">>";
    }
    return S;
}

static void Run(const char* Label, TComDataPacket& P, const std::string& Data, std::size_t Block) {
    long Packets = 0;
    P.OnPacket = [&](TObject*, const std::string&) { ++Packets; };
    const auto T0 = std::chrono::steady_clock::now();
    for (std::size_t At = 0; At < Data.size(); At += Block)
        P.AddData(Data.substr(At, Block));
    const double Secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    std::printf("%-12s block %7zu B: %8.1f MiB/s, %7ld packets, %6.1f ns/packet\n", Label, Block,
                Data.size() / Secs / (1 << 20), Packets, Secs * 1e9 / double(Packets));
}

int main() {
    std::mt19937 Rng(42);
    const std::string Data = FramedStream(8u << 20, Rng);
    for (std::size_t Block : {16u, 256u, 1024u, 4096u, 65536u}) {
        TComDataPacket P;
        P.SetStartString("<<");
        P.SetStopString(">>");
        P.SetMaxBufferSize(0);
        Run("start/stop", P, Data, Block);
    }
    for (std::size_t Block : {16u, 1024u, 65536u}) {
        TComDataPacket P;
        P.SetSize(16);
        P.SetMaxBufferSize(0);
        Run("size 16", P, Data, Block);
    }
    {
        TComDataPacket P;
        P.SetStartString("<<");
        P.SetStopString(">>");
        P.SetCaseInsensitive(true);
        P.SetMaxBufferSize(0);
        Run("no-case", P, Data, 1024);
    }
}
