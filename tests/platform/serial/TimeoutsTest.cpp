#include <gtest/gtest.h>

#include "platform/serial/Timeouts.h"

using namespace std::chrono;

namespace {
const TTimePoint t0 = TTimePoint{} + hours(1);
TTimePoint At(int ms) {
    return t0 + milliseconds(ms);
}
} // namespace

TEST(ReadTimeouts, ReturnAtOnce) {
    const auto r = MakeReadRule({MAXDWORD, 0, 0, 0, 0}, 10, t0);
    EXPECT_TRUE(ReadEnds(r, 0, 10, t0, t0));
    EXPECT_EQ(ReadWakeAt(r, 0, t0), NoDeadline);
}

TEST(ReadTimeouts, TotalIsMultiplierTimesCountPlusConstant) {
    const auto r = MakeReadRule({0, 100, 1000, 0, 0}, 7, t0);
    EXPECT_EQ(r.Deadline, At(1700));
    EXPECT_FALSE(ReadEnds(r, 3, 7, At(1699), At(10)));
    EXPECT_TRUE(ReadEnds(r, 3, 7, At(1700), At(10)));
    EXPECT_TRUE(ReadEnds(r, 7, 7, At(1), At(1)));
    // Large values do not wrap in 32 bits.
    const auto big = MakeReadRule({0, 0xFFFFFF00u, 0, 0, 0}, 1000, t0);
    EXPECT_GT(big.Deadline, At(1000 * 1000));
}

TEST(ReadTimeouts, IntervalCountsFromTheLastByteOnly) {
    const auto r = MakeReadRule({50, 0, 0, 0, 0}, 10, t0);
    EXPECT_EQ(r.Deadline, NoDeadline);
    EXPECT_FALSE(ReadEnds(r, 0, 10, At(100000), t0)) << "no byte yet: no interval";
    EXPECT_EQ(ReadWakeAt(r, 0, t0), NoDeadline);
    EXPECT_FALSE(ReadEnds(r, 2, 10, At(149), At(100)));
    EXPECT_TRUE(ReadEnds(r, 2, 10, At(150), At(100)));
    EXPECT_EQ(ReadWakeAt(r, 2, At(100)), At(150));
    // With a total as well, the earlier of the two ends the read.
    const auto both = MakeReadRule({50, 100, 1000, 0, 0}, 10, t0);
    EXPECT_EQ(ReadWakeAt(both, 1, At(1990)), At(2000));
    EXPECT_EQ(ReadWakeAt(both, 1, At(10)), At(60));
}

TEST(ReadTimeouts, FirstByteOrConstant) {
    const auto r = MakeReadRule({MAXDWORD, MAXDWORD, 300, 0, 0}, 10, t0);
    EXPECT_FALSE(ReadEnds(r, 0, 10, At(299), t0));
    EXPECT_TRUE(ReadEnds(r, 0, 10, At(300), t0));
    EXPECT_TRUE(ReadEnds(r, 1, 10, At(5), At(5)));
    // Interval all bits set with a non-zero total is no interval at all.
    const auto plain = MakeReadRule({MAXDWORD, 0, 300, 0, 0}, 10, t0);
    EXPECT_FALSE(plain.Immediate);
    EXPECT_FALSE(ReadEnds(plain, 1, 10, At(299), At(1)));
}

TEST(WriteTimeouts, TotalOrNone) {
    EXPECT_EQ(WriteDeadline({0, 0, 0, 0, 0}, 100, t0), NoDeadline);
    EXPECT_EQ(WriteDeadline({0, 0, 0, 100, 1000}, 7, t0), At(1700));
}
