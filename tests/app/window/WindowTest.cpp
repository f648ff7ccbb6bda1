#include "WindowTestKit.h"

#include "app/SettingsFile.h"
#include "controls/CPortCtl.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

TEST_F(TWindowTest, StartsWithTheLastFileLoadedAndThePortOpen) {
    Start();
    EXPECT_EQ(Form->windowTitle().toStdString(), CommandFile);
    EXPECT_EQ(Form->StatusText(), kConfigLoadedText);
    EXPECT_TRUE(Form->Port().GetConnected());
    EXPECT_TRUE(Find<QPushButton>("SendFrameBitBtn")->isEnabled());
    EXPECT_EQ(Find<QPushButton>("SendFrameBitBtn")->text(), "Send frame");
    EXPECT_EQ(Find<QLineEdit>("CMDLengthEdit")->text(), "05");
    EXPECT_EQ(Find<QLineEdit>("CMDCRC_H_Edit")->text(), "30");
    EXPECT_EQ(Find<QLineEdit>("CMDCRC_L_Edit")->text(), "96");
    EXPECT_EQ(Find<QComboBox>("CMDComboBox")->currentText(), "0x00  PING");
    EXPECT_TRUE(Find<QCheckBox>("ShowTXCheckBox")->isChecked());
    EXPECT_GE(Form->minimumWidth(), 800);
    EXPECT_GE(Form->minimumHeight(), 400);
    for (int col = 0; col < kGridColumns; ++col) {
        EXPECT_EQ(Form->Grid()->model()->headerData(col, Qt::Horizontal).toString(),
                  kGridHeaders[col]);
    }
    EXPECT_EQ(Form->Grid()->model()->rowCount(), 1);

    // Every control a person works with has a name a screen reader can read, and takes focus.
    for (QWidget* w : Form->findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
            qobject_cast<QComboBox*>(w)) {
            if (w->objectName().startsWith("qt_") ||
                qobject_cast<QAbstractItemView*>(w->parent())) {
                continue; // the toolkit's own parts (the menu bar's overflow, the grid's corner)
            }
            EXPECT_FALSE(w->accessibleName().isEmpty())
                << w->metaObject()->className() << " " << w->objectName().toStdString();
            EXPECT_NE(w->focusPolicy(), Qt::NoFocus)
                << w->metaObject()->className() << " " << w->objectName().toStdString();
        }
    }
    const auto shortcuts = [this](const char* text) {
        for (QAction* a : Form->findChildren<QAction*>()) {
            if (a->text() == text) {
                return a->shortcut().toString().toStdString();
            }
        }
        return std::string("missing");
    };
    EXPECT_EQ(shortcuts("Open ..."), "Ctrl+O");
    EXPECT_EQ(shortcuts("About"), "F1");
    EXPECT_EQ(shortcuts("Exit"), "");
}

TEST_F(TWindowTest, WithoutSettingsFileTheStatusSaysSoAndTheEditorStaysDisabled) {
    std::filesystem::remove("tessal.ini");
    Start();
    EXPECT_EQ(Form->StatusText(), kSettingsOpenFailedText);
    EXPECT_EQ(Form->windowTitle(), "Tessal");
    EXPECT_FALSE(Find<QLineEdit>("CMDParametersEdit")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("SendFrameBitBtn")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("CMDCRC_H_Edit")->text(), "30");
}

TEST_F(TWindowTest, PortThatCannotOpenWarnsAndDisablesSending) {
    Modem->Unplug(0);
    QString shown;
    // The warning is modal inside the constructor: read it and close it from the event loop.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start(10);
    Start();
    closer.stop();
    EXPECT_TRUE(shown.endsWith("\n\nCan't open UART.")) << shown.toStdString();
    EXPECT_GT(shown.size(), QString("\n\nCan't open UART.").size());
    EXPECT_FALSE(Find<QPushButton>("SendFrameBitBtn")->isEnabled());
    EXPECT_FALSE(Form->Port().GetConnected());
}

TEST_F(TWindowTest, AnswersBecomeRowsAndTheRxLampFollows) {
    Start();
    auto* rxLed = Find<TComLed>("RxComLed");
    rxLed->OnChange = [&](TObject*, TLedState s) { LampStates.push_back(s); };

    struct TCase {
        TBytes Answer;
        std::vector<std::string> Row;
        QString Status;
    };
    const std::vector<TCase> cases = {
        {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB1},
         {"0", "01", "06", "00", "", "0x05   ACK", "94 B1", "CRC OK"},
         ""},
        {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB2},
         {"1", "01", "06", "00", "", "0x05   ACK", "94 B2", "CRC FAIL"},
         ""},
        {{0x01, 0x10, 0x00}, {"2", "01", "10", "00", "", "?", "?", "Timeout"}, ""},
        {{0x07},
         {"3", "07", "?", "?", "?", "?", "?", "Too short/timeout"},
         "Warning: incorrect frame length (too short: 0 bytes, min = 6)"},
    };
    for (const TCase& c : cases) {
        // Each answer is a reception of its own: an unfinished frame behind a complete one of
        // the same reception would be dropped.
        WAIT_EQ(Form->Receiver().GetRxFill(), 0);
        const std::int32_t before = Form->FrameRows().GetFrameCount();
        PeerWrite(c.Answer);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Form->FrameRows().GetFrameCount() > before; }));
        EXPECT_EQ(Row(before + 1), c.Row);
        // The view shows the row and makes it current.
        WAIT_EQ(Form->Grid()->currentIndex().row(), before);
        EXPECT_EQ(Form->Grid()->model()->rowCount(), before + 1);
        EXPECT_EQ(Form->Grid()->model()->index(before, 7).data().toString().toStdString(),
                  c.Row[7]);
        EXPECT_EQ(Form->StatusText(), c.Status);
    }
    ASSERT_GE(LampStates.size(), 2u);
    EXPECT_EQ(LampStates.front(), lsOn);
    WAIT_EQ(rxLed->GetState(), lsOff);

    // A length byte that is too long warns while the frame is incomplete.
    PeerWrite({0x01, 0x41, 0x00});
    WAIT_EQ(Form->StatusText(), "Warning: incorrect frame length (too long: 65 bytes, max = 64)");
}

TEST_F(TWindowTest, DeleteAllEmptiesTheGridAndNumberingStartsAgain) {
    Start();
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1, 0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    WAIT_EQ(Form->Grid()->model()->rowCount(), 2);
    // The grid only: what the receive side holds stays.
    const std::int32_t fill = Form->GetRxFill();
    const std::int32_t start = Form->GetRxFrameStart();
    Form->Grid()->DeleteAllAction()->trigger();
    EXPECT_EQ(Form->GetFrameCount(), 0);
    EXPECT_EQ(Form->GetRxFill(), fill);
    EXPECT_EQ(Form->GetRxFrameStart(), start);
    WAIT_EQ(Form->Grid()->model()->rowCount(), 1);
    EXPECT_EQ(Form->Grid()->model()->index(0, 0).data().toString(), "");
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    WAIT_EQ(Form->FrameRows().GetFrameCount(), 1);
    EXPECT_EQ(Row(1)[0], "0");
}

TEST_F(TWindowTest, OnlyParametersCellsOfFrameRowsOpenAnEditor) {
    Start();
    PeerWrite({0x03, 0x08, 0x01, 0x41, 0x42, 0x05, 0x00, 0x00});
    WAIT_EQ(Form->Grid()->model()->rowCount(), 1);
    WAIT_EQ(Form->FrameRows().GetFrameCount(), 1);
    TRxFrameGrid* grid = Form->Grid();
    struct TCase {
        int Col;
        bool Editing;
    };
    for (const TCase c : {TCase{kColStatus, false}, TCase{kColParameters, true},
                          TCase{kColAddr, false}, TCase{kColNr, false}}) {
        const QRect cell = grid->visualRect(grid->model()->index(0, c.Col));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_EQ(grid->Editing(), c.Editing) << c.Col;
    }
    // What is typed there changes the cell text only.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, kColParameters)).center());
    // The open editor has the focus; closed ones may still await deletion beside it.
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "note");
    // Moving to another cell takes the text.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, kColStatus)).center());
    WAIT_EQ(QString::fromLatin1(Form->FrameRows().Cell(kColParameters, 1).data(),
                                Form->FrameRows().Cell(kColParameters, 1).size()),
            "note");
    EXPECT_EQ(Form->FrameRows().Cell(kColStatus, 1), "CRC FAIL");
}

TEST_F(TWindowTest, PaintingRulesColourSentRowsCrcVerdictsAndStatus) {
    Start();
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    WAIT_EQ(Form->FrameRows().GetFrameCount(), 2);
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB2});
    WAIT_EQ(Form->FrameRows().GetFrameCount(), 3);
    WAIT_EQ(Form->Receiver().GetRxFill(), 0);
    PeerWrite({0x01, 0x10, 0x00});
    WAIT_EQ(Form->FrameRows().GetFrameCount(), 4);
    const TRxFramesDelegate delegate(Form->Grid()->Model());
    const QColor none;
    struct TCase {
        int Col, Row;
        QColor Background, Text;
    };
    const std::vector<TCase> cases = {
        {kColAddr, 1, QColor(238, 238, 238), none},
        {kColCrc, 1, QColor(238, 238, 238), none},
        {kColNr, 1, none, none},
        {kColStatus, 1, QColor(221, 221, 221), QColor(0, 0, 255)},
        {kColCrc, 2, none, QColor(0, 128, 0)},
        {kColCrc, 3, none, QColor(255, 0, 0)},
        {kColCrc, 4, none, QColor(Qt::black)},
        {kColStatus, 4, QColor(221, 221, 221), QColor(0, 0, 255)},
        {kColParameters, 2, none, none},
        {kColCrc, 0, none, none},
    };
    for (const TCase& c : cases) {
        const auto colours = delegate.RuleColours(c.Col, c.Row);
        EXPECT_EQ(colours.Background, c.Background) << c.Col << "," << c.Row;
        EXPECT_EQ(colours.Text, c.Text) << c.Col << "," << c.Row;
    }
}

TEST_F(TWindowTest, ParametersColumnFollowsTheWindowWidth) {
    Start();
    TRxFrameGrid* grid = Form->Grid();
    for (int width : {Form->minimumWidth(), 1000, 1300, Form->minimumWidth()}) {
        Form->resize(width, Form->height());
        WAIT_TRUE(
            grid->columnWidth(kColParameters) ==
            std::max(20, grid->width() - 30 -
                             (grid->columnWidth(0) + grid->columnWidth(1) + grid->columnWidth(2) +
                              grid->columnWidth(3) + grid->columnWidth(5) + grid->columnWidth(6) +
                              grid->columnWidth(7))));
    }
    // Other columns dragged wide: the rule's floor.
    grid->setColumnWidth(kColOpCode, 2000);
    Form->resize(Form->minimumWidth() + 10, Form->height());
    WAIT_EQ(grid->columnWidth(kColParameters), 20);
}
