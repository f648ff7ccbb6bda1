#include "app/core/TxList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TBytes = std::vector<std::uint8_t>;

TTxFrame Frame(std::uint8_t address) {
    TTxFrame frame{};
    frame[0] = address;
    frame[1] = 5;
    frame[2] = 0x00;
    frame[3] = 0x30;
    frame[4] = 0x96;
    frame[5] = 0xEE; // a leftover of a longer frame, never taken
    return frame;
}

} // namespace

TEST(TxListTest, SingleModeTakesTheComposedFrame) {
    TTxList list;
    list.AddToList(Frame(1));
    const auto choice = list.Choose(Frame(0xFF));
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->Frame, (TBytes{0xFF, 0x05, 0x00, 0x30, 0x96}));
    EXPECT_FALSE(choice->Label);
}

TEST(TxListTest, ListModeSendsEachEntryInTurnAndNamesIt) {
    TTxList list;
    for (std::uint8_t a : {0, 1, 2}) {
        list.AddToList(Frame(a));
    }
    list.StartListMode();
    const std::vector<std::string> expected = {
        "Frame # 0 / 3: 00 05 00 30 96 ", "Frame # 1 / 3: 01 05 00 30 96 ",
        "Frame # 2 / 3: 02 05 00 30 96 ", "Frame # 0 / 3: 00 05 00 30 96 ",
        "Frame # 1 / 3: 01 05 00 30 96 "};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto choice = list.Choose(Frame(0xFF));
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->Frame[0], i % 3);
        EXPECT_EQ(choice->Label, expected[i]);
    }
    list.LeaveListMode();
    EXPECT_EQ(list.Choose(Frame(0xFF))->Frame[0], 0xFF);
}

TEST(TxListTest, EmptyOrShrunkListNeverReadsPastItsEnd) {
    TTxList list;
    list.StartListMode();
    EXPECT_FALSE(list.Choose(Frame(0xFF)));
    for (std::uint8_t a : {0, 1, 2}) {
        list.AddToList(Frame(a));
    }
    list.Choose(Frame(0xFF));
    list.Choose(Frame(0xFF));
    EXPECT_EQ(list.GetTxListIndex(), 2);
    // Cleared and refilled with one entry while the index stays at 2.
    list.ClearList();
    EXPECT_EQ(list.GetTxListIndex(), 2);
    EXPECT_FALSE(list.Choose(Frame(0xFF)));
    list.AddToList(Frame(9));
    for (int i = 0; i < 3; ++i) {
        const auto choice = list.Choose(Frame(0xFF));
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->Frame[0], 9);
        EXPECT_EQ(choice->Label, "Frame # 0 / 1: 09 05 00 30 96 ");
    }
}
