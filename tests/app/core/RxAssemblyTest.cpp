#include "app/core/RxAssembly.h"
#include "app/core/Crc16.h"
#include "app/core/FrameRows.h"
#include "app/core/HexText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<std::uint8_t>;
using TCells = std::vector<std::string>;

// The receive side with what a window would make of its outcomes: the status text, the two
// timers' state and the port's queue discards.
struct TRxHarness {
    explicit TRxHarness(TOpCodeList opCodes = {{"ACK", 0x05}}) : OpCodes(std::move(opCodes)) {}

    void Apply(const TWorkbenchOutcome& out) {
        if (out.StatusText) {
            StatusHistory.push_back(*out.StatusText);
        }
        for (const TTimerCommand& t : out.Timers) {
            (t.Timer == wtAnswer ? AnswerTimerMs : DataTimerMs) = t.Start ? t.PeriodMs : 0;
        }
        for (const TPortCommand& p : out.Port) {
            PortClears += p.Step == psClearQueues ? 1 : 0;
        }
    }
    void Receive(const TBytes& bytes) {
        TWorkbenchOutcome out;
        Rx.Received(bytes, TWorkbenchTime{}, out);
        Apply(out);
    }
    template <typename F>
    void Do(F&& call) {
        TWorkbenchOutcome out;
        call(out);
        Apply(out);
    }
    std::string Status() const { return StatusHistory.empty() ? "" : StatusHistory.back(); }

    TCheckBoxes Checks;
    TFrameRows Rows;
    TOpCodeList OpCodes;
    TRxAssembly Rx{Rows, OpCodes, Checks};
    std::vector<std::string> StatusHistory;
    int PortClears = 0;
    int AnswerTimerMs = 0;
    int DataTimerMs = 0;
};

TBytes WithCrc(TBytes frame) {
    const std::uint16_t crc = Crc16(frame.data(), static_cast<std::uint8_t>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}

class RxAssemblyTest : public ::testing::Test {
protected:
    void Receive(const TBytes& bytes) { H.Receive(bytes); }

    TRxHarness H;
    TFrameRows& Rows = H.Rows;
    TRxAssembly& Rx = H.Rx;
};

struct TReceptionCase {
    const char* Name;
    std::vector<TBytes> Receptions;
    bool Ascii;
    bool TimerFires;
    std::vector<TCells> Expected;
};

} // namespace

TEST_F(RxAssemblyTest, ReceptionsGiveTheirRows) {
    const TBytes ok = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};
    const TBytes second = WithCrc({0x02, 0x08, 0x11, 0x41, 0x0A, 0x07});
    const TCells okRow = {"0", "01", "06", "00", "", "0x05   ACK", "94 B1", "CRC OK"};
    const std::vector<TReceptionCase> cases = {
        {"one reception", {ok}, false, false, {okRow}},
        {"split, then the timer shows nothing more",
         {{0x01}, {0x06, 0x00}, {0x05, 0x94}, {0xB1}},
         false,
         true,
         {okRow}},
        {"two frames in one reception",
         {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB1, 0x01, 0x06, 0x00, 0x05, 0x94, 0xB1}},
         false,
         false,
         {okRow, {"1", "01", "06", "00", "", "0x05   ACK", "94 B1", "CRC OK"}}},
        {"wrong CRC shows the received bytes",
         {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB2}},
         false,
         false,
         {{"0", "01", "06", "00", "", "0x05   ACK", "94 B2", "CRC FAIL"}}},
        {"unnamed operation code, parameters in HEX",
         {second},
         false,
         false,
         {{"0", "02", "08", "11", "41 0A ", "0x07", "", "CRC OK"}}},
        {"three bytes then silence, HEX",
         {{0x01, 0x10, 0x00}},
         false,
         true,
         {{"0", "01", "10", "00", "", "?", "?", "Timeout"}}},
        {"three bytes then silence, ASCII",
         {{0x01, 0x10, 0x00}},
         true,
         true,
         {{"0", "01", "10", "00", "..........", "?", "?", "Timeout"}}},
        {"timed-out frame shows every byte after the third in HEX",
         {{0x01, 0x10, 0x00, 0x41, 0x42}},
         false,
         true,
         {{"0", "01", "10", "00", "41 42 ", "?", "?", "Timeout"}}},
        {"one byte then silence",
         {{0x01}},
         false,
         true,
         {{"0", "01", "?", "?", "?", "?", "?", "Too short/timeout"}}},
        {"length 03 is too short and the search goes on two bytes later",
         {{0x01, 0x03, 0x01, 0x06, 0x00, 0x05, 0x94, 0xB1}},
         false,
         false,
         {{"0", "01", "03", "?", "?", "?", "?", "Too short"},
          {"1", "01", "06", "00", "", "0x05   ACK", "94 B1", "CRC OK"}}},
        {"a stray byte after a frame in the same reception is shown at the time-out",
         {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB1, 0x77}},
         false,
         true,
         {okRow, {"1", "77", "?", "?", "?", "?", "?", "Too short/timeout"}}},
        {"so is an unfinished frame after one",
         {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB1, 0x01, 0x10, 0x00, 0x41}, {0x42}},
         false,
         true,
         {okRow, {"1", "01", "10", "00", "41 42 ", "?", "?", "Timeout"}}},
        {"ASCII rendering of received parameters",
         {WithCrc({0x03, 0x0A, 0x01, 0x41, 0x20, 0x42, 0x0A, 0x05})},
         true,
         false,
         {{"0", "03", "0A", "01", "A.B.", "0x05   ACK", "", "CRC OK"}}},
    };
    for (const TReceptionCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRxHarness h;
        h.Rows.SetAscii(c.Ascii);
        TFrameRows& rows = h.Rows;
        for (const TBytes& bytes : c.Receptions) {
            h.Receive(bytes);
            EXPECT_EQ(h.AnswerTimerMs, kAnswerTimeoutMs);
            EXPECT_EQ(h.DataTimerMs, kTimeForDataMs);
        }
        if (c.TimerFires) {
            h.Do([&](TWorkbenchOutcome& out) { h.Rx.UARTTimeoutTimer(out); });
            EXPECT_EQ(h.AnswerTimerMs, 0);
            EXPECT_EQ(h.PortClears, 1);
            EXPECT_EQ(h.Rx.GetRxFill(), 0);
        }
        ASSERT_EQ(rows.GetFrameCount(), static_cast<std::int32_t>(c.Expected.size()));
        for (std::size_t r = 0; r < c.Expected.size(); ++r) {
            for (int col = 0; col <= kColStatus; ++col) {
                if (col == kColCrc && c.Expected[r][col].empty()) {
                    continue; // a computed CRC: the verdict checks it
                }
                EXPECT_EQ(rows.Cell(col, static_cast<std::int32_t>(r + 1)), c.Expected[r][col])
                    << "row " << r + 1 << " column " << col;
            }
        }
    }
}

TEST_F(RxAssemblyTest, StatusFollowsTheLengthByte) {
    struct TCase {
        TBytes Bytes;
        std::string Status;
    };
    const std::vector<TCase> cases = {
        {{0x01, 0x03}, "Warning: incorrect frame length (too short: 3 bytes, min = 6)"},
        {{0x01}, "Warning: incorrect frame length (too short: 0 bytes, min = 6)"},
        {{0x01, 0x41, 0x00}, "Warning: incorrect frame length (too long: 65 bytes, max = 64)"},
        {{0x01, 0x06, 0x00}, ""},
    };
    for (const TCase& c : cases) {
        TRxHarness h;
        h.Receive(c.Bytes);
        EXPECT_EQ(h.Status(), c.Status);
        EXPECT_EQ(h.Rows.GetFrameCount(), 0);
    }
}

TEST_F(RxAssemblyTest, LongFrameWarnsWhileIncompleteAndIsValidatedWhenComplete) {
    TBytes body = {0x09, 0x41, 0x20};
    for (int i = 0; i < 0x41 - 5; ++i) {
        body.push_back(static_cast<std::uint8_t>('a' + i % 26));
    }
    const TBytes frame = WithCrc(body);
    ASSERT_EQ(frame.size(), 0x41u);
    Receive(TBytes(frame.begin(), frame.begin() + 20));
    EXPECT_EQ(H.Status(), "Warning: incorrect frame length (too long: 65 bytes, max = 64)");
    EXPECT_EQ(Rows.GetFrameCount(), 0);
    Receive(TBytes(frame.begin() + 20, frame.end()));
    EXPECT_EQ(H.Status(), "");
    ASSERT_EQ(Rows.GetFrameCount(), 1);
    EXPECT_EQ(Rows.Cell(kColStatus, 1), "CRC OK");
    EXPECT_EQ(Rows.Cell(kColParameters, 1).size(), (0x41u - 6) * 3);
}

TEST_F(RxAssemblyTest, OverflowResetsWithoutTouchingThePortAndNeverWritesPastTheBuffer) {
    // Near the end of the buffer: the next reception would reach 64000.
    const TBytes ok = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};
    TBytes filler;
    while (filler.size() < static_cast<std::size_t>(kRxBufferSize - 10)) {
        filler.insert(filler.end(), ok.begin(), ok.end());
    }
    Receive(filler);
    const std::int32_t shown = Rows.GetFrameCount();
    EXPECT_EQ(Rx.GetRxFill(), static_cast<std::int32_t>(filler.size()));
    TWorkbenchOutcome out;
    Rx.Received(TBytes{0x01, 0x06, 0x00, 0x05, 0x94, 0xB1, 0x01, 0x06, 0x00, 0x05, 0x94, 0xB1}, {},
                out);
    H.Apply(out);
    // The warning is replaced in the same reception by the length status.
    EXPECT_EQ(out.StatusText, "");
    EXPECT_EQ(H.PortClears, 0);
    EXPECT_EQ(Rx.GetRxFill(), 12);
    EXPECT_EQ(Rows.GetFrameCount(), shown + 2);

    // One event announcing more than the whole buffer: taken in pieces.
    TBytes huge;
    while (huge.size() < 150000) {
        huge.insert(huge.end(), ok.begin(), ok.end());
    }
    Receive(huge);
    // 12 + 150000 bytes: a reset before each of three pieces of at most 63999, so the last
    // holds what is left after two whole pieces.
    EXPECT_EQ(Rx.GetRxFill(), 150000 - 2 * (kRxBufferSize - 1));
    // The first piece alone holds 10666 whole frames.
    EXPECT_GT(Rows.GetFrameCount(), shown + 2 + 10666);
}

TEST_F(RxAssemblyTest, AutomaticDeletionWaitsForTheNextAnswer) {
    const TBytes ok = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};
    struct TCase {
        bool DeleteAutomatically;
        bool AutoRepeat;
        std::int32_t RowsAfterAnswer;
        bool ClearOnAnswerAfter;
        std::int32_t RowsAfterDataTimer;
    };
    const std::vector<TCase> cases = {
        {true, true, 1, false, 0},
        {false, true, 3, true, 3},
        {true, false, 1, false, 1},
    };
    for (const TCase& c : cases) {
        TRxHarness h;
        h.Checks.DeleteAutomatically = c.DeleteAutomatically;
        h.Checks.AutoRepeat = c.AutoRepeat;
        h.Rows.AppendRow({"0"}, rkSent);
        h.Rows.AppendRow({"1"}, rkSent);
        h.Rx.SetClearOnAnswer(true);
        h.Receive(ok);
        EXPECT_EQ(h.Rows.GetFrameCount(), c.RowsAfterAnswer);
        EXPECT_EQ(h.Rx.GetClearOnAnswer(), c.ClearOnAnswerAfter);
        h.Do([&](TWorkbenchOutcome& out) { h.Rx.TimeForDataTimerTimer(out); });
        EXPECT_EQ(h.Rows.GetFrameCount(), c.RowsAfterDataTimer);
        // The timer stops only when it cleared the grid; otherwise it keeps testing.
        EXPECT_EQ(h.DataTimerMs, c.RowsAfterDataTimer == 0 ? 0 : kTimeForDataMs);
    }
}

TEST_F(RxAssemblyTest, TimerAfterASendResetShowsNoPhantomRow) {
    Receive({0x01, 0x06, 0x00});
    H.Do([&](TWorkbenchOutcome& out) { Rx.ResetRxBuffer(false, out); });
    EXPECT_EQ(H.PortClears, 1);
    H.Do([&](TWorkbenchOutcome& out) { Rx.UARTTimeoutTimer(out); });
    EXPECT_EQ(Rows.GetFrameCount(), 0);
}

TEST_F(RxAssemblyTest, ASendEndsTheReceptionBeforeIt) {
    Receive({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    EXPECT_EQ(H.AnswerTimerMs, kAnswerTimeoutMs);
    H.Do([&](TWorkbenchOutcome& out) { Rx.BeginSend(out); });
    EXPECT_EQ(H.AnswerTimerMs, 0); // it cannot fire into the next answer
    EXPECT_EQ(H.PortClears, 1);
    EXPECT_FALSE(Rx.GetHandledInRxChar());
    // The next answer stops short: its time-out shows it.
    Receive({0x01, 0x10, 0x00});
    H.Do([&](TWorkbenchOutcome& out) { Rx.UARTTimeoutTimer(out); });
    ASSERT_EQ(Rows.GetFrameCount(), 2);
    EXPECT_EQ(Rows.Cell(kColStatus, 2), "Timeout");
}

TEST_F(RxAssemblyTest, ResetKeepsLengthCountAndFlags) {
    Receive({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1, 0x02, 0x09});
    H.Do([&](TWorkbenchOutcome& out) { Rx.ResetRxBuffer(true, out); });
    EXPECT_EQ(H.PortClears, 0);
    EXPECT_EQ(Rx.GetRxFill(), 0);
    EXPECT_EQ(Rx.GetRxFrameStart(), 0);
    EXPECT_EQ(Rx.GetRxFrameLength(), 9);
    EXPECT_TRUE(Rx.GetHandledInRxChar());
    EXPECT_EQ(Rows.GetFrameCount(), 1);
    for (std::uint8_t b : Rx.GetRxBuffer()) {
        ASSERT_EQ(b, 0);
    }
}

// Random valid frames, concatenated and delivered in random pieces, give exactly their rows.
TEST_F(RxAssemblyTest, RandomFramesInRandomPiecesGiveTheirRowsInOrder) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        TRxHarness h({{"ACK", 0x05}, {"NAK", 0x15}});
        h.Rows.SetAscii(seed % 2 == 0);
        TFrameRows& rows = h.Rows;
        TBytes stream;
        std::vector<TBytes> frames;
        while (stream.size() < 20000) {
            const int length = std::uniform_int_distribution<int>(6, 255)(random);
            TBytes body(static_cast<std::size_t>(length - 2));
            for (auto& b : body) {
                b = static_cast<std::uint8_t>(random());
            }
            body[1] = static_cast<std::uint8_t>(length);
            frames.push_back(WithCrc(body));
            stream.insert(stream.end(), frames.back().begin(), frames.back().end());
        }
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t piece = std::min<std::size_t>(
                stream.size() - at, std::uniform_int_distribution<std::size_t>(1, 300)(random));
            h.Receive(TBytes(stream.begin() + static_cast<long>(at),
                             stream.begin() + static_cast<long>(at + piece)));
            at += piece;
        }
        h.Do([&](TWorkbenchOutcome& out) { h.Rx.UARTTimeoutTimer(out); });
        ASSERT_EQ(rows.GetFrameCount(), static_cast<std::int32_t>(frames.size()));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const TBytes& f = frames[i];
            const auto r = static_cast<std::int32_t>(i + 1);
            ASSERT_EQ(rows.Cell(kColNr, r), std::to_string(i));
            ASSERT_EQ(rows.Cell(kColLength, r), hex2(f[1]));
            ASSERT_EQ(rows.Cell(kColStatus, r), "CRC OK");
            ASSERT_EQ(rows.Cell(kColCrc, r), hex2(f[f.size() - 2]) + " " + hex2(f.back()));
            ASSERT_EQ(rows.Cell(kColParameters, r).size(),
                      h.Rows.GetAscii() ? f.size() - 6 : (f.size() - 6) * 3);
        }
    }
}
