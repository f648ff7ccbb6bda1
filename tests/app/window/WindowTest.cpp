#include "WindowTestKit.h"

#include "app/core/SettingsFile.h"
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

#include <optional>
#include <set>

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
    // One blank row, which is no frame row.
    EXPECT_EQ(Form->Grid()->model()->rowCount(), 1);
    EXPECT_EQ(View->Frames(), 0);
    EXPECT_EQ(View->Row(0), std::vector<std::string>(kColStatus + 1));

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
    EXPECT_EQ(shortcuts("Exit"), "Ctrl+Q");
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
        TRowKind Kind;
        QString Status;
    };
    const std::vector<TCase> cases = {
        {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB1},
         {"0", "01", "06", "00", "", "0x05   ACK", "94 B1", "CRC OK"},
         rkCrcOk,
         ""},
        {{0x01, 0x06, 0x00, 0x05, 0x94, 0xB2},
         {"1", "01", "06", "00", "", "0x05   ACK", "94 B2", "CRC FAIL"},
         rkCrcFail,
         ""},
        {{0x01, 0x10, 0x00}, {"2", "01", "10", "00", "", "?", "?", "Timeout"}, rkTimeout, ""},
        {{0x07},
         {"3", "07", "?", "?", "?", "?", "?", "Too short/timeout"},
         rkTooShortTimeout,
         "Warning: incorrect frame length (too short: 0 bytes, min = 6)"},
    };
    std::set<QString> descriptions;
    for (const TCase& c : cases) {
        const int row = static_cast<int>(&c - cases.data());
        // Each answer is a reception of its own: an unfinished frame behind a complete one of
        // the same reception would be dropped.
        WAIT_EQ(Form->Bench().Receiver().GetRxFill(), 0);
        PeerWrite(c.Answer);
        ASSERT_TRUE(View->WaitRows(row + 1));
        EXPECT_EQ(View->Row(row), c.Row);
        EXPECT_EQ(View->Cell(row, kColAddr, TRxFramesModel::KindRole).toInt(), c.Kind);
        descriptions.insert(View->Cell(row, kColStatus, Qt::AccessibleDescriptionRole).toString());
        // The newest row is current.
        EXPECT_EQ(Form->Grid()->currentIndex().row(), row);
        EXPECT_EQ(Form->StatusText(), c.Status);
    }
    // A screen reader tells each verdict apart.
    EXPECT_EQ(descriptions.size(), cases.size());
    EXPECT_FALSE(descriptions.contains(""));
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
    ASSERT_TRUE(View->WaitRows(2));
    // The grid only: what the receive side holds stays.
    const TRxAssembly& rx = Form->Bench().Receiver();
    const std::int32_t fill = rx.GetRxFill();
    const std::int32_t start = rx.GetRxFrameStart();
    Form->Grid()->DeleteAllAction()->trigger();
    EXPECT_EQ(rx.GetRxFill(), fill);
    EXPECT_EQ(rx.GetRxFrameStart(), start);
    ASSERT_TRUE(View->WaitRows(0));
    EXPECT_EQ(View->Row(0), std::vector<std::string>(kColStatus + 1));
    WAIT_EQ(rx.GetRxFill(), 0);
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    ASSERT_TRUE(View->WaitRows(1));
    EXPECT_EQ(View->Text(0, kColNr), "0");
    EXPECT_EQ(View->Text(0, kColStatus), "CRC OK");
}

TEST_F(TWindowTest, OnlyParametersCellsOfFrameRowsOpenAnEditor) {
    Start();
    TRxFrameGrid* grid = Form->Grid();
    const auto click = [grid](int row, int col) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(row, col)).center());
    };
    // The blank row of an empty grid is no frame row.
    click(0, kColParameters);
    EXPECT_FALSE(grid->Editing());
    PeerWrite({0x03, 0x08, 0x01, 0x41, 0x42, 0x05, 0x00, 0x00});
    ASSERT_TRUE(View->WaitRows(1));
    struct TCase {
        int Col;
        bool Editing;
    };
    for (const TCase c : {TCase{kColStatus, false}, TCase{kColParameters, true},
                          TCase{kColAddr, false}, TCase{kColNr, false}}) {
        click(0, c.Col);
        EXPECT_EQ(grid->Editing(), c.Editing) << c.Col;
    }
    // What is typed there changes the cell text only.
    click(0, kColParameters);
    // The open editor has the focus; closed ones may still await deletion beside it.
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "note");
    // Moving to another cell takes the text.
    click(0, kColStatus);
    EXPECT_EQ(View->Text(0, kColParameters), "note");
    EXPECT_EQ(View->Text(0, kColStatus), "CRC FAIL");

    // A new row becomes current in the current column without opening an editor there.
    click(0, kColParameters);
    ASSERT_TRUE(grid->Editing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ASSERT_FALSE(grid->Editing());
    WAIT_EQ(Form->Bench().Receiver().GetRxFill(), 0);
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    ASSERT_TRUE(View->WaitRows(2));
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(1, kColParameters));
    EXPECT_FALSE(grid->Editing());
    EXPECT_EQ(View->Text(0, kColParameters), "note");

    // Emptied, the grid's blank row is again no frame row.
    grid->DeleteAllAction()->trigger();
    ASSERT_TRUE(View->WaitRows(0));
    click(0, kColParameters);
    EXPECT_FALSE(grid->Editing());
}

TEST_F(TWindowTest, PaintingRulesColourSentRowsCrcVerdictsAndStatus) {
    Start();
    for (const TBytes& answer :
         {TBytes{0x01, 0x06, 0x00, 0x05, 0x94, 0xB1}, TBytes{0x01, 0x06, 0x00, 0x05, 0x94, 0xB2},
          TBytes{0x01, 0x10, 0x00}}) {
        WAIT_EQ(Form->Bench().Receiver().GetRxFill(), 0);
        const int rows = View->TellCount();
        PeerWrite(answer);
        ASSERT_TRUE(View->WaitRows(rows + 1));
    }
    // A request the far end leaves unanswered: its row, then its "No answer".
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    ASSERT_TRUE(View->WaitRows(5));
    const QPalette palette = Form->Grid()->palette();
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const QColor sent(238, 238, 238);
    const QColor statusBackground(221, 221, 221);
    const QColor statusText(0, 0, 255);
    struct TCase {
        int Row, Col;
        QColor Background;
        std::optional<QColor> Ink; // none: the cell is blank
    };
    const std::vector<TCase> cases = {
        {0, kColCrc, base, QColor(0, 128, 0)},
        {1, kColCrc, base, QColor(255, 0, 0)},
        {2, kColCrc, base, text},
        {2, kColStatus, statusBackground, statusText},
        {0, kColAddr, base, text},
        {0, kColParameters, base, std::nullopt},
        {3, kColAddr, sent, text},
        {3, kColCrc, sent, text},
        {3, kColNr, palette.color(QPalette::Button), palette.color(QPalette::ButtonText)},
        {3, kColStatus, statusBackground, statusText},
        {4, kColStatus, statusBackground, QColor(255, 0, 0)},
    };
    const QImage shot = View->Shot();
    // Antialiased glyphs reach their colour only in their strokes' middles.
    constexpr int kInkTolerance = 60;
    for (const TCase& c : cases) {
        const TGridView::TPaint paint = View->Painted(shot, c.Row, c.Col);
        EXPECT_EQ(paint.Background, c.Background) << c.Row << "," << c.Col;
        const QColor ink = c.Ink.value_or(c.Background);
        EXPECT_LE(TGridView::Distance(paint.Ink.rgb(), ink.rgb()), c.Ink ? kInkTolerance : 0)
            << c.Row << "," << c.Col << ": ink " << paint.Ink.name().toStdString() << ", expected "
            << ink.name().toStdString();
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
