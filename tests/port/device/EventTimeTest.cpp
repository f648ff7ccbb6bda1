#include "PortTestKit.h"

using TTime = TComClock::time_point;

// This thread serves the event thread's hand-over only after noting when it came, so each
// dispatch runs late. The handler notes its event's time and when it ran, and reads on demand.
class EventTimeTest : public TPairTest, public ::testing::WithParamInterface<TSyncMethod> {
protected:
    EventTimeTest() {
        SetWakeMainThread([this] {
            QueuedAt = TComClock::now().time_since_epoch().count();
            Queued->Set();
        });
        Port.OnRxChar = [this](TObject*, std::int32_t Count) { Note(Count); };
        Port.OnTxEmpty = [this](TObject*) { Note(0); };
        Port.SetEvents(TComEvents{evRxChar, evTxEmpty});
    }
    ~EventTimeTest() override { SetWakeMainThread(nullptr); }
    void Note(std::int32_t Count) {
        Stamps.push_back(Port.GetEventTime());
        Handled.push_back(TComClock::now());
        std::string S;
        if (ReadThem)
            Port.ReadStr(S, Count);
    }
    const TEventHandle Queued = CreateSyncEvent(true, false);
    std::atomic<TComClock::rep> QueuedAt{0};
    bool ReadThem = false;
    std::vector<TTime> Stamps, Handled;
};

// Per case: whether the port transmits (else receives), whether the handler reads the bytes.
TEST_P(EventTimeTest, HandlersGetTheEventsTimeAndReceivedBytesTheirFirstUnreadOnes) {
    Port.SetSyncMethod(GetParam());
    OpenPeer();
    Port.Open();
    const struct {
        bool Transmit, Read;
    } Cases[] = {{true, false}, {false, false}, {false, true}, {false, false}};
    for (const auto& C : Cases) {
        ReadThem = C.Read;
        Queued->Reset();
        const TTime Before = TComClock::now();
        C.Transmit ? void(Port.WriteStr("y")) : PeerWrite("z");
        ASSERT_EQ(WaitForSyncEvent(Queued, 5000), 0u);
        const std::size_t N = Stamps.size() + 1;
        ASSERT_TRUE(WaitServing([&] { return Stamps.size() == N; }));
        const TTime At{TComClock::duration(QueuedAt.load())};
        EXPECT_GT(Handled.back(), At);
        EXPECT_LT(Stamps.back(), At) << "stamped when handled";
        // The byte left unread in case 2 keeps its time in case 3.
        if (N == 3)
            EXPECT_EQ(Stamps[2], Stamps[1]) << "the unread byte's time was lost";
        else
            EXPECT_GE(Stamps.back(), Before) << "case " << N;
    }
    EXPECT_GT(Stamps[3], Handled[2]) << "the read left its bytes' time behind";
    EXPECT_EQ(PeerRead(1), "y");
}

INSTANTIATE_TEST_SUITE_P(GuiThreadModes, EventTimeTest,
                         ::testing::Values(smThreadSync, smWindowSync),
                         [](const ::testing::TestParamInfo<TSyncMethod>& Info) {
                             return ModeName(Info.param);
                         });
