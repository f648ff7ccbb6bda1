// Row times, answer times and statistics on the fake clock; the export's cells read back by an
// independent CSV reader; captures written, read and replayed.
#include "StderrCapture.h"
#include "tests/common/FrameBytes.h"
#include "tests/common/TempDir.h"

#include "app/core/Capture.h"
#include "app/core/ExportFile.h"
#include "app/core/FrameRendering.h"
#include "app/core/RowExport.h"
#include "app/core/TimeText.h"
#include "app/core/Workbench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>

namespace {

using TBytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::int64_t kWall0 = 1765118607000000; // the wall time at the fake clock's zero
const TBytes kOk = WithCrc({0x01, 0, 0x00, 0x05});
const TBytes kBad = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB2};
const TBytes kLong = WithCrc({0x01, 0, 0x10, 0xAB, 0x05});

// A workbench on the fake clock, with a client that completes every write at once.
struct TRun {
    explicit TRun(const TTempDir& dir) : Bench(dir.Dir().string()) {
        Bench.Rows().SetClockOrigin({TWorkbenchTime{}, kWall0});
        Bench.LoadCommandFile(dir.Write("d.tsl", "#define PING 00\n#define \"Q,\xE9\" 10\n"
                                                 "#operationcode\n#define OK,\"x\" 05\n"));
        Bench.ComposeInitialFrame("01");
    }
    static TWorkbenchTime At(std::int64_t micros) { return TWorkbenchTime{} + 1us * micros; }
    void Send(int command, std::int64_t at) {
        Bench.CommandChanged(command);
        for (const TPortCommand& step : Bench.SendButton().Port) {
            if (step.Step == psWrite) {
                Bench.WriteDone(At(at));
            }
        }
    }
    // One event of a script: S(end), E (transmit-empty), R(eceive), T(ime-out).
    void Event(char what, std::int64_t at, const TBytes& bytes = {}, int command = 0) {
        switch (what) {
        case 'S':
            Send(command, at);
            break;
        case 'E':
            Bench.TxEmpty(At(at));
            break;
        case 'R':
            Bench.Received(bytes, At(at));
            break;
        case 'T':
            Bench.TimerFired(wtAnswer, At(at));
            break;
        }
    }
    TStderrCapture Quiet;
    TWorkbench Bench;
};

struct TEvent {
    char What;
    std::int64_t At;
    TBytes Bytes{};
    int Command = 0;
};

struct TTimedRow {
    TRowKind Kind;
    std::int64_t At;
    std::optional<std::uint32_t> Answer;
    bool operator==(const TTimedRow&) const = default;
};

std::vector<TTimedRow> TimedRows(const TFrameRows& rows) {
    std::vector<TTimedRow> timed;
    for (std::int32_t r = 1; r <= rows.GetFrameCount(); ++r) {
        timed.push_back({rows.Kind(r), rows.TimeMicros(r) - kWall0, rows.AnswerMicros(r)});
    }
    return timed;
}

TBytes Join(TBytes a, const TBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(TimeAndRecordsTest, RowTimesAndAnswerTimesAreExactToTheTick) {
    const auto none = std::nullopt;
    struct TCase {
        std::vector<TEvent> Events;
        std::vector<TTimedRow> Expected;
    };
    const std::vector<TCase> cases = {
        // From transmit-empty to the first byte.
        {{{'S', 0}, {'E', 1000}, {'R', 5000, kOk}}, {{rkSent, 0, none}, {rkCrcOk, 5000, 4000}}},
        // No transmit-empty before the answer: from the write's completion; a late one is ignored.
        {{{'S', 100}, {'R', 3100, kOk}, {'E', 3200}}, {{rkSent, 100, none}, {rkCrcOk, 3100, 3000}}},
        // An answer in pieces takes its first piece's time; a second frame is no answer.
        {{{'S', 0},
          {'R', 2000, TBytes(kLong.begin(), kLong.begin() + 2)},
          {'R', 2500, Join(TBytes(kLong.begin() + 2, kLong.end()), kOk)}},
         {{rkSent, 0, none}, {rkCrcOk, 2000, 2000}, {rkCrcOk, 2500, none}}},
        // "No answer" takes its request's time; the next request is timed on its own.
        {{{'S', 0}, {'E', 700}, {'T', 100000}, {'S', 200000}, {'R', 201234, kBad}},
         {{rkSent, 0, none},
          {rkNoAnswer, 0, none},
          {rkSent, 200000, none},
          {rkCrcFail, 201234, 1234}}},
        // A frame cut short is an answer too.
        {{{'S', 0}, {'R', 1500, {0x01, 0x08, 0x00, 0x05}}, {'T', 101500}},
         {{rkSent, 0, none}, {rkTimeout, 1500, 1500}}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        TTempDir dir;
        TRun run(dir);
        for (const TEvent& e : cases[i].Events) {
            run.Event(e.What, e.At, e.Bytes, e.Command);
        }
        EXPECT_EQ(TimedRows(run.Bench.Rows()), cases[i].Expected) << "case " << i;
    }
}

TEST(TimeAndRecordsTest, TimesAsShown) {
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    struct TCase {
        const char* Zone;
        std::int64_t Wall;
        const char* Clock;
        const char* Iso;
    };
    const std::vector<TCase> cases = {
        {"UTC0", 1765118607123999, "14:43:27.123", "2025-12-07T14:43:27.123+00:00"},
        {"XYZ-5:30", 1765118607000500, "20:13:27.000", "2025-12-07T20:13:27.000+05:30"},
        {"ABC3", 999, "21:00:00.000", "1969-12-31T21:00:00.000-03:00"},
        {"UTC0", -1, "23:59:59.999", "1969-12-31T23:59:59.999+00:00"},
    };
    for (const TCase& c : cases) {
        ::setenv("TZ", c.Zone, 1);
        ::tzset();
        EXPECT_EQ(ClockTimeText(c.Wall), c.Clock);
        EXPECT_EQ(IsoTimeText(c.Wall), c.Iso);
    }
    saved ? ::setenv("TZ", before.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    const std::vector<std::pair<std::uint32_t, const char*>> answers = {
        {0, "0.0"},      {49, "0.0"},     {50, "0.1"},
        {12345, "12.3"}, {12350, "12.4"}, {4000000, "4000.0"}};
    for (const auto& [micros, text] : answers) {
        EXPECT_EQ(AnswerTimeText(micros), text);
    }
}

// The reference: the smallest time with at least percent of the times at or below it.
std::uint32_t Percentile(const std::vector<std::uint32_t>& times, int percent) {
    std::uint32_t best = UINT32_MAX;
    for (std::uint32_t v : times) {
        const auto atOrBelow =
            std::count_if(times.begin(), times.end(), [v](std::uint32_t t) { return t <= v; });
        if (atOrBelow * 100 >= static_cast<long>(percent * times.size())) {
            best = std::min(best, v);
        }
    }
    return best;
}

TEST(TimeAndRecordsTest, StatisticsCountVerdictsAndSpreadPerCommandUntilDeleteAll) {
    // (command, answer delay in µs; 0: no answer, odd: a bad CRC)
    const std::vector<std::pair<int, std::uint32_t>> table = {
        {0, 4000}, {0, 3000}, {1, 900},  {0, 0},    {0, 3500}, {1, 1201}, {0, 8000}, {1, 700},
        {0, 4200}, {0, 2000}, {1, 0},    {0, 9999}, {0, 3100}, {1, 650},  {0, 3000}, {0, 5000},
        {0, 2800}, {1, 2000}, {0, 4400}, {0, 3300}, {0, 7001}, {1, 1100}, {0, 2500}, {0, 6000}};
    TTempDir dir;
    TRun run(dir);
    std::map<int, std::vector<std::uint32_t>> times;
    std::map<int, std::array<std::uint64_t, kRowKinds>> kinds;
    std::int64_t now = 0;
    for (const auto& [command, delay] : table) {
        run.Send(command, now);
        if (delay == 0) {
            run.Event('T', now + 100000);
            ++kinds[command][rkNoAnswer];
        } else {
            run.Event('R', now + delay, delay % 2 ? kBad : kOk);
            ++kinds[command][delay % 2 ? rkCrcFail : rkCrcOk];
            times[command].push_back(delay);
            times[-1].push_back(delay);
        }
        now += 200000;
    }
    const std::vector<TAnswerSummary> summaries = run.Bench.Statistics().Summaries();
    ASSERT_EQ(summaries.size(), 3u);
    for (const TAnswerSummary& s : summaries) {
        const int command = s.Code ? (*s.Code == 0 ? 0 : 1) : -1;
        const std::vector<std::uint32_t>& t = times[command];
        EXPECT_EQ(s.Sent, command < 0 ? table.size()
                                      : static_cast<std::size_t>(std::count_if(
                                            table.begin(), table.end(),
                                            [&](const auto& e) { return e.first == command; })));
        for (TRowKind kind : {rkCrcOk, rkCrcFail, rkNoAnswer}) {
            EXPECT_EQ(s.Rows[kind],
                      command < 0 ? kinds[0][kind] + kinds[1][kind] : kinds[command][kind])
                << s.Name << " " << RowStatusText(kind);
        }
        EXPECT_EQ(s.Answers, t.size());
        EXPECT_EQ(s.MinMicros, *std::min_element(t.begin(), t.end()));
        EXPECT_EQ(s.MedianMicros, Percentile(t, 50)) << s.Name;
        EXPECT_EQ(s.P95Micros, Percentile(t, 95)) << s.Name;
        EXPECT_EQ(s.MaxMicros, *std::max_element(t.begin(), t.end()));
    }
    EXPECT_EQ(summaries[1].Name, "0x10  \"Q,\xE9\"");
    EXPECT_EQ(run.Bench.Statistics().Samples().size(), times[-1].size());
    run.Bench.DeleteAll();
    EXPECT_EQ(run.Bench.Statistics().Summaries().size(), 1u);
    EXPECT_EQ(run.Bench.Statistics().Summaries()[0].Sent, 0u);
    EXPECT_TRUE(run.Bench.Statistics().Samples().empty());
}

namespace {

// The records of a CSV file as Python's csv module reads them: fields joined by US, records by RS.
std::string ReadBackWithPython(const std::string& path) {
    const std::string command =
        "python3 -c \"import csv,sys; r=csv.reader(open(sys.argv[1],newline='',encoding='utf-8'));"
        " sys.stdout.buffer.write(chr(30).join(chr(31).join(x) for x in r).encode('utf-8'))\" " +
        path;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, n);
    }
    EXPECT_TRUE(pipe && ::pclose(pipe) == 0) << command;
    return text;
}

std::string Utf8(const std::string& latin1) {
    std::string text;
    for (unsigned char ch : latin1) {
        if (ch < 0x80) {
            text += static_cast<char>(ch);
        } else {
            text += static_cast<char>(0xC0 | ch >> 6);
            text += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return text;
}

} // namespace

// Exported cells are the grid's (parameters in HEX), and a CSV reader gets them back as they
// were, quotes, commas, line breaks and all; an export dropped half-way leaves nothing behind.
TEST(TimeAndRecordsTest, ExportRoundTripsThroughACsvReader) {
    TTempDir dir;
    TRun run(dir);
    run.Send(1, 0);
    run.Event('E', 800);
    run.Event('R', 2100, Join(kOk, {0x01, 0x02}));
    run.Event('T', 102100);
    run.Send(0, 300000);
    run.Event('T', 400000);
    run.Bench.Rows().SetParametersText(2, "typed \"x\",\r\ny\tz");
    run.Bench.SetAscii(true);

    const TFrameRows& rows = run.Bench.Rows();
    std::string text = CsvLine(kExportHeaders);
    std::string expected = Utf8(std::string(kExportHeaders[0]));
    for (int col = 1; col < kExportColumns; ++col) {
        expected += "\x1f" + kExportHeaders[col];
    }
    for (std::int32_t r = 1; r <= rows.GetFrameCount(); ++r) {
        const TExportRow cells = ExportRow(rows, r);
        text += CsvLine(cells);
        expected += "\x1e" + Utf8(cells[0]);
        for (int col = 1; col < kExportColumns; ++col) {
            expected += "\x1f" + Utf8(cells[col]);
        }
        const std::vector<std::pair<int, int>> same = {
            {exNr, kColNr},         {exAddress, kColAddr},         {exLength, kColLength},
            {exName, kColAnswer},   {exOpCode, kColOpCode},        {exCrc, kColCrc},
            {exStatus, kColStatus}, {exAnswerTime, kColAnswerTime}};
        for (const auto& [ex, col] : same) {
            EXPECT_EQ(cells[ex], rows.Cell(col, r)) << "row " << r << " " << kExportHeaders[ex];
        }
        EXPECT_EQ(cells[exTime].substr(11, 12), rows.Cell(kColTime, r));
    }
    const TBytes request = WithCrc({0x01, 0, 0x10});
    const std::vector<std::vector<std::string>> spot = {
        {"0", "TX", "01", "05", "0x10  \"Q,\xE9\"", "", "-", "", "TX", "",
         RenderHex(request.data(), request.size())},
        {"1", "RX", "01", "06", "00", "typed \"x\",\r\ny\tz", "0x05   OK,\"x\"", "", "CRC OK",
         "1.3", RenderHex(kOk.data(), kOk.size())},
        {"2", "RX", "01", "02", "?", "?", "?", "", "Too short", "", "01 02 "},
        {"4", "-", "01", "", "0x00  PING", "", "", "", "No answer", "", ""},
    };
    for (const auto& want : spot) {
        const TExportRow cells = ExportRow(rows, std::stoi(want[0]) + 1);
        const std::vector<std::string> got = {
            cells[exNr],     cells[exDirection],  cells[exAddress], cells[exLength],
            cells[exName],   cells[exParameters], cells[exOpCode],  std::string(),
            cells[exStatus], cells[exAnswerTime], cells[exRawBytes]};
        std::vector<std::string> wanted = want;
        wanted[7] = "";
        EXPECT_EQ(got, wanted);
    }

    const std::string path = dir.File("rows.csv");
    dir.Write("rows.csv", "the export before");
    std::string error;
    {
        TExportFile dropped(path);
        ASSERT_TRUE(dropped.Open(error) && dropped.Write(text, error)) << error;
    }
    TExportFile unwritable(dir.File("missing/rows.csv"));
    EXPECT_FALSE(unwritable.Open(error));
    EXPECT_NE(error.find("Cannot create"), std::string::npos) << error;
    const auto temporaries = [&] {
        return std::count_if(std::filesystem::directory_iterator(dir.Dir()), {}, [](const auto& e) {
            return e.path().filename().string().find(".tmp-") != std::string::npos;
        });
    };
    EXPECT_EQ(temporaries(), 0);
    EXPECT_EQ(dir.Read("rows.csv"), "the export before");
    TExportFile file(path);
    ASSERT_TRUE(file.Open(error) && file.Write(text, error) && file.Commit(error)) << error;
    EXPECT_EQ(ReadBackWithPython(path), expected);
    EXPECT_EQ(temporaries(), 0);
    EXPECT_EQ(TabLine(std::vector<std::string>{"a\tb", "\xE9\n"}), "a b\t\xC3\xA9 \n");
}

TEST(TimeAndRecordsTest, CapturesReadBackAsWritten) {
    TBytes big(kMaxCaptureChunk + 3000);
    for (std::size_t k = 0; k < big.size(); ++k) {
        big[k] = static_cast<std::uint8_t>(k * 7);
    }
    std::ostringstream out;
    TCaptureWriter writer(out);
    writer.Record(ckSent, 5, kOk);
    writer.Record(ckTxEmpty, 6, {});
    writer.Record(ckReceived, 6, big);
    writer.Record(ckAnswerTimeout, kMaxCaptureMicros, {});
    ASSERT_TRUE(writer.Flush());
    // Remarks and CRLF line ends are read too.
    std::string text = out.str();
    text.insert(text.find('\n') + 1, "# a remark\r\n\r\n");
    std::istringstream in(text);
    TCaptureReader reader(in);
    const std::vector<TCaptureRecord> expected = {
        {ckSent, 5, kOk},
        {ckTxEmpty, 6, {}},
        {ckReceived, 6, TBytes(big.begin(), big.begin() + kMaxCaptureChunk)},
        {ckReceived, 6, TBytes(big.begin() + kMaxCaptureChunk, big.end())},
        {ckAnswerTimeout, kMaxCaptureMicros, {}}};
    std::vector<TCaptureRecord> got;
    for (TCaptureRecord record; reader.Next(record);) {
        got.push_back(record);
    }
    EXPECT_EQ(reader.GetError(), "");
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(text.starts_with("TESSAL-CAPTURE 1\n# a remark\r\n\r\nTX 5 01 06 00 05 "));
}

TEST(TimeAndRecordsTest, CaptureErrorsNameTheirLine) {
    const std::string head = "TESSAL-CAPTURE 1\n";
    const std::string tooLong(kMaxCaptureLine + 1, '0');
    std::string tooMany = head + "RX 1 00";
    for (std::size_t k = 1; k <= kMaxCaptureChunk; k += kCaptureBytesPerLine) {
        tooMany += "\n+";
        for (std::size_t n = 0; n < kCaptureBytesPerLine; ++n) {
            tooMany += " AB";
        }
    }
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Line 1: not a capture: the file is empty"},
        {"TESSAL-CAPTURE 2\n", "Line 1: not a capture: the first line is not \"TESSAL-CAPTURE 1\""},
        {head + "TX 1 01\nRX 2 0G\n", "Line 3: '0G' is not a hex byte"},
        {head + "RX 2 1\n", "Line 2: '1' is not a hex byte"},
        {head + "RX 2 \x01\x80\n", "Line 2: '?"
                                   "?' is not a hex byte"},
        {head + "TX 1 01\n+ 02 03\n\n+ 04\nTIMEOUT 2\n+ 05\n",
         "Line 7: '+' continues no TX or RX line"},
        {head + "RX 5 01\nTIMEOUT 4\n", "Line 3: the time goes backwards"},
        {head + "RX -5 01\n", "Line 2: '-5' is not a time in microseconds between 1970 and 2100"},
        // Found by fuzzing: a later time overflowed the replay's clock.
        {head + "RX 4102444800000001 01\n",
         "Line 2: '4102444800000001' is not a time in microseconds between 1970 and 2100"},
        {head + "RX 99999999999999999999 01\n",
         "Line 2: '99999999999999999999' is not a time in microseconds between 1970 and 2100"},
        {head + "TIMEOUT 5 01\n", "Line 2: TIMEOUT takes no bytes"},
        {head + "TX 5\n", "Line 2: TX without bytes"},
        {head + "RXX 5 01\n", "Line 2: 'RXX' is not TX, TXEMPTY, RX or TIMEOUT"},
        {head + "#\n" + tooLong + "\n", "Line 3: longer than 4096 characters"},
        {tooMany, "Line 1026: a chunk of more than 1048576 bytes"},
    };
    for (const auto& [text, error] : cases) {
        std::istringstream in(text);
        TCaptureReader reader(in);
        TCaptureRecord record;
        while (reader.Next(record)) {
        }
        EXPECT_EQ(reader.GetError(), error) << text.substr(0, 80);
    }
    TTempDir dir;
    EXPECT_EQ(TCaptureReader::CheckFile(dir.Dir().string()), "Cannot open " + dir.Dir().string());
}

// A session recorded as it runs replays into a new workbench as the same rows, times, answer
// times and statistics.
TEST(TimeAndRecordsTest, ARecordedSessionReplaysAsTheSameRows) {
    TTempDir dir;
    TRun live(dir);
    std::ostringstream out;
    TCaptureWriter writer(out);
    live.Bench.SetRecorder(&writer);
    live.Bench.SetShowTx(false); // hidden rows are recorded all the same
    const std::vector<TEvent> session = {
        {'S', 0},
        {'E', 900},
        {'R', 3000, Join({0xAA, 0x00}, kOk)}, // garbage ahead of the answer
        {'T', 103000},
        {'S', 200000, {}, 1},
        {'E', 200400},
        {'R', 210000, {0x01, 0x08, 0x10}}, // cut short
        {'R', 215000, {0x00}},
        {'T', 315000},
        {'S', 400000},
        {'T', 500000}, // silent
        {'S', 600000, {}, 1},
        {'R', 601000, Join(kBad, kLong)}, // bad CRC, then a burst
        {'S', 700000},
        {'E', 699990}, // seen by the port before the write's completion was told
        {'S', 800000}, // answered by nothing, twice
    };
    for (const TEvent& e : session) {
        live.Event(e.What, e.At, e.Bytes, e.Command);
    }
    ASSERT_TRUE(writer.Flush());

    TRun replay(dir);
    replay.Bench.SetShowTx(false);
    std::istringstream in(out.str());
    TCaptureReader reader(in);
    for (TCaptureRecord record; reader.Next(record);) {
        replay.Bench.Replay(record);
    }
    ASSERT_EQ(reader.GetError(), "");
    const TFrameRows& a = live.Bench.Rows();
    const TFrameRows& b = replay.Bench.Rows();
    ASSERT_EQ(a.GetFrameCount(), 7);
    ASSERT_EQ(b.GetFrameCount(), a.GetFrameCount());
    for (std::int32_t r = 1; r <= a.GetFrameCount(); ++r) {
        EXPECT_EQ(ExportRow(b, r), ExportRow(a, r)) << "row " << r;
    }
    EXPECT_EQ(TimedRows(b), TimedRows(a));
    const auto spread = [](const TWorkbench& w) {
        std::vector<std::vector<std::uint64_t>> figures;
        for (const TAnswerSummary& s : w.Statistics().Summaries()) {
            figures.push_back({s.Sent, s.Rows[rkCrcOk], s.Rows[rkCrcFail], s.Rows[rkTimeout],
                               s.Rows[rkNoAnswer], s.TooShort(), s.Answers, s.MedianMicros,
                               s.MaxMicros});
        }
        return figures;
    };
    EXPECT_EQ(spread(replay.Bench), spread(live.Bench));
    EXPECT_EQ(spread(live.Bench).back()[0], 6u);
    EXPECT_EQ(spread(live.Bench).back()[1], 2u);
}
