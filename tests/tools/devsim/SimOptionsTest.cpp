#include <gtest/gtest.h>

#include <functional>

#include "SimTestSupport.h"
#include "tools/devsim/SimOptions.h"

namespace {

TEST(SimOptions, ValuesReachTheConfiguration) {
    struct TCase {
        std::vector<std::string> Args;
        std::function<bool(const TSimOptions&)> Holds;
    } const cases[] = {
        {{},
         [](const TSimOptions& o) {
             return o.Config.Address == 0x01 && o.Config.AnswerBroadcast &&
                    o.Config.Delay == TSimDuration(10) && o.RulesPath.empty() && o.Register &&
                    !o.Quiet && !o.Help && o.Config.Faults.SplitPieces == 1 &&
                    o.Config.Faults.Burst == 1;
         }},
        {{"--address=0xA0"}, [](const TSimOptions& o) { return o.Config.Address == 0xA0; }},
        {{"--delay", "0"}, [](const TSimOptions& o) { return o.Config.Delay.count() == 0; }},
        {{"--reset-gap=250"},
         [](const TSimOptions& o) { return o.Config.ResetGap == TSimDuration(250); }},
        {{"--bad-crc", "3"}, [](const TSimOptions& o) { return o.Config.Faults.BadCrcEvery == 3; }},
        {{"--split", "4", "--split-gap", "5"},
         [](const TSimOptions& o) {
             return o.Config.Faults.SplitPieces == 4 && o.Config.Faults.SplitGap == TSimDuration(5);
         }},
        {{"--garbage", "AA 00,5"},
         [](const TSimOptions& o) {
             return o.Config.Faults.Garbage == TBytes{0xAA, 0x00, 0x05};
         }},
        {{"--quiet", "--no-register", "-h"},
         [](const TSimOptions& o) { return o.Quiet && !o.Register && o.Help; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.Args));
        const auto parsed = ParseSimOptions(c.Args);
        ASSERT_FALSE(parsed.Error) << *parsed.Error;
        EXPECT_TRUE(c.Holds(parsed.Options));
    }
}

TEST(SimOptions, MistakesAreNamed) {
    struct TCase {
        std::vector<std::string> Args;
        const char* Says;
    } const cases[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"port"}, "unknown option port"},
        {{"--delay"}, "--delay needs a value"},
        {{"--delay", "-5"}, "bad value for --delay"},
        {{"--delay", "60001"}, "bad value for --delay"},
        {{"--address", "100"}, "bad value for --address"},
        {{"--address", "g"}, "bad value for --address"},
        {{"--bad-crc", "0"}, "bad value for --bad-crc"},
        {{"--split", "x"}, "bad value for --split"},
        {{"--garbage", ""}, "bad value for --garbage"},
        {{"--garbage", "AA 123"}, "bad value for --garbage"},
        {{"--quiet=yes"}, "unknown option --quiet=yes"},
        {{"--rules="}, "bad value for --rules"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.Args));
        const auto parsed = ParseSimOptions(c.Args);
        ASSERT_TRUE(parsed.Error);
        EXPECT_NE(parsed.Error->find(c.Says), std::string::npos) << *parsed.Error;
    }
}

TEST(SimOptions, HelpExplainsEveryOption) {
    const std::string usage = SimUsage();
    for (const char* option : {"--address", "--no-broadcast", "--rules", "--delay", "--reset-gap",
                               "--bad-crc", "--cut", "--silent", "--split", "--split-gap",
                               "--garbage", "--burst", "--quiet", "--no-register", "--help"}) {
        EXPECT_NE(usage.find(" " + std::string(option) + " "), std::string::npos) << option;
    }
}

} // namespace
