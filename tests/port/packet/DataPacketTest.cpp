#include <gtest/gtest.h>

#include <pthread.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "port/CPortPacket.h"

// Records every discard and packet as "D:text" / "P:text", in order.
class DataPacketTest : public ::testing::Test {
protected:
    DataPacketTest() {
        Packet.OnDiscard = [this](TObject*, const std::string& S) { Log.push_back("D:" + S); };
        Packet.OnPacket = [this](TObject*, const std::string& S) { Log.push_back("P:" + S); };
    }

    using TLog = std::vector<std::string>;
    TComDataPacket Packet;
    TLog Log;
};

TEST_F(DataPacketTest, StartAndStopStrings) {
    Packet.SetStartString("AB");
    Packet.SetStopString("CD");
    Packet.AddData("xxABfooCDyy");
    EXPECT_EQ(Log, (TLog{"D:xx", "P:foo"}));
    EXPECT_EQ(Packet.GetPacketBuffer(), "yy");
    EXPECT_FALSE(Packet.GetInPacket());

    Log.clear();
    Packet.SetIncludeStrings(true);
    Packet.AddData("ABbarCD");
    EXPECT_EQ(Log, (TLog{"D:yy", "P:ABbarCD"}));
}

TEST_F(DataPacketTest, EverySplitOfTheInputGivesTheSameEvents) {
    const std::string Input = "xxABfooCDzzABCDAB12CD9";
    const TLog Expected{"D:xx", "P:foo", "D:zz", "P:", "P:12"};
    for (std::size_t Cut = 0; Cut <= Input.size(); ++Cut) {
        TComDataPacket P;
        TLog L;
        P.OnDiscard = [&](TObject*, const std::string& S) { L.push_back("D:" + S); };
        P.OnPacket = [&](TObject*, const std::string& S) { L.push_back("P:" + S); };
        P.SetStartString("AB");
        P.SetStopString("CD");
        P.AddData(Input.substr(0, Cut));
        P.AddData(Input.substr(Cut));
        EXPECT_EQ(L, Expected) << "cut at " << Cut;
        EXPECT_EQ(P.GetPacketBuffer(), "9");
    }
}

TEST_F(DataPacketTest, CaseInsensitiveMatchesAndStripsEitherCase) {
    Packet.SetStartString("AB");
    Packet.SetStopString("CD");
    Packet.AddData("abxcd");
    EXPECT_TRUE(Log.empty());
    EXPECT_FALSE(Packet.GetInPacket());

    Packet.SetCaseInsensitive(true); // a changed setting throws the buffer away
    EXPECT_EQ(Log, (TLog{"D:abxcd"}));
    Log.clear();
    Packet.AddData("zabxcd");
    EXPECT_EQ(Log, (TLog{"D:z", "P:x"}));
    EXPECT_EQ(Packet.Upper("aBc\xe4"), "ABC\xe4");
}

TEST_F(DataPacketTest, SizeCutsFixedPackets) {
    Packet.SetSize(4);
    Packet.AddData("0123456789");
    EXPECT_EQ(Log, (TLog{"P:0123", "P:4567"}));
    EXPECT_EQ(Packet.GetPacketBuffer(), "89");
}

TEST_F(DataPacketTest, SizeAndStopStringWhicheverComesFirst) {
    Packet.SetSize(4);
    Packet.SetStopString("X");
    Packet.AddData("abX");
    Packet.AddData("abcdeX");
    EXPECT_EQ(Log, (TLog{"P:ab", "P:abcd", "P:e"}));
}

TEST_F(DataPacketTest, WithoutAnEndEveryBlockIsOnePacket) {
    Packet.SetStartString("AB");
    Packet.AddData("xxAByy");
    Packet.AddData("");
    EXPECT_EQ(Log, (TLog{"P:xxAByy", "P:"}));
    EXPECT_EQ(Packet.GetPacketBuffer(), "");
    EXPECT_FALSE(Packet.ValidStop());
    Packet.OnCustomStop = [](TObject*, const std::string&, std::int32_t&) {};
    EXPECT_TRUE(Packet.ValidStop());
}

TEST_F(DataPacketTest, MaxBufferSizeDiscardsAFullBuffer) {
    Packet.SetStartString("AB");
    Packet.SetStopString("CD");
    Packet.SetMaxBufferSize(8);
    Packet.AddData("1234567");
    EXPECT_TRUE(Log.empty());
    Packet.AddData("8");
    EXPECT_EQ(Log, (TLog{"D:12345678"}));
    EXPECT_EQ(Packet.GetPacketBuffer(), "");

    // Packets found in a block are all reported before the size is checked.
    Log.clear();
    Packet.AddData("ABxCDAByCDABzCD");
    EXPECT_EQ(Log, (TLog{"P:x", "P:y", "P:z"}));
}

TEST_F(DataPacketTest, ChangedSettingsEmptyTheBufferUnlessLoading) {
    Packet.SetStopString("CD");
    Packet.SetStartString("AB");
    Packet.AddData("ABfoo");
    EXPECT_TRUE(Packet.GetInPacket());
    Packet.SetStartString("AB");
    Packet.SetStopString("CD");
    EXPECT_TRUE(Log.empty());

    Packet.SetStartString("XY");
    EXPECT_EQ(Log, (TLog{"D:ABfoo"}));
    EXPECT_FALSE(Packet.GetInPacket());
    Packet.AddData("bar");
    Packet.SetSize(3);
    Packet.AddData("baz");
    Packet.SetMaxBufferSize(2); // stored only
    Packet.SetIncludeStrings(true);
    EXPECT_EQ(Log, (TLog{"D:ABfoo", "D:bar"}));

    Log.clear();
    Packet.BeginLoading();
    Packet.SetStartString("Q");
    Packet.SetCaseInsensitive(true);
    Packet.Loaded();
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(Packet.GetPacketBuffer(), "baz");
}

TEST_F(DataPacketTest, IncludeStringsStripsOnlyAtTheEdges) {
    Packet.SetStartString("AB");
    Packet.SetStopString("CD");
    std::string S = "ABxCDyCD";
    Packet.CheckIncludeStrings(S);
    EXPECT_EQ(S, "xCDyCD"); // only the first occurrence of the stop string is examined
    S = "xABCD";
    Packet.CheckIncludeStrings(S);
    EXPECT_EQ(S, "xAB");
    S = "C";
    Packet.CheckIncludeStrings(S);
    EXPECT_EQ(S, "C");
    Packet.SetIncludeStrings(true);
    S = "ABxCD";
    Packet.CheckIncludeStrings(S);
    EXPECT_EQ(S, "ABxCD");
}

TEST_F(DataPacketTest, CustomStartAndStopPositions) {
    Packet.OnCustomStart = [](TObject*, const std::string& S, std::int32_t& Pos) {
        const auto At = S.find('<');
        if (At != std::string::npos)
            Pos = static_cast<std::int32_t>(At) + 1;
    };
    Packet.OnCustomStop = [](TObject*, const std::string& S, std::int32_t& Pos) {
        const auto At = S.find('>');
        if (At != std::string::npos)
            Pos = static_cast<std::int32_t>(At) + 1;
    };
    Packet.AddData("ab<cd>ef<g");
    EXPECT_EQ(Log, (TLog{"D:ab", "P:<cd>", "D:ef"}));
    EXPECT_TRUE(Packet.GetInPacket());
    EXPECT_EQ(Packet.GetPacketBuffer(), "<g");
}

TEST_F(DataPacketTest, HandlerPositionsPastTheEndMeanTheEnd) {
    std::int32_t StartPos = 100;
    Packet.OnCustomStart = [&](TObject*, const std::string&, std::int32_t& Pos) { Pos = StartPos; };
    Packet.OnCustomStop = [](TObject*, const std::string&, std::int32_t& Pos) { Pos = 100; };
    Packet.AddData("abc");
    EXPECT_EQ(Log, (TLog{"D:abc"}));
    EXPECT_TRUE(Packet.GetInPacket());
    // An end reported for an empty buffer yields nothing rather than endless empty packets.
    EXPECT_EQ(Packet.GetPacketBuffer(), "");

    Log.clear();
    StartPos = 0; // no start: the packet already open is collected
    Packet.AddData("xyz");
    EXPECT_EQ(Log, (TLog{"P:xyz"}));
}

TEST_F(DataPacketTest, HandlerExceptionsStillBoundTheBuffer) {
    Packet.SetStopString("CD");
    Packet.SetMaxBufferSize(4);
    Packet.OnPacket = [](TObject*, const std::string&) { throw std::runtime_error("boom"); };
    EXPECT_THROW(Packet.AddData("xCDyyyyyy"), std::runtime_error);
    EXPECT_EQ(Log, (TLog{"D:yyyyyy"}));
    EXPECT_EQ(Packet.GetPacketBuffer(), "");

    Log.clear();
    Packet.OnPacket = nullptr;
    Packet.OnDiscard = [](TObject*, const std::string&) { throw std::runtime_error("boom"); };
    Packet.AddData("zz");
    EXPECT_THROW(Packet.EmptyBuffer(), std::runtime_error);
    EXPECT_EQ(Packet.GetPacketBuffer(), "");
    EXPECT_FALSE(Packet.GetInPacket());
    EXPECT_NO_THROW(Packet.EmptyBuffer()); // empty: no report
}

// Counts the scans made through the virtual slot.
class TCountingPacket : public TComDataPacket {
public:
    void HandleBuffer() override {
        ++Scans;
        TComDataPacket::HandleBuffer();
    }
    int Scans = 0;
};

TEST(DataPacketScan, DescendantsSeeEveryRescan) {
    TCountingPacket P;
    int Packets = 0;
    P.OnPacket = [&](TObject*, const std::string&) { ++Packets; };
    P.SetSize(2);
    P.AddData("aabbccd");
    EXPECT_EQ(Packets, 3);
    EXPECT_EQ(P.Scans, 4); // the first scan and one after each packet
}

TEST(DataPacketScan, DataFedFromAHandlerIsScannedToo) {
    TComDataPacket P;
    std::vector<std::string> Packets;
    P.SetStopString(";");
    P.OnPacket = [&](TObject*, const std::string& S) {
        Packets.push_back(S);
        if (S == "a")
            P.AddData("b;c");
    };
    P.AddData("a;");
    EXPECT_EQ(Packets, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(P.GetPacketBuffer(), "c");
}

// A block of many small packets must not nest one call per packet: run it on a thread with a
// small stack, where nesting would overflow.
static void* FeedManyPackets(void* Arg) {
    auto* Result = static_cast<int*>(Arg);
    TComDataPacket P;
    P.SetSize(2);
    P.SetMaxBufferSize(0);
    P.OnPacket = [&](TObject*, const std::string& S) {
        if (S == "ab")
            ++*Result;
    };
    std::string Block;
    for (int I = 0; I < 50000; ++I)
        Block += "ab";
    P.AddData(Block);
    return nullptr;
}

TEST(DataPacketScan, ManyPacketsInOneBlockUseBoundedStack) {
    pthread_attr_t Attr;
    ASSERT_EQ(pthread_attr_init(&Attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&Attr, 256 * 1024), 0);
    int Count = 0;
    pthread_t Thread;
    ASSERT_EQ(pthread_create(&Thread, &Attr, FeedManyPackets, &Count), 0);
    ASSERT_EQ(pthread_join(Thread, nullptr), 0);
    pthread_attr_destroy(&Attr);
    EXPECT_EQ(Count, 50000);
}

TEST(DataPacketScan, RxBufTakesExactlyTheBytesGiven) {
    TComDataPacket P;
    std::string Got;
    P.OnPacket = [&](TObject*, const std::string& S) { Got = S; };
    const char Bytes[] = {'a', '\0', 'b', 'c'};
    P.RxBuf(nullptr, Bytes, 3);
    EXPECT_EQ(Got, std::string("a\0b", 3));
}
