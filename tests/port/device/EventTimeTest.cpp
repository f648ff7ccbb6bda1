#include "PortTestKit.h"

#include <thread>

using TTime = TComClock::time_point;

// This thread serves the event thread's hand-over only after noting when it came, so each
// dispatch runs late. Per case: what causes the event, whether the handler reads the bytes.
class EventTimeTest : public TPairTest, public ::testing::WithParamInterface<TSyncMethod> {};

TEST_P(EventTimeTest, HandlersGetTheEventsTimeAndReceivedBytesTheirFirstUnreadOnes) {
    const TEventHandle Queued = CreateSyncEvent(true, false);
    std::atomic<TComClock::rep> QueuedAt{0};
    SetWakeMainThread([&] {
        QueuedAt = TComClock::now().time_since_epoch().count();
        Queued->Set();
    });
    const struct TUnhook {
        ~TUnhook() { SetWakeMainThread(nullptr); }
    } Unhook;
    bool ReadThem = false;
    std::vector<TTime> Stamps, Handled;
    const auto Note = [&](TObject* Sender, std::int32_t Count) {
        Stamps.push_back(static_cast<TCustomComPort*>(Sender)->GetEventTime());
        Handled.push_back(TComClock::now());
        std::string S;
        if (ReadThem)
            static_cast<TCustomComPort*>(Sender)->ReadStr(S, Count);
    };
    Port.OnRxChar = Note;
    Port.OnTxEmpty = [&](TObject* Sender) { Note(Sender, 0); };
    Port.SetSyncMethod(GetParam());
    Port.SetEvents(TComEvents{evRxChar, evTxEmpty});
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

using EventTimeHoldTest = TPairTest;

TEST_F(EventTimeHoldTest, BytesThatComeWhileABatchWaitsForTheGuiThreadAreTimedWhenTheyCame) {
    const TEventHandle Queued = CreateSyncEvent(true, false);
    SetWakeMainThread([&] { Queued->Set(); });
    const struct TUnhook {
        ~TUnhook() { SetWakeMainThread(nullptr); }
    } Unhook;
    TTime Stamp{};
    Port.OnRxChar = [&](TObject* Sender, std::int32_t) {
        Stamp = static_cast<TCustomComPort*>(Sender)->GetEventTime();
    };
    Port.SetEvents(TComEvents{evRxChar, evTxEmpty});
    OpenPeer();
    Port.Open();
    Port.WriteStr("y");
    ASSERT_EQ(WaitForSyncEvent(Queued, 5000), 0u);
    // The transmit-empty batch waits for this thread; only the event thread takes the byte in.
    PeerWrite("z");
    const TTime Limit = TComClock::now() + std::chrono::seconds(5);
    std::uint32_t In = 0;
    while ((!GetDeviceInputCount(Port.GetHandle(), In) || In == 0) && TComClock::now() < Limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const TTime Seen = TComClock::now();
    ASSERT_EQ(In, 1u) << "nobody watched the device";
    ASSERT_TRUE(WaitServing([&] { return Stamp != TTime{}; }));
    EXPECT_LT(Stamp, Seen);
}
