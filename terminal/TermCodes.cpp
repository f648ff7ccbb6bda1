// Carrying out escape codes, attributes and modes; answers, sending and keys.
#include "terminal/TermEngine.h"

namespace {

constexpr char LF = 10, CR = 13;
constexpr char TestCharacter = 'E';

// The caller's list to refill, or a list of our own when none was given.
class TAnswerParams {
public:
    explicit TAnswerParams(TStrings* Given) : FList(Given ? *Given : FOwn) { FList.Clear(); }
    TStrings& operator*() { return FList; }
    TStrings* operator->() { return &FList; }

private:
    TStringList FOwn;
    TStrings& FList;
};

} // namespace

bool TTermEngine::PutEscapeCode(TEscapeCode Code, TStrings* AParams) {
    if (FEmulation == teVT102) {
        TControlParams P = TControlParams::FromStrings(AParams);
        if ((Code == ecCharsetG0 || Code == ecCharsetG1) && AParams && AParams->GetCount() > 0 &&
            !AParams->Get(0).empty())
            P.Final = AParams->Get(0)[0];
        return PerformVT102(Code, P);
    }
    const std::int64_t N = TEscapeCodes::GetParam(1, AParams);
    switch (Code) {
    case ecCursorUp:
    case ecAppCursorUp:
        MoveCaretBy(0, -N);
        break;
    case ecCursorDown:
        MoveCaretBy(0, N);
        break;
    case ecCursorLeft:
        MoveCaretBy(-N, 0);
        break;
    case ecCursorRight:
        MoveCaretBy(N, 0);
        break;
    case ecCursorHome:
    case ecCursorMove:
        MoveCaret(TEscapeCodes::GetParam(2, AParams), TEscapeCodes::GetParam(1, AParams));
        break;
    case ecReverseLineFeed:
        AdvanceCaret(acReverseLineFeed);
        break;
    case ecEraseLineFrom:
        FScreenBuffer.EraseLine(FCaretColumn, FCaretRow);
        break;
    case ecEraseScreenFrom:
        FScreenBuffer.EraseScreen(FCaretColumn, FCaretRow);
        break;
    case ecEraseLine:
        FScreenBuffer.EraseLine(1, FCaretRow);
        MoveCaret(1, FCaretRow);
        break;
    case ecEraseScreen:
        FScreenBuffer.EraseScreen(1, 1);
        MoveCaret(1, 1);
        break;
    case ecSetTab:
        FScreenBuffer.SetTab(FCaretColumn, true);
        break;
    case ecClearTab:
        FScreenBuffer.SetTab(FCaretColumn, false);
        break;
    case ecClearAllTabs:
        FScreenBuffer.ClearAllTabs();
        break;
    case ecIdentify: {
        TAnswerParams Params(AParams);
        Params->Add("2");
        SendCodeNoEcho(ecIdentResponse, &*Params);
        break;
    }
    case ecQueryDevice:
        SendCodeNoEcho(ecReportDeviceOK, nullptr);
        break;
    case ecQueryCursorPos: {
        TAnswerParams Params(AParams);
        Params->Add(std::to_string(FCaretRow));
        Params->Add(std::to_string(FCaretColumn));
        SendCodeNoEcho(ecReportCursorPos, &*Params);
        break;
    }
    case ecAttributes:
        SetAttributes(AParams);
        break;
    case ecSetMode:
    case ecResetMode:
        SetMode(AParams, Code == ecSetMode);
        break;
    case ecReset: {
        TAnswerParams Params(AParams);
        Params->Add("0");
        SetAttributes(&*Params);
        break;
    }
    case ecSaveCaretAndAttr:
        SaveCaretPos();
        SaveAttr();
        break;
    case ecRestoreCaretAndAttr:
        RestoreCaretPos();
        RestoreAttr();
        break;
    case ecSaveCaret:
        SaveCaretPos();
        break;
    case ecRestoreCaret:
        RestoreCaretPos();
        break;
    case ecTest:
        PerformTest(TestCharacter);
        break;
    default:
        return false;
    }
    return true;
}

void TTermEngine::SetAttributes(const TStrings* AParams) {
    if (AParams == nullptr || AParams->GetCount() == 0) {
        FAttr = TAttributes{};
        return;
    }
    for (int I = 1; I <= AParams->GetCount(); ++I) {
        ApplyRendition(TEscapeCodes::GetParam(I, AParams), 21);
    }
}

void TTermEngine::ApplyRendition(int Code, int BoldOff) {
    switch (Code) {
    case 0:
        FAttr = TAttributes{};
        break;
    case 1:
        FAttr.BoldText = true;
        break;
    case 4:
        FAttr.UnderlineText = true;
        break;
    case 7:
        FAttr.ReverseVideo = true;
        break;
    case 24:
        FAttr.UnderlineText = false;
        break;
    case 27:
        FAttr.ReverseVideo = false;
        break;
    default: // blinking and colours are not shown
        if (Code == BoldOff)
            FAttr.BoldText = false;
        break;
    }
}

void TTermEngine::SetMode(const TStrings* AParams, bool OnOff) {
    if (AParams == nullptr || AParams->GetCount() == 0)
        return;
    const std::string Mode = AParams->Get(0);
    if (Mode == "?1") // DECCKM
        FAppCursorKeys = OnOff;
    else if (Mode == "7")
        FWrapLines = OnOff;
    else if (Mode == "?3") // DECCOLM
        SetColumns(OnOff ? 132 : 80);
}

void TTermEngine::SaveCaretPos() {
    FSavedCaretColumn = FCaretColumn;
    FSavedCaretRow = FCaretRow;
}

void TTermEngine::RestoreCaretPos() {
    MoveCaret(FSavedCaretColumn, FSavedCaretRow);
}

void TTermEngine::SaveAttr() {
    FSavedAttr = FAttr;
}

void TTermEngine::RestoreAttr() {
    FAttr = FSavedAttr;
}

void TTermEngine::PerformTest(char ACharacter) {
    const TComTermChar Cell{ACharacter, FFontColor, FColor, false};
    for (int Row = 1; Row <= FRows; ++Row)
        for (int Column = 1; Column <= FColumns; ++Column)
            FScreenBuffer.SetChar(Column, Row, Cell);
    Display().InvalidateAll();
}

void TTermEngine::SendChar(char Ch) {
    if (FOutput == nullptr || !FOutput->CanSend())
        return;
    FOutput->Send(std::string(1, Ch));
    if (FLocalEcho) {
        TCaretHider Hider(Display());
        PutChar(Ch);
    }
    if (Ch == CR && FSendLF)
        SendChar(LF);
}

void TTermEngine::SendCodeNoEcho(TEscapeCode Code, TStrings* AParams) {
    if (FOutput == nullptr || !FOutput->CanSend() || !FEscapeParser)
        return;
    FOutput->Send(FEscapeParser->EscCodeToStr(Code, AParams));
}

void TTermEngine::SendCode(TEscapeCode Code, TStrings* AParams) {
    if (FOutput == nullptr || !FOutput->CanSend() || !FEscapeParser)
        return;
    FOutput->Send(FEscapeParser->EscCodeToStr(Code, AParams));
    if (FLocalEcho) {
        TCaretHider Hider(Display());
        PutEscapeCode(Code, AParams);
    }
}

void TTermEngine::KeyDown(std::uint16_t Key) {
    if (FAppCursorKeys) {
        switch (Key) {
        case vkUp:
            SendCode(ecAppCursorUp, nullptr);
            break;
        case vkDown:
            SendCode(ecAppCursorDown, nullptr);
            break;
        case vkLeft:
            SendCode(ecAppCursorLeft, nullptr);
            break;
        case vkRight:
            SendCode(ecAppCursorRight, nullptr);
            break;
        default:
            break;
        }
        return;
    }
    TEscapeCode Code;
    switch (Key) {
    case vkHome:
        Code = ecCursorHome;
        break;
    case vkLeft:
        Code = ecCursorLeft;
        break;
    case vkUp:
        Code = ecCursorUp;
        break;
    case vkRight:
        Code = ecCursorRight;
        break;
    case vkDown:
        Code = ecCursorDown;
        break;
    default:
        return;
    }
    if (FArrowKeys == akWindows)
        PutEscapeCode(Code, nullptr);
    else
        SendCode(Code, nullptr);
}

void TTermEngine::KeyPress(char Key) {
    SendChar(Key);
    // In the new-line mode of a VT102, Return sends CR LF.
    if (FEmulation == teVT102 && FVT.NewLineMode && Key == CR && !FSendLF)
        SendChar(LF);
}
