// The parsers' common part and the VT52 family.
#include "terminal/CPortEsc.h"

#include "platform/text/AsciiText.h"

namespace {

constexpr char ESC = 27;

// VT52 direct cursor address: row and column travel as characters offset by 31.
constexpr int AddressOffset = 31;

} // namespace

int TEscapeCodes::GetParam(int Index, const TStrings* AParams) {
    if (AParams == nullptr || Index < 1 || AParams->GetCount() < Index)
        return 1;
    std::int32_t Value = 1;
    if (!TryStrToInt(AParams->Get(Index - 1), Value))
        return 1;
    return Value;
}

std::optional<TEscapeResult> TEscapeCodes::BeginOrCollect(char Ch) {
    if (FCollectingSequence) {
        FSequenceText += Ch;
        return std::nullopt;
    }
    if (Ch != ESC) {
        FPlainChar = Ch;
        return erChar;
    }
    FSequenceText.clear();
    FCollectingSequence = true;
    return erNothing;
}

TEscapeResult TEscapeCodes::EndIfComplete(TEscapeCode Code) {
    if (Code == ecNotCompleted)
        return erNothing;
    FFoundCode = Code;
    FCollectingSequence = false;
    return erCode;
}

TEscapeResult TEscapeCodesVT52::ProcessChar(char Ch) {
    if (const auto Result = BeginOrCollect(Ch))
        return *Result;
    return EndIfComplete(DetectCode(FSequenceText));
}

TEscapeCode TEscapeCodesVT52::DetectCode(const std::string& Str) {
    if (Str.empty())
        return ecNotCompleted;
    switch (Str[0]) {
    case 'A':
        return ecCursorUp;
    case 'B':
        return ecCursorDown;
    case 'C':
        return ecCursorRight;
    case 'D':
        return ecCursorLeft;
    case 'H':
        return ecCursorHome;
    case 'I':
        return ecReverseLineFeed;
    case 'J':
        return ecEraseScreenFrom;
    case 'K':
        return ecEraseLineFrom;
    case 'Z':
        return ecIdentify;
    case '/':
        if (Str.size() < 2)
            return ecNotCompleted;
        return Str[1] == 'Z' ? ecIdentResponse : ecUnknown;
    case 'Y': // direct cursor address: ESC Y row column
        if (Str.size() < 3)
            return ecNotCompleted;
        FCodeParams.Add(std::to_string(static_cast<unsigned char>(Str[1]) - AddressOffset));
        FCodeParams.Add(std::to_string(static_cast<unsigned char>(Str[2]) - AddressOffset));
        return ecCursorMove;
    default:
        return ecUnknown;
    }
}

std::string TEscapeCodesVT52::EscCodeToStr(TEscapeCode Code, const TStrings* AParams) const {
    const auto Esc = [](const char* Text) { return std::string(1, ESC) + Text; };
    switch (Code) {
    case ecCursorUp:
        return Esc("A");
    case ecCursorDown:
        return Esc("B");
    case ecCursorLeft:
        return Esc("D");
    case ecCursorRight:
        return Esc("C");
    case ecCursorHome:
        return Esc("H");
    case ecCursorMove: {
        std::string Text = Esc("Y");
        Text += static_cast<char>(GetParam(1, AParams) + AddressOffset);
        Text += static_cast<char>(GetParam(2, AParams) + AddressOffset);
        return Text;
    }
    case ecReverseLineFeed:
        return Esc("I");
    case ecEraseLineFrom:
        return Esc("K");
    case ecEraseScreenFrom:
        return Esc("J");
    case ecIdentify:
        return Esc("Z");
    case ecIdentResponse:
        return Esc("/Z");
    default:
        return {};
    }
}
