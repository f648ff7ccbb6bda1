#include <algorithm>

#include <QRadioButton>

#include "ControlsTestKit.h"
#include "controls/CPortCtl.h"
#include "framework/Application.h"
#include "tests/common/TempDir.h"

namespace {

std::vector<std::string> Entries(const TStrings& Items) {
    return Items.ToVector();
}

// The user moves the selection onto Text with the keyboard, as a choice of their own.
void UserChooses(TComComboBox& Box, const std::string& Text) {
    const int Target = Box.GetItems().IndexOf(Text);
    ASSERT_GE(Target, 0) << Text;
    if (Target == 0) {
        Box.SetItemIndex(1);
        QTest::keyClick(&Box, Qt::Key_Up);
    } else {
        Box.SetItemIndex(Target - 1);
        QTest::keyClick(&Box, Qt::Key_Down);
    }
    ASSERT_EQ(Box.GetText(), Text);
}

QRadioButton* Button(TComRadioGroup& Group, const std::string& Caption) {
    for (QRadioButton* B : Group.findChildren<QRadioButton*>())
        if (B->text() == QString::fromStdString(Caption))
            return B;
    return nullptr;
}

void UserClicks(TComRadioGroup& Group, const std::string& Caption) {
    QRadioButton* B = Button(Group, Caption);
    ASSERT_NE(B, nullptr) << Caption;
    QTest::mouseClick(B, Qt::LeftButton, {}, B->rect().center());
}

} // namespace

TEST(ComSelectListTest, EachSettingListsItsTextsAndSelectsTheFirstWithoutAPort) {
    struct Case {
        TComProperty Property;
        std::vector<std::string> Texts;
    };
    const Case Cases[] = {
        {cpBaudRate,
         {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
          "56000", "57600", "115200", "128000", "256000"}},
        {cpDataBits, {"5", "6", "7", "8"}},
        {cpStopBits, {"1", "1.5", "2"}},
        {cpParity, {"None", "Odd", "Even", "Mark", "Space"}},
        {cpFlowControl, {"Hardware", "Software", "None", "Custom"}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Texts.front());
        TComComboBox Box;
        Box.SetComProperty(C.Property);
        EXPECT_EQ(Entries(Box.GetItems()), C.Texts);
        EXPECT_EQ(Box.GetItemIndex(), 0);
        EXPECT_EQ(Box.GetText(), C.Texts.front());
        TComRadioGroup Group;
        Group.SetComProperty(C.Property);
        EXPECT_EQ(Entries(Group.GetItems()), C.Texts);
        EXPECT_EQ(Group.GetItemIndex(), 0);
        EXPECT_EQ(Group.findChildren<QRadioButton*>().size(),
                  static_cast<qsizetype>(C.Texts.size()));

        Box.SetComProperty(cpNone);
        Group.SetComProperty(cpNone);
        EXPECT_EQ(Box.GetItems().GetCount(), 0);
        EXPECT_EQ(Box.GetText(), "");
        EXPECT_EQ(Group.GetItems().GetCount(), 0);
        EXPECT_EQ(Group.GetItemIndex(), -1);
        EXPECT_TRUE(Group.findChildren<QRadioButton*>().isEmpty());
    }
}

TEST(ComSelectListTest, TextSelectsOnlyAnExistingEntryAndCodeDoesNotChoose) {
    TComComboBox Box;
    Box.SetComProperty(cpParity);
    int Changes = 0;
    Box.OnChange = [&](TObject*) { ++Changes; };
    Box.SetText("Mark");
    EXPECT_EQ(Box.GetText(), "Mark");
    Box.SetText("Nonsense");
    EXPECT_EQ(Box.GetText(), "Mark");
    Box.SetItemIndex(-1);
    EXPECT_EQ(Box.GetText(), "");
    EXPECT_EQ(Changes, 0);
    EXPECT_EQ(Box.GetComSelect().GetParity(), prNone) << "only the user's choice is stored";
    UserChooses(Box, "Space");
    EXPECT_EQ(Changes, 1);
    EXPECT_EQ(Box.GetComSelect().GetParity(), prSpace);
}

class ComSelectPortTest : public TVirtualPortTest {};

TEST_F(ComSelectPortTest, ComboChoiceReachesThePortOnApplyOrAtOnceWithAutoApply) {
    struct Case {
        const char* Name;
        TComProperty Property;
        std::string Shown, Chosen;
        bool AutoApply;
        std::function<std::string(TCustomComPort&)> Read;
    };
    const Case Cases[] = {
        {"baud", cpBaudRate, "9600", "19200", false,
         [](TCustomComPort& P) { return BaudRateToStr(P.GetBaudRate()); }},
        {"parity", cpParity, "None", "Even", true,
         [](TCustomComPort& P) { return ParityToStr(P.GetParity().GetBits()); }},
        {"data bits", cpDataBits, "8", "7", false,
         [](TCustomComPort& P) { return DataBitsToStr(P.GetDataBits()); }},
        {"stop bits", cpStopBits, "1", "2", true,
         [](TCustomComPort& P) { return StopBitsToStr(P.GetStopBits()); }},
        {"flow", cpFlowControl, "None", "Hardware", false,
         [](TCustomComPort& P) { return FlowControlToStr(P.GetFlowControl().GetFlowControl()); }},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TComPort P;
        P.GetFlowControl().SetFlowControl(fcNone);
        TComComboBox Box;
        Box.SetComProperty(C.Property);
        Box.SetAutoApply(C.AutoApply);
        Box.SetComPort(&P);
        EXPECT_EQ(Box.GetText(), C.Shown);
        UserChooses(Box, C.Chosen);
        EXPECT_EQ(C.Read(P), C.AutoApply ? C.Chosen : C.Shown);
        Box.ApplySettings();
        EXPECT_EQ(C.Read(P), C.Chosen);
    }
}

// A port the list lacks keeps an item of its own, marked when its file is gone; applying keeps
// its name rather than an empty one.
TEST_F(ComSelectPortTest, PortNameFromTheListOrAnItemOfItsOwn) {
    TTempRegistry Temp;
    struct Case {
        std::string Port;
        std::string Shown;
    };
    const Case Cases[] = {{NameA, NameA},
                          {"no_such_device", "no_such_device (not present)"},
                          {"/dev/null", "/dev/null"},
                          {"rfc2217://rack7:4001", "rfc2217://rack7:4001"}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Port);
        TComPort P;
        P.SetPort(C.Port);
        TComComboBox Box;
        Box.SetComProperty(cpPort);
        Box.SetComPort(&P);
        EXPECT_EQ(Box.GetText(), C.Shown);
        EXPECT_EQ(Box.GetComSelect().GetPortName(), C.Port);
        Box.showPopup(); // the list the popup shows afresh keeps the item
        Box.hidePopup();
        EXPECT_EQ(Box.GetText(), C.Shown);
        P.SetPort("changed");
        Box.ApplySettings();
        EXPECT_EQ(P.GetPort(), C.Port);
    }
}

// Names the application offers follow the devices, once each, in the box and in its fresh
// drop-down list.
TEST_F(ComSelectPortTest, OfferedNamesFollowTheDevices) {
    SetOfferedPortNames({"rfc2217://rack7:4001", NameA, "socket://10.0.0.9:23"});
    TComComboBox Box;
    Box.SetComProperty(cpPort);
    for (bool Popup : {false, true}) {
        if (Popup) {
            Box.showPopup();
            Box.hidePopup();
        }
        QStringList Items;
        for (int I = 0; I < Box.count(); ++I)
            Items << Box.itemText(I);
        ASSERT_GE(Items.size(), 3) << Popup;
        EXPECT_EQ(Items.count(QString::fromStdString(NameA)), 1) << Popup;
        EXPECT_EQ(Items.mid(Items.size() - 2),
                  (QStringList{"rfc2217://rack7:4001", "socket://10.0.0.9:23"}))
            << Popup;
    }
    SetOfferedPortNames({});
}

TEST_F(ComSelectPortTest, HandSetFlowControlShowsCustomAndApplyingKeepsTheFields) {
    Port->GetFlowControl().SetFlowControl(fcNone);
    Port->GetFlowControl().SetControlRTS(rtsToggle);
    TComComboBox Box;
    Box.SetComProperty(cpFlowControl);
    Box.SetComPort(Port.get());
    EXPECT_EQ(Box.GetText(), "Custom");
    Box.ApplySettings();
    EXPECT_EQ(Port->GetFlowControl().GetControlRTS(), rtsToggle);
    EXPECT_EQ(Port->GetFlowControl().GetFlowControl(), fcCustom);
}

TEST_F(ComSelectPortTest, DestroyedPortLeavesTheFirstEntryAndNoPort) {
    auto Check = [&](auto& Control, auto Index) {
        Control.SetComProperty(cpBaudRate);
        auto P = std::make_unique<TComPort>();
        P->SetBaudRate(br19200);
        Control.SetComPort(P.get());
        EXPECT_EQ(Index(Control), 9);
        P.reset();
        EXPECT_EQ(Control.GetComPort(), nullptr);
        EXPECT_EQ(Index(Control), 0);
        Control.ApplySettings();
    };
    TComComboBox Box;
    Check(Box, [](TComComboBox& B) { return B.GetItemIndex(); });
    TComRadioGroup Group;
    Check(Group, [](TComRadioGroup& G) { return G.GetItemIndex(); });
}

namespace {

class TCountingRadioGroup : public TComRadioGroup {
public:
    int Clicks = 0;

protected:
    void Click() override {
        ++Clicks;
        TComRadioGroup::Click();
    }
};

} // namespace

TEST_F(ComSelectPortTest, RadioClickOnTheButtonAlreadyActedOnReachesNoChange) {
    TCountingRadioGroup Group;
    Group.SetComProperty(cpParity);
    Group.SetAutoApply(true);
    Group.SetComPort(Port.get());
    Group.show();
    EXPECT_EQ(Group.GetItemIndex(), 0);
    UserClicks(Group, "Odd");
    EXPECT_EQ(Port->GetParity().GetBits(), prOdd);
    // Had the second click reached Change, AutoApply would write Odd over the Mark set here.
    Port->GetParity().SetBits(prMark);
    const int Before = Group.Clicks;
    UserClicks(Group, "Odd");
    EXPECT_EQ(Group.Clicks, Before + 1);
    EXPECT_EQ(Port->GetParity().GetBits(), prMark);
}

TEST_F(ComSelectPortTest, RadioAttachSelectsThePortValueThroughTheClickHandling) {
    TCountingRadioGroup Group;
    Group.SetComProperty(cpBaudRate);
    Group.SetAutoApply(true);
    const int Before = Group.Clicks;
    Port->SetBaudRate(br57600);
    Group.SetComPort(Port.get());
    EXPECT_EQ(Group.GetItemIndex(), 12);
    EXPECT_EQ(Group.Clicks, Before + 1);
    EXPECT_EQ(Group.GetComSelect().GetBaudRate(), br57600);
    EXPECT_EQ(Port->GetBaudRate(), br57600);
    EXPECT_TRUE(Button(Group, "57600")->isChecked());
}

TEST_F(ComSelectPortTest, PortListDropDownShowsDevicesPluggedInMeanwhile) {
    TTempRegistry Temp;
    TComComboBox Box;
    Box.SetComProperty(cpPort);
    Box.SetComPort(Port.get());
    ASSERT_EQ(Box.GetText(), NameA);
    const std::string Later = UniqueDeviceName("vlater");
    auto Listed = [&] { return Box.GetItems().IndexOf(Later) >= 0; };
    EXPECT_FALSE(Listed());

    auto Plugged = TVirtualNullModem::Create(Later, Later + "_peer");
    ASSERT_TRUE(Plugged);
    EXPECT_FALSE(Listed()) << "the list is read when it drops down";
    Box.showPopup();
    Box.hidePopup();
    EXPECT_TRUE(Listed());
    EXPECT_EQ(Box.GetText(), NameA) << "the selection stays on its device";

    Plugged.reset();
    Box.showPopup();
    Box.hidePopup();
    EXPECT_FALSE(Listed());
    EXPECT_EQ(Box.GetText(), NameA);
}

TEST(ComSelectAccessTest, HintOrCaptionNamesTheControl) {
    TComComboBox Box;
    Box.setToolTip("Baud rate");
    EXPECT_EQ(Box.accessibleName(), "Baud rate");
    EXPECT_NE(Box.focusPolicy() & Qt::TabFocus, 0);
    TComRadioGroup Group;
    Group.SetCaption("Parity");
    EXPECT_EQ(Group.accessibleName(), "Parity");
    Group.SetComProperty(cpParity);
    for (QRadioButton* B : Group.findChildren<QRadioButton*>())
        EXPECT_NE(B->focusPolicy() & Qt::TabFocus, 0);
}

namespace {

class TChangingComboBox : public TComComboBox {
public:
    using TComComboBox::Change;
};

} // namespace

TEST_F(ComSelectPortTest, FailedWriteOfAChoicePassesToWhoeverRaisedTheChange) {
    struct Case {
        const char* Name;
        std::function<void(TChangingComboBox&)> Choose;
        bool ThrowsToCaller;
    };
    const Case Cases[] = {
        {"program calls Change",
         [this](TChangingComboBox& B) {
             B.SetItemIndex(B.GetItems().IndexOf(NameB));
             B.Change();
         },
         true},
        // The toolkit cannot take an exception: the application reports it.
        {"user chooses", [this](TChangingComboBox& B) { UserChooses(B, NameB); }, false},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        Port->Open();
        Modem->Unplug(1);
        TChangingComboBox Box;
        Box.SetComProperty(cpPort);
        Box.SetComPort(Port.get());
        ASSERT_EQ(Box.GetText(), NameA);
        Box.SetAutoApply(true);
        int Reported = 0;
        Application->OnException = [&](TObject*, const std::exception_ptr&) { ++Reported; };
        bool Thrown = false;
        try {
            C.Choose(Box);
        } catch (const EComPort&) {
            Thrown = true;
        }
        Application->OnException = nullptr;
        EXPECT_EQ(Thrown, C.ThrowsToCaller);
        EXPECT_EQ(Reported, C.ThrowsToCaller ? 0 : 1);
        EXPECT_FALSE(Port->GetConnected());
        Modem->Replug(1);
        Port->SetPort(NameA);
    }
}
