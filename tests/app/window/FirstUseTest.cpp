// A new user's window: help without a command file, sizes, columns, dialogs, the keyboard, and
// names read through Qt's accessibility interface. TESSAL_SCREENSHOT_DIR=dir saves two pictures.
#include "WindowTestKit.h"

#include "app/core/ExampleFiles.h"
#include "app/core/SettingsFile.h"
#include "app/window/About.h"
#include "app/window/Repeat_period.h"

#include <QAccessible>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <tuple>

namespace {

QString Name(QObject* object) {
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
}

void SaveScreenshot(QWidget* window, const char* name) {
    if (const char* dir = std::getenv("TESSAL_SCREENSHOT_DIR")) {
        EXPECT_TRUE(window->grab().save(QString(dir) + "/" + name)) << name;
    }
}

// Each control a screen reader names at least its minimum size; a dialog's also inside it.
void ExpectUsable(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QSize need = w->minimumSizeHint().boundedTo(w->maximumSize());
        const QRect at(w->mapTo(window, QPoint()), w->size());
        EXPECT_TRUE(!w->isVisibleTo(window) || w->isWindow() || w->accessibleName().isEmpty() ||
                    (w->width() >= need.width() && w->height() >= need.height() &&
                     (!qobject_cast<QDialog*>(window) || window->rect().contains(at))))
            << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
}

} // namespace

TEST_F(TWindowTest, ANewUserIsToldWhatToLoadAndEveryControlStaysUsable) {
    std::filesystem::remove("tessal.ini");
    Start();
    auto* help = Find<QLabel>("FirstStartLabel");
    EXPECT_EQ(Name(help), "Open a command-definition file: File \u2192 Open (Ctrl+O)");
    SaveScreenshot(Form.get(), "screenshot-first-start.png");
    for (const bool loaded : {false, true}) {
        EXPECT_EQ(help->isVisible(), !loaded);
        EXPECT_EQ(Find<QLabel>("opisRozkazuLabel")->isVisible(), loaded);
        EXPECT_EQ(Find<QLabel>("opisParametrowLabel")->isVisible(), loaded);
        OpenFromMenu(CommandFile);
    }
    EXPECT_EQ(Name(Form.get()).toStdString(), CommandFile);
    EXPECT_GE(Form->Grid()->viewport()->height() / Form->Grid()->rowHeight(0), kStartGridRows);
    const QSize minimum = Form->minimumSize();
    // No window manager here: nothing but the window itself keeps it from getting smaller.
    Form->setMinimumSize(0, 0);
    for (const QSize size : {minimum, QSize(500, 300)}) {
        Form->resize(size);
        WAIT_EQ(Find<QScrollArea>("ContentScroller")->verticalScrollBar()->isVisible(),
                size != minimum);
        ExpectUsable(Form.get());
        if (size == minimum) {
            SaveScreenshot(Form.get(), "screenshot-minimum-size.png");
        }
    }
    // The dialogs: the example file named, the echo named by its value, sized by their texts.
    TAboutForm about;
    EXPECT_TRUE(about.ExampleFileLabel->text().endsWith(
        QString::fromStdString(ExampleCommandFile(ExecutableDir()))));
    TSendDelayForm period;
    for (const char* text : {"abc", "250"}) {
        period.TimeEdit->setText(text);
        EXPECT_EQ(Name(period.NewValueLabel), period.NewValueLabel->text());
    }
    for (QDialog* dialog : std::initializer_list<QDialog*>{&about, &period}) {
        dialog->setFont(QFont(dialog->font().family(), 20));
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        ExpectUsable(dialog);
    }
}

TEST_F(TWindowTest, AnswerAndOperationCodeColumnsFitTheLongestTextOfTheFileAndTheRows) {
    Start();
    const std::string longFile = (Dir / "long.tsl").string();
    std::ofstream(longFile) << "#define READ_ALL_REGISTERS_OF_THE_PUMP 10\n"
                               "#operationcode\n#define ACKNOWLEDGED_AFTER_A_LONG_WAIT 05\n";
    const auto fits = [this](int col, const char* text) {
        return Form->Grid()->columnWidth(col) >=
               Form->Grid()->fontMetrics().horizontalAdvance(text);
    };
    const char* const answer = "0x10  READ_ALL_REGISTERS_OF_THE_PUMP";
    const char* const opCode = "0x05   ACKNOWLEDGED_AFTER_A_LONG_WAIT";
    OpenFromMenu(longFile);
    EXPECT_TRUE(fits(kColAnswer, answer));
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    WAIT_TRUE(View->Count(rkCrcOk) == 1);
    // A file of short names leaves the rows of the long ones readable until they are deleted.
    OpenFromMenu(CommandFile);
    EXPECT_TRUE(fits(kColAnswer, answer) && fits(kColOpCode, opCode));
    Form->Grid()->DeleteAllAction()->trigger();
    ASSERT_TRUE(View->WaitRows(0));
    EXPECT_TRUE(fits(kColAnswer, "0x10  READ") && !fits(kColAnswer, answer));
    EXPECT_FALSE(fits(kColOpCode, opCode));
}

TEST_F(TWindowTest, KeyboardTabMenusAndShortcutsAndTheNamesThatFollow) {
    Start();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    TRxFrameGrid* grid = Form->Grid();
    const auto focus = [] { return QApplication::focusWidget(); };
    // Tab passes by lamps and fields that are only read; the CRC is typed into by hand.
    for (const bool autoCrc : {true, false}) {
        Find<QCheckBox>("AutoCRCCheckBox")->setChecked(autoCrc);
        Find<QLineEdit>("CMDTAdrEdit")->setFocus();
        std::vector<QWidget*> chain{focus()};
        do {
            QTest::keyClick(chain.back(), Qt::Key_Tab);
            chain.push_back(focus());
        } while (chain.back() != chain.front() && chain.size() < 40);
        const auto times = [&](const char* name) {
            return std::count(chain.begin(), chain.end(), Find<QWidget>(name));
        };
        EXPECT_EQ(times("RXFrameStringGrid") + times("ComLed1") + times("CMDLengthEdit"), 1);
        EXPECT_EQ(times("CMDCRC_H_Edit") + times("CMDCRC_L_Edit"), autoCrc ? 0 : 2);
    }
    // From a cell's editor too.
    PeerWrite({0x01, 0x06, 0x00, 0x05, 0x94, 0xB1});
    ASSERT_TRUE(View->WaitRows(1));
    const QRect cell = grid->visualRect(grid->model()->index(0, kColParameters));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_TRUE(grid->Editing());
    QTest::keyClick(focus(), Qt::Key_Tab);
    EXPECT_FALSE(grid->isAncestorOf(focus()) || focus() == grid);
    // The TX frame menu from its group's controls: Key_unknown is the event X11 makes of Menu.
    auto* menu = Find<QMenu>("TxFramePopupMenu");
    EXPECT_EQ(Name(menu), "TX frame");
    for (const auto& [control, key] :
         std::vector<std::pair<const char*, Qt::Key>>{{"CMDParametersEdit", Qt::Key_Menu},
                                                      {"CMDComboBox", Qt::Key_unknown},
                                                      {"AutoRepeatCheckBox", Qt::Key_F10},
                                                      {"HexCheckBox", Qt::Key_Menu}}) {
        QWidget* w = Find<QWidget>(control);
        QContextMenuEvent event(QContextMenuEvent::Keyboard, {}, w->mapToGlobal(QPoint()));
        if (key == Qt::Key_unknown) {
            QApplication::sendEvent(w, &event);
        } else {
            QTest::keyClick(w, key, key == Qt::Key_F10 ? Qt::ShiftModifier : Qt::NoModifier);
        }
        EXPECT_EQ(menu->isVisible(), std::string(control) != "HexCheckBox") << control;
        menu->hide();
    }
    QTest::keyClicks(Find<QLineEdit>("CMDParametersEdit"), "zz");
    EXPECT_EQ(Name(Find<QLabel>("StatusBar")), Form->StatusText());
    Find<QLineEdit>("CMDParametersEdit")->clear();
    EXPECT_EQ(Name(Find<QMenu>("FrameMenu")), "Frame");
    auto* button = Find<QPushButton>("SendFrameBitBtn");
    const TTxList& list = Form->Bench().TxList();
    const std::vector<std::tuple<QKeyCombination, std::function<bool()>>> shortcuts = {
        {Qt::CTRL | Qt::Key_L, [&] { return list.Count() == 1; }},
        {Qt::CTRL | Qt::Key_R, [&] { return Form->Repeating(); }},
        {QKeyCombination(Qt::Key_Escape), [&] { return !Form->Repeating(); }},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_L, [&] { return list.Count() == 0; }},
        {Qt::CTRL | Qt::Key_Q, [&] { return !Form->isVisible(); }},
    };
    for (const auto& [keys, done] : shortcuts) {
        QTest::keyClick(Find<QLineEdit>("CMDTAdrEdit"), keys.key(), keys.keyboardModifiers());
        EXPECT_TRUE(done()) << QKeySequence(keys).toString().toStdString();
        EXPECT_EQ(Name(button), button->text());
    }
}
