#include "port/CPortStoreGroups.h"

#include "port/CPortComPort.h"
#include "port/CPortConv.h"

static void WriteBasic(const TCustomComPort& Port, TSettingsWriter& W) {
    W.WriteText("Port", Port.GetPort());
    W.WriteText("BaudRate", BaudRateToStr(Port.GetBaudRate()));
    if (Port.GetBaudRate() == brCustom)
        W.WriteInteger("CustomBaudRate", Port.GetCustomBaudRate());
    W.WriteText("StopBits", StopBitsToStr(Port.GetStopBits()));
    W.WriteText("DataBits", DataBitsToStr(Port.GetDataBits()));
    W.WriteText("Parity", ParityToStr(Port.GetParity().GetBits()));
    W.WriteText("FlowControl", FlowControlToStr(Port.GetFlowControl().GetFlowControl()));
}

static void WriteOthers(const TCustomComPort& Port, TSettingsWriter& W) {
    W.WriteText("EventChar", SettingCharToStr(Port.GetEventChar()));
    W.WriteText("DiscardNull", YesNoToStr(Port.GetDiscardNull()));
}

static void WriteParity(const TComParity& Parity, TSettingsWriter& W) {
    W.WriteText("Parity.Check", YesNoToStr(Parity.GetCheck()));
    W.WriteText("Parity.Replace", YesNoToStr(Parity.GetReplace()));
    W.WriteText("Parity.ReplaceChar", SettingCharToStr(Parity.GetReplaceChar()));
}

static void WriteBuffer(const TComBuffer& Buffer, TSettingsWriter& W) {
    W.WriteInteger("Buffer.OutputSize", Buffer.GetOutputSize());
    W.WriteInteger("Buffer.InputSize", Buffer.GetInputSize());
}

static void WriteTimeouts(const TComTimeouts& T, TSettingsWriter& W) {
    W.WriteInteger("Timeouts.ReadInterval", T.GetReadInterval());
    W.WriteInteger("Timeouts.ReadTotalConstant", T.GetReadTotalConstant());
    W.WriteInteger("Timeouts.ReadTotalMultiplier", T.GetReadTotalMultiplier());
    W.WriteInteger("Timeouts.WriteTotalConstant", T.GetWriteTotalConstant());
    W.WriteInteger("Timeouts.WriteTotalMultiplier", T.GetWriteTotalMultiplier());
}

static void WriteFlowControl(const TComFlowControl& F, TSettingsWriter& W) {
    W.WriteText("FlowControl.ControlRTS", RTSControlToStr(F.GetControlRTS()));
    W.WriteText("FlowControl.ControlDTR", DTRControlToStr(F.GetControlDTR()));
    W.WriteText("FlowControl.DSRSensitivity", YesNoToStr(F.GetDSRSensitivity()));
    W.WriteText("FlowControl.OutCTSFlow", YesNoToStr(F.GetOutCTSFlow()));
    W.WriteText("FlowControl.OutDSRFlow", YesNoToStr(F.GetOutDSRFlow()));
    W.WriteText("FlowControl.TxContinueOnXoff", YesNoToStr(F.GetTxContinueOnXoff()));
    W.WriteText("FlowControl.XonXoffIn", YesNoToStr(F.GetXonXoffIn()));
    W.WriteText("FlowControl.XonXoffOut", YesNoToStr(F.GetXonXoffOut()));
    W.WriteText("FlowControl.XoffChar", SettingCharToStr(F.GetXoffChar()));
    W.WriteText("FlowControl.XonChar", SettingCharToStr(F.GetXonChar()));
}

void WritePortSettings(const TCustomComPort& Port, TSettingsWriter& Writer) {
    const TStoredProps Props = Port.GetStoredProps();
    if (Props.Contains(spBasic))
        WriteBasic(Port, Writer);
    if (Props.Contains(spOthers))
        WriteOthers(Port, Writer);
    if (Props.Contains(spParity))
        WriteParity(Port.GetParity(), Writer);
    if (Props.Contains(spBuffer))
        WriteBuffer(Port.GetBuffer(), Writer);
    if (Props.Contains(spTimeouts))
        WriteTimeouts(Port.GetTimeouts(), Writer);
    if (Props.Contains(spFlowControl))
        WriteFlowControl(Port.GetFlowControl(), Writer);
}

// Reading helpers: each text value's default is the text of the setting's current value.
static bool ReadYesNo(TSettingsReader& R, const std::string& Name, bool Current) {
    return StrToYesNo(R.ReadText(Name, YesNoToStr(Current)));
}

static std::uint8_t ReadChar(TSettingsReader& R, const std::string& Name, std::uint8_t Current) {
    return StrToSettingChar(R.ReadText(Name, SettingCharToStr(Current)));
}

static void ReadBasic(TCustomComPort& Port, TSettingsReader& R) {
    Port.SetPort(R.ReadText("Port", Port.GetPort()));
    const bool BaudRateGiven = R.HasValue("BaudRate");
    Port.SetBaudRate(StrToBaudRate(R.ReadText("BaudRate", BaudRateToStr(Port.GetBaudRate()))));
    if (Port.GetBaudRate() == brCustom) {
        // A custom rate named without its number falls back to 9600; a baud rate kept from the
        // port (no value at all) keeps its custom rate too.
        const std::int32_t Default = BaudRateGiven ? 9600 : Port.GetCustomBaudRate();
        Port.SetCustomBaudRate(R.ReadInteger("CustomBaudRate", Default));
    }
    Port.SetStopBits(StrToStopBits(R.ReadText("StopBits", StopBitsToStr(Port.GetStopBits()))));
    Port.SetDataBits(StrToDataBits(R.ReadText("DataBits", DataBitsToStr(Port.GetDataBits()))));
    TComParity& Parity = Port.GetParity();
    Parity.SetBits(StrToParity(R.ReadText("Parity", ParityToStr(Parity.GetBits()))));
    TComFlowControl& Flow = Port.GetFlowControl();
    Flow.SetFlowControl(
        StrToFlowControl(R.ReadText("FlowControl", FlowControlToStr(Flow.GetFlowControl()))));
}

static void ReadOthers(TCustomComPort& Port, TSettingsReader& R) {
    Port.SetEventChar(ReadChar(R, "EventChar", Port.GetEventChar()));
    Port.SetDiscardNull(ReadYesNo(R, "DiscardNull", Port.GetDiscardNull()));
}

static void ReadParity(TComParity& Parity, TSettingsReader& R) {
    Parity.SetCheck(ReadYesNo(R, "Parity.Check", Parity.GetCheck()));
    Parity.SetReplace(ReadYesNo(R, "Parity.Replace", Parity.GetReplace()));
    Parity.SetReplaceChar(ReadChar(R, "Parity.ReplaceChar", Parity.GetReplaceChar()));
}

static void ReadBuffer(TComBuffer& Buffer, TSettingsReader& R) {
    Buffer.SetOutputSize(R.ReadInteger("Buffer.OutputSize", Buffer.GetOutputSize()));
    Buffer.SetInputSize(R.ReadInteger("Buffer.InputSize", Buffer.GetInputSize()));
}

static void ReadTimeouts(TComTimeouts& T, TSettingsReader& R) {
    T.SetReadInterval(R.ReadInteger("Timeouts.ReadInterval", T.GetReadInterval()));
    T.SetReadTotalConstant(R.ReadInteger("Timeouts.ReadTotalConstant", T.GetReadTotalConstant()));
    T.SetReadTotalMultiplier(
        R.ReadInteger("Timeouts.ReadTotalMultiplier", T.GetReadTotalMultiplier()));
    T.SetWriteTotalConstant(
        R.ReadInteger("Timeouts.WriteTotalConstant", T.GetWriteTotalConstant()));
    T.SetWriteTotalMultiplier(
        R.ReadInteger("Timeouts.WriteTotalMultiplier", T.GetWriteTotalMultiplier()));
}

static void ReadFlowControl(TComFlowControl& F, TSettingsReader& R) {
    F.SetControlRTS(
        StrToRTSControl(R.ReadText("FlowControl.ControlRTS", RTSControlToStr(F.GetControlRTS()))));
    F.SetControlDTR(
        StrToDTRControl(R.ReadText("FlowControl.ControlDTR", DTRControlToStr(F.GetControlDTR()))));
    F.SetDSRSensitivity(ReadYesNo(R, "FlowControl.DSRSensitivity", F.GetDSRSensitivity()));
    F.SetOutCTSFlow(ReadYesNo(R, "FlowControl.OutCTSFlow", F.GetOutCTSFlow()));
    F.SetOutDSRFlow(ReadYesNo(R, "FlowControl.OutDSRFlow", F.GetOutDSRFlow()));
    F.SetTxContinueOnXoff(ReadYesNo(R, "FlowControl.TxContinueOnXoff", F.GetTxContinueOnXoff()));
    F.SetXonXoffIn(ReadYesNo(R, "FlowControl.XonXoffIn", F.GetXonXoffIn()));
    F.SetXonXoffOut(ReadYesNo(R, "FlowControl.XonXoffOut", F.GetXonXoffOut()));
    F.SetXoffChar(ReadChar(R, "FlowControl.XoffChar", F.GetXoffChar()));
    F.SetXonChar(ReadChar(R, "FlowControl.XonChar", F.GetXonChar()));
}

void ReadPortSettings(TCustomComPort& Port, TSettingsReader& Reader) {
    const TStoredProps Props = Port.GetStoredProps();
    if (Props.Contains(spBasic))
        ReadBasic(Port, Reader);
    if (Props.Contains(spOthers))
        ReadOthers(Port, Reader);
    if (Props.Contains(spParity))
        ReadParity(Port.GetParity(), Reader);
    if (Props.Contains(spBuffer))
        ReadBuffer(Port.GetBuffer(), Reader);
    if (Props.Contains(spTimeouts))
        ReadTimeouts(Port.GetTimeouts(), Reader);
    if (Props.Contains(spFlowControl))
        ReadFlowControl(Port.GetFlowControl(), Reader);
}
