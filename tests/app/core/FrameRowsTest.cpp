#include "app/core/FrameRows.h"
#include "app/core/FrameRendering.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<std::uint8_t>;

} // namespace

TEST(FrameRenderingTest, HexAndAsciiRenderings) {
    struct TCase {
        TBytes Bytes;
        std::string Hex;
        std::string Ascii;
    };
    const std::vector<TCase> cases = {
        {{}, "", ""},
        {{0x01, 0xA0, 0xFF}, "01 A0 FF ", "..."},
        {{0x41, 0x20, 0x42, 0x0A}, "41 20 42 0A ", "A.B."},
        {{0x21, 0x7E, 0x7F, 0x80, 0x00}, "21 7E 7F 80 00 ", "!~..."},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(RenderHex(c.Bytes.data(), c.Bytes.size()), c.Hex);
        EXPECT_EQ(RenderAscii(c.Bytes.data(), c.Bytes.size()), c.Ascii);
        EXPECT_EQ(RenderParameters(c.Bytes.data(), c.Bytes.size(), true), c.Ascii);
        EXPECT_EQ(RenderParameters(c.Bytes.data(), c.Bytes.size(), false), c.Hex);
    }
}

TEST(FrameRenderingTest, SentFrameRows) {
    struct TCase {
        TBytes Frame;
        std::string Command;
        bool Ascii;
        TFrameRow Expected;
    };
    const std::vector<TCase> cases = {
        {{0xFF, 0x05, 0x00, 0x30, 0x96},
         "0x00  PING",
         false,
         {"7", "FF", "05", "0x00  PING", "", "-", "30 96", "TX"}},
        {{0xFF, 0x05, 0x00, 0x30, 0x96}, "", true, {"7", "FF", "05", "", "", "-", "30 96", "TX"}},
        {{0x01, 0x07, 0x10, 0x00, 0x05, 0xE8, 0xBA},
         "0x10  READ",
         false,
         {"7", "01", "07", "0x10  READ", "00 05 ", "-", "E8 BA", "TX"}},
        {{0x01, 0x09, 0x10, 0x41, 0x20, 0x42, 0x0A, 0x12, 0x34},
         "",
         true,
         {"7", "01", "09", "", "A.B.", "-", "12 34", "TX"}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(TxFrameRow(c.Frame.data(), c.Frame.size(), 7, c.Command, c.Ascii), c.Expected);
    }
}

TEST(FrameRowsTest, RowsAreNumberedFromEveryClearAndAnEmptyGridKeepsABlankRow) {
    TFrameRows rows;
    EXPECT_EQ(rows.RowCount(), 2);
    for (int col = 0; col < kGridColumns; ++col) {
        EXPECT_EQ(rows.Cell(col, 0), kGridHeaders[col]);
        EXPECT_EQ(rows.Cell(col, 1), "");
    }
    // The "Status" cell and the kind agree whatever text the row was given there.
    const TRowKind kinds[] = {rkSent, rkCrcFail, rkTooShortTimeout};
    for (TRowKind kind : kinds) {
        rows.AppendRow(
            {std::to_string(rows.GetFrameCount()), "01", "06", "00", "", "0x05", "94 B1", "CRC OK"},
            kind);
    }
    EXPECT_EQ(rows.RowCount(), 4);
    EXPECT_EQ(rows.Cell(kColNr, 3), "2");
    for (int r = 1; r <= 3; ++r) {
        EXPECT_EQ(rows.Kind(r), kinds[r - 1]);
        EXPECT_EQ(rows.Cell(kColStatus, r), RowStatusText(kinds[r - 1]));
        EXPECT_EQ(rows.Cell(kColCrc, r), "94 B1");
    }
    EXPECT_EQ(rows.Cell(kColStatus, 2), "CRC FAIL");
    EXPECT_EQ(rows.Cell(kColStatus, 4), "");
    EXPECT_EQ(rows.Cell(-1, 1), "");
    EXPECT_EQ(rows.Cell(kGridColumns, 1), "");

    const std::uint64_t clears = rows.GetClearCount();
    rows.ClearRxFrames();
    EXPECT_EQ(rows.GetClearCount(), clears + 1);
    EXPECT_EQ(rows.GetFrameCount(), 0);
    EXPECT_EQ(rows.RowCount(), 2);
    EXPECT_EQ(rows.Cell(kColNr, 1), "");
    rows.AppendRow({std::to_string(rows.GetFrameCount())}, rkCrcOk);
    EXPECT_EQ(rows.Cell(kColNr, 1), "0");
}

TEST(FrameRowsTest, OnlyParametersOfFrameRowsTakeTypedText) {
    TFrameRows rows;
    rows.AppendRow({"0", "01", "06", "00", "41 ", "0x05", "94 B1", "CRC OK"}, rkCrcOk);
    EXPECT_TRUE(rows.SetParametersText(1, "typed"));
    EXPECT_EQ(rows.Cell(kColParameters, 1), "typed");
    EXPECT_EQ(rows.Cell(kColOpCode, 1), "0x05");
    EXPECT_FALSE(rows.SetParametersText(0, "header"));
    EXPECT_FALSE(rows.SetParametersText(2, "beyond"));
    rows.ClearRxFrames();
    rows.AppendRow({"0", "", "", "", "fresh"}, rkSent);
    EXPECT_EQ(rows.Cell(kColParameters, 1), "fresh");
}

TEST(FrameRowsTest, CellsSurviveManyBlocksAndLongTextsAreCut) {
    TFrameRows rows;
    const std::string longText(TFrameRows::kMaxCellText + 100, 'x');
    for (int i = 0; i < 20000; ++i) {
        TFrameRow row{std::to_string(i), "AA", "BB", "CC", std::string(i % 700, 'p')};
        if (i == 12345) {
            row[kColOpCode] = longText;
        }
        rows.AppendRow(row, static_cast<TRowKind>(i % kRowKinds));
    }
    for (int i = 0; i < 20000; i += 997) {
        ASSERT_EQ(rows.Cell(kColNr, i + 1), std::to_string(i));
        ASSERT_EQ(rows.Cell(kColParameters, i + 1).size(), static_cast<std::size_t>(i % 700));
        ASSERT_EQ(rows.Cell(kColCrc, i + 1), "");
        ASSERT_EQ(rows.Kind(i + 1), i % kRowKinds);
    }
    EXPECT_EQ(rows.Cell(kColOpCode, 12346).size(), TFrameRows::kMaxCellText);
    EXPECT_EQ(rows.Cell(kColNr, 12347), "12346");
}

TEST(FrameRowsTest, ParametersColumnFollowsTheGridWidth) {
    struct TCase {
        int GridWidth;
        std::array<int, kGridColumns> Widths;
        int Expected;
    };
    const std::vector<TCase> cases = {
        {762, kGridColumnWidths, 302},
        {1000, kGridColumnWidths, 540},
        {300, kGridColumnWidths, 20},
        {762, {400, 50, 50, 50, 999, 110, 50, 80}, 20},
        {762, {40, 50, 50, 50, 1, 110, 50, 70}, 312},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ParametersColumnWidth(c.GridWidth, c.Widths), c.Expected);
    }
}
