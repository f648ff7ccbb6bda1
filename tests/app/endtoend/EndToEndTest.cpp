// The workbench against the device simulator program on a real pty, as ./run puts them together:
// the example command file loaded, "Send frame" pressed, the answer rows read as a person reads
// them; once per fault mode of the simulator.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include <sys/file.h>

#include "app/core/HexText.h"
#include "app/core/RowExport.h"
#include "app/core/SettingsFile.h"
#include "app/window/Tessalmain.h"
#include "app/window/TrafficRecords.h"
#include "platform/registry/Registry.h"
#include "tests/app/window/GridView.h"
#include "tests/common/TempDir.h"
#include "tools/devsim/SimProcess.h"
#include "tools/devsim/SimTestSupport.h"

namespace {

using TRow = std::vector<std::string>;

constexpr int kStatusColumn = 7;

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        OldDir = std::filesystem::current_path();
        std::filesystem::current_path(Dir);
        std::ofstream(kSettingsFileName) << TESSAL_SOURCE_DIR "/resources/example.tsl\r\n";
    }
    void TearDown() override {
        View.reset();
        Form.reset();
        Sim.reset();
        std::filesystem::current_path(OldDir);
    }

    // The simulator with the example rules and Faults; its port opened by a new window.
    void Start(std::vector<std::string> Faults) {
        Faults.insert(Faults.end(), {"--rules", TESSAL_SOURCE_DIR "/resources/example.rules"});
        Sim = std::make_unique<TSimProcess>(Faults);
        ASSERT_TRUE(Sim->Started());
        Port = Sim->ReadLine();
        ASSERT_TRUE(Port.starts_with("/dev/")) << Port;
        StorePortSettings();
        TTessalOptions options;
        options.PortName = Port;
        Form = std::make_unique<TTessalForm>(options);
        View = std::make_unique<TGridView>(Form->Grid());
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        ASSERT_TRUE(Form->Port().GetConnected());
        SendButton = Form->findChild<QPushButton*>("SendFrameBitBtn");
        ASSERT_NE(SendButton, nullptr);
        ASSERT_TRUE(SendButton->isEnabled());
    }

    // The port settings as ./run leaves them for the workbench.
    void StorePortSettings() {
        // Sanitizer builds answer slowly: an answer later than the usual 100 ms still counts.
        TRegistry options(HKEY_CURRENT_USER);
        ASSERT_TRUE(options.OpenKey("Software\\Tessal", true));
        options.WriteInteger("AnswerTimeout", AnswerTimeoutMs);
        TRegistry reg(HKEY_CURRENT_USER);
        ASSERT_TRUE(reg.OpenKey("Software\\Tessal\\ComPort", true));
        for (const auto& [name, value] :
             std::vector<std::pair<std::string, std::string>>{{"Port", Port},
                                                              {"BaudRate", "9600"},
                                                              {"StopBits", "1"},
                                                              {"DataBits", "8"},
                                                              {"Parity", "None"},
                                                              {"FlowControl", "None"}}) {
            reg.WriteString(name, value);
        }
    }

    void Send() { QTest::mouseClick(SendButton, Qt::LeftButton); }

    // Waits, serving the event loop, until the grid's view was told of Count frame rows.
    ::testing::AssertionResult WaitForRows(int Count) { return View->WaitRows(Count, true); }

    // Reads the simulator's log up to a line that holds Text.
    bool SimSaid(const std::string& Text) {
        for (std::string line = Sim->ReadLine(); !line.empty(); line = Sim->ReadLine()) {
            if (line.find(Text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // The rows the view was told of, as it shows them.
    std::vector<TRow> Rows() const {
        std::vector<TRow> rows;
        for (int r = 0; r < View->TellCount(); ++r) {
            rows.push_back(View->Row(r));
        }
        return rows;
    }

    std::vector<std::string> Statuses() const {
        std::vector<std::string> statuses;
        for (const auto& row : Rows()) {
            statuses.push_back(row[kStatusColumn]);
        }
        return statuses;
    }

    // The simulator's name and the port settings go to the test's own registry, also for the
    // programs started.
    TTempRegistry Temp{"tessal-e2e"};
    const std::filesystem::path Dir = Temp.Dir();
    std::filesystem::path OldDir;
    std::unique_ptr<TSimProcess> Sim;
    std::string Port;
    std::int32_t AnswerTimeoutMs = 1000;
    std::unique_ptr<TTessalForm> Form;
    std::unique_ptr<TGridView> View;
    QPushButton* SendButton = nullptr;
};

// What a newcomer sees: the start frame FF 05 00 goes out as the TX row and the simulator's
// answer to PING comes back checked.
const TRow kTxRow = {"0", "FF", "05", "0x00  PING", "", "-", "30 96", "TX"};

TRow PingAnswer(const std::string& Number) {
    // Built like a request with one parameter byte, it is the answer 01 06 00 00 and its CRC.
    const auto frame = Request(0x01, 0x00, {0x00});
    return {Number,  "01", "06", "00", "", "0x00   DONE", hex2(frame[4]) + " " + hex2(frame[5]),
            "CRC OK"};
}

TEST_F(EndToEnd, SendGivesTheTxRowAndACheckedAnswer) {
    Start({});
    EXPECT_EQ(Form->StatusText(), kConfigLoadedText);
    Send();
    ASSERT_TRUE(WaitForRows(2));
    EXPECT_EQ(Rows(), (std::vector<TRow>{kTxRow, PingAnswer("1")}));

    // READ 00 04 from the command box: the rule's four bytes come back.
    auto* commands = Form->findChild<QComboBox*>("CMDComboBox");
    auto* parameters = Form->findChild<QLineEdit*>("CMDParametersEdit");
    auto* address = Form->findChild<QLineEdit*>("CMDTAdrEdit");
    ASSERT_TRUE(commands && parameters && address);
    const int read = commands->findText("0x01  READ");
    ASSERT_GE(read, 0);
    commands->setCurrentIndex(read);
    emit commands->activated(read);
    address->setText("01");
    parameters->setText("00 04");
    Send();
    ASSERT_TRUE(WaitForRows(4));
    const auto rows = Rows();
    EXPECT_EQ(rows[2][kStatusColumn], "TX");
    EXPECT_EQ(rows[3][4], "DE AD BE EF ");
    EXPECT_EQ(rows[3][5], "0x00   DONE");
    EXPECT_EQ(rows[3][kStatusColumn], "CRC OK");
}

struct TFaultCase {
    const char* Name;
    std::vector<std::string> Args;
    int Sends;
    std::vector<std::string> Statuses; // of every row, the TX rows included
};

TEST_F(EndToEnd, EachFaultModeGivesItsRowKind) {
    const TFaultCase cases[] = {
        {"wrong CRC", {"--bad-crc", "1"}, 1, {"TX", "CRC FAIL"}},
        {"answer cut short", {"--cut", "1"}, 1, {"TX", "Timeout"}},
        {"answer split with gaps", {"--split", "3", "--split-gap", "10"}, 1, {"TX", "CRC OK"}},
        {"garbage ahead of the answer", {"--garbage", "AA 00"}, 1, {"TX", "Too short", "CRC OK"}},
        {"burst", {"--burst", "3"}, 1, {"TX", "CRC OK", "CRC OK", "CRC OK"}},
        {"no answer to every second request",
         {"--silent", "2"},
         3,
         {"TX", "CRC OK", "TX", "No answer", "TX", "CRC OK"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Start(c.Args);
        for (int i = 0; i < c.Sends; ++i) {
            const int before = View->TellCount();
            Send();
            const bool silenced = c.Args[0] == "--silent" && i == 1;
            ASSERT_TRUE(WaitForRows(before + (silenced ? 1 : 2)));
            // The next send discards what the port has not sent yet: the request must have
            // reached the simulator first.
            if (silenced) {
                ASSERT_TRUE(SimSaid("unanswered"));
            }
        }
        ASSERT_TRUE(WaitForRows(static_cast<int>(c.Statuses.size())));
        // The answer timer ends the reception 100 ms after its last byte; a row written by then
        // (a late answer, a time-out) shows here.
        ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Bench().Receiver().GetTimedOut(); }, 5000));
        ASSERT_TRUE(View->CatchUp(Form->Bench()));
        EXPECT_EQ(Statuses(), c.Statuses);
        if (std::string(c.Name) == "answer split with gaps") {
            EXPECT_EQ(Rows()[1], PingAnswer("1"));
        }
        View.reset();
        Form.reset();
        Sim.reset();
    }
}

// Sessions against the simulator with its fault modes mixed in, recorded as they ran: the grid
// shows what the export holds, and the capture replayed gives the same rows, times, answer times
// and statistics.
TEST_F(EndToEnd, RecordedSessionsShowAsExportedAndReplayAsTheSameRows) {
    // Garbage ahead of an answer, or a first answer of a burst, makes the rest of its reception
    // go unshown at the time-out: the cut answers go in a session of their own.
    const std::vector<std::vector<std::string>> sessions = {
        {"--bad-crc", "3", "--cut", "4", "--silent", "4", "--split", "2", "--split-gap", "5"},
        {"--garbage", "AA 00", "--burst", "2", "--bad-crc", "3"}};
    AnswerTimeoutMs = 300;
    std::set<std::string> kinds;
    for (std::vector<std::string> faults : sessions) {
        faults.push_back("--quiet");
        Start(faults);
        // The first session's choice is kept for the second.
        for (QAction* column : {Form->MenuShowTime, Form->MenuShowAnswerTime}) {
            if (!column->isChecked()) {
                column->trigger();
            }
        }
        const std::string capture = (Dir / "session.capture").string();
        Form->RecordTraffic(true, capture);
        const TAnswerStatistics& statistics = Form->Bench().Statistics();
        for (std::size_t sent = 1; sent <= 6; ++sent) {
            Send();
            // The request's verdict (an answer time, or "No answer"), and its reception closed.
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return statistics.Samples().size() +
                                   statistics.Summaries().back().Rows[rkNoAnswer] ==
                               sent &&
                           !Form->UARTTimeout.isActive();
                },
                5000));
        }
        Form->RecordTraffic(false);
        ASSERT_TRUE(View->CatchUp(Form->Bench()));
        const auto exported = [&] {
            std::vector<TExportRow> rows;
            for (std::int32_t r = 1; r <= Form->Bench().Rows().GetFrameCount(); ++r) {
                rows.push_back(ExportRow(Form->Bench().Rows(), r));
            }
            return rows;
        };
        const auto figures = [&] {
            std::vector<std::vector<std::uint64_t>> all;
            for (const TAnswerSummary& s : statistics.Summaries()) {
                all.push_back({s.Sent, s.Rows[rkCrcOk], s.Rows[rkCrcFail], s.Timeouts(),
                               s.TooShort(), s.Rows[rkNoAnswer], s.MinMicros, s.MedianMicros,
                               s.P95Micros, s.MaxMicros});
            }
            return all;
        };
        const std::vector<TExportRow> live = exported();
        const auto liveFigures = figures();
        for (std::size_t r = 0; r < live.size(); ++r) {
            const TExportRow& e = live[r];
            kinds.insert(e[exStatus]);
            EXPECT_EQ(View->Row(static_cast<int>(r)),
                      (TRow{e[exNr], e[exTime].substr(11, 12), e[exAddress], e[exLength], e[exName],
                            e[exParameters], e[exOpCode], e[exCrc], e[exStatus], e[exAnswerTime]}));
        }
        ASSERT_TRUE(Form->ExportRows((Dir / "live.csv").string()));

        Form->OpenCapture(capture, false);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->Records().Replaying(); }, 5000));
        ASSERT_TRUE(View->CatchUp(Form->Bench()));
        EXPECT_EQ(exported(), live);
        EXPECT_EQ(figures(), liveFigures);
        ASSERT_TRUE(Form->ExportRows((Dir / "replayed.csv").string()));
        const auto read = [&](const char* name) {
            std::ifstream in(Dir / name, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        EXPECT_EQ(read("replayed.csv"), read("live.csv"));
        View.reset();
        Form.reset();
        Sim.reset();
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"TX", "CRC OK", "CRC FAIL", "Timeout", "Too short",
                                            "No answer"}));
}

// The program itself, started as ./run starts it, opens the simulator's port: the port's lock
// is taken while it runs and given back when it ends.
TEST_F(EndToEnd, WorkbenchProgramOpensTheSimulatorsPort) {
    Sim = std::make_unique<TSimProcess>(std::vector<std::string>{"--quiet"});
    Port = Sim->ReadLine();
    ASSERT_TRUE(Port.starts_with("/dev/")) << Port;
    StorePortSettings();
    const auto program = Dir / "tessal"; // a copy, which writes tessal.ini here, not in build/
    std::filesystem::copy_file(TESSAL_APP_EXE, program);
    TSimProcess workbench({"--port", Port}, program.c_str(), Dir.string());
    ASSERT_TRUE(workbench.Started());

    const int fd = ::open(Port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const auto locked = [fd] {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::flock(fd, LOCK_UN);
            return false;
        }
        return errno == EWOULDBLOCK;
    };
    EXPECT_TRUE(QTest::qWaitFor(locked, 10000)) << "the workbench did not open " << Port;
    const int status = workbench.Stop(SIGTERM);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_FALSE(locked());
    ::close(fd);
}

} // namespace
