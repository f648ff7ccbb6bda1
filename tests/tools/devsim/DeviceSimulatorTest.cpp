#include <gtest/gtest.h>

#include <functional>

#include "SimTestSupport.h"
#include "tools/devsim/DeviceSimulator.h"

namespace {

struct TChunkAt {
    int DueMs;
    TBytes Bytes;
    bool operator==(const TChunkAt&) const = default;
};

void PrintTo(const TChunkAt& c, std::ostream* os) {
    *os << "@" << c.DueMs << " [" << HexBytes(c.Bytes) << "]";
}

struct TSimCase {
    const char* Name;
    std::function<void(TSimConfig&)> Configure;
    std::vector<TChunkAt> Requests; // sent at DueMs
    std::vector<TChunkAt> Expected;
};

const TBytes kPing = TDeviceSimulator::BuildAnswer(0x01, 0x00, TBytes{}, 0x00);

TBytes Cut(TBytes Frame) {
    Frame.erase(Frame.end() - 2, Frame.end());
    return Frame;
}

TBytes BadCrc(TBytes Frame) {
    Frame[Frame.size() - 2] ^= 0xFF;
    Frame[Frame.size() - 1] ^= 0xFF;
    return Frame;
}

TBytes Slice(const TBytes& Frame, std::size_t From, std::size_t To) {
    return {Frame.begin() + static_cast<std::ptrdiff_t>(From),
            Frame.begin() + static_cast<std::ptrdiff_t>(To)};
}

// Runs the device on the requests and collects every chunk at the instant it falls due,
// checking that none is due a moment earlier.
std::vector<TChunkAt> Simulate(const TSimCase& Case) {
    TSimConfig config;
    if (Case.Configure) {
        Case.Configure(config);
    }
    TDeviceSimulator device(config, TSimRules::Parse("00 -> 00\n01 -> 00 DE AD BE EF\n"));
    for (const auto& r : Case.Requests) {
        device.Receive(r.Bytes, At(r.DueMs));
    }
    std::vector<TChunkAt> chunks;
    while (const auto due = device.NextDue()) {
        EXPECT_TRUE(device.TakeDue(*due - std::chrono::milliseconds(1)).empty());
        const int ms = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(*due - At(0)).count());
        for (auto& bytes : device.TakeDue(*due)) {
            chunks.push_back({ms, std::move(bytes)});
        }
    }
    return chunks;
}

TEST(DeviceSimulator, AnswersAndFaultModes) {
    const TBytes ping = Request(0x01, 0x00);
    const TBytes read = TDeviceSimulator::BuildAnswer(0x01, 0x01, {0xDE, 0xAD, 0xBE, 0xEF}, 0x00);
    TBytes corrupt = ping;
    corrupt.back() ^= 0x40;
    const TSimCase cases[] = {
        {"answer after the delay", nullptr, {{0, ping}}, {{10, kPing}}},
        {"parameters from the rule",
         nullptr,
         {{0, Request(0x01, 0x01, {0x00, 0x04})}},
         {{10, read}}},
        {"broadcast answered with own address", nullptr, {{0, Request(0xFF, 0x00)}}, {{10, kPing}}},
        {"broadcast switched off",
         [](TSimConfig& c) { c.AnswerBroadcast = false; },
         {{0, Request(0xFF, 0x00)}},
         {}},
        {"other address", nullptr, {{0, Request(0x02, 0x00)}}, {}},
        {"own address set",
         [](TSimConfig& c) { c.Address = 0x02; },
         {{0, Request(0x02, 0x00)}},
         {{10, TDeviceSimulator::BuildAnswer(0x02, 0x00, TBytes{}, 0x00)}}},
        {"bad CRC: silence", nullptr, {{0, corrupt}}, {}},
        {"no rule: error operation code",
         nullptr,
         {{0, Request(0x01, 0x55, {0x01})}},
         {{10,
           TDeviceSimulator::BuildAnswer(0x01, 0x55, TBytes{}, TSimRules::DefaultUnknownOpCode)}}},
        {"no delay", [](TSimConfig& c) { c.Delay = TSimDuration(0); }, {{0, ping}}, {{0, kPing}}},
        {"wrong CRC every second answer",
         [](TSimConfig& c) { c.Faults.BadCrcEvery = 2; },
         {{0, ping}, {50, ping}, {100, ping}},
         {{10, kPing}, {60, BadCrc(kPing)}, {110, kPing}}},
        {"cut short",
         [](TSimConfig& c) { c.Faults.CutEvery = 1; },
         {{0, ping}},
         {{10, Cut(kPing)}}},
        {"cut wins over wrong CRC",
         [](TSimConfig& c) {
             c.Faults.CutEvery = 1;
             c.Faults.BadCrcEvery = 1;
         },
         {{0, ping}},
         {{10, Cut(kPing)}}},
        {"every second request unanswered",
         [](TSimConfig& c) { c.Faults.SilentEvery = 2; },
         {{0, ping}, {50, ping}, {100, ping}, {150, Request(0x02, 0x00)}, {200, ping}},
         {{10, kPing}, {110, kPing}}},
        {"no answer at all",
         [](TSimConfig& c) { c.Faults.SilentEvery = 1; },
         {{0, ping}, {50, ping}},
         {}},
        {"split in three with gaps",
         [](TSimConfig& c) {
             c.Faults.SplitPieces = 3;
             c.Faults.SplitGap = TSimDuration(20);
         },
         {{0, ping}},
         {{10, Slice(kPing, 0, 2)}, {30, Slice(kPing, 2, 4)}, {50, Slice(kPing, 4, 6)}}},
        {"more pieces than bytes: one byte each",
         [](TSimConfig& c) {
             c.Faults.SplitPieces = 50;
             c.Faults.SplitGap = TSimDuration(1);
         },
         {{0, Request(0x01, 0x00)}},
         {{10, {kPing[0]}},
          {11, {kPing[1]}},
          {12, {kPing[2]}},
          {13, {kPing[3]}},
          {14, {kPing[4]}},
          {15, {kPing[5]}}}},
        {"garbage ahead of every answer",
         [](TSimConfig& c) {
             c.Faults.Garbage = {0xAA, 0x00};
         },
         {{0, ping}, {50, ping}},
         {{10, {0xAA, 0x00}}, {10, kPing}, {60, {0xAA, 0x00}}, {60, kPing}}},
        {"burst",
         [](TSimConfig& c) { c.Faults.Burst = 3; },
         {{0, ping}},
         {{10, kPing}, {10, kPing}, {10, kPing}}},
        {"burst answers counted one by one",
         [](TSimConfig& c) {
             c.Faults.Burst = 2;
             c.Faults.BadCrcEvery = 2;
         },
         {{0, ping}},
         {{10, kPing}, {10, BadCrc(kPing)}}},
        {"answers keep their order across split pieces",
         [](TSimConfig& c) {
             c.Faults.SplitPieces = 2;
             c.Faults.SplitGap = TSimDuration(20);
         },
         {{0, ping}, {1, Request(0x01, 0x01)}},
         {{10, Slice(kPing, 0, 3)},
          {30, Slice(kPing, 3, 6)},
          {30, Slice(read, 0, 5)},
          {50, Slice(read, 5, 10)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Simulate(c), c.Expected);
    }
}

TEST(DeviceSimulator, AnswerFrameLayout) {
    // Address, length, answer code, parameters, operation code, CRC high, CRC low.
    const TBytes frame = TDeviceSimulator::BuildAnswer(0x01, 0x30, {0x01}, 0x05);
    ASSERT_EQ(frame.size(), 7u);
    EXPECT_EQ(Slice(frame, 0, 5), (TBytes{0x01, 0x07, 0x30, 0x01, 0x05}));
    const std::uint16_t crc = Crc16(frame.data(), 5);
    EXPECT_EQ(frame[5], crc >> 8);
    EXPECT_EQ(frame[6], crc & 0xFF);
    EXPECT_EQ(TDeviceSimulator::BuildAnswer(0x01, 0x1A, TBytes(300, 0x11), 0x00).size(), 255u);
}

TEST(DeviceSimulator, CountsWhatItSaw) {
    TSimConfig config;
    config.Faults.SilentEvery = 2;
    TDeviceSimulator device(config, TSimRules::Parse("00 -> 00\n"));
    std::vector<std::string> log;
    device.OnLog = [&](const std::string& line) { log.push_back(line); };
    TBytes corrupt = Request(0x01, 0x00);
    corrupt[2] ^= 0x01;
    for (const auto& r : {Request(0x01, 0x00), corrupt, Request(0x03, 0x00), Request(0xFF, 0x00),
                          Request(0x01, 0x44)}) {
        device.Receive(r, At(0));
    }
    const auto& s = device.Stats();
    EXPECT_EQ(s.Requests, 5u);
    EXPECT_EQ(s.BadCrc, 1u);
    EXPECT_EQ(s.OtherAddress, 1u);
    EXPECT_EQ(s.Silenced, 1u);
    EXPECT_EQ(s.Answers, 2u);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_NE(log[1].find("bad CRC"), std::string::npos);
    EXPECT_NE(log[3].find("unanswered"), std::string::npos);
    EXPECT_NE(log[4].find("(no rule)"), std::string::npos);
}

} // namespace
