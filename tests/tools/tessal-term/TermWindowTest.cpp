// The real tessal-term window on a device that goes away and comes back (a pty adapter, a
// virtual null-modem end), and the choice of reconnecting kept for the next start.
#include "tools/tessal-term/TermWindow.h"

#include "controls/CPortCtl.h"
#include "platform/serial/VirtualNullModem.h"
#include "terminal/widget/CPortTrm.h"
#include "tests/common/FarEnd.h"
#include "tests/common/PtyAdapter.h"
#include "tests/common/TempDir.h"

#include <QAction>
#include <QStatusBar>
#include <QTest>

class TTermWindowTest : public ::testing::Test {
protected:
    void SetUp() override { OpenFarEnd(NameB, Peer); }
    void TearDown() override { SerialClose(Peer); }
    TTempRegistry Registry;
    TPtyAdapter Pty{Registry.Dir() / "ttyADAPTER"};
    std::string NameA = UniqueDeviceName("termA"), NameB = UniqueDeviceName("termB");
    std::unique_ptr<TVirtualNullModem> Modem = TVirtualNullModem::Create(NameA, NameB);
    TSerialHandle Peer = InvalidSerialHandle;
};

TEST_F(TTermWindowTest, ALostDeviceIsToldOnceRefusesKeysAndIsReopenedWhenBack) {
    struct TDevice {
        std::string Port;
        std::function<void()> Pull, Plug;
        std::function<void(const std::string&)> Send;
        std::function<std::string()> Received;
    };
    const TDevice devices[] = {
        {Pty.Name().string(), [&] { Pty.Pull(); }, [&] { Pty.Plug(); },
         [&](const std::string& s) { ASSERT_GT(::write(Pty.MasterFd(), s.data(), s.size()), 0); },
         [&] {
             const auto bytes = Pty.Read(2000);
             return std::string(bytes.begin(), bytes.end());
         }},
        {NameA, [&] { Modem->Unplug(0); }, [&] { Modem->Replug(0); },
         [&](const std::string& s) { FarEndWrite(Peer, s); }, [&] { return FarEndRead(Peer, 1); }},
    };
    for (const TDevice& device : devices) {
        for (const std::string& bytes : {std::string(), std::string(3000, '#')}) {
            SCOPED_TRACE(device.Port + (bytes.empty() ? ", idle" : ", while bytes flow"));
            TTermWindow window(QString::fromStdString(device.Port));
            ASSERT_TRUE(window.ComPort().GetConnected());
            QStringList said;
            QObject::connect(window.statusBar(), &QStatusBar::messageChanged,
                             [&](const QString& text) { said << text; });
            if (!bytes.empty())
                device.Send(bytes);
            device.Pull();
            const auto lamps = window.findChildren<TComLed*>();
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    return !said.empty() && !window.ComPort().GetConnected() &&
                           std::ranges::all_of(lamps,
                                               [](auto* l) { return l->GetState() == lsOff; });
                },
                5000));
            QTest::keyClick(window.Terminal(), Qt::Key_A);
            device.Plug();
            EXPECT_TRUE(QTest::qWaitFor([&] { return window.ComPort().GetConnected(); }, 5000));
            const QString port = QString::fromStdString(device.Port);
            EXPECT_EQ(said.join(" | ").toStdString(),
                      QStringList({port + " disconnected: the device was removed",
                                   port + " disconnected: keystrokes are not sent",
                                   port + " reconnected"})
                          .join(" | ")
                          .toStdString());
            QTest::keyClick(window.Terminal(), Qt::Key_X);
            EXPECT_EQ(device.Received(), "x");
        }
    }
}

TEST_F(TTermWindowTest, TheReconnectChoiceIsKeptForTheNextStart) {
    for (const bool on : {false, true}) {
        if (TTermWindow window(QString::fromStdString(NameA));
            window.findChild<QAction*>("ReconnectAction")->isChecked() != on)
            window.findChild<QAction*>("ReconnectAction")->trigger();
        TTermWindow window(QString::fromStdString(NameA));
        EXPECT_EQ(window.findChild<QAction*>("ReconnectAction")->isChecked(), on);
    }
}

// A serial console runs full-screen programs: the window starts as a VT102 that wraps, draws
// boxes and answers as one.
TEST_F(TTermWindowTest, StartsAsAVt102) {
    TTermWindow window(QString::fromStdString(NameA));
    ASSERT_TRUE(window.ComPort().GetConnected());
    TComTerminal& terminal = *window.Terminal();
    EXPECT_EQ(terminal.GetEmulation(), teVT102);
    EXPECT_TRUE(terminal.GetWrapLines());
    FarEndWrite(Peer, "\x1b(0lqk\x1b(B\x1b[c");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return terminal.GetScreenBuffer().GetChar(3, 1).Character == LineDrawingCell('k'); },
        5000));
    EXPECT_EQ(FarEndRead(Peer, 5), "\x1b[?6c");
}
