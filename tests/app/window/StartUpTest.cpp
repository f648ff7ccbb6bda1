#include "WindowTestKit.h"
#include "controls/CPortSetup.h"

#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <functional>
#include <sstream>

namespace {

std::string HiveText() {
    std::ifstream in(HiveFilePath(HKEY_CURRENT_USER));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool AnyWorkbenchVisible() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<TTessalForm*>(w) != nullptr && w->isVisible()) {
            return true;
        }
    }
    return false;
}

} // namespace

class TStartUpTest : public TWindowTest {
protected:
    void TearDown() override {
        TCustomComPort::SetSetupDialogHook(nullptr);
        TWindowTest::TearDown();
    }
    static void ForgetPortSettings() {
        std::error_code ignored;
        std::filesystem::remove(HiveFilePath(HKEY_CURRENT_USER), ignored);
    }
    void CountDialogs() {
        TCustomComPort::SetSetupDialogHook([this](TCustomComPort*) { ++DialogsShown; });
    }
    int DialogsShown = 0;
};

TEST_F(TStartUpTest, FirstStartAsksBeforeTheWindowAndStoresWhatTheDialogLeft) {
    struct {
        const char* Name;
        bool Confirm;
        TBaudRate Rate;
        const char* StoredRate;
    } const cases[] = {
        {"confirmed", true, br19200, "\"BaudRate\"=\"19200\""},
        {"cancelled", false, br9600, "\"BaudRate\"=\"9600\""},
    };
    InstallComSetupDialog();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ForgetPortSettings();
        int dialogs = 0;
        bool windowShownFirst = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            ++dialogs;
            windowShownFirst = AnyWorkbenchVisible();
            if (c.Confirm) {
                // As a person would: the item above it, then the down arrow.
                TComComboBox& rates = *dialog->Combo2;
                rates.SetItemIndex(rates.GetItems().IndexOf("19200") - 1);
                QTest::keyClick(&rates, Qt::Key_Down);
                dialog->Button1->click();
            } else {
                dialog->Button2->click();
            }
        });
        driver.start(10);
        Start();
        driver.stop();
        EXPECT_EQ(dialogs, 1);
        EXPECT_FALSE(windowShownFirst);
        EXPECT_TRUE(Form->Port().GetConnected());
        EXPECT_EQ(Form->Port().GetBaudRate(), c.Rate);
        const std::string hive = HiveText();
        EXPECT_NE(hive.find("[Software\\Tessal\\ComPort]"), std::string::npos) << hive;
        EXPECT_NE(hive.find(c.StoredRate), std::string::npos) << hive;
        EXPECT_NE(hive.find("\"Port\"=\"" + NameA + "\""), std::string::npos) << hive;
        Form.reset();
    }
}

TEST_F(TStartUpTest, AStartWithStoredSettingsOpensWithThemWithoutAsking) {
    struct {
        const char* Name;
        bool StoredPortIsOurs;
        bool PortOption;
    } const cases[] = {
        {"stored port", true, false},
        {"port option over another stored port", false, true},
    };
    CountDialogs();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        StorePortSettings(c.StoredPortIsOurs ? NameA : "vwinGone", br19200);
        TTessalOptions options;
        if (c.PortOption) {
            options.PortName = NameA;
        }
        Form = std::make_unique<TTessalForm>(options);
        EXPECT_EQ(DialogsShown, 0);
        EXPECT_TRUE(Form->Port().GetConnected());
        EXPECT_EQ(Form->Port().GetPort(), NameA);
        EXPECT_EQ(Form->Port().GetBaudRate(), br19200);
        Form.reset();
    }
}

// Stored settings that cannot be read end start-up instead of running the port with settings
// nobody chose.
TEST_F(TStartUpTest, UnreadableStoredSettingsEndStartUp) {
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"a number where the text of a rate belongs",
         [] {
             TRegistry reg(HKEY_CURRENT_USER);
             ASSERT_TRUE(reg.OpenKey("Software\\Tessal\\ComPort", true));
             reg.WriteInteger("BaudRate", 9600);
         }},
        {"a damaged hive",
         [] {
             std::ofstream(HiveFilePath(HKEY_CURRENT_USER), std::ios::trunc)
                 << "TESSAL-HIVE 1\n[]\n[Software\\Tes";
         }},
    };
    CountDialogs();
    TTessalOptions options;
    options.PortName = NameA;
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        ForgetPortSettings();
        StorePortSettings(NameA, br9600);
        damage();
        EXPECT_THROW(TTessalForm{options}, std::exception);
        EXPECT_EQ(DialogsShown, 0);
        EXPECT_FALSE(AnyWorkbenchVisible());
    }
}
