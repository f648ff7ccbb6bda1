#include "platform/serial/ByteRing.h"

#include <numeric>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Bytes written into the free space at the tail and kept with Commit come out in order, whatever
// the wrap point, and never beyond the free room.
TEST(ByteRing, ReceivingIntoTheTailKeepsOrderAcrossTheWrap) {
    struct TCase {
        std::size_t Capacity, Before, Popped, Incoming;
    };
    for (const TCase c : {TCase{8, 0, 0, 8}, TCase{8, 5, 5, 8}, TCase{8, 6, 3, 7},
                          TCase{8, 7, 1, 20}, TCase{1, 0, 0, 3}}) {
        TByteRing ring(c.Capacity);
        std::vector<std::uint8_t> sent(c.Before + c.Incoming);
        std::iota(sent.begin(), sent.end(), std::uint8_t{1});
        ring.Push(sent.data(), c.Before);
        std::vector<std::uint8_t> got(c.Popped);
        ring.Pop(got.data(), c.Popped);
        std::size_t offered = c.Before;
        // Receive rounds as the pump does: fill the contiguous room, commit, go on.
        for (;;) {
            std::size_t room = 0;
            std::uint8_t* tail = ring.Tail(room);
            const std::size_t n = std::min(room, sent.size() - offered);
            if (n == 0)
                break;
            std::copy_n(sent.data() + offered, n, tail);
            ring.Commit(n);
            offered += n;
        }
        EXPECT_EQ(ring.Size(), std::min(c.Capacity, c.Before - c.Popped + c.Incoming));
        got.resize(c.Popped + ring.Size());
        ring.Pop(got.data() + c.Popped, ring.Size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), sent.begin()))
            << c.Capacity << " " << c.Before << " " << c.Popped;
    }
}

} // namespace
