// The terminal on a port: received bytes reach the screen, answers and typed keys go out, and
// the link follows the port's lifetime.
#include <gtest/gtest.h>

#include "TermTestKit.h"
#include "port/device/PortTestKit.h"
#include "terminal/TermPort.h"

namespace {

class PortLinkTest : public TPairTest {
protected:
    PortLinkTest() { Engine.SetOutput(&Link); }

    TTermEngine Engine;
    TComTermPort Link{Engine};
};

TEST_F(PortLinkTest, ReceivesAnswersAndSendsKeys) {
    EXPECT_FALSE(Link.GetConnected());
    Engine.KeyPress('x');
    Link.SetConnected(true); // ignored without a port
    Link.SetComPort(&Port);
    OpenPeer();
    Link.SetConnected(true);
    ASSERT_TRUE(Port.GetConnected());
    EXPECT_TRUE(Link.GetConnected());

    std::string Received;
    Engine.OnStrRecieved = [&](TObject*, std::string& Str) { Received += Str; };
    const std::string Sent = Esc("hi^[2;5H^[6n");
    PeerWrite(Sent);
    // The answer leaves while the last block is handled.
    ASSERT_TRUE(WaitServing([&] { return Received == Sent; }));
    EXPECT_EQ(Engine.GetCaretRow(), 2);
    EXPECT_EQ(Engine.GetScreenBuffer().GetChar(2, 1).Character, 'i');
    EXPECT_EQ(PeerRead(6), Esc("^[2;5R"));

    Engine.KeyPress('k');
    Engine.KeyDown(vkUp);
    EXPECT_EQ(PeerRead(4), Esc("k^[A"));

    Link.SetConnected(false);
    EXPECT_FALSE(Port.GetConnected());
    Engine.KeyPress('z'); // skipped, no error
}

TEST_F(PortLinkTest, DetachingAndDestroyingThePortLeaveNoLink) {
    Link.SetComPort(&Port);
    Link.SetComPort(nullptr);
    EXPECT_EQ(Link.GetComPort(), nullptr);
    {
        TComPort Other;
        Link.SetComPort(&Other);
        EXPECT_EQ(Link.GetComPort(), &Other);
    }
    EXPECT_EQ(Link.GetComPort(), nullptr) << "the port's removal notice detaches the link";
    EXPECT_FALSE(Link.GetConnected());
    // Attaching again works, so the first detach unregistered the link from the port.
    Link.SetComPort(&Port);
    EXPECT_EQ(Link.GetComPort(), &Port);
}

} // namespace
