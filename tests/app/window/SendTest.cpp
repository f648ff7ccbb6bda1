#include "WindowTestKit.h"

#include "app/core/Crc16.h"
#include "app/core/FrameRendering.h"
#include "controls/CPortCtl.h"
#include "platform/serial/SerialDriver.h"
#include "platform/sync/SyncEvent.h"
#include "tests/common/BoundedWait.h"
#include "tests/common/FrameBytes.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

const TBytes kStartFrame = {0xFF, 0x05, 0x00, 0x30, 0x96};
const TBytes kAckAnswer = {0x01, 0x06, 0x00, 0x05, 0x94, 0xB1};
const std::vector<std::string> kStartRow = {"0", "FF", "05", "0x00  PING", "", "-", "30 96", "TX"};

double MedianIntervalMs(const std::vector<TPeerReader::TFrame>& frames) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        gaps.push_back(
            std::chrono::duration<double, std::milli>(frames[i].At - frames[i - 1].At).count());
    }
    std::sort(gaps.begin(), gaps.end());
    return gaps.empty() ? 0 : gaps[gaps.size() / 2];
}

} // namespace

TEST_F(TWindowTest, SingleSendPutsTheStartFrameOnTheLineKeyedByRts) {
    Start();
    auto* txLed = Find<TComLed>("ComLed1");
    txLed->OnChange = [&](TObject*, TLedState s) { LampStates.push_back(s); };
    EXPECT_FALSE(PeerCts());
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    EXPECT_EQ(PeerRead(16), kStartFrame);
    // RTS went up for the write and comes down at transmit-empty.
    WAIT_TRUE(!PeerCts());
    EXPECT_TRUE(Modem->Rts(0) == false);
    // The lamp keeps lit a moment after the line went quiet, so a person sees it.
    WAIT_TRUE(LampStates.size() >= 2u);
    ASSERT_GE(LampStates.size(), 2u);
    EXPECT_EQ(LampStates.front(), lsOn);
    EXPECT_EQ(LampStates.back(), lsOff);
    EXPECT_EQ(Find<QPushButton>("SendFrameBitBtn")->text(), "Send frame");
    // Its "No answer" may follow.
    ASSERT_TRUE(View->WaitRows(1, true));
    EXPECT_EQ(View->Row(0), kStartRow);
    EXPECT_EQ(View->Cell(0, kColNr, TRxFramesModel::KindRole).toInt(), rkSent);
}

TEST_F(TWindowTest, AFileOpenedFromTheMenuGivesTheFrameItsSelectedCommand) {
    Start();
    const std::string other = (Dir / "other.tsl").string();
    std::ofstream(other) << "#define READ 10 // addr cnt\n#define PING 00\n";
    OpenFromMenu(other);
    ASSERT_EQ(Form->windowTitle().toStdString(), other);
    EXPECT_EQ(Find<QComboBox>("CMDComboBox")->currentText(), "0x10  READ");
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    EXPECT_EQ(PeerRead(16), WithCrc({0xFF, 0x05, 0x10}));
    ASSERT_TRUE(View->WaitRows(1, true));
    EXPECT_EQ(View->Text(0, kColAnswer), "0x10  READ");
}

TEST_F(TWindowTest, RtsIsRaisedForEachWrite) {
    Start();
    // RTS is crossed to the far end's CTS, which starts and ends each send off: a CTS change
    // event on the far end proves RTS was raised for the write. The driver remembers the event,
    // so it is caught however briefly the line was up.
    OVERLAPPED ov{};
    ov.Event = CreateSyncEvent(true, false);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SetDeviceEventMask(Peer, EV_CTS)); // forgets earlier changes
        QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
        EXPECT_EQ(PeerRead(5), kStartFrame);
        WAIT_TRUE(!Modem->Rts(0));
        std::uint32_t events = 0;
        std::uint32_t n = 0;
        if (!WaitForDeviceEvent(Peer, &events, &ov)) {
            ASSERT_EQ(LastPlatformError(), IO_PENDING);
            if (WaitForSyncEvent(ov.Event, 5000) != 0) {
                ASSERT_TRUE(SetDeviceEventMask(Peer, EV_CTS)); // ends the wait empty
            }
            ASSERT_TRUE(OverlappedResultWithin(Peer, &ov, &n));
        }
        EXPECT_NE(events & EV_CTS, 0u) << "send " << i;
    }
    EXPECT_FALSE(PeerCts());
}

TEST_F(TWindowTest, EnterSendsFromTheParametersFieldOnlyWhileSendingIsPossible) {
    Start();
    auto* params = Find<QLineEdit>("CMDParametersEdit");
    auto* combo = Find<QComboBox>("CMDComboBox");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentText(), "0x10  READ");
    EXPECT_EQ(Find<QLabel>("opisRozkazuLabel")->text(), "Reads registers");
    QTest::keyClicks(params, "00 05");
    EXPECT_EQ(Find<QLineEdit>("CMDLengthEdit")->text(), "07");
    QTest::keyClick(params, Qt::Key_Return);
    EXPECT_EQ(PeerRead(16), WithCrc({0xFF, 0x07, 0x10, 0x00, 0x05}));
    QTest::keyClick(combo, Qt::Key_Enter);
    EXPECT_EQ(PeerRead(16), WithCrc({0xFF, 0x07, 0x10, 0x00, 0x05}));

    // A field that does not parse disables the button; Enter sends nothing then.
    QTest::keyClicks(params, "0102");
    EXPECT_EQ(Form->StatusText(), "Error: Too long HEX value");
    EXPECT_FALSE(Find<QPushButton>("SendFrameBitBtn")->isEnabled());
    QTest::keyClick(params, Qt::Key_Return);
    EXPECT_EQ(PeerRead(16), TBytes{});
    EXPECT_EQ(Find<QLineEdit>("CMDLengthEdit")->text(), "07");
}

TEST_F(TWindowTest, AutoRepeatSendsAtThePeriodAndTheSecondPressStops) {
    Start();
    Form->SetRepeatPeriod(50);
    Reader = std::make_unique<TPeerReader>(Peer);
    auto* button = Find<QPushButton>("SendFrameBitBtn");
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(button->text(), "Autorepeat mode");
    EXPECT_TRUE(button->isDefault());
    EXPECT_TRUE(Form->Repeating());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reader->Count() >= 41; }, 10000));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(button->text(), "Send frame");
    EXPECT_FALSE(button->isDefault());
    EXPECT_EQ(Form->GetRepeatTimerId(), 0u);
    const auto frames = Reader->Frames();
    for (const auto& f : frames) {
        ASSERT_EQ(f.Bytes, kStartFrame);
    }
    const double median =
        MedianIntervalMs(std::vector<TPeerReader::TFrame>(frames.begin(), frames.begin() + 41));
    EXPECT_NEAR(median, 50.0, 10.0);
    // Stopped: no further frame from ticks queued before the stop (served here at once; the
    // timer is gone). Every frame sent has its TX row.
    ASSERT_TRUE(View->CatchUp(Form->Bench()));
    const int sent = View->Count(rkSent);
    CheckSynchronize(0);
    ASSERT_TRUE(View->CatchUp(Form->Bench()));
    EXPECT_EQ(View->Count(rkSent), sent);
    WAIT_EQ(Reader->Count(), static_cast<std::size_t>(sent));
}

TEST_F(TWindowTest, ATickOfAReplacedRepeatTimerSendsNothing) {
    Start();
    Form->SetRepeatPeriod(20);
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    {
        // Ticks are held in the GUI queue until the period has changed; the new timer's first
        // tick is ten seconds away, so any send when they are served is an old timer's.
        THeldGuiQueue held;
        QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
        // The send raises a few port events; the rest are ticks.
        ASSERT_TRUE(held.WaitForQueued(10));
        Form->SetRepeatPeriod(10000);
        CheckSynchronize(0);
    }
    EXPECT_TRUE(Form->Repeating());
    EXPECT_EQ(PeerRead(64), kStartFrame);
    ASSERT_TRUE(View->CatchUp(Form->Bench()));
    EXPECT_EQ(View->Count(rkSent), 1);
}

TEST_F(TWindowTest, SendListSendsEachEntryInTurnAndNamesIt) {
    Start();
    // Room for the label poll between ticks, also under the race detector.
    Form->SetRepeatPeriod(100);
    auto* addr = Find<QLineEdit>("CMDTAdrEdit");
    auto* label = Find<QLabel>("opisRozkazuLabel");
    QAction* add = Action("Add to list");
    QAction* sendList = Action("Send list");
    ASSERT_TRUE(add && sendList);
    for (const char* a : {"01", "02", "03"}) {
        addr->setText(a);
        add->trigger();
    }
    ASSERT_EQ(Form->Bench().TxList().Count(), 3u);
    // The rows name the command of each frame's own code, not the one the box shows now.
    auto* combo = Find<QComboBox>("CMDComboBox");
    combo->setCurrentIndex(combo->findText("0x10  READ"));
    emit combo->activated(combo->currentIndex());
    std::vector<QString> labels;
    Reader = std::make_unique<TPeerReader>(Peer);
    QTimer labelWatch;
    QObject::connect(&labelWatch, &QTimer::timeout, [&] {
        if (labels.empty() || labels.back() != label->text()) {
            labels.push_back(label->text());
        }
    });
    labelWatch.start(1);
    sendList->trigger();
    EXPECT_TRUE(Find<QCheckBox>("AutoRepeatCheckBox")->isChecked());
    EXPECT_EQ(Find<QPushButton>("SendFrameBitBtn")->text(), "Autorepeat mode");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reader->Count() >= 5; }, 5000));
    sendList->trigger(); // stops
    EXPECT_FALSE(Form->Repeating());
    const auto frames = Reader->Frames();
    const std::uint8_t expected[] = {1, 2, 3, 1, 2};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(frames[i].Bytes, WithCrc({expected[i], 0x05, 0x00})) << i;
    }
    ASSERT_TRUE(View->CatchUp(Form->Bench()));
    const std::vector<int> sent = View->RowsOf(rkSent);
    ASSERT_GE(sent.size(), 5u);
    EXPECT_EQ(View->Text(sent[1], kColAddr), "02");
    EXPECT_EQ(View->Text(sent[1], kColAnswer), "0x00  PING");
    // The label named each entry as it went out; a poll may miss one, never see a wrong one.
    std::vector<QString> names;
    for (std::uint8_t i = 0; i < 3; ++i) {
        const TBytes entry = WithCrc({static_cast<std::uint8_t>(i + 1), 0x05, 0x00});
        names.push_back(QString("Frame # %1 / 3: ").arg(i) +
                        QString::fromStdString(RenderHex(entry.data(), entry.size())));
    }
    std::size_t named = 0;
    for (const QString& text : labels) {
        if (text.startsWith("Frame # ")) {
            ++named;
            EXPECT_NE(std::find(names.begin(), names.end(), text), names.end())
                << text.toStdString();
        }
    }
    EXPECT_GE(named, 3u);
    EXPECT_EQ(labels.back().left(8), "Frame # ");
}

TEST_F(TWindowTest, ListClearedAndRefilledWhileRepeatingStaysInsideTheList) {
    Start();
    Form->SetRepeatPeriod(20);
    QAction* add = Action("Add to list");
    QAction* clear = Action("Clear list");
    QAction* sendList = Action("Send list");
    ASSERT_TRUE(add && clear && sendList);
    auto* addr = Find<QLineEdit>("CMDTAdrEdit");
    for (const char* a : {"01", "02", "03"}) {
        addr->setText(a);
        add->trigger();
    }
    Reader = std::make_unique<TPeerReader>(Peer);
    sendList->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reader->Count() >= 2; }, 5000));
    clear->trigger();
    addr->setText("09");
    add->trigger();
    const TBytes refilled = WithCrc({0x09, 0x05, 0x00});
    const auto countRefilled = [&] {
        const auto frames = Reader->Frames();
        return std::count_if(frames.begin(), frames.end(),
                             [&](const auto& f) { return f.Bytes == refilled; });
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return countRefilled() >= 3; }, 5000));
    sendList->trigger();
    // From the first frame of the new list on, only its one entry goes out.
    const auto frames = Reader->Frames();
    auto first = std::find_if(frames.begin(), frames.end(),
                              [&](const auto& f) { return f.Bytes == refilled; });
    for (auto f = first; f != frames.end(); ++f) {
        EXPECT_EQ(f->Bytes, refilled);
    }
}

TEST_F(TWindowTest, AFieldThatFailsToParseIsNeverSentByTheRepeatTimer) {
    Start();
    Form->SetRepeatPeriod(20);
    auto* params = Find<QLineEdit>("CMDParametersEdit");
    params->setText("11");
    Reader = std::make_unique<TPeerReader>(Peer);
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reader->Count() >= 2; }, 5000));
    params->setText("11 0102");
    EXPECT_EQ(Form->StatusText(), "Error: Too long HEX value");
    // Every write is done by now (they run on this thread) and has its row; once the far end
    // has read them all, absence needs a window of time: ten periods while broken.
    ASSERT_TRUE(View->CatchUp(Form->Bench()));
    const int sent = View->Count(rkSent);
    const auto brokenAt = static_cast<std::size_t>(sent);
    WAIT_EQ(Reader->Count(), brokenAt);
    QTest::qWait(200);
    EXPECT_EQ(Reader->Count(), brokenAt);
    ASSERT_TRUE(View->CatchUp(Form->Bench()));
    EXPECT_EQ(View->Count(rkSent), sent);
    EXPECT_TRUE(Form->Repeating());
    params->setText("22");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reader->Count() >= brokenAt + 2; }, 5000));
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    const auto frames = Reader->Frames();
    for (const auto& f : frames) {
        EXPECT_TRUE(f.Bytes == WithCrc({0xFF, 0x06, 0x00, 0x11}) ||
                    f.Bytes == WithCrc({0xFF, 0x06, 0x00, 0x22}))
            << RenderHex(f.Bytes.data(), f.Bytes.size());
    }
    EXPECT_EQ(frames.back().Bytes, WithCrc({0xFF, 0x06, 0x00, 0x22}));
}

TEST_F(TWindowTest, AWriteThatFailsWhileRepeatingStopsWithTheErrorInTheStatusBar) {
    Start();
    Form->SetRepeatPeriod(20);
    Reader = std::make_unique<TPeerReader>(Peer);
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Reader->Count() >= 2; }, 5000));
    Modem->Unplug(0);
    WAIT_TRUE(!Form->Repeating());
    EXPECT_EQ(Find<QPushButton>("SendFrameBitBtn")->text(), "Send frame");
    EXPECT_EQ(Form->GetRepeatTimerId(), 0u);
    EXPECT_FALSE(Form->StatusText().isEmpty());
}

TEST_F(TWindowTest, DeleteAutomaticallyLeavesOnlyTheSentRowBeforeTheAnswer) {
    // Each request is still waiting for its answer when the next goes.
    StoreAnswerTimeout(5000);
    Start();
    PeerWrite(kAckAnswer);
    ASSERT_TRUE(View->WaitRows(1));
    Find<QCheckBox>("DelBeforeSendCheckBox")->setChecked(true);
    for (int send = 0; send < 2; ++send) {
        QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
        EXPECT_EQ(PeerRead(16), kStartFrame);
        ASSERT_TRUE(View->WaitRows(1));
        EXPECT_EQ(View->Row(0), kStartRow);
    }
    // The answer follows its request, numbered after it.
    PeerWrite(kAckAnswer);
    ASSERT_TRUE(View->WaitRows(2));
    EXPECT_EQ(View->Text(1, kColNr), "1");
    EXPECT_EQ(View->Text(1, kColStatus), "CRC OK");
}

TEST_F(TWindowTest, DeleteAutomaticallyWhileRepeatingClearsAtTheAnswerNotAtEachSend) {
    Start();
    Form->SetRepeatPeriod(50);
    Find<QCheckBox>("DelBeforeSendCheckBox")->setChecked(true);
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    // Each request ends the wait of the one before: "No answer" rows between the sent ones.
    WAIT_TRUE(View->Count(rkSent) >= 3);
    EXPECT_EQ(View->Text(0, kColStatus), "TX");
    EXPECT_EQ(View->Count(rkSent) + View->Count(rkNoAnswer), View->TellCount());
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    ASSERT_FALSE(Form->Repeating());
    // The answer to a repeated frame starts the grid afresh; half a second without data
    // empties it.
    PeerWrite(kAckAnswer);
    ASSERT_TRUE(View->WaitRows(1));
    EXPECT_EQ(View->Text(0, kColNr), "0");
    EXPECT_EQ(View->Text(0, kColStatus), "CRC OK");
    ASSERT_TRUE(View->WaitRows(0));
}

TEST_F(TWindowTest, EnterWhileRepeatingPressesTheDefaultButtonAndListModeOutlivesTheStop) {
    Start();
    auto* params = Find<QLineEdit>("CMDParametersEdit");
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    EXPECT_EQ(PeerRead(16), kStartFrame);
    ASSERT_TRUE(Form->Repeating());
    // Enter goes to the default button, which stops the repetition without a send.
    QTest::keyClick(params, Qt::Key_Return);
    EXPECT_FALSE(Form->Repeating());
    EXPECT_EQ(PeerRead(16), TBytes{});

    // A list stopped by "Send list" stays in list mode, which that click started again from the
    // first entry: Enter sends it.
    QAction* add = Action("Add to list");
    QAction* sendList = Action("Send list");
    ASSERT_TRUE(add && sendList);
    Find<QLineEdit>("CMDTAdrEdit")->setText("01");
    add->trigger();
    Find<QLineEdit>("CMDTAdrEdit")->setText("02");
    add->trigger();
    sendList->trigger();
    EXPECT_EQ(PeerRead(5), WithCrc({0x01, 0x05, 0x00}));
    sendList->trigger();
    ASSERT_FALSE(Form->Repeating());
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(false);
    QTest::keyClick(params, Qt::Key_Return);
    EXPECT_EQ(PeerRead(16), WithCrc({0x01, 0x05, 0x00}));
    EXPECT_TRUE(Find<QLabel>("opisRozkazuLabel")->text().startsWith("Frame # 0 / 2: 01 05 00 "));
    QTest::keyClick(params, Qt::Key_Return);
    EXPECT_EQ(PeerRead(16), WithCrc({0x02, 0x05, 0x00}));
}
