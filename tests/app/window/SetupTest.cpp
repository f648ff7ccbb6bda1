#include "WindowTestKit.h"

#include <QAction>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::filesystem::path& dir) {
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().extension() != ".tsl") {
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            all += text.str();
        }
    }
    return all;
}

} // namespace

// "Setup" -> "COM" with a dialog that picks the port given (the controls layer installs the real
// dialog through the same hook).
class TSetupTest : public TWindowTest {
protected:
    void TearDown() override {
        TCustomComPort::SetSetupDialogHook(nullptr);
        TWindowTest::TearDown();
    }
    void ChoosePortInDialog(const std::string& name) {
        TCustomComPort::SetSetupDialogHook([this, name](TCustomComPort* port) {
            ++DialogsShown;
            WasOpenDuringDialog = port->GetConnected();
            port->SetPort(name);
        });
    }
    int DialogsShown = 0;
    bool WasOpenDuringDialog = true;
};

TEST_F(TSetupTest, APortThatFailedAtStartUpOpensAfterSetupAndTheSettingsAreStored) {
    Modem->Unplug(0);
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->accept();
        }
    });
    closer.start(10);
    Start();
    closer.stop();
    ASSERT_FALSE(Form->Port().GetConnected());
    ASSERT_FALSE(Find<QPushButton>("SendFrameBitBtn")->isEnabled());
    Modem->Replug(0);
    ChoosePortInDialog(NameA);
    MenuItem(Form.get(), "COM")->trigger();
    EXPECT_EQ(DialogsShown, 1);
    EXPECT_FALSE(WasOpenDuringDialog);
    EXPECT_TRUE(Form->Port().GetConnected());
    EXPECT_TRUE(Find<QPushButton>("SendFrameBitBtn")->isEnabled());
    EXPECT_NE(ReadAll(Dir).find(NameA), std::string::npos);
}

TEST_F(TSetupTest, SetupStopsARunningRepetitionForGood) {
    Start();
    Form->SetRepeatPeriod(20);
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    ASSERT_TRUE(Form->Repeating());
    ChoosePortInDialog(NameA);
    MenuItem(Form.get(), "COM")->trigger();
    EXPECT_FALSE(Form->Repeating());
    EXPECT_EQ(Form->GetRepeatTimerId(), 0u);
    EXPECT_FALSE(Find<QCheckBox>("AutoRepeatCheckBox")->isChecked());
    EXPECT_EQ(Find<QPushButton>("SendFrameBitBtn")->text(), "Send frame");
    EXPECT_TRUE(Form->Port().GetConnected());
}

TEST_F(TSetupTest, WithoutADialogThePortIsOpenedAgainAsItWas) {
    Start();
    TCustomComPort::SetSetupDialogHook(nullptr);
    MenuItem(Form.get(), "COM")->trigger();
    EXPECT_TRUE(Form->Port().GetConnected());
    EXPECT_EQ(Form->Port().GetPort(), NameA);
}
