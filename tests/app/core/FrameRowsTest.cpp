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
    }
}

// A sent frame's row, and every row's parameters in the rendering the grid has now.
TEST(FrameRenderingTest, SentFrameRowsFollowTheRendering) {
    struct TCase {
        TBytes Frame;
        std::string Command;
        TFrameRow Expected; // the "Parameters" cell in HEX
        std::string Ascii;
    };
    const std::vector<TCase> cases = {
        {{0xFF, 0x05, 0x00, 0x30, 0x96},
         "0x00  PING",
         {"7", "FF", "05", "0x00  PING", "", "-", "30 96", "TX"},
         ""},
        {{0x01, 0x07, 0x10, 0x00, 0x05, 0xE8, 0xBA},
         "0x10  READ",
         {"7", "01", "07", "0x10  READ", "00 05 ", "-", "E8 BA", "TX"},
         ".."},
        {{0x01, 0x09, 0x10, 0x41, 0x20, 0x42, 0x0A, 0x12, 0x34},
         "",
         {"7", "01", "09", "", "41 20 42 0A ", "-", "12 34", "TX"},
         "A.B."},
    };
    TFrameRows rows;
    for (const TCase& c : cases) {
        rows.AppendRow(TxFrameRow(c.Frame.data(), c.Frame.size(), 7, c.Command), rkSent,
                       TxFrameParameters(c.Frame.data(), c.Frame.size()));
    }
    for (bool ascii : {false, true, false}) {
        rows.SetAscii(ascii);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const auto r = static_cast<std::int32_t>(i + 1);
            for (int col = 0; col <= kColStatus; ++col) {
                EXPECT_EQ(rows.Cell(col, r),
                          col == kColParameters && ascii ? cases[i].Ascii : cases[i].Expected[col])
                    << "row " << r << " column " << col << (ascii ? " ASCII" : " HEX");
            }
        }
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
    const std::uint8_t byte = 0x41;
    rows.AppendRow({"0", "01", "06", "00", "", "0x05", "94 B1", "CRC OK"}, rkCrcOk, {&byte, 1});
    EXPECT_EQ(rows.Cell(kColParameters, 1), "41 ");
    EXPECT_TRUE(rows.SetParametersText(1, "typed"));
    EXPECT_EQ(rows.Cell(kColParameters, 1), "typed");
    EXPECT_EQ(rows.Cell(kColOpCode, 1), "0x05");
    EXPECT_FALSE(rows.SetParametersText(0, "header"));
    EXPECT_FALSE(rows.SetParametersText(2, "beyond"));
    rows.ClearRxFrames();
    rows.AppendRow({"0", "", "", "", "ignored"}, rkSent, {&byte, 1});
    EXPECT_EQ(rows.Cell(kColParameters, 1), "41 ");
}

TEST(FrameRowsTest, CellsSurviveManyBlocksAndLongTextsAreCut) {
    TFrameRows rows;
    const std::string longText(TFrameRows::kMaxCellText + 100, 'x');
    for (int i = 0; i < 20000; ++i) {
        TFrameRow row{std::to_string(i), "AA", "BB", "CC"};
        if (i == 12345) {
            row[kColOpCode] = longText;
        }
        const TBytes parameters(static_cast<std::size_t>(i % 700), 0x70);
        rows.AppendRow(row, static_cast<TRowKind>(i % kRowKinds), parameters, 3);
    }
    for (int i = 0; i < 20000; i += 997) {
        ASSERT_EQ(rows.Cell(kColNr, i + 1), std::to_string(i));
        const TRowKind kind = rows.Kind(i + 1);
        const bool shortRow = kind == rkTooShort || kind == rkTooShortTimeout;
        // HEX: as many bytes as there are, cut to the cell's bound; ASCII: the length given.
        ASSERT_EQ(rows.Cell(kColParameters, i + 1).size(),
                  shortRow ? 1 : std::min<std::size_t>((i % 700) * 3, 1365 * 3));
        rows.SetAscii(true);
        const std::size_t shown = std::min<std::size_t>(static_cast<std::size_t>(i % 700), 3);
        ASSERT_EQ(rows.Cell(kColParameters, i + 1),
                  shortRow ? "?" : std::string(shown, 'p') + std::string(3 - shown, '.'));
        rows.SetAscii(false);
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
    // The grid gives hidden columns no width.
    const std::array<int, kGridColumns> timeHidden = {40, 50, 50, 50, 120, 110, 50, 80, 0, 0};
    const std::vector<TCase> cases = {
        {762, timeHidden, 302},
        {1000, timeHidden, 540},
        {762, kGridColumnWidths, 132},
        {300, kGridColumnWidths, 20},
        {762, {400, 50, 50, 50, 999, 110, 50, 80, 0, 0}, 20},
        {762, {40, 50, 50, 50, 1, 110, 50, 70, 0, 0}, 312},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ParametersColumnWidth(c.GridWidth, c.Widths), c.Expected);
    }
}
