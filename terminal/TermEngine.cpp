// Properties, receiving and writing, characters and caret steps, saving and loading the screen.
#include "terminal/TermEngine.h"

#include <algorithm>
#include <limits>

namespace {

constexpr char BS = 8, HT = 9, LF = 10, FF = 12, CR = 13;

class TNullView final : public TTermView {
public:
    void InvalidatePortion(int, int, int, int) override {}
    void InvalidateAll() override {}
    void ScrollScreen(bool) override {}
    void DrawCell(int, int, const TComTermChar&) override {}
    void CaretMoved(int, int) override {}
    void HideCaret() override {}
    void ShowCaret() override {}
    void CaretShapeChanged() override {}
    void ScreenSizeChanged() override {}
};

TNullView NullView;

bool IsPlainText(char Ch) {
    return Ch >= 32 && Ch < 127;
}

int Clamp(std::int64_t Value, int Low, int High) {
    return static_cast<int>(std::clamp<std::int64_t>(Value, Low, High));
}

} // namespace

TTermEngine::TTermEngine() {
    CreateEscapeCodes();
    FScreenBuffer.Init();
}

TTermEngine::~TTermEngine() = default;

TTermView& TTermEngine::Display() const {
    return FView ? *FView : NullView;
}

void TTermEngine::Loaded() {
    FLoading = false;
    CreateEscapeCodes();
    FScreenBuffer.Init();
    MoveCaret(FCaretColumn, FCaretRow);
}

void TTermEngine::SetColumns(int Value) {
    Value = std::clamp(Value, MinColumns, MaxColumns);
    if (Value == FColumns)
        return;
    FColumns = Value;
    ScreenResized();
}

void TTermEngine::SetRows(int Value) {
    Value = std::clamp(Value, MinRows, MaxRows);
    if (Value == FRows)
        return;
    FRows = Value;
    ScreenResized();
}

void TTermEngine::ScreenResized() {
    // The cells always match the size, also while loading, so no write can leave the block;
    // and they do before the view hears of the new size, so it never reads the old block.
    FScreenBuffer.Init();
    ResetMargins();
    FVT.WrapPending = false;
    FSavedCaretColumn = std::min(FSavedCaretColumn, FColumns);
    FSavedCaretRow = std::min(FSavedCaretRow, FRows);
    MoveCaret(FCaretColumn, FCaretRow);
    Display().ScreenSizeChanged();
    Display().InvalidateAll();
}

void TTermEngine::SetEmulation(TTermEmulation Value) {
    if (Value == FEmulation)
        return;
    FEmulation = Value;
    const bool WasReverse = FVT.ReverseScreen;
    FVT = TVT102State{};
    ResetMargins();
    if (Value == teVT102)
        FWrapLines = true;
    if (!FLoading)
        CreateEscapeCodes();
    if (WasReverse)
        Display().InvalidateAll();
}

void TTermEngine::SetCaret(TTermCaret Value) {
    if (Value == FCaret)
        return;
    FCaret = Value;
    Display().CaretShapeChanged();
}

void TTermEngine::CreateEscapeCodes() {
    FVT102Parser = nullptr;
    FEscapeParser.reset();
    switch (FEmulation) {
    case teVT100orANSI:
        FEscapeParser = std::make_unique<TEscapeCodesVT100>();
        break;
    case teVT102: {
        auto Parser = std::make_unique<TEscapeCodesVT102>();
        FVT102Parser = Parser.get();
        FEscapeParser = std::move(Parser);
        break;
    }
    case teVT52:
        FEscapeParser = std::make_unique<TEscapeCodesVT52>();
        break;
    case teNone: {
        TEscapeCodes* Supplied = nullptr;
        DoGetEscapeCodes(Supplied);
        FEscapeParser.reset(Supplied);
        break;
    }
    }
}

void TTermEngine::ClearScreen() {
    FScreenBuffer.Init();
    MoveCaret(1, 1);
    Display().InvalidateAll();
}

void TTermEngine::MoveCaret(int Column, int Row) {
    Column = std::clamp(Column, 1, FColumns);
    Row = std::clamp(Row, 1, FRows);
    // A caret moved elsewhere no longer waits to wrap; a repaint puts it where it is.
    if (Column != FCaretColumn || Row != FCaretRow)
        FVT.WrapPending = false;
    FCaretColumn = Column;
    FCaretRow = Row;
    Display().CaretMoved(FCaretColumn, FCaretRow);
}

void TTermEngine::MoveCaretBy(std::int64_t Columns, std::int64_t Rows) {
    // Parameters reach the full 32-bit range; the sum must not overflow before the clamp.
    MoveCaret(Clamp(FCaretColumn + Columns, 1, FColumns), Clamp(FCaretRow + Rows, 1, FRows));
}

void TTermEngine::RxBuf(TObject*, const void* Buffer, std::int32_t Count) {
    if (Buffer == nullptr || Count <= 0)
        return;
    const auto* Bytes = static_cast<const char*>(Buffer);
    std::string Str;
    Str.reserve(static_cast<std::size_t>(Count));
    for (std::int32_t I = 0; I < Count; ++I) {
        Str += Bytes[I];
        if (FAppendLF && Bytes[I] == CR)
            Str += LF;
    }
    if (FForce7Bit)
        for (char& Ch : Str)
            Ch = static_cast<char>(Ch & 0x7F);
    StringReceived(Str);
}

void TTermEngine::StringReceived(const std::string& Str) {
    std::string Text = Str;
    DoStrRecieved(Text);
    WriteStr(Text);
}

void TTermEngine::WriteStr(const std::string& Str) {
    Write(Str.data(), static_cast<std::int32_t>(Str.size()));
}

void TTermEngine::Write(const void* Buffer, std::int32_t Count) {
    if (Buffer == nullptr || Count <= 0)
        return;
    TCaretHider Hider(Display());
    const auto* Bytes = static_cast<const char*>(Buffer);
    if (FVT102Parser != nullptr) {
        WriteVT102(Bytes, Count);
        return;
    }
    for (std::int32_t I = 0; I < Count; ++I)
        ProcessByte(Bytes[I]);
}

void TTermEngine::WriteVT102(const char* Bytes, std::int32_t Count) {
    for (std::int32_t I = 0; I < Count;) {
        // Text between sequences, the bulk of what a full-screen program sends, in stretches.
        // A handler called meanwhile may have chosen another emulation.
        if (FVT102Parser == nullptr) {
            ProcessByte(Bytes[I++]);
            continue;
        }
        if (!FVT102Parser->GetCollectingSequence() && IsPlainText(Bytes[I])) {
            std::int32_t End = I + 1;
            while (End < Count && IsPlainText(Bytes[End]))
                ++End;
            PrintRunVT102(Bytes + I, End - I);
            I = End;
            continue;
        }
        ProcessVT102(Bytes[I++]);
    }
}

void TTermEngine::ProcessByte(char Ch) {
    if (FVT102Parser != nullptr) {
        ProcessVT102(Ch);
        return;
    }
    TEscapeCodes* Parser = FEscapeParser.get();
    if (Parser == nullptr) {
        PutChar(Ch);
        return;
    }
    switch (Parser->ProcessChar(Ch)) {
    case erChar:
        PutChar(Parser->GetPlainChar());
        break;
    case erCode: {
        // Emptied also when an answer's write fails, so no parameter leaks into the next code.
        struct TParamsClearer {
            TTermEngine& Engine;
            TEscapeCodes* Parser;
            ~TParamsClearer() {
                // A handler may have replaced the parser meanwhile.
                if (Engine.FEscapeParser.get() == Parser)
                    Parser->GetCodeParams().Clear();
            }
        } Clearer{*this, Parser};
        const TEscapeCode Code = Parser->GetFoundCode();
        if (!PutEscapeCode(Code, &Parser->GetCodeParams())) {
            // A copy: the handler may replace the parser that holds the text.
            const std::string Text = Parser->GetSequenceText();
            DoUnhandledCode(Code, Text);
        }
        break;
    }
    case erNothing:
        break;
    }
}

void TTermEngine::WriteEscCode(TEscapeCode Code, TStrings* AParams) {
    if (FEscapeParser)
        PutEscapeCode(Code, AParams);
}

void TTermEngine::PutChar(char Ch) {
    if (FEmulation == teVT102) {
        PutCharVT102(Ch);
        DoChar(Ch);
        return;
    }
    switch (Ch) {
    case BS:
        AdvanceCaret(acBackspace);
        break;
    case HT:
        AdvanceCaret(acTab);
        break;
    case LF:
    case FF:
        AdvanceCaret(acLineFeed);
        break;
    case CR:
        AdvanceCaret(acReturn);
        break;
    default:
        if (static_cast<unsigned char>(Ch) >= 32) {
            TComTermChar Cell = GetCharAttr();
            Cell.Character = Ch;
            FScreenBuffer.SetChar(FCaretColumn, FCaretRow, Cell);
            Display().DrawCell(FCaretColumn, FCaretRow, Cell);
            AdvanceCaret(acChar);
        }
        break;
    }
    DoChar(Ch);
}

void TTermEngine::AdvanceCaret(TAdvanceCaret Kind) {
    if (FEmulation == teVT102) {
        AdvanceVT102(Kind);
        return;
    }
    switch (Kind) {
    case acChar:
        if (FCaretColumn < FColumns) {
            MoveCaret(FCaretColumn + 1, FCaretRow);
        } else if (FWrapLines) {
            if (FCaretRow < FRows) {
                MoveCaret(1, FCaretRow + 1);
            } else {
                FScreenBuffer.ScrollDown();
                MoveCaret(1, FCaretRow);
            }
        }
        break;
    case acReturn:
        MoveCaret(1, FCaretRow);
        break;
    case acLineFeed:
        if (FCaretRow < FRows)
            MoveCaret(FCaretColumn, FCaretRow + 1);
        else
            FScreenBuffer.ScrollDown();
        break;
    case acReverseLineFeed:
        if (FCaretRow > 1)
            MoveCaret(FCaretColumn, FCaretRow - 1);
        else
            FScreenBuffer.ScrollUp();
        break;
    case acTab: {
        const int Tab = FScreenBuffer.NextTab(FCaretColumn + 1);
        if (Tab > 0)
            MoveCaret(Tab, FCaretRow);
        break;
    }
    case acBackspace:
        MoveCaret(FCaretColumn - 1, FCaretRow);
        break;
    }
}

TComTermChar TTermEngine::GetCharAttr() const {
    TComTermChar Cell;
    Cell.TextColor = FAttr.BoldText ? FAltColor : FAttr.ReverseVideo ? FColor : FFontColor;
    Cell.BackgroundColor = FAttr.ReverseVideo ? FFontColor : FColor;
    Cell.Underlined = FAttr.UnderlineText;
    return Cell;
}

void TTermEngine::LoadFromStream(TStream& Stream) {
    TCaretHider Hider(Display());
    std::int64_t Left = Stream.GetSize();
    char Chunk[4096];
    // Ends early at the stream's end: a stream read from the middle holds fewer bytes than its
    // size.
    while (Left > 0) {
        const auto Want = static_cast<std::int32_t>(std::min<std::int64_t>(Left, sizeof Chunk));
        const std::int32_t Got = Stream.Read(Chunk, Want);
        if (Got <= 0)
            break;
        for (std::int32_t I = 0; I < Got; ++I)
            PutChar(Chunk[I]);
        Left -= Got;
    }
}

void TTermEngine::SaveToStream(TStream& Stream) const {
    std::string Text;
    const int LastLine = FScreenBuffer.GetLastLine();
    for (int Row = 1; Row <= LastLine; ++Row) {
        const int Length = FScreenBuffer.GetLineLength(Row);
        for (int Column = 1; Column <= Length; ++Column) {
            const char Ch = FScreenBuffer.GetChar(Column, Row).Character;
            Text += Ch != 0 ? LineDrawingText(Ch) : ' ';
        }
        if (Row < LastLine)
            Text += "\r\n";
    }
    if (!Text.empty())
        Stream.WriteBuffer(Text.data(), static_cast<std::int32_t>(Text.size()));
}

void TTermEngine::DoChar(char Ch) {
    if (OnChar)
        OnChar(FSender, Ch);
}

void TTermEngine::DoGetEscapeCodes(TEscapeCodes*& EscapeCodes) {
    if (OnGetEscapeCodes)
        OnGetEscapeCodes(FSender, EscapeCodes);
}

void TTermEngine::DoStrRecieved(std::string& Str) {
    if (OnStrRecieved)
        OnStrRecieved(FSender, Str);
}

void TTermEngine::DoUnhandledCode(TEscapeCode Code, const std::string& Data) {
    if (OnUnhandledCode)
        OnUnhandledCode(FSender, Code, Data);
}
