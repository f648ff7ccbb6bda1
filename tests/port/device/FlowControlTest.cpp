// What the flow-control flags, the XON/XOFF escape and the output purge do on the line, and the
// status flags that tell why output waits.
#include "PortTestKit.h"

namespace {

const std::string Held = "held";

} // namespace

class FlowControlTest : public TPairTest {
protected:
    // A fresh port and far end for each case: holds must not leak from one into the next.
    void Fresh() {
        Port.Close();
        if (Peer != InvalidSerialHandle)
            SerialClose(Peer);
        Port.SetFlowControl(TComFlowControl());
        Port.SetBuffer(TComBuffer());
        Port.SetEvents(TComEvents{});
        Port.Open();
        OpenPeer();
    }
};

TEST_F(FlowControlTest, OutputHoldsAndTheirStatusFlags) {
    // Far end fills the port's input past its XOFF limit (1024 / 4 bytes free).
    auto FillPastXoffLimit = [this] {
        Port.GetFlowControl().SetXonXoffIn(true);
        PeerWrite(std::string(1000, 'i'));
        EXPECT_EQ(Port.InputCount(), 1000);
    };
    const struct {
        const char* What;
        std::function<void()> Hold;
        bool Waits; // the bytes are still in the port's queues after the write started
        TComStatusFlags Flags;
        std::function<void()> Release;
        std::string Line; // what the far end receives in all
    } Cases[] = {
        {"DSR output flow",
         [&] {
             ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRDTR));
             Port.GetFlowControl().SetOutDSRFlow(true);
         },
         true, TComStatusFlags{sfDSRHold}, [&] { ASSERT_TRUE(EscapeFunction(Peer, ESC_SETDTR)); },
         Held},
        {"DSR off without DSR output flow", [&] { ASSERT_TRUE(EscapeFunction(Peer, ESC_CLRDTR)); },
         false, TComStatusFlags{}, [] {}, Held},
        {"SetXonXoff(false)", [&] { Port.SetXonXoff(false); }, true, TComStatusFlags{sfXOFFHold},
         [&] { Port.SetXonXoff(true); }, Held},
        {"own XOFF sent", FillPastXoffLimit, true, TComStatusFlags{sfXOFFSent},
         [&] { Port.ClearBuffer(true, false); }, "\x13\x11" + Held},
        {"own XOFF sent, continue on XOFF",
         [&] {
             Port.GetFlowControl().SetTxContinueOnXoff(true);
             FillPastXoffLimit();
         },
         false, TComStatusFlags{sfXOFFSent}, [&] { Port.ClearBuffer(true, false); },
         "\x13" + Held + "\x11"},
        {"byte to transmit at once waits",
         [&] {
             Port.SetXonXoff(false);
             const std::string Fill(4096, 'f'); // the device's whole transmit queue
             EXPECT_EQ(Port.Write(Fill.data(), 4096), 4096);
             Port.TransmitChar('!');
         },
         true, TComStatusFlags{sfXOFFHold, sfTxim}, [&] { Port.SetXonXoff(true); },
         std::string(4096, 'f') + "!" + Held},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        Fresh();
        C.Hold();
        PAsync A = nullptr;
        InitAsync(A);
        Port.WriteStrAsync(Held, A);
        EXPECT_EQ(Port.OutputCount() > 0, C.Waits);
        EXPECT_EQ(Port.StateFlags(), C.Flags);
        C.Release();
        EXPECT_EQ(Port.WaitForAsync(A), 4);
        DoneAsync(A);
        EXPECT_EQ(PeerRead(static_cast<std::uint32_t>(C.Line.size()) + 1), C.Line);
        EXPECT_EQ(Port.StateFlags(), TComStatusFlags{});
    }
}

// With DSR sensitivity, bytes that arrive while DSR is off are dropped.
TEST_F(FlowControlTest, DsrSensitivityDropsBytesWhileDsrIsOff) {
    const struct {
        bool Sensitive, DsrOn, Kept;
    } Cases[] = {{true, false, false}, {true, true, true}, {false, false, true}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Sensitive) + std::to_string(C.DsrOn));
        Fresh();
        Port.GetFlowControl().SetDSRSensitivity(C.Sensitive);
        ASSERT_TRUE(EscapeFunction(Peer, C.DsrOn ? ESC_SETDTR : ESC_CLRDTR));
        PeerWrite("x");
        EXPECT_EQ(Port.InputCount(), C.Kept ? 1 : 0);
        ASSERT_TRUE(EscapeFunction(Peer, ESC_SETDTR));
        PeerWrite("y");
        std::string Got;
        Port.ReadStr(Got, Port.InputCount());
        EXPECT_EQ(Got, C.Kept ? "xy" : "y");
    }
}

// Purging the output drops what the device still holds to send; the input is purged apart.
TEST_F(FlowControlTest, ClearBufferDiscardsOnlyTheChosenQueues) {
    for (bool Input : {false, true}) {
        for (bool Output : {false, true}) {
            SCOPED_TRACE(std::to_string(Input) + std::to_string(Output));
            Fresh();
            Port.SetXonXoff(false);
            Port.WriteStr("queued");
            PeerWrite("received");
            ASSERT_EQ(Port.InputCount(), 8);
            ASSERT_EQ(Port.OutputCount(), 6);
            Port.ClearBuffer(Input, Output);
            EXPECT_EQ(Port.InputCount(), Input ? 0 : 8);
            EXPECT_EQ(Port.OutputCount(), Output ? 0 : 6);
            Port.SetXonXoff(true);
            Port.WriteStr("next");
            EXPECT_EQ(PeerRead(11), Output ? "next" : "queuednext");
        }
    }
}
