// The VT102 family's parser: bytes drive a small state machine; parameters become numbers as
// their digits arrive.
#include <algorithm>
#include <string>

#include "terminal/CPortEsc.h"

#include "platform/text/AsciiText.h"

namespace {

constexpr unsigned char ESC = 27, CAN = 0x18, SUB = 0x1a, DEL = 0x7f, BEL = 7;

bool IsIntermediate(unsigned char B) {
    return B >= 0x20 && B <= 0x2f;
}

bool IsFinal(unsigned char B) {
    return B >= 0x40 && B <= 0x7e;
}

} // namespace

TControlParams TControlParams::FromStrings(const TStrings* AParams) {
    TControlParams P;
    if (AParams == nullptr)
        return P;
    for (int I = 0; I < AParams->GetCount() && P.Count < MaxCount; ++I) {
        std::string Text = AParams->Get(I);
        if (I == 0 && !Text.empty() && Text[0] >= '<' && Text[0] <= '?') {
            P.Marker = Text[0];
            Text.erase(0, 1);
        }
        std::int32_t Value = Missing;
        if (!Text.empty() && (!TryStrToInt(Text, Value) || Value < 0))
            Value = Missing;
        P.Values[P.Count++] = std::min(Value, MaxValue);
    }
    return P;
}

TEscapeResult TEscapeCodesVT102::ProcessChar(char Ch) {
    const auto B = static_cast<unsigned char>(Ch);
    if (FState == stGround && B != ESC) {
        FPlainChar = Ch;
        return erChar;
    }
    return Sequence(B);
}

TEscapeResult TEscapeCodesVT102::Sequence(unsigned char B) {
    if (B == DEL)
        return erNothing;
    if (FState == stString) {
        if (B == ESC)
            FState = stStringEscape;
        else if (B == BEL || B == CAN || B == SUB) // BEL ends an operating system command
            FState = stGround;
        FCollectingSequence = FState != stGround;
        return erNothing;
    }
    if (FState == stStringEscape) {
        // ESC \ ends the string; any other ESC inside it is taken as its end, and the byte
        // after it starts a sequence.
        FState = stGround;
        FCollectingSequence = false;
        if (B == '\\')
            return erNothing;
        FSequenceText.clear();
        FParams.Clear();
        FState = stEscape;
        FCollectingSequence = true;
        return Sequence(B);
    }
    if (B == ESC) {
        FSequenceText.clear();
        FParams.Clear();
        FParamOverflow = false;
        FState = stEscape;
        FCollectingSequence = true;
        return erNothing;
    }
    if (B == CAN || B == SUB) {
        FState = stGround;
        FCollectingSequence = false;
        return erNothing;
    }
    if (B < 0x20) {
        // Executed where it stands; the sequence goes on after it.
        FPlainChar = static_cast<char>(B);
        return erChar;
    }
    if (B >= 0x80)
        return erNothing;
    Collect(B);
    FParams.Final = static_cast<char>(B); // the last byte so far
    switch (FState) {
    case stEscape:
        if (B == '[') {
            FState = stCsiParam;
            return erNothing;
        }
        if (B == 'P' || B == ']' || B == '^' || B == '_' || B == 'X') {
            FState = stString;
            return erNothing;
        }
        [[fallthrough]];
    case stEscapeIntermediate:
        if (IsIntermediate(B)) {
            if (FParams.IntermediateCount++ == 0)
                FParams.Intermediate = static_cast<char>(B);
            FState = stEscapeIntermediate;
            return erNothing;
        }
        return Finish(EscapeCode(B));
    case stCsiParam:
        if (B >= '0' && B <= '9') {
            if (FParams.Count == 0)
                FParams.Values[FParams.Count++] = TControlParams::Missing;
            if (!FParamOverflow) {
                int& Value = FParams.Values[FParams.Count - 1];
                Value =
                    std::min((Value < 0 ? 0 : Value) * 10 + (B - '0'), TControlParams::MaxValue);
            }
            return erNothing;
        }
        if (B == ';') {
            if (FParams.Count == 0)
                FParams.Values[FParams.Count++] = TControlParams::Missing;
            if (FParams.Count < TControlParams::MaxCount)
                FParams.Values[FParams.Count++] = TControlParams::Missing;
            else
                FParamOverflow = true;
            return erNothing;
        }
        if (B >= '<' && B <= '?') {
            // A marker counts only before the first parameter.
            if (FParams.Count == 0 && FParams.Marker == 0 && FSequenceText.size() == 2)
                FParams.Marker = static_cast<char>(B);
            else
                FState = stCsiIgnore;
            return erNothing;
        }
        if (B == ':') {
            FState = stCsiIgnore;
            return erNothing;
        }
        [[fallthrough]];
    case stCsiIntermediate:
        if (IsIntermediate(B)) {
            if (FParams.IntermediateCount++ == 0)
                FParams.Intermediate = static_cast<char>(B);
            FState = stCsiIntermediate;
            return erNothing;
        }
        if (IsFinal(B))
            return Finish(ControlCode(B));
        FState = stCsiIgnore; // a parameter byte after an intermediate
        return erNothing;
    case stCsiIgnore:
        return IsFinal(B) ? Finish(ecUnknown) : erNothing;
    default:
        return erNothing;
    }
}

void TEscapeCodesVT102::Collect(unsigned char B) {
    if (FSequenceText.size() < MaxSequenceLength)
        FSequenceText += static_cast<char>(B);
}

TEscapeResult TEscapeCodesVT102::Finish(TEscapeCode Code) {
    FState = stGround;
    FCollectingSequence = false;
    FFoundCode = Code;
    return erCode;
}

TEscapeCode TEscapeCodesVT102::EscapeCode(unsigned char Final) const {
    if (FParams.IntermediateCount > 1)
        return ecUnknown;
    switch (FParams.Intermediate) {
    case 0:
        break;
    case '(': // SCS
        return ecCharsetG0;
    case ')':
        return ecCharsetG1;
    case '#':
        // DECALN; the line sizes (3 to 6) are not kept, and each is a sequence of its own.
        return Final == '8' ? ecTest : ecUnknown;
    default:
        return ecUnknown;
    }
    switch (Final) {
    case '7': // DECSC
        return ecSaveCaretAndAttr;
    case '8': // DECRC
        return ecRestoreCaretAndAttr;
    case 'D': // IND
        return ecIndex;
    case 'E': // NEL
        return ecNextLine;
    case 'M': // RI
        return ecReverseLineFeed;
    case 'H': // HTS
        return ecSetTab;
    case 'Z': // DECID
        return ecIdentify;
    case 'c': // RIS
        return ecReset;
    default:
        return ecUnknown;
    }
}

TEscapeCode TEscapeCodesVT102::ControlCode(unsigned char Final) const {
    if (FParams.IntermediateCount > 0)
        return ecUnknown;
    if (FParams.Marker == '?')
        return Final == 'h' ? ecSetMode : Final == 'l' ? ecResetMode : ecUnknown;
    if (FParams.Marker != 0)
        return ecUnknown;
    const int First = FParams.Raw(0);
    switch (Final) {
    case 'A': // CUU
        return ecCursorUp;
    case 'B': // CUD
        return ecCursorDown;
    case 'C': // CUF
        return ecCursorRight;
    case 'D': // CUB
        return ecCursorLeft;
    case 'H': // CUP
        return ecCursorHome;
    case 'f': // HVP
        return ecCursorMove;
    case 'J': // ED
        return First == 0   ? ecEraseScreenFrom
               : First == 1 ? ecEraseScreenTo
               : First == 2 ? ecEraseScreen
                            : ecUnknown;
    case 'K': // EL
        return First == 0   ? ecEraseLineFrom
               : First == 1 ? ecEraseLineTo
               : First == 2 ? ecEraseLine
                            : ecUnknown;
    case 'g': // TBC
        return First == 0 ? ecClearTab : First == 3 ? ecClearAllTabs : ecUnknown;
    case 'n': // DSR
        return First == 5 ? ecQueryDevice : First == 6 ? ecQueryCursorPos : ecUnknown;
    case 'c': // DA
        return First == 0 ? ecIdentify : ecUnknown;
    case 'h': // SM
        return ecSetMode;
    case 'l': // RM
        return ecResetMode;
    case 'm': // SGR
        return ecAttributes;
    case 'r': // DECSTBM
        return ecSetMargins;
    case 's':
        return ecSaveCaret;
    case 'u':
        return ecRestoreCaret;
    case '@': // ICH
        return ecInsertChars;
    case 'P': // DCH
        return ecDeleteChars;
    case 'X': // ECH
        return ecEraseChars;
    case 'L': // IL
        return ecInsertLines;
    case 'M': // DL
        return ecDeleteLines;
    default:
        return ecUnknown;
    }
}

std::string TEscapeCodesVT102::EscCodeToStr(TEscapeCode Code, const TStrings* AParams) const {
    if (Code == ecIdentResponse) // a VT102, no options
        return "\x1b[?6c";
    return TEscapeCodesVT100::CodeText(Code, AParams);
}
