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

static void WriteParity(const TCustomComPort& Port, TSettingsWriter& W) {
    const TComParity& Parity = Port.GetParity();
    W.WriteText("Parity.Check", YesNoToStr(Parity.GetCheck()));
    W.WriteText("Parity.Replace", YesNoToStr(Parity.GetReplace()));
    W.WriteText("Parity.ReplaceChar", SettingCharToStr(Parity.GetReplaceChar()));
}

static void WriteBuffer(const TCustomComPort& Port, TSettingsWriter& W) {
    const TComBuffer& Buffer = Port.GetBuffer();
    W.WriteInteger("Buffer.OutputSize", Buffer.GetOutputSize());
    W.WriteInteger("Buffer.InputSize", Buffer.GetInputSize());
}

static void WriteTimeouts(const TCustomComPort& Port, TSettingsWriter& W) {
    const TComTimeouts& T = Port.GetTimeouts();
    W.WriteInteger("Timeouts.ReadInterval", T.GetReadInterval());
    W.WriteInteger("Timeouts.ReadTotalConstant", T.GetReadTotalConstant());
    W.WriteInteger("Timeouts.ReadTotalMultiplier", T.GetReadTotalMultiplier());
    W.WriteInteger("Timeouts.WriteTotalConstant", T.GetWriteTotalConstant());
    W.WriteInteger("Timeouts.WriteTotalMultiplier", T.GetWriteTotalMultiplier());
}

static void WriteFlowControl(const TCustomComPort& Port, TSettingsWriter& W) {
    const TComFlowControl& F = Port.GetFlowControl();
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

static void ReadParity(TCustomComPort& Port, TSettingsReader& R) {
    TComParity& Parity = Port.GetParity();
    Parity.SetCheck(ReadYesNo(R, "Parity.Check", Parity.GetCheck()));
    Parity.SetReplace(ReadYesNo(R, "Parity.Replace", Parity.GetReplace()));
    Parity.SetReplaceChar(ReadChar(R, "Parity.ReplaceChar", Parity.GetReplaceChar()));
}

static void ReadBuffer(TCustomComPort& Port, TSettingsReader& R) {
    TComBuffer& Buffer = Port.GetBuffer();
    Buffer.SetOutputSize(R.ReadInteger("Buffer.OutputSize", Buffer.GetOutputSize()));
    Buffer.SetInputSize(R.ReadInteger("Buffer.InputSize", Buffer.GetInputSize()));
}

static void ReadTimeouts(TCustomComPort& Port, TSettingsReader& R) {
    TComTimeouts& T = Port.GetTimeouts();
    T.SetReadInterval(R.ReadInteger("Timeouts.ReadInterval", T.GetReadInterval()));
    T.SetReadTotalConstant(R.ReadInteger("Timeouts.ReadTotalConstant", T.GetReadTotalConstant()));
    T.SetReadTotalMultiplier(
        R.ReadInteger("Timeouts.ReadTotalMultiplier", T.GetReadTotalMultiplier()));
    T.SetWriteTotalConstant(
        R.ReadInteger("Timeouts.WriteTotalConstant", T.GetWriteTotalConstant()));
    T.SetWriteTotalMultiplier(
        R.ReadInteger("Timeouts.WriteTotalMultiplier", T.GetWriteTotalMultiplier()));
}

static void ReadFlowControl(TCustomComPort& Port, TSettingsReader& R) {
    TComFlowControl& F = Port.GetFlowControl();
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

namespace {
// The one order of the groups, whatever their ordinal order in the set.
struct TSettingGroup {
    TStoredProp Prop;
    void (*Write)(const TCustomComPort& Port, TSettingsWriter& W);
    void (*Read)(TCustomComPort& Port, TSettingsReader& R);
};
} // namespace

static const TSettingGroup SettingGroups[] = {
    {spBasic, WriteBasic, ReadBasic},          {spOthers, WriteOthers, ReadOthers},
    {spParity, WriteParity, ReadParity},       {spBuffer, WriteBuffer, ReadBuffer},
    {spTimeouts, WriteTimeouts, ReadTimeouts}, {spFlowControl, WriteFlowControl, ReadFlowControl}};

void WritePortSettings(const TCustomComPort& Port, TSettingsWriter& Writer) {
    const TStoredProps Props = Port.GetStoredProps();
    for (const TSettingGroup& Group : SettingGroups)
        if (Props.Contains(Group.Prop))
            Group.Write(Port, Writer);
}

void ReadPortSettings(TCustomComPort& Port, TSettingsReader& Reader) {
    const TStoredProps Props = Port.GetStoredProps();
    for (const TSettingGroup& Group : SettingGroups)
        if (Props.Contains(Group.Prop))
            Group.Read(Port, Reader);
}
