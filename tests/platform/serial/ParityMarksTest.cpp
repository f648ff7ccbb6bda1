#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/serial/ParityMarks.h"
#include "platform/serial/SerialBackend.h"

namespace {

// Feeds the chunks one by one, each decoded in place as the tty backend does (input read in
// Lead() bytes behind the output), taking at most Room bytes per call, and renders what comes
// out: a byte as two hex digits, with "p" after a parity error and "b" for a break.
std::string Feed(const std::vector<std::string>& Chunks, std::size_t Room) {
    TParityMarks marks;
    std::string out;
    auto render = [&](const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& flags,
                      std::size_t n) {
        static const char hex[] = "0123456789ABCDEF";
        for (std::size_t i = 0; i < n; ++i) {
            if (flags[i] & RXF_BREAK) {
                out += "b ";
                continue;
            }
            out += hex[data[i] >> 4];
            out += hex[data[i] & 15];
            out += (flags[i] & RXF_PARITY) ? "p " : " ";
        }
    };
    auto drain = [&] {
        while (marks.Held()) {
            std::vector<std::uint8_t> data(Room + 8, 0xEE), flags(Room + 8, 0xEE);
            bool any = false;
            const std::size_t n = marks.TakeHeld(data.data(), flags.data(), Room, any);
            EXPECT_LE(n, Room);
            EXPECT_EQ(data[Room], 0xEE) << "wrote past the room";
            render(data, flags, n);
        }
    };
    for (const auto& chunk : Chunks) {
        drain();
        // A canary after the room catches any write past it.
        std::vector<std::uint8_t> data(Room + chunk.size() + 8, 0xEE), flags(data.size(), 0xEE);
        const std::size_t lead = marks.Lead();
        std::vector<std::uint8_t> spare(chunk.begin(), chunk.end());
        std::uint8_t* in = spare.data();
        if (lead + chunk.size() <= Room) {
            in = data.data() + lead;
            std::copy(chunk.begin(), chunk.end(), in);
        }
        bool any = false;
        const std::size_t n = marks.Decode(in, chunk.size(), data.data(), flags.data(), Room, any);
        EXPECT_LE(n, Room) << "chunk " << chunk.size() << " room " << Room;
        EXPECT_EQ(data[Room], 0xEE) << "wrote past the room";
        render(data, flags, n);
    }
    drain();
    if (!out.empty())
        out.pop_back();
    return out;
}

} // namespace

TEST(ParityMarks, DecodesMarksWhateverTheChunksAndRoom) {
    struct Case {
        std::vector<std::string> Chunks;
        std::string Expected;
    };
    const Case cases[] = {
        {{"AB"}, "41 42"},
        {{std::string("\xFF\xFF", 2)}, "FF"},
        {{"\xFF", "\xFF"}, "FF"},
        {{std::string("\xFF\x00"
                      "A",
                      3)},
         "41p"},
        {{"\xFF", std::string("\x00", 1), "A"}, "41p"},
        {{std::string("\xFF\x00\x00", 3)}, "b"},
        // A lone mark start is data, and so is what follows it: one byte read gives two.
        {{"\xFF", "A"}, "FF 41"},
        {{"\xFF"
          "AB"},
         "FF 41 42"},
        {{"x\xFF", "A", "\xFF\xFF"}, "78 FF 41 FF"},
    };
    for (const auto& c : cases)
        for (std::size_t room : {1u, 2u, 3u, 64u}) {
            // Room bounds the input read per call as it does in the backend.
            std::vector<std::string> chunks;
            for (const auto& chunk : c.Chunks)
                for (std::size_t at = 0; at < chunk.size(); at += room)
                    chunks.push_back(chunk.substr(at, room));
            EXPECT_EQ(Feed(chunks, room), c.Expected) << "room " << room;
        }
}

TEST(ParityMarks, EndingAndDiscarding) {
    TParityMarks marks;
    std::uint8_t data[4], flags[4];
    bool any = false;
    const std::uint8_t ff = 0xFF;
    EXPECT_EQ(marks.Decode(&ff, 1, data, flags, 4, any), 0u);
    EXPECT_EQ(marks.Lead(), 1u);
    marks.Finish();
    ASSERT_TRUE(marks.Held()) << "a mark start left when marking ends is a data byte";
    EXPECT_EQ(marks.TakeHeld(data, flags, 4, any), 1u);
    EXPECT_EQ(data[0], 0xFF);
    EXPECT_EQ(marks.Lead(), 0u);

    marks.HoldPlain(reinterpret_cast<const std::uint8_t*>("xyz"), 3);
    EXPECT_EQ(marks.Decode(&ff, 1, data, flags, 4, any), 0u);
    marks.Reset();
    EXPECT_FALSE(marks.Held());
    EXPECT_EQ(marks.Lead(), 0u);
}
