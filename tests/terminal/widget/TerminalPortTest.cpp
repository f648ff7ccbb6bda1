// The terminal on a port: received bytes reach the screen through the link, answers and typed
// keys leave through the port, and nothing is sent without an open port.
#include "TermWidgetKit.h"
#include "framework/Synchronize.h"
#include "platform/serial/VirtualNullModem.h"
#include "tests/common/FarEnd.h"
#include "tests/common/ServeUntil.h"

namespace {

class TerminalOnPort : public testing::Test {
protected:
    void SetUp() override {
        const std::string NameA = UniqueDeviceName("vtermA");
        const std::string NameB = UniqueDeviceName("vtermB");
        Modem = TVirtualNullModem::Create(NameA, NameB);
        ASSERT_TRUE(Modem) << LastPlatformError();
        Port.SetPort(NameA);
        Term.SetComPort(&Port);
        Port.Open();
        OpenFarEnd(NameB, Peer);
    }

    void TearDown() override {
        Port.Close();
        if (Peer != InvalidSerialHandle)
            SerialClose(Peer);
    }

    void PeerWrite(const std::string& Bytes) { FarEndWrite(Peer, Bytes); }

    // Reads what the terminal sent until Count bytes came or the peer's time-out passed. The
    // GUI queue is served meanwhile, since answers are sent from received data handled there.
    std::string PeerRead(std::uint32_t Count) {
        ServeUntil(
            [&] {
                COMSTAT stat{};
                std::uint32_t errors = 0;
                return ClearDeviceError(Peer, &errors, &stat) && stat.cbInQue >= Count;
            },
            std::chrono::seconds(5));
        return FarEndRead(Peer, Count);
    }

    // Received data arrives on this thread through the framework's queue.
    bool WaitForRow(int Row, const std::string& Text) {
        return WaitServingSynchronize([&] { return RowText(Term, Row) == Text; }, 5000);
    }

    std::unique_ptr<TVirtualNullModem> Modem;
    TSerialHandle Peer = InvalidSerialHandle;
    TComPort Port;
    TComTerminal Term;
};

} // namespace

TEST_F(TerminalOnPort, ReceivedBytesReachTheScreen) {
    PeerWrite("A\r\nB");
    ASSERT_TRUE(WaitForRow(2, "B"));
    EXPECT_EQ(RowText(Term, 1), "A");
    EXPECT_EQ(Term.GetCaretColumn(), 2);
    EXPECT_EQ(Term.GetCaretRow(), 2);
    EXPECT_TRUE(Term.GetConnected());
}

TEST_F(TerminalOnPort, RequestsAreAnsweredOnTheLine) {
    struct TCase {
        const char* Request;
        std::string Answer;
    } cases[] = {
        {"\x1b[3;5H\x1b[6n", "\x1b[3;5R"},
        {"\x1b[c", "\x1b[?1;2c"},
        {"\x1b[5n", "\x1b[0n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Request + 1);
        PeerWrite(c.Request);
        EXPECT_EQ(PeerRead(static_cast<std::uint32_t>(c.Answer.size())), c.Answer);
    }
}

TEST_F(TerminalOnPort, TypedKeysAreSent) {
    struct TCase {
        const char* Name;
        Qt::Key Key;
        bool AppCursorKeys;
        bool SendLF;
        std::string Sent;
    } cases[] = {
        {"letter", Qt::Key_A, false, false, "a"},
        {"return", Qt::Key_Return, false, false, "\r"},
        {"return with SendLF", Qt::Key_Return, false, true, "\r\n"},
        {"up", Qt::Key_Up, false, false, "\x1b[A"},
        {"home", Qt::Key_Home, false, false, "\x1b[H"},
        {"up in application mode", Qt::Key_Up, true, false, "\x1bOA"},
        {"left in application mode", Qt::Key_Left, true, false, "\x1bOD"},
        {"backspace", Qt::Key_Backspace, false, false, "\b"},
        {"escape", Qt::Key_Escape, false, false, "\x1b"},
    };
    ASSERT_TRUE(ShowFocused(Term));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Term.SetSendLF(c.SendLF);
        Term.WriteStr(c.AppCursorKeys ? "\x1b[?1h" : "\x1b[?1l");
        QTest::keyClick(&Term, c.Key);
        EXPECT_EQ(PeerRead(static_cast<std::uint32_t>(c.Sent.size())), c.Sent);
    }
    // Ctrl+C is the byte 3.
    QTest::keyClick(&Term, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(PeerRead(1), "\x03");
}

TEST_F(TerminalOnPort, KeyHandlersCanSuppressAndChange) {
    ASSERT_TRUE(ShowFocused(Term));
    Term.OnKeyDown = [](TObject*, std::uint16_t& Key) {
        if (Key == vkUp)
            Key = 0;
    };
    Term.OnKeyPress = [](TObject*, char& Ch) {
        if (Ch == 'x')
            Ch = 'y';
    };
    QTest::keyClick(&Term, Qt::Key_Up);
    QTest::keyClick(&Term, Qt::Key_X);
    EXPECT_EQ(PeerRead(1), "y");
}

TEST_F(TerminalOnPort, WantTabDecidesWhetherTabIsSent) {
    QWidget window;
    auto* term = new TComTerminal(&window);
    auto* next = new QWidget(&window);
    next->setFocusPolicy(Qt::StrongFocus);
    term->SetComPort(&Port);
    ASSERT_TRUE(ShowFocused(*term));

    term->SetWantTab(true);
    QTest::keyClick(term, Qt::Key_Tab);
    EXPECT_TRUE(term->hasFocus());
    EXPECT_EQ(PeerRead(1), "\t");

    term->SetWantTab(false);
    QTest::keyClick(term, Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
    term->SetComPort(nullptr);
}

TEST_F(TerminalOnPort, LocalEchoAndClosedPort) {
    ASSERT_TRUE(ShowFocused(Term));
    Term.SetLocalEcho(true);
    Term.SetSendLF(true);
    QTest::keyClicks(&Term, "hi");
    QTest::keyClick(&Term, Qt::Key_Return);
    EXPECT_EQ(PeerRead(4), "hi\r\n");
    EXPECT_EQ(RowText(Term, 1), "hi");
    EXPECT_EQ(Term.GetCaretRow(), 2);

    // Without an open port nothing is sent and nothing is echoed.
    Term.SetConnected(false);
    EXPECT_FALSE(Port.GetConnected());
    QTest::keyClicks(&Term, "lost");
    EXPECT_EQ(RowText(Term, 2), "");
}

TEST_F(TerminalOnPort, PortGoingAwayDetachesTheTerminal) {
    auto port = std::make_unique<TComPort>();
    Term.SetComPort(port.get());
    EXPECT_EQ(Term.GetComPort(), port.get());
    port.reset();
    EXPECT_EQ(Term.GetComPort(), nullptr);
    EXPECT_FALSE(Term.GetConnected());
    Term.SetConnected(true); // ignored without a port
    EXPECT_FALSE(Term.GetConnected());
}
