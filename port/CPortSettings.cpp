#include "port/CPortSettings.h"

#include "port/CPortComPort.h"

void TComSettingGroup::Changed() const {
    if (!FComPort)
        return;
    switch (FApplies) {
    case apDCB:
        FComPort->ApplyDCB();
        break;
    case apTimeouts:
        FComPort->ApplyTimeouts();
        break;
    case apBuffer:
        FComPort->ApplyBuffer();
        break;
    }
}

// --- TComTimeouts ---

void TComTimeouts::SetReadInterval(std::int32_t Value) {
    SetField(FReadInterval, Value);
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t Value) {
    SetField(FReadTotalM, Value);
}
void TComTimeouts::SetReadTotalConstant(std::int32_t Value) {
    SetField(FReadTotalC, Value);
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t Value) {
    SetField(FWriteTotalM, Value);
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t Value) {
    SetField(FWriteTotalC, Value);
}

void TComTimeouts::AssignTo(TPersistent* Dest) const {
    CopyFieldsTo<TComTimeouts>(Dest);
}

// --- TComFlowControl ---

void TComFlowControl::SetOutCTSFlow(bool Value) {
    SetField(FOutCTSFlow, Value);
}
void TComFlowControl::SetOutDSRFlow(bool Value) {
    SetField(FOutDSRFlow, Value);
}
void TComFlowControl::SetControlDTR(TDTRFlowControl Value) {
    SetField(FControlDTR, Value);
}
void TComFlowControl::SetControlRTS(TRTSFlowControl Value) {
    SetField(FControlRTS, Value);
}
void TComFlowControl::SetXonXoffOut(bool Value) {
    SetField(FXonXoffOut, Value);
}
void TComFlowControl::SetXonXoffIn(bool Value) {
    SetField(FXonXoffIn, Value);
}
void TComFlowControl::SetDSRSensitivity(bool Value) {
    SetField(FDSRSensitivity, Value);
}
void TComFlowControl::SetTxContinueOnXoff(bool Value) {
    SetField(FTxContinueOnXoff, Value);
}
void TComFlowControl::SetXonChar(std::uint8_t Value) {
    SetField(FXonChar, Value);
}
void TComFlowControl::SetXoffChar(std::uint8_t Value) {
    SetField(FXoffChar, Value);
}

TFlowControl TComFlowControl::GetFlowControl() const {
    if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcHardware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut)
        return fcSoftware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value) {
    if (Value != fcCustom) {
        FControlRTS = rtsDisable;
        FOutCTSFlow = false;
        FXonXoffIn = false;
        FXonXoffOut = false;
        if (Value == fcHardware) {
            FControlRTS = rtsHandshake;
            FOutCTSFlow = true;
        } else if (Value == fcSoftware) {
            FXonXoffIn = true;
            FXonXoffOut = true;
        }
    }
    Changed();
}

void TComFlowControl::AssignTo(TPersistent* Dest) const {
    CopyFieldsTo<TComFlowControl>(Dest);
}

// --- TComParity ---

void TComParity::SetBits(TParityBits Value) {
    SetField(FBits, Value);
}
void TComParity::SetCheck(bool Value) {
    SetField(FCheck, Value);
}
void TComParity::SetReplace(bool Value) {
    SetField(FReplace, Value);
}
void TComParity::SetReplaceChar(std::uint8_t Value) {
    SetField(FReplaceChar, Value);
}

void TComParity::AssignTo(TPersistent* Dest) const {
    CopyFieldsTo<TComParity>(Dest);
}

// --- TComBuffer ---

void TComBuffer::SetSize(std::int32_t& Field, std::int32_t Value) {
    if (Field == Value)
        return;
    Field = Value > 0 && Value % 2 != 0 ? Value - 1 : Value;
    Changed();
}

void TComBuffer::SetInputSize(std::int32_t Value) {
    SetSize(FInputSize, Value);
}
void TComBuffer::SetOutputSize(std::int32_t Value) {
    SetSize(FOutputSize, Value);
}

void TComBuffer::AssignTo(TPersistent* Dest) const {
    CopyFieldsTo<TComBuffer>(Dest);
}
