#include "port/device/PortTestKit.h"

#include <random>
#include <thread>

// Framed packets "<seq:payload>" written by the far end in random-sized chunks must come out
// of a packet filter on the port each exactly once and in order, whatever the chunking.
class PacketOnPortTest : public TPairTest, public ::testing::WithParamInterface<TSyncMethod> {
protected:
    static std::string Frame(int Seq, std::mt19937& Rng) {
        std::uniform_int_distribution<int> Len(0, 60);
        std::uniform_int_distribution<int> Ch('a', 'z');
        std::string S = "<" + std::to_string(Seq) + ":";
        for (int I = Len(Rng); I > 0; --I)
            S += static_cast<char>(Ch(Rng));
        return S + ">";
    }
};

TEST_P(PacketOnPortTest, OneMebibyteOfPacketsArrivesWhole) {
    std::mt19937 Rng(20261207);
    std::vector<std::string> Sent;
    std::string Stream;
    while (Stream.size() < (1u << 20)) {
        Sent.push_back(Frame(static_cast<int>(Sent.size()), Rng));
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
        NotifySynchronizeWaiters();
    };
    Packet.OnDiscard = [&](TObject*, const std::string& S) {
        std::lock_guard G(Lock);
        Discarded += S;
    };

    // RTS handshake holds the far end back instead of dropping bytes when the queue is full.
    Port.GetFlowControl().SetFlowControl(fcHardware);
    Port.GetBuffer().SetInputSize(4096);
    Port.SetSyncMethod(GetParam());
    Packet.SetComPort(&Port);
    OpenPeer();
    Port.Open();

    std::thread Writer([&] {
        std::uniform_int_distribution<std::size_t> Chunk(1, 3000);
        for (std::size_t At = 0; At < Stream.size();) {
            const std::size_t N = std::min(Chunk(Rng), Stream.size() - At);
            std::uint32_t Written = 0;
            if (!SerialWrite(Peer, Stream.data() + At, static_cast<std::uint32_t>(N), &Written,
                             nullptr) ||
                Written == 0)
                return;
            At += Written;
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
    Packet.SetComPort(nullptr);

    EXPECT_TRUE(AllArrived);
    std::lock_guard G(Lock);
    EXPECT_EQ(Discarded, "");
    ASSERT_EQ(Got.size(), Sent.size());
    for (std::size_t I = 0; I < Sent.size(); ++I)
        ASSERT_EQ(Got[I], Sent[I]) << "packet " << I;
}

INSTANTIATE_TEST_SUITE_P(Dispatch, PacketOnPortTest, ::testing::Values(smThreadSync, smNone),
                         [](const auto& Info) {
                             return Info.param == smNone ? "EventThread" : "GuiThread";
                         });

TEST_F(TPairTest, PacketFilterFollowsTheLinkAndLetsGo) {
    auto* Packet = new TComDataPacket;
    Packet->SetStopString("\n");
    std::vector<std::string> Got;
    Packet->OnPacket = [&](TObject*, const std::string& S) {
        Got.push_back(S);
        NotifySynchronizeWaiters();
    };
    Packet->SetComPort(&Port);
    EXPECT_FALSE(Port.GetTriggersOnRxChar()); // the link takes the received bytes
    OpenPeer();
    Port.Open();
    PeerWrite("one\ntwo\n");
    EXPECT_TRUE(WaitServing([&] { return Got.size() == 2; }));
    EXPECT_EQ(Got, (std::vector<std::string>{"one", "two"}));
    delete Packet; // detaches: the port must not call into the freed link
    EXPECT_TRUE(Port.GetTriggersOnRxChar());
    std::atomic<int> Waiting{0};
    Port.OnRxChar = [&](TObject*, std::int32_t Count) {
        Waiting = Count;
        NotifySynchronizeWaiters();
    };
    PeerWrite("three\n");
    EXPECT_TRUE(WaitServing([&] { return Waiting == 6; }));
}

TEST_F(TPairTest, StreamReadsAndWritesThePort) {
    TComStream Stream(&Port);
    EXPECT_EQ(Stream.Seek(12345, soEnd), 0);
    EXPECT_EQ(Stream.GetSize(), 0);
    EXPECT_EQ(Stream.GetPosition(), 0);
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
    TComStream None(nullptr);
    EXPECT_THROW(None.Read(Buf, 1), EStreamError);
}

TEST(PacketFollowsPort, PortDestroyedFirst) {
    TComDataPacket Packet;
    {
        TComPort Port;
        Packet.SetComPort(&Port);
        EXPECT_EQ(Packet.GetComPort(), &Port);
    }
    EXPECT_EQ(Packet.GetComPort(), nullptr);
}
