#include "StderrCapture.h"
#include "tests/common/TempDir.h"

#include "app/core/Crc16.h"
#include "app/core/HexText.h"
#include "app/core/Workbench.h"
#include "tests/common/FrameBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

const TBytes kPing = WithCrc({0xFF, 0, 0x00});

// The workbench with a client that does what the window does with its outcomes: the port steps
// go on a recorded line (every write completes at once, at the fake clock's time), the timers
// are kept with their tokens, texts and states are remembered.
class TDriver {
public:
    explicit TDriver(const std::string& appDir) : Bench(appDir) {}

    TWorkbenchOutcome Apply(TWorkbenchOutcome out) {
        for (const TTimerCommand& t : out.Timers) {
            if (t.Start) {
                Timers[t.Timer] = t;
            } else {
                Timers.erase(t.Timer);
            }
        }
        if (out.StatusText) {
            Status = *out.StatusText;
        }
        if (out.Repeating) {
            Caption = SendButtonCaption(*out.Repeating);
        }
        for (const TPortCommand& step : out.Port) {
            if (FailNextWrite && step.Step == psWrite) {
                FailNextWrite = false;
                const TWorkbenchOutcome failed = Apply(Bench.PortFailed("write failed"));
                ErrorBox = failed.ErrorBox.value_or("");
                return out;
            }
            Steps.push_back(step.Step);
            if (step.Step == psWrite) {
                Line.push_back(step.Bytes);
                Apply(Bench.WriteDone(Now));
            }
        }
        return out;
    }

    // The repeat timer's next tick, with the token it was started with (or a stale one).
    void Tick(std::optional<std::uint32_t> token = std::nullopt) {
        Now += 10ms;
        const auto running = Timers.find(wtRepeat);
        Apply(Bench.TimerFired(
            wtRepeat, Now, token.value_or(running == Timers.end() ? 0 : running->second.Token)));
    }

    std::string Cell(int col, std::int32_t row) const {
        return std::string(Bench.Rows().Cell(col, row));
    }
    // The "Answer" cells of the rows of this kind, in order.
    std::vector<std::string> Answers(TRowKind kind) const {
        std::vector<std::string> cells;
        for (std::int32_t r = 1; r <= Bench.Rows().GetFrameCount(); ++r) {
            if (Bench.Rows().Kind(r) == kind) {
                cells.push_back(Cell(kColAnswer, r));
            }
        }
        return cells;
    }

    TWorkbench Bench;
    TWorkbenchTime Now{};
    std::vector<TBytes> Line;
    std::vector<TPortStep> Steps;
    std::map<TWorkbenchTimer, TTimerCommand> Timers;
    std::string Status;
    std::string Caption = "Send frame";
    std::string ErrorBox;
    bool FailNextWrite = false;
};

class WorkbenchTest : public ::testing::Test {
protected:
    void SetUp() override {
        D.Apply(D.Bench.LoadStartFile(Dir.Write("device.tsl", "#define PING 00\n"
                                                              "#define SETNAME 20 // $name\n"
                                                              "#cmdcomment Names the device\n"
                                                              "#define READ 10\n")));
        D.Apply(D.Bench.ComposeInitialFrame("ff"));
    }

    TTempDir Dir;
    TStderrCapture Quiet;
    TDriver D{Dir.Dir().string()};
};

} // namespace

TEST_F(WorkbenchTest, AReloadedFileSendsTheCommandTheBoxShows) {
    D.Apply(D.Bench.CommandChanged(1));
    D.Apply(D.Bench.ParametersChanged("$Hello"));
    const TWorkbenchOutcome load =
        D.Apply(D.Bench.LoadCommandFile((Dir.Dir() / "device.tsl").string()));
    EXPECT_EQ(load.SelectedIndex, 0);
    EXPECT_EQ(load.CommandDescription, "");
    const TBytes shown = WithCrc({0xFF, 0, 0x00, 'H', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(load.LengthText, "0A");
    EXPECT_EQ(load.CrcHText, hex2(shown[8]));
    EXPECT_EQ(load.CrcLText, hex2(shown[9]));
    EXPECT_EQ(load.StatusText, kConfigLoadedText);

    D.Apply(D.Bench.SendButton());
    EXPECT_EQ(D.Steps, (std::vector<TPortStep>{psClearQueues, psRtsOn, psWrite}));
    ASSERT_EQ(D.Line, std::vector<TBytes>{shown});
    EXPECT_EQ(D.Cell(kColAnswer, 1), "0x00  PING");
    EXPECT_EQ(D.Bench.Rows().Kind(1), rkSent);
    EXPECT_EQ(D.Bench.GetLastWriteDone(), D.Now);
}

TEST_F(WorkbenchTest, ListRowsNameTheCommandOfTheirOwnFrame) {
    const std::vector<std::pair<int, const char*>> entries = {
        {1, "0x20  SETNAME"}, {2, "0x10  READ"}, {0, "0x00  PING"}};
    for (const auto& [index, name] : entries) {
        D.Apply(D.Bench.CommandChanged(index));
        D.Apply(D.Bench.AddToList());
    }
    D.Apply(D.Bench.CommandChanged(2)); // the box shows READ throughout
    const TWorkbenchOutcome first = D.Apply(D.Bench.SendList());
    EXPECT_EQ(first.CommandDescription,
              "Frame # 0 / 3: FF 05 20 " + hex2(D.Line[0][3]) + " " + hex2(D.Line[0][4]) + " ");
    D.Tick();
    D.Tick();
    D.Tick();
    ASSERT_EQ(D.Line.size(), 4u);
    const std::vector<std::string> named = {entries[0].second, entries[1].second, entries[2].second,
                                            entries[0].second};
    EXPECT_EQ(D.Answers(rkSent), named);
    // None was answered: each request but the last is closed by the next one.
    EXPECT_EQ(D.Answers(rkNoAnswer), std::vector<std::string>(named.begin(), named.end() - 1));
    for (std::size_t i = 0; i < D.Line.size(); ++i) {
        EXPECT_EQ(D.Line[i][2],
                  D.Bench.Definitions()
                      .GetCommandList()[static_cast<std::size_t>(entries[i % 3].first)]
                      .Code);
    }
}

// Each case: a script of clicks and ticks, then what went on the line and how the button reads.
TEST_F(WorkbenchTest, SendAndRepeatStates) {
    struct TCase {
        const char* Name;
        std::function<void(TDriver&)> Script;
        std::size_t Writes;
        bool Repeating;
        bool TimerRunning;
    };
    const TCase cases[] = {
        {"a press without Auto repeat sends once",
         [](TDriver& d) {
             d.Apply(d.Bench.SendButton());
             d.Tick();
         },
         1, false, false},
        {"Auto repeat: the first press sends and starts the timer, each tick sends",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             d.Tick();
             d.Tick();
         },
         3, true, true},
        {"the second press stops without sending",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             d.Apply(d.Bench.SendButton());
             d.Tick(1);
         },
         1, false, false},
        {"unchecking Auto repeat stops",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             d.Apply(d.Bench.AutoRepeatClicked(false));
             d.Tick(1);
         },
         1, false, false},
        {"a tick of the timer a new period replaced sends nothing",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             const std::uint32_t old = d.Timers.at(wtRepeat).Token;
             d.Apply(d.Bench.SetRepeatPeriod(250));
             EXPECT_EQ(d.Timers.at(wtRepeat).PeriodMs, 250);
             d.Tick(old);
             d.Tick();
         },
         2, true, true},
        {"Setup -> COM stops and unchecks",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             EXPECT_EQ(d.Apply(d.Bench.StopForPortSetup()).AutoRepeatChecked, false);
             d.Tick(1);
             d.Apply(d.Bench.SendButton());
         },
         2, false, false},
        {"Enter sends from a send field only while sending is enabled",
         [](TDriver& d) {
             bool taken = false;
             d.Apply(d.Bench.EnterPressed(true, taken));
             EXPECT_TRUE(taken);
             d.Apply(d.Bench.EnterPressed(false, taken));
             EXPECT_FALSE(taken);
             d.Apply(d.Bench.ParametersChanged("0102"));
             d.Apply(d.Bench.EnterPressed(true, taken));
             EXPECT_FALSE(taken);
         },
         1, false, false},
        {"while repeating Enter is the button's, in any field",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             bool taken = false;
             d.Apply(d.Bench.EnterPressed(false, taken));
             EXPECT_TRUE(taken);
         },
         1, false, false},
        {"a failed write from the timer ends the repetition in the status bar",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             d.FailNextWrite = true;
             d.Tick();
             EXPECT_EQ(d.Status, "write failed");
             EXPECT_EQ(d.ErrorBox, "");
             d.Tick(1);
         },
         1, false, false},
        {"a failed first send starts no repetition and is shown in a box",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.FailNextWrite = true;
             d.Apply(d.Bench.SendButton());
             EXPECT_EQ(d.ErrorBox, "write failed");
             d.Tick(1);
         },
         0, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TDriver d(Dir.Dir().string());
        d.Apply(d.Bench.LoadCommandFile((Dir.Dir() / "device.tsl").string()));
        d.Apply(d.Bench.ComposeInitialFrame("ff"));
        c.Script(d);
        EXPECT_EQ(d.Line.size(), c.Writes);
        for (const TBytes& frame : d.Line) {
            EXPECT_EQ(frame, kPing);
        }
        EXPECT_EQ(d.Bench.GetRepeating(), c.Repeating);
        EXPECT_EQ(d.Caption, SendButtonCaption(c.Repeating));
        EXPECT_EQ(d.Timers.count(wtRepeat), c.TimerRunning ? 1u : 0u);
        EXPECT_EQ(d.Answers(rkSent).size(), c.Writes);
    }
}

TEST_F(WorkbenchTest, DeleteAutomaticallyClearsBeforeASingleSendOnlyAndAfterTheNextAnswer) {
    const TBytes answer = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};
    D.Bench.SetDeleteAutomatically(true);
    D.Apply(D.Bench.SendButton());
    D.Apply(D.Bench.Received(answer, D.Now));
    const TWorkbenchOutcome second = D.Apply(D.Bench.SendButton());
    EXPECT_TRUE(second.RowsCleared);
    EXPECT_EQ(D.Bench.Rows().GetFrameCount(), 1);

    // Repeating, a send leaves the rows; the first byte of the next answer clears them.
    D.Apply(D.Bench.AutoRepeatClicked(true));
    D.Apply(D.Bench.SendButton());
    D.Apply(D.Bench.Received(answer, D.Now));
    D.Tick();
    // The request before the repetition was not answered: its "No answer" row stays too.
    EXPECT_EQ(D.Bench.Rows().GetFrameCount(), 5);
    const TWorkbenchOutcome cleared = D.Apply(D.Bench.Received(answer, D.Now));
    EXPECT_TRUE(cleared.RowsCleared);
    EXPECT_EQ(cleared.RowsAppended, 1);
    EXPECT_EQ(D.Cell(kColStatus, 1), "CRC OK");
}

TEST_F(WorkbenchTest, ReceptionRowsTimersAndTimes) {
    const TWorkbenchTime start = D.Now + 5ms;
    const TWorkbenchOutcome first = D.Bench.Received(TBytes{0x01, 0x10, 0x00}, start);
    EXPECT_EQ(first.RowsAppended, 0);
    EXPECT_EQ(first.Timers, (std::vector<TTimerCommand>{{wtAnswer, true, kAnswerTimeoutMs, 0},
                                                        {wtTimeForData, true, kTimeForDataMs, 0}}));
    D.Bench.Received(TBytes{0x41}, start + 20ms);
    EXPECT_EQ(D.Bench.GetReceptionStart(), start);
    const TWorkbenchOutcome timeout = D.Bench.TimerFired(wtAnswer, start + 120ms);
    EXPECT_EQ(timeout.RowsAppended, 1);
    EXPECT_EQ(timeout.Port, (std::vector<TPortCommand>{{psClearQueues, {}}}));
    EXPECT_EQ(D.Bench.Rows().Kind(1), rkTimeout);
    EXPECT_EQ(D.Cell(kColParameters, 1), "41 ");
    EXPECT_FALSE(D.Bench.GetReceptionStart());

    const TWorkbenchOutcome bad =
        D.Bench.Received(TBytes{0x01, 0x06, 0x00, 0x05, 0x94, 0xB2}, D.Now);
    EXPECT_EQ(bad.RowsAppended, 1);
    EXPECT_EQ(D.Bench.Rows().Kind(2), rkCrcFail);
    EXPECT_TRUE(D.Bench.DeleteAll().RowsCleared);
    EXPECT_EQ(D.Bench.Rows().GetFrameCount(), 0);
}

TEST_F(WorkbenchTest, WithoutCommandsNothingIsSentAndRepetitionStops) {
    TDriver d((Dir.Dir() / "none").string());
    const TWorkbenchOutcome start = d.Apply(d.Bench.LoadStartFile(std::nullopt));
    EXPECT_EQ(start.StatusText, "Can't open file: tessal.ini");
    d.Apply(d.Bench.ComposeInitialFrame("ff"));
    d.Apply(d.Bench.AutoRepeatClicked(true));
    const TWorkbenchOutcome sent = d.Apply(d.Bench.SendButton());
    EXPECT_EQ(d.Status, kNoConfigText);
    EXPECT_EQ(sent.AutoRepeatChecked, false);
    EXPECT_TRUE(d.Line.empty());
    EXPECT_FALSE(d.Bench.GetRepeating());
    EXPECT_EQ(d.Timers.count(wtRepeat), 0u);
}

// Requests that get no answer, a repetition that waits for the answer, a device that goes away.
TEST_F(WorkbenchTest, AnswersAwaitedAndTheDeviceAway) {
    const TBytes answer = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};
    struct TCase {
        const char* Name;
        std::function<void(TDriver&)> Script;
        std::size_t Writes;
        std::vector<TRowKind> Rows;
        std::string Status;
    };
    const TCase cases[] = {
        {"silence until the time-out gives a No answer row",
         [](TDriver& d) {
             EXPECT_TRUE(d.Bench.SetAnswerTimeout(250));
             EXPECT_FALSE(d.Bench.SetAnswerTimeout(0));
             d.Apply(d.Bench.SendButton());
             EXPECT_EQ(d.Timers.at(wtAnswer).PeriodMs, 250);
             d.Apply(d.Bench.TimerFired(wtAnswer, d.Now));
         },
         1,
         {rkSent, rkNoAnswer},
         ""},
        {"a byte in time is an answer, however short",
         [](TDriver& d) {
             d.Apply(d.Bench.SendButton());
             d.Apply(d.Bench.Received(TBytes{0x01}, d.Now));
             d.Apply(d.Bench.TimerFired(wtAnswer, d.Now));
             d.Apply(d.Bench.SendButton());
         },
         2,
         {rkSent, rkTooShortTimeout, rkSent},
         ""},
        {"waiting for the answer, the period starts when it came",
         [&](TDriver& d) {
             d.Apply(d.Bench.SetWaitForAnswer(true));
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             EXPECT_EQ(d.Timers.count(wtRepeat), 0u);
             d.Tick(1); // no timer runs: nothing is sent
             d.Apply(d.Bench.Received(answer, d.Now));
             EXPECT_EQ(d.Timers.count(wtRepeat), 1u);
             d.Tick();
             EXPECT_EQ(d.Timers.count(wtRepeat), 0u);
             d.Apply(d.Bench.TimerFired(wtAnswer, d.Now)); // no answer: the period starts too
             d.Tick();
         },
         3,
         {rkSent, rkCrcOk, rkSent, rkNoAnswer, rkSent},
         ""},
        {"a device that went away stops the repetition; sends say so until it is back",
         [](TDriver& d) {
             d.Apply(d.Bench.AutoRepeatClicked(true));
             d.Apply(d.Bench.SendButton());
             d.Apply(d.Bench.DeviceLost("/dev/ttyUSB0 disconnected"));
             EXPECT_EQ(d.Timers.count(wtRepeat), 0u);
             d.Apply(d.Bench.SendButton());
             EXPECT_EQ(d.Timers.count(wtRepeat), 0u);
             EXPECT_FALSE(d.Bench.GetRepeating());
             d.Apply(d.Bench.DeviceBack("/dev/ttyUSB0 reconnected"));
             d.Apply(d.Bench.AutoRepeatClicked(false));
             d.Apply(d.Bench.SendButton());
             d.Apply(d.Bench.DeviceLost("/dev/ttyUSB0 disconnected"));
             d.Apply(d.Bench.SendButton());
         },
         2,
         {rkSent, rkSent},
         "/dev/ttyUSB0 disconnected"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TDriver d(Dir.Dir().string());
        d.Apply(d.Bench.LoadCommandFile((Dir.Dir() / "device.tsl").string()));
        d.Apply(d.Bench.ComposeInitialFrame("ff"));
        c.Script(d);
        EXPECT_EQ(d.Line.size(), c.Writes);
        std::vector<TRowKind> kinds;
        for (std::int32_t r = 1; r <= d.Bench.Rows().GetFrameCount(); ++r) {
            kinds.push_back(d.Bench.Rows().Kind(r));
        }
        EXPECT_EQ(kinds, c.Rows);
        EXPECT_EQ(d.Status, c.Status);
    }
}
