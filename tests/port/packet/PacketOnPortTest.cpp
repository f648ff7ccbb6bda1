#include "port/device/PortTestKit.h"

#include <random>
#include <thread>

// Framed packets "<seq:payload>" written by the far end in random-sized chunks must come out
// of a packet filter on the port each exactly once and in order.
class PacketOnPortTest : public TPairTest, public ::testing::WithParamInterface<TSyncMethod> {};

TEST_P(PacketOnPortTest, OneMebibyteOfPacketsArrivesWhole) {
    std::mt19937 Rng(20261207);
    std::vector<std::string> Sent;
    std::string Stream;
    while (Stream.size() < (1u << 20)) {
        Sent.push_back("<" + std::to_string(Sent.size()) + ":" + std::string(Rng() % 60, 'a') +
                       ">");
        Stream += Sent.back();
    }
    std::mutex Lock;
    std::vector<std::string> Got;
    std::string Discarded;
    TComDataPacket Packet;
    Packet.SetStartString("<");
    Packet.SetStopString(">");
    Packet.SetIncludeStrings(true);
    Packet.OnPacket = [&](TObject*, const std::string& S) {
        {
            std::lock_guard G(Lock);
            Got.push_back(S);
        }
        NotifySynchronizeWaiters(); // outside Lock: the waiter checks its condition under both
    };
    Packet.OnDiscard = [&](TObject*, const std::string& S) {
        std::lock_guard G(Lock);
        Discarded += S;
    };
    // RTS handshake holds the far end back instead of dropping bytes when the queue is full.
    Port.GetFlowControl().SetFlowControl(fcHardware);
    Port.SetSyncMethod(GetParam());
    Packet.SetComPort(&Port);
    OpenPeer();
    Port.Open();

    std::thread Writer([&] {
        for (std::size_t At = 0, N; At < Stream.size(); At += N) {
            std::uint32_t Done = 0;
            N = std::min<std::size_t>(1 + Rng() % 3000, Stream.size() - At);
            if (!SerialWrite(Peer, Stream.data() + At, std::uint32_t(N), &Done, nullptr))
                return;
        }
    });
    const bool AllArrived = WaitServing(
        [&] {
            std::lock_guard G(Lock);
            return Got.size() >= Sent.size();
        },
        60000);
    Writer.join();
    Port.Close();
    EXPECT_TRUE(AllArrived);
    std::lock_guard G(Lock);
    EXPECT_EQ(Discarded, "");
    EXPECT_TRUE(Got == Sent) << Got.size() << " packets of " << Sent.size();
}

INSTANTIATE_TEST_SUITE_P(Dispatch, PacketOnPortTest, ::testing::Values(smThreadSync, smNone));

TEST_F(TPairTest, PacketFilterDetachesOnDestruction) {
    auto* Packet = new TComDataPacket;
    Packet->SetStopString("\n");
    std::vector<std::string> Got;
    Packet->OnPacket = [&](TObject*, const std::string& S) { Got.push_back(S); };
    Packet->SetComPort(&Port);
    OpenPeer();
    Port.Open();
    PeerWrite("one\ntwo\n");
    EXPECT_TRUE(WaitServing([&] { return Got.size() == 2; }));
    EXPECT_EQ(Got, (std::vector<std::string>{"one", "two"}));
    delete Packet; // the port must not call into the freed link
    std::atomic<int> Waiting{0};
    Port.OnRxChar = [&](TObject*, std::int32_t Count) { Waiting = Count; };
    PeerWrite("three\n");
    EXPECT_TRUE(WaitServing([&] { return Waiting == 6; }));

    TComDataPacket Follower;
    {
        TComPort Gone;
        Follower.SetComPort(&Gone);
    }
    EXPECT_EQ(Follower.GetComPort(), nullptr);
}

TEST_F(TPairTest, StreamReadsAndWritesThePort) {
    TComStream Stream(&Port);
    EXPECT_EQ(Stream.Seek(12345, soEnd), 0);
    EXPECT_EQ(Stream.GetSize(), 0);
    Port.SetEvents({});
    OpenPeer();
    Port.Open();
    Stream.WriteBuffer("ping", 4);
    EXPECT_EQ(PeerRead(4), "ping");
    PeerWrite("pong");
    ASSERT_TRUE(WaitInput(4));
    char Buf[8] = {};
    EXPECT_EQ(Stream.Read(Buf, 8), 4);
    EXPECT_EQ(std::string(Buf, 4), "pong");
}
