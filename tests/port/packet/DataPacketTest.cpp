#include <gtest/gtest.h>

#include <pthread.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "port/CPortPacket.h"

using TLog = std::vector<std::string>;

// Logs every discard and packet as "D:text" / "P:text", in order.
static void Record(TComDataPacket& P, TLog& Log) {
    P.OnDiscard = [&Log](TObject*, const std::string& S) { Log.push_back("D:" + S); };
    P.OnPacket = [&Log](TObject*, const std::string& S) { Log.push_back("P:" + S); };
}

struct TFilterCase {
    const char* Name;
    std::function<void(TComDataPacket&)> Setup;
    std::vector<std::string> Blocks;
    TLog Expected;
    std::string Left;
};

static void AB_CD(TComDataPacket& P) {
    P.SetStartString("AB");
    P.SetStopString("CD");
}

TEST(DataPacket, Filtering) {
    const TFilterCase Cases[] = {
        {"start/stop", AB_CD, {"xxABfooCDyy"}, {"D:xx", "P:foo"}, "yy"},
        {"include",
         [](auto& P) { AB_CD(P), P.SetIncludeStrings(true); },
         {"xxABfooCD"},
         {"D:xx", "P:ABfooCD"},
         ""},
        {"case counts", AB_CD, {"abfoocd"}, {}, "abfoocd"},
        {"no case",
         [](auto& P) { AB_CD(P), P.SetCaseInsensitive(true); },
         {"zabxcd"},
         {"D:z", "P:x"},
         ""},
        {"size", [](auto& P) { P.SetSize(4); }, {"0123456789"}, {"P:0123", "P:4567"}, "89"},
        {"size or stop",
         [](auto& P) { P.SetSize(4), P.SetStopString("X"); },
         {"abX", "abcdeX"},
         {"P:ab", "P:abcd", "P:e"},
         ""},
        {"no end: blocks whole",
         [](auto& P) { P.SetStartString("AB"); },
         {"xxAByy", ""},
         {"P:xxAByy", "P:"},
         ""},
        {"max buffer",
         [](auto& P) { AB_CD(P), P.SetMaxBufferSize(8); },
         {"1234567", "8"},
         {"D:12345678"},
         ""},
        {"all packets before the size check",
         [](auto& P) { AB_CD(P), P.SetMaxBufferSize(8); },
         {"ABxCDAByCDABzCD"},
         {"P:x", "P:y", "P:z"},
         ""},
        {"first stop occurrence only", AB_CD, {"ABxCDyCD"}, {"P:x"}, "yCD"},
        {"stop searched behind the start",
         [](auto& P) { P.SetStartString("<>"), P.SetStopString(">"); },
         {"<>a>"},
         {"P:a"},
         ""},
    };
    for (const auto& C : Cases) {
        TComDataPacket P;
        TLog Log;
        C.Setup(P);
        Record(P, Log);
        for (const auto& Block : C.Blocks)
            P.AddData(Block);
        EXPECT_EQ(Log, C.Expected) << C.Name;
        EXPECT_EQ(P.GetPacketBuffer(), C.Left) << C.Name;
    }
}

TEST(DataPacket, EverySplitOfTheInputGivesTheSameEvents) {
    const std::string Input = "xxABfooCDzzABCDAB12CD9";
    for (std::size_t Cut = 0; Cut <= Input.size(); ++Cut) {
        TComDataPacket P;
        TLog Log;
        AB_CD(P);
        Record(P, Log);
        P.AddData(Input.substr(0, Cut));
        P.AddData(Input.substr(Cut));
        EXPECT_EQ(Log, (TLog{"D:xx", "P:foo", "D:zz", "P:", "P:12"})) << "cut at " << Cut;
        EXPECT_EQ(P.GetPacketBuffer(), "9");
    }
}

TEST(DataPacket, StripOnlyAtTheEdges) {
    TComDataPacket P;
    AB_CD(P);
    for (auto [In, Out] : {std::pair{"ABxCDyCD", "xCDyCD"}, {"xABCD", "xAB"}, {"C", "C"}}) {
        std::string S = In;
        P.CheckIncludeStrings(S);
        EXPECT_EQ(S, Out) << In;
    }
}

TEST(DataPacket, ChangedSettingsEmptyTheBufferUnlessLoading) {
    TComDataPacket P;
    TLog Log;
    AB_CD(P);
    Record(P, Log);
    P.AddData("ABfoo");
    EXPECT_TRUE(P.GetInPacket());
    P.SetStartString("AB");
    EXPECT_TRUE(Log.empty());
    P.SetStartString("XY");
    EXPECT_FALSE(P.GetInPacket());
    P.AddData("bar");
    P.SetSize(3);
    P.AddData("baz");
    P.SetMaxBufferSize(2); // stored only
    P.SetIncludeStrings(true);
    P.BeginLoading();
    P.SetStopString("Q");
    P.SetCaseInsensitive(true);
    P.Loaded();
    EXPECT_EQ(Log, (TLog{"D:ABfoo", "D:bar"}));
    EXPECT_EQ(P.GetPacketBuffer(), "baz");
}

TEST(DataPacket, CustomPositionsPastTheEndMeanTheEnd) {
    TComDataPacket P;
    TLog Log;
    Record(P, Log);
    std::int32_t Start = 100, Stop = 100;
    P.OnCustomStart = [&](TObject*, const std::string&, std::int32_t& Pos) { Pos = Start; };
    P.OnCustomStop = [&](TObject*, const std::string&, std::int32_t& Pos) { Pos = Stop; };
    P.AddData("abc");
    // An end reported for an empty buffer yields nothing rather than endless empty packets.
    EXPECT_EQ(Log, (TLog{"D:abc"}));
    EXPECT_TRUE(P.GetInPacket());
    Start = 0;
    Stop = 2;
    P.AddData("xyz");
    EXPECT_EQ(Log, (TLog{"D:abc", "P:xy"}));
    EXPECT_EQ(P.GetPacketBuffer(), "z"); // start 0: no start found
}

TEST(DataPacket, HandlerExceptionsStillBoundAndClearTheBuffer) {
    TComDataPacket P;
    TLog Log;
    Record(P, Log);
    P.SetStopString("CD");
    P.SetMaxBufferSize(4);
    P.OnPacket = [](TObject*, const std::string&) { throw std::runtime_error("packet"); };
    EXPECT_THROW(P.AddData("xCDyyyyyy"), std::runtime_error);
    EXPECT_EQ(Log, (TLog{"D:yyyyyy"}));
    P.OnDiscard = [](TObject*, const std::string&) { throw std::runtime_error("discard"); };
    P.AddData("zz");
    EXPECT_THROW(P.EmptyBuffer(), std::runtime_error);
    EXPECT_EQ(P.GetPacketBuffer(), "");
    EXPECT_FALSE(P.GetInPacket());
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

TEST(DataPacket, RescansGoThroughTheSlotAndPickUpFedData) {
    TCountingPacket P;
    TLog Log;
    Record(P, Log);
    P.SetStopString(";");
    P.OnPacket = [&](TObject*, const std::string& S) {
        Log.push_back(S);
        if (S == "a")
            P.AddData("b;c");
    };
    P.AddData("a;d;");
    EXPECT_EQ(Log, (TLog{"a", "d", "b"}));
    EXPECT_EQ(P.GetPacketBuffer(), "c");
    EXPECT_EQ(P.Scans, 5); // AddData twice, one rescan after each of the three packets
}

// Nesting one call per packet would overflow this thread's small stack.
static void* FeedManyPackets(void* Count) {
    TComDataPacket P;
    P.SetSize(2);
    P.SetMaxBufferSize(0);
    P.OnPacket = [Count](TObject*, const std::string& S) {
        *static_cast<int*>(Count) += S == "ab";
    };
    std::string Block;
    for (int I = 0; I < 50000; ++I)
        Block += "ab";
    P.AddData(Block);
    return nullptr;
}

TEST(DataPacket, ManyPacketsInOneBlockUseBoundedStack) {
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
