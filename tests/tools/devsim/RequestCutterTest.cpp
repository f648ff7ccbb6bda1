#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "tools/devsim/RequestCutter.h"

namespace {

struct TPiece {
    int AtMs;
    TBytes Bytes;
};

struct TCutCase {
    const char* Name;
    std::vector<TPiece> Pieces;
    std::vector<TRequest> Expected;
    std::size_t Dropped;
    std::size_t Pending;
};

TBytes WithBadCrc(TBytes Frame) {
    Frame.back() ^= 0x01;
    return Frame;
}

TEST(RequestCutter, CutsByLengthAndChecksCrc) {
    const TRequest ping{0x01, 0x00, {}, true};
    const TRequest write{0x01, 0x1A, {0x10, 0x20, 0x30}, true};
    const TBytes writeFrame = Request(0x01, 0x1A, {0x10, 0x20, 0x30});
    const TCutCase cases[] = {
        {"one frame", {{0, Request(1, 0)}}, {ping}, 0, 0},
        {"two frames in one piece", {{0, Join({Request(1, 0), writeFrame})}}, {ping, write}, 0, 0},
        {"frame in byte-sized pieces",
         [&] {
             std::vector<TPiece> p;
             for (std::size_t i = 0; i < writeFrame.size(); ++i) {
                 p.push_back({static_cast<int>(i), {writeFrame[i]}});
             }
             return p;
         }(),
         {write},
         0,
         0},
        {"bad CRC is consumed whole",
         {{0, Join({WithBadCrc(Request(1, 0)), Request(1, 0)})}},
         {TRequest{0x01, 0x00, {}, false}, ping},
         0,
         0},
        {"noise whose length byte cannot start a frame is skipped",
         {{0, Join({{0xAA, 0x00, 0x03}, Request(1, 0)})}},
         {ping},
         3,
         0},
        {"partial frame, then silence: forgotten",
         {{0, {0x01, 0x07, 0x1A}}, {100, writeFrame}},
         {write},
         3,
         0},
        {"partial frame, gap below the reset gap: completed",
         {{0, {writeFrame.begin(), writeFrame.begin() + 4}},
          {99, {writeFrame.begin() + 4, writeFrame.end()}}},
         {write},
         0,
         0},
        {"partial frame waits", {{0, {0x01, 0x07, 0x1A}}}, {}, 0, 3},
        {"longest frame",
         {{0, Request(0xFF, 0x01, TBytes(250, 0xEE))}},
         {TRequest{0xFF, 0x01, TBytes(250, 0xEE), true}},
         0,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TRequestCutter cutter(TSimDuration(100));
        std::vector<TRequest> got;
        for (const auto& piece : c.Pieces) {
            for (auto& r : cutter.Feed(piece.Bytes, At(piece.AtMs))) {
                got.push_back(std::move(r));
            }
        }
        EXPECT_EQ(got, c.Expected);
        EXPECT_EQ(cutter.Dropped(), c.Dropped);
        EXPECT_EQ(cutter.Pending(), c.Pending);
    }
}

} // namespace
