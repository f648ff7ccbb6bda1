// The VT102 emulation: scrolling margins and origin mode, deferred wrap, insert and delete of
// cells and lines, the line-drawing set, and a VT102's answers.
#include <algorithm>

#include "terminal/TermEngine.h"

namespace {

constexpr char BS = 8, HT = 9, LF = 10, VT = 11, FF = 12, CR = 13, SO = 14, SI = 15, DEL = 127;
constexpr int WideColumns = 132, NarrowColumns = 80;

bool IsGraphicsSet(char Final) {
    return Final == '0' || Final == '2';
}

} // namespace

void TTermEngine::ProcessVT102(char Ch) {
    TEscapeCodesVT102* Parser = FVT102Parser;
    switch (Parser->ProcessChar(Ch)) {
    case erChar:
        PutChar(Parser->GetPlainChar());
        break;
    case erCode: {
        const TEscapeCode Code = Parser->GetFoundCode();
        // Copies: a handler may replace the parser that holds them.
        const TControlParams Params = Parser->GetParams();
        if (!PerformVT102(Code, Params)) {
            const std::string Text = Parser->GetSequenceText();
            DoUnhandledCode(Code, Text);
        }
        break;
    }
    case erNothing:
        break;
    }
}

void TTermEngine::PutCharVT102(char Ch) {
    switch (Ch) {
    case BS:
        AdvanceVT102(acBackspace);
        break;
    case HT:
        AdvanceVT102(acTab);
        break;
    case LF:
    case VT:
    case FF:
        AdvanceVT102(acLineFeed);
        break;
    case CR:
        AdvanceVT102(acReturn);
        break;
    case SO:
        FVT.Shift = 1;
        break;
    case SI:
        FVT.Shift = 0;
        break;
    default:
        // Other controls, DEL and the 8-bit controls show nothing.
        if (static_cast<unsigned char>(Ch) >= 0xA0 || (Ch >= 32 && Ch != DEL))
            PrintVT102(Ch);
        break;
    }
}

void TTermEngine::PrintVT102(char Ch) {
    if (FVT.WrapPending) {
        GotoVT102(1, FCaretRow);
        IndexVT102();
    }
    const char Set = FVT.Charsets[FVT.Shift];
    if (IsGraphicsSet(Set)) {
        if (Ch >= FirstLineDrawingChar && Ch <= '~')
            Ch = LineDrawingCell(Ch);
        else if (Ch == '_')
            Ch = ' ';
    } else if (Set == 'A' && Ch == '#') {
        Ch = '\xA3'; // the pound sign of the United Kingdom set, in Latin-1
    }
    if (FVT.InsertMode)
        FScreenBuffer.InsertCells(FCaretColumn, FCaretRow, 1);
    TComTermChar Cell = GetCharAttr();
    Cell.Character = Ch;
    FScreenBuffer.SetChar(FCaretColumn, FCaretRow, Cell);
    Display().DrawCell(FCaretColumn, FCaretRow, Cell);
    if (FCaretColumn < FColumns)
        MoveCaret(FCaretColumn + 1, FCaretRow);
    else
        FVT.WrapPending = FWrapLines;
}

void TTermEngine::PrintRunVT102(const char* Text, std::int32_t Count) {
    if (FVT.InsertMode) {
        for (std::int32_t I = 0; I < Count; ++I) {
            PrintVT102(Text[I]);
            DoChar(Text[I]);
        }
        return;
    }
    TComTermChar Cell = GetCharAttr();
    const char Set = FVT.Charsets[FVT.Shift];
    const bool Graphics = IsGraphicsSet(Set), UnitedKingdom = Set == 'A';
    while (Count > 0) {
        if (FVT.WrapPending) {
            GotoVT102(1, FCaretRow);
            IndexVT102();
        }
        const int First = FCaretColumn, Row = FCaretRow;
        const int Stretch = std::min(Count, FColumns - First + 1);
        for (int I = 0; I < Stretch; ++I) {
            char Ch = Text[I];
            if (Graphics && Ch >= '_')
                Ch = Ch == '_' ? ' ' : LineDrawingCell(Ch);
            else if (UnitedKingdom && Ch == '#')
                Ch = '\xA3';
            Cell.Character = Ch;
            FScreenBuffer.SetChar(First + I, Row, Cell);
            DoChar(Text[I]);
        }
        const int Last = First + Stretch - 1;
        Display().InvalidatePortion(First, Row, Last, Row);
        Text += Stretch;
        Count -= Stretch;
        if (Last < FColumns) {
            MoveCaret(Last + 1, Row);
        } else if (FWrapLines) {
            MoveCaret(Last, Row);
            FVT.WrapPending = true;
        } else {
            // Without wrapping the rest lands on the last column, one over the other.
            MoveCaret(Last, Row);
            for (; Count > 0; --Count, ++Text) {
                PrintVT102(*Text);
                DoChar(*Text);
            }
        }
    }
}

void TTermEngine::AdvanceVT102(TAdvanceCaret Kind) {
    switch (Kind) {
    case acChar:
        GotoVT102(FCaretColumn + 1, FCaretRow);
        break;
    case acReturn:
        GotoVT102(1, FCaretRow);
        break;
    case acLineFeed:
        IndexVT102();
        if (FVT.NewLineMode)
            GotoVT102(1, FCaretRow);
        break;
    case acReverseLineFeed:
        ReverseIndexVT102();
        break;
    case acTab: {
        const int Tab = FScreenBuffer.NextTab(FCaretColumn + 1);
        GotoVT102(Tab > 0 ? Tab : FColumns, FCaretRow);
        break;
    }
    case acBackspace:
        GotoVT102(FCaretColumn - 1, FCaretRow);
        break;
    }
}

void TTermEngine::GotoVT102(int Column, int Row) {
    FVT.WrapPending = false;
    MoveCaret(Column, Row);
}

void TTermEngine::GotoOrigin(int Column, int Row) {
    if (FVT.OriginMode)
        Row = std::clamp(Row + FVT.Top - 1, FVT.Top, FVT.Bottom);
    GotoVT102(Column, Row);
}

void TTermEngine::IndexVT102() {
    FVT.WrapPending = false;
    if (FCaretRow == FVT.Bottom)
        FScreenBuffer.ScrollRows(FVT.Top, FVT.Bottom, 1);
    else if (FCaretRow < FRows)
        MoveCaret(FCaretColumn, FCaretRow + 1);
}

void TTermEngine::ReverseIndexVT102() {
    FVT.WrapPending = false;
    if (FCaretRow == FVT.Top)
        FScreenBuffer.ScrollRows(FVT.Top, FVT.Bottom, -1);
    else if (FCaretRow > 1)
        MoveCaret(FCaretColumn, FCaretRow - 1);
}

bool TTermEngine::PerformVT102(TEscapeCode Code, const TControlParams& P) {
    const int N = P.Arg(0, 1);
    const int Column = FCaretColumn, Row = FCaretRow;
    const bool InRegion = Row >= FVT.Top && Row <= FVT.Bottom;
    switch (Code) {
    case ecCursorUp: // stops at the top margin when it starts below it
        GotoVT102(Column, std::max(Row - N, Row >= FVT.Top ? FVT.Top : 1));
        break;
    case ecCursorDown:
        GotoVT102(Column, std::min(Row + N, Row <= FVT.Bottom ? FVT.Bottom : FRows));
        break;
    case ecCursorRight:
        GotoVT102(std::min(Column + N, FColumns), Row);
        break;
    case ecCursorLeft:
        GotoVT102(std::max(Column - N, 1), Row);
        break;
    case ecCursorHome:
    case ecCursorMove:
        GotoOrigin(P.Arg(1, 1), P.Arg(0, 1));
        break;
    case ecIndex:
        IndexVT102();
        break;
    case ecNextLine:
        GotoVT102(1, Row);
        IndexVT102();
        break;
    case ecReverseLineFeed:
        ReverseIndexVT102();
        break;
    case ecEraseLineFrom:
        FScreenBuffer.EraseLine(Column, Row);
        break;
    case ecEraseLineTo:
        FScreenBuffer.EraseRange(1, Row, Column, Row);
        break;
    case ecEraseLine:
        FScreenBuffer.EraseLine(1, Row);
        break;
    case ecEraseScreenFrom:
        FScreenBuffer.EraseScreen(Column, Row);
        break;
    case ecEraseScreenTo:
        FScreenBuffer.EraseRange(1, 1, Column, Row);
        break;
    case ecEraseScreen:
        FScreenBuffer.EraseScreen(1, 1);
        break;
    case ecEraseChars:
        FScreenBuffer.EraseRange(Column, Row, std::min(Column + N - 1, FColumns), Row);
        break;
    case ecInsertChars:
        FScreenBuffer.InsertCells(Column, Row, N);
        break;
    case ecDeleteChars:
        FScreenBuffer.DeleteCells(Column, Row, N);
        break;
    case ecInsertLines:
    case ecDeleteLines:
        // Only inside the margins.
        if (InRegion) {
            FVT.WrapPending = false;
            FScreenBuffer.ScrollRows(Row, FVT.Bottom, Code == ecDeleteLines ? N : -N);
        }
        break;
    case ecSetMargins: {
        const int Top = P.Arg(0, 1), Bottom = std::min(P.Arg(1, FRows), FRows);
        // A region is two lines at least; anything else is ignored.
        if (Top < Bottom) {
            FVT.Top = Top;
            FVT.Bottom = Bottom;
            GotoOrigin(1, 1);
        }
        break;
    }
    case ecSetTab:
        FScreenBuffer.SetTab(Column, true);
        break;
    case ecClearTab:
        FScreenBuffer.SetTab(Column, false);
        break;
    case ecClearAllTabs:
        FScreenBuffer.ClearAllTabs();
        break;
    case ecIdentify:
        SendCodeNoEcho(ecIdentResponse, nullptr);
        break;
    case ecQueryDevice:
        SendCodeNoEcho(ecReportDeviceOK, nullptr);
        break;
    case ecQueryCursorPos: {
        TStringList Answer;
        Answer.Add(std::to_string(FVT.OriginMode ? Row - FVT.Top + 1 : Row));
        Answer.Add(std::to_string(Column));
        SendCodeNoEcho(ecReportCursorPos, &Answer);
        break;
    }
    case ecAttributes:
        SetAttributesVT102(P);
        break;
    case ecSetMode:
    case ecResetMode:
        SetModesVT102(P, Code == ecSetMode);
        break;
    case ecReset:
        ResetVT102();
        break;
    case ecSaveCaretAndAttr:
        SaveCaretPos();
        SaveAttr();
        std::copy(FVT.Charsets, FVT.Charsets + 2, FVT.SavedCharsets);
        FVT.SavedShift = FVT.Shift;
        FVT.SavedOriginMode = FVT.OriginMode;
        FVT.SavedWrapPending = FVT.WrapPending;
        break;
    case ecRestoreCaretAndAttr:
        RestoreAttr();
        std::copy(FVT.SavedCharsets, FVT.SavedCharsets + 2, FVT.Charsets);
        FVT.Shift = FVT.SavedShift;
        FVT.OriginMode = FVT.SavedOriginMode;
        // In origin mode the caret cannot leave the margins set since.
        GotoVT102(FSavedCaretColumn, FVT.OriginMode
                                         ? std::clamp(FSavedCaretRow, FVT.Top, FVT.Bottom)
                                         : FSavedCaretRow);
        FVT.WrapPending = FVT.SavedWrapPending && FWrapLines &&
                          FCaretColumn == FColumns; // a narrower screen since drops it
        break;
    case ecSaveCaret:
        SaveCaretPos();
        break;
    case ecRestoreCaret:
        GotoVT102(FSavedCaretColumn, FSavedCaretRow);
        break;
    case ecTest: // DECALN: the screen full of E, the margins at the screen's edges
        PerformTest('E');
        ResetMargins();
        GotoVT102(1, 1);
        break;
    case ecCharsetG0:
    case ecCharsetG1:
        FVT.Charsets[Code == ecCharsetG1 ? 1 : 0] = P.Final;
        break;
    default:
        return false;
    }
    return true;
}

void TTermEngine::SetModesVT102(const TControlParams& P, bool OnOff) {
    for (int I = 0; I < P.Count; ++I) {
        const int Mode = P.Raw(I);
        if (P.Marker != '?') {
            if (Mode == 4) // IRM
                FVT.InsertMode = OnOff;
            else if (Mode == 20) // LNM
                FVT.NewLineMode = OnOff;
            continue;
        }
        switch (Mode) {
        case 1: // DECCKM
            FAppCursorKeys = OnOff;
            break;
        case 3: // DECCOLM: a new width is a clear screen
            SetColumns(OnOff ? WideColumns : NarrowColumns);
            FScreenBuffer.EraseScreen(1, 1);
            ResetMargins();
            GotoVT102(1, 1);
            break;
        case 5: // DECSCNM
            if (FVT.ReverseScreen != OnOff) {
                FVT.ReverseScreen = OnOff;
                Display().InvalidateAll();
            }
            break;
        case 6: // DECOM
            FVT.OriginMode = OnOff;
            GotoOrigin(1, 1);
            break;
        case 7: // DECAWM
            FWrapLines = OnOff;
            FVT.WrapPending = FVT.WrapPending && OnOff;
            break;
        default:
            break;
        }
    }
}

void TTermEngine::SetAttributesVT102(const TControlParams& P) {
    if (P.Count == 0)
        FAttr = TAttributes{};
    for (int I = 0; I < P.Count; ++I)
        ApplyRendition(P.Raw(I), 22);
}

void TTermEngine::ResetVT102() {
    FVT = TVT102State{};
    ResetMargins();
    FAttr = TAttributes{};
    FSavedAttr = TAttributes{};
    FSavedCaretColumn = 1;
    FSavedCaretRow = 1;
    FAppCursorKeys = false;
    FWrapLines = true;
    FScreenBuffer.Init();
    GotoVT102(1, 1);
    Display().InvalidateAll();
}

void TTermEngine::ResetMargins() {
    FVT.Top = 1;
    FVT.Bottom = FRows;
}
