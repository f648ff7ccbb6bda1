#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ControlsTestKit.h"
#include "controls/CPortCtl.h"
#include "controls/CPortSetup.h"
#include "tests/common/TempDir.h"

namespace {

using TFormAction = std::function<void(TComSetupFrm&)>;

// Runs Act on the setup dialog once its modal loop runs. Should the dialog not be found, every
// modal window is rejected so that the test fails instead of hanging.
void WhenShown(TFormAction Act) {
    QTimer::singleShot(0, [Act = std::move(Act)] {
        auto* Form = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
        if (Form == nullptr) {
            ADD_FAILURE() << "no setup dialog is shown";
            if (auto* Other = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                Other->reject();
            return;
        }
        Act(*Form);
    });
}

void UserChooses(TComComboBox& Box, const std::string& Text) {
    const int Target = Box.GetItems().IndexOf(Text);
    ASSERT_GT(Target, 0) << Text;
    Box.SetItemIndex(Target - 1);
    QTest::keyClick(&Box, Qt::Key_Down);
    ASSERT_EQ(Box.GetText(), Text);
}

struct TShown {
    std::string Port, Baud, DataBits, StopBits, Parity, Flow;
    bool operator==(const TShown&) const = default;
};

TShown Read(TComSetupFrm& F) {
    return {F.Combo1->GetText(), F.Combo2->GetText(), F.Combo3->GetText(),
            F.Combo4->GetText(), F.Combo5->GetText(), F.Combo6->GetText()};
}

std::ostream& operator<<(std::ostream& Out, const TShown& S) {
    return Out << S.Port << "/" << S.Baud << "/" << S.DataBits << "/" << S.StopBits << "/"
               << S.Parity << "/" << S.Flow;
}

// Counts the device configurations, which an open port runs at EndUpdate.
class TCountingPort : public TComPort {
public:
    int Setups = 0;

protected:
    void SetupComPort() override {
        ++Setups;
        TComPort::SetupComPort();
    }
};

} // namespace

class ComSetupTest : public TVirtualPortTest {
public:
    void SetUp() override {
        TVirtualPortTest::SetUp();
        Port->SetBaudRate(br19200);
        Port->SetDataBits(dbSeven);
        Port->GetParity().SetBits(prEven);
        Port->GetFlowControl().SetFlowControl(fcNone);
    }
    TTempRegistry Temp;
};

TEST_F(ComSetupTest, ShowsThePortValuesAndWritesThemOnlyWhenConfirmed) {
    struct Case {
        const char* Name;
        TFormAction Close;
        bool Written;
    };
    const Case Cases[] = {
        {"Cancel", [](TComSetupFrm& F) { QTest::mouseClick(F.Button2, Qt::LeftButton); }, false},
        {"Escape", [](TComSetupFrm& F) { QTest::keyClick(F.Combo4, Qt::Key_Escape); }, false},
        {"OK", [](TComSetupFrm& F) { QTest::mouseClick(F.Button1, Qt::LeftButton); }, true},
        {"Enter in a list", [](TComSetupFrm& F) { QTest::keyClick(F.Combo3, Qt::Key_Return); },
         true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        Port->SetBaudRate(br19200);
        TShown Shown;
        WhenShown([&](TComSetupFrm& F) {
            Shown = Read(F);
            UserChooses(*F.Combo2, "115200");
            C.Close(F);
        });
        EditComPort(*Port);
        EXPECT_EQ(Shown, (TShown{NameA, "19200", "7", "1", "Even", "None"}));
        EXPECT_EQ(Port->GetBaudRate(), C.Written ? br115200 : br19200);
        EXPECT_EQ(Port->GetDataBits(), dbSeven);
        EXPECT_EQ(Port->GetParity().GetBits(), prEven);
        EXPECT_EQ(Port->GetPort(), NameA);
    }
}

TEST_F(ComSetupTest, OkWritesAllSixSettingsInOneUpdateOfTheOpenDevice) {
    TCountingPort Counted;
    Port.reset();
    Counted.SetPort(NameA);
    Counted.SetDataBits(dbSeven);
    Counted.GetFlowControl().SetFlowControl(fcNone);
    Counted.Open();
    Counted.Setups = 0;
    WhenShown([](TComSetupFrm& F) {
        UserChooses(*F.Combo2, "38400");
        QTest::mouseClick(F.Button1, Qt::LeftButton);
    });
    EditComPort(Counted);
    EXPECT_EQ(Counted.Setups, 1);
    EXPECT_TRUE(Counted.GetConnected());
    EXPECT_EQ(Modem->LineState(0).BaudRate, 38400u);
    EXPECT_EQ(Modem->LineState(0).ByteSize, 7);
    EXPECT_EQ(Counted.GetPort(), NameA);
    Counted.Close();
}

TEST_F(ComSetupTest, UnlistedPortIsShownMarkedAndOkKeepsIt) {
    Port->SetPort("not_a_device_here");
    std::string Shown;
    WhenShown([&](TComSetupFrm& F) {
        Shown = F.Combo1->GetText();
        QTest::keyClick(&F, Qt::Key_Return);
    });
    EditComPort(*Port);
    EXPECT_EQ(Shown, "not_a_device_here (not present)");
    EXPECT_EQ(Port->GetPort(), "not_a_device_here");
}

TEST_F(ComSetupTest, HandSetFlowControlShowsCustomAndKeepsItsFieldsAfterOk) {
    Port->GetFlowControl().SetOutCTSFlow(true);
    Port->GetFlowControl().SetControlDTR(dtrEnable);
    std::string Shown;
    WhenShown([&](TComSetupFrm& F) {
        Shown = F.Combo6->GetText();
        QTest::mouseClick(F.Button1, Qt::LeftButton);
    });
    EditComPort(*Port);
    EXPECT_EQ(Shown, "Custom");
    EXPECT_TRUE(Port->GetFlowControl().GetOutCTSFlow());
    EXPECT_EQ(Port->GetFlowControl().GetControlDTR(), dtrEnable);
}

TEST_F(ComSetupTest, FailedReopenPassesToTheCallerAndLeavesThePortConfigurable) {
    Port->Open();
    Modem->Unplug(1);
    WhenShown([&](TComSetupFrm& F) {
        UserChooses(*F.Combo1, NameB);
        QTest::mouseClick(F.Button1, Qt::LeftButton);
    });
    EXPECT_THROW(EditComPort(*Port), EComPort);
    EXPECT_FALSE(Port->GetConnected());

    // Balanced update: a setting written now reaches the device at once.
    Port->SetPort(NameA);
    Port->Open();
    Port->SetBaudRate(br57600);
    EXPECT_EQ(Modem->LineState(0).BaudRate, 57600u);
    Modem->Replug(1);
}

TEST_F(ComSetupTest, ShowSetupDialogOpensItThroughTheInstalledHook) {
    InstallComSetupDialog();
    std::string Baud;
    WhenShown([&](TComSetupFrm& F) {
        Baud = F.Combo2->GetText();
        F.Button2->click();
    });
    Port->ShowSetupDialog();
    EXPECT_EQ(Baud, "19200");
}

TEST_F(ComSetupTest, LayoutCaptionsAndKeyboardOrder) {
    TComSetupFrm F;
    EXPECT_EQ(F.windowTitle(), "Setup");
    EXPECT_EQ(F.GroupBox1->title(), " Settings ");
    EXPECT_TRUE(F.Button1->isDefault());
    EXPECT_EQ(F.minimumSize(), F.maximumSize()) << "fixed border";
    if (F.logicalDpiY() <= 96) {
        EXPECT_EQ(F.size(), QSize(231, 216));
        EXPECT_EQ(F.Combo1->geometry(), QRect(80, 16, 129, 21));
        EXPECT_EQ(F.Combo6->geometry(), QRect(80, 136, 129, 21));
        EXPECT_EQ(F.Label6->pos(), QPoint(8, 144));
    }
    const std::vector<std::pair<TComComboBox*, std::pair<TComProperty, const char*>>> Combos{
        {F.Combo1, {cpPort, "Port"}},          {F.Combo2, {cpBaudRate, "Baud rate"}},
        {F.Combo3, {cpDataBits, "Data bits"}}, {F.Combo4, {cpStopBits, "Stop bits"}},
        {F.Combo5, {cpParity, "Parity"}},      {F.Combo6, {cpFlowControl, "Flow control"}},
    };
    QWidget* Expected[] = {F.Combo1, F.Combo2, F.Combo3,  F.Combo4,
                           F.Combo5, F.Combo6, F.Button1, F.Button2};
    for (std::size_t I = 0; I < Combos.size(); ++I) {
        TComComboBox* C = Combos[I].first;
        EXPECT_EQ(C->GetComProperty(), Combos[I].second.first);
        EXPECT_FALSE(C->GetAutoApply());
        EXPECT_FALSE(C->isEditable());
        EXPECT_EQ(C->accessibleName(), Combos[I].second.second);
    }
    for (std::size_t I = 0; I + 1 < std::size(Expected); ++I) {
        QWidget* Next = Expected[I]->nextInFocusChain();
        while (Next != nullptr && !(Next->focusPolicy() & Qt::TabFocus))
            Next = Next->nextInFocusChain();
        EXPECT_EQ(Next, Expected[I + 1]) << "after tab stop " << I;
    }
    EXPECT_EQ(F.Button1->accessibleName(), "OK");
    EXPECT_EQ(F.Button2->accessibleName(), "Cancel");
}
