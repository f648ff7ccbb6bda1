// The VT100/ANSI family: ESC and one or two characters, or ESC "[" parameters and a final letter.
#include <string>

#include "terminal/CPortEsc.h"

namespace {

constexpr char ESC = 27;

bool IsLetter(char Ch) {
    return (Ch >= 'A' && Ch <= 'Z') || (Ch >= 'a' && Ch <= 'z');
}

// No parameter; outside the byte range, so that no first byte (NUL included) reads as none.
constexpr int NoParam = -1;

// First character of the first parameter, or NoParam.
int Selector(const TStrings& Params) {
    if (Params.GetCount() == 0)
        return NoParam;
    const std::string First = Params.Get(0);
    return First.empty() ? NoParam : static_cast<unsigned char>(First[0]);
}

} // namespace

TEscapeResult TEscapeCodesVT100::ProcessChar(char Ch) {
    if (const auto Result = BeginOrCollect(Ch))
        return *Result;
    TEscapeCode Code;
    if (FCollectingBracketSequence) {
        Code = DetectExtCode(FSequenceText);
        if (Code == ecNotCompleted && FSequenceText.size() >= MaxSequenceLength) {
            FCodeParams.Clear();
            Code = ecUnknown;
        }
    } else if (FSequenceText[0] == '[') {
        FCollectingBracketSequence = true;
        Code = ecNotCompleted;
    } else {
        Code = DetectCode(FSequenceText);
    }
    const TEscapeResult Result = EndIfComplete(Code);
    if (Result == erCode)
        FCollectingBracketSequence = false;
    return Result;
}

TEscapeCode TEscapeCodesVT100::DetectCode(const std::string& Str) {
    if (Str.empty())
        return ecNotCompleted;
    if (Str.size() == 1) {
        switch (Str[0]) {
        case '7': // DECSC
            return ecSaveCaretAndAttr;
        case '8': // DECRC
            return ecRestoreCaretAndAttr;
        case 'H': // HTS
            return ecSetTab;
        case 'c': // RIS
            return ecReset;
        case '#':
        case 'O':
            return ecNotCompleted;
        default:
            return ecUnknown;
        }
    }
    if (Str[0] == '#')
        return Str[1] == '8' ? ecTest : ecUnknown; // DECALN
    if (Str[0] == 'O') {                           // SS3: cursor keys in application mode
        switch (Str[1]) {
        case 'A':
            return ecAppCursorUp;
        case 'B':
            return ecAppCursorDown;
        case 'C':
            return ecAppCursorRight;
        case 'D':
            return ecAppCursorLeft;
        default:
            return ecUnknown;
        }
    }
    return ecUnknown;
}

void TEscapeCodesVT100::SplitParams(std::string_view Str, TStrings& Params) {
    std::string Current;
    for (const char Ch : Str) {
        if (Ch == ';' && !Current.empty()) {
            Params.Add(Current);
            Current.clear();
        } else {
            Current += Ch;
        }
    }
    if (!Current.empty())
        Params.Add(Current);
}

TEscapeCode TEscapeCodesVT100::DetectExtCode(const std::string& Str) {
    if (Str.size() < 2 || !IsLetter(Str.back()))
        return ecNotCompleted;
    FCodeParams.Clear();
    SplitParams(std::string_view(Str).substr(1, Str.size() - 2), FCodeParams);
    const int Sel = Selector(FCodeParams);
    const int Count = FCodeParams.GetCount();
    TEscapeCode Code;
    bool Keep = true;
    switch (Str.back()) {
    case 'A': // CUU
        Code = ecCursorUp;
        break;
    case 'B': // CUD
        Code = ecCursorDown;
        break;
    case 'C': // CUF
        Code = ecCursorRight;
        break;
    case 'D': // CUB
        Code = ecCursorLeft;
        break;
    case 'H': // CUP
        Code = ecCursorHome;
        break;
    case 'f': // HVP
        Code = ecCursorMove;
        break;
    case 'J': // ED
        Code = Sel == NoParam || Sel == '0' ? ecEraseScreenFrom
               : Sel == '2'                 ? ecEraseScreen
                                            : ecUnknown;
        Keep = false;
        break;
    case 'K': // EL
        Code = Sel == NoParam || Sel == '0' ? ecEraseLineFrom
               : Sel == '2'                 ? ecEraseLine
                                            : ecUnknown;
        Keep = false;
        break;
    case 'g': // TBC
        Code = Sel == NoParam || Sel == '0' ? ecClearTab : Sel == '3' ? ecClearAllTabs : ecUnknown;
        Keep = false;
        break;
    case 'n': // DSR and its answers
        Code = Sel == '5'   ? ecQueryDevice
               : Sel == '0' ? ecReportDeviceOK
               : Sel == '3' ? ecReportDeviceFailure
               : Sel == '6' ? ecQueryCursorPos
                            : ecUnknown;
        Keep = false;
        break;
    case 'c': // DA and its answer
        if (Count == 0 || (Count == 1 && FCodeParams.Get(0) == "0"))
            Code = ecIdentify;
        else if (Count == 2 && FCodeParams.Get(0) == "?1")
            Code = ecIdentResponse;
        else
            Code = ecUnknown;
        break;
    case 'R': // CPR
        Code = ecReportCursorPos;
        break;
    case 'h': // SM
        Code = ecSetMode;
        break;
    case 'l': // RM
        Code = ecResetMode;
        break;
    case 'm': // SGR
        Code = ecAttributes;
        break;
    case 's':
        Code = ecSaveCaret;
        break;
    case 'u':
        Code = ecRestoreCaret;
        break;
    default:
        Code = ecUnknown;
        break;
    }
    if (!Keep)
        FCodeParams.Clear();
    return Code;
}

std::string TEscapeCodesVT100::EscCodeToStr(TEscapeCode Code, const TStrings* AParams) const {
    return CodeText(Code, AParams);
}

std::string TEscapeCodesVT100::CodeText(TEscapeCode Code, const TStrings* AParams) {
    const auto Esc = [](const std::string& Text) { return std::string(1, ESC) + Text; };
    const auto P = [AParams](int Index) { return std::to_string(GetParam(Index, AParams)); };
    switch (Code) {
    case ecCursorUp:
        return Esc("[A");
    case ecCursorDown:
        return Esc("[B");
    case ecCursorLeft:
        return Esc("[D");
    case ecCursorRight:
        return Esc("[C");
    case ecCursorHome:
        return Esc("[H");
    case ecCursorMove:
        return Esc("[" + P(1) + ";" + P(2) + "f");
    case ecAppCursorLeft:
        return Esc("OD");
    case ecAppCursorRight:
        return Esc("OC");
    case ecAppCursorUp:
        return Esc("OA");
    case ecAppCursorDown:
        return Esc("OB");
    case ecEraseLineFrom:
        return Esc("[K");
    case ecEraseScreenFrom:
        return Esc("[J");
    case ecEraseLine:
        return Esc("[2K");
    case ecEraseScreen:
        return Esc("[2J");
    case ecSetTab:
        return Esc("H");
    case ecClearTab:
        return Esc("[g");
    case ecClearAllTabs:
        return Esc("[3g");
    case ecIdentify:
        return Esc("[c");
    case ecIdentResponse:
        return Esc("[?1;" + P(1) + "c");
    case ecQueryDevice:
        return Esc("[5n");
    case ecReportDeviceOK:
        return Esc("[0n");
    case ecReportDeviceFailure:
        return Esc("[3n");
    case ecQueryCursorPos:
        return Esc("[6n");
    case ecReportCursorPos:
        return Esc("[" + P(1) + ";" + P(2) + "R");
    case ecAttributes:
        return Esc("[m");
    case ecSetMode:
        return Esc("[h");
    case ecResetMode:
        return Esc("[l");
    case ecReset:
        return Esc("c");
    case ecSaveCaretAndAttr:
        return Esc("7");
    case ecRestoreCaretAndAttr:
        return Esc("8");
    case ecSaveCaret:
        return Esc("[s");
    case ecRestoreCaret:
        return Esc("[u");
    case ecTest:
        return Esc("#8");
    default:
        return {};
    }
}
