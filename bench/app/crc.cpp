// Throughput of the frame CRC: the table routine against the bitwise one, over 64 MiB.
// Prints the median of several runs of each, in MB/s (10^6 bytes per second), and the ratio.
#include "app/core/Crc16.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kBytes = 64u * 1024u * 1024u;
constexpr int kRuns = 5;

using TRoutine = std::uint16_t (*)(std::uint16_t, const std::uint8_t*, std::size_t);

double MedianMBps(TRoutine routine, const std::vector<std::uint8_t>& data, std::uint16_t& crc) {
    std::vector<double> rates;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        crc = routine(0, data.data(), data.size());
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        rates.push_back(static_cast<double>(data.size()) / 1e6 / seconds.count());
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

} // namespace

int main() {
    std::vector<std::uint8_t> data(kBytes);
    std::mt19937_64 random(2026);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::uint16_t tableCrc = 0;
    std::uint16_t bitwiseCrc = 0;
    const double table = MedianMBps(Crc16Update, data, tableCrc);
    const double bitwise = MedianMBps(Crc16Bitwise, data, bitwiseCrc);
    std::printf("CRC-16 over 64 MiB, median of %d runs\n", kRuns);
    std::printf("  table   %8.1f MB/s  crc %04X\n", table, tableCrc);
    std::printf("  bitwise %8.1f MB/s  crc %04X\n", bitwise, bitwiseCrc);
    std::printf("  ratio   %8.2f x\n", table / bitwise);
    return tableCrc == bitwiseCrc ? 0 : 1;
}
