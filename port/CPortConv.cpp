#include "port/CPortConv.h"

#include <array>
#include <cerrno>
#include <cstddef>

#include "framework/Strings.h"
#include "platform/registry/Registry.h"
#include "platform/serial/SerialPortList.h"
#include "platform/sync/PlatformError.h"
#include "platform/text/AsciiText.h"
#include "port/CPortError.h"

namespace {

// One enumeration's texts, indexed by ordinal, and the value an unmatched text reads as.
template <typename E, std::size_t N>
struct TTextTable {
    std::array<const char*, N> Texts;
    E Fallback;

    std::string ToStr(E Value) const {
        const auto Index = static_cast<std::size_t>(Value);
        // An ordinal outside the enumeration (a cast from a damaged number) has no text.
        return Index < N ? Texts[Index] : std::string();
    }

    E FromStr(const std::string& Str) const {
        for (std::size_t I = 0; I < N; ++I)
            if (SameText(Texts[I], Str))
                return static_cast<E>(I);
        return Fallback;
    }
};

} // namespace

static const TTextTable<TBaudRate, 16> BaudRateTable{
    {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
     "56000", "57600", "115200", "128000", "256000"},
    br9600};
static const TTextTable<TStopBits, 3> StopBitsTable{{"1", "1.5", "2"}, sbOneStopBit};
static const TTextTable<TDataBits, 4> DataBitsTable{{"5", "6", "7", "8"}, dbEight};
static const TTextTable<TParityBits, 5> ParityTable{{"None", "Odd", "Even", "Mark", "Space"},
                                                    prNone};
static const TTextTable<TFlowControl, 4> FlowControlTable{
    {"Hardware", "Software", "None", "Custom"}, fcCustom};
static const TTextTable<TRTSFlowControl, 4> RTSControlTable{
    {"Disable", "Enable", "Handshake", "Toggle"}, rtsDisable};
static const TTextTable<TDTRFlowControl, 3> DTRControlTable{{"Disable", "Enable", "Handshake"},
                                                            dtrDisable};

std::string BaudRateToStr(TBaudRate BaudRate) {
    return BaudRateTable.ToStr(BaudRate);
}
std::string StopBitsToStr(TStopBits StopBits) {
    return StopBitsTable.ToStr(StopBits);
}
std::string DataBitsToStr(TDataBits DataBits) {
    return DataBitsTable.ToStr(DataBits);
}
std::string ParityToStr(TParityBits Parity) {
    return ParityTable.ToStr(Parity);
}
std::string FlowControlToStr(TFlowControl FlowControl) {
    return FlowControlTable.ToStr(FlowControl);
}
std::string RTSControlToStr(TRTSFlowControl RTSControl) {
    return RTSControlTable.ToStr(RTSControl);
}
std::string DTRControlToStr(TDTRFlowControl DTRControl) {
    return DTRControlTable.ToStr(DTRControl);
}

TBaudRate StrToBaudRate(const std::string& Str) {
    return BaudRateTable.FromStr(Str);
}
TStopBits StrToStopBits(const std::string& Str) {
    return StopBitsTable.FromStr(Str);
}
TDataBits StrToDataBits(const std::string& Str) {
    return DataBitsTable.FromStr(Str);
}
TParityBits StrToParity(const std::string& Str) {
    return ParityTable.FromStr(Str);
}
TFlowControl StrToFlowControl(const std::string& Str) {
    return FlowControlTable.FromStr(Str);
}
TRTSFlowControl StrToRTSControl(const std::string& Str) {
    return RTSControlTable.FromStr(Str);
}
TDTRFlowControl StrToDTRControl(const std::string& Str) {
    return DTRControlTable.FromStr(Str);
}

std::string YesNoToStr(bool YesNo) {
    return YesNo ? "Yes" : "No";
}
bool StrToYesNo(const std::string& Str) {
    return AsciiUpperCase(Str) == "YES";
}

std::string SettingCharToStr(std::uint8_t Ch) {
    if (Ch >= 33 && Ch <= 127)
        return std::string(1, static_cast<char>(Ch));
    return "#" + std::to_string(Ch);
}

std::uint8_t StrToSettingChar(const std::string& Str) {
    if (Str.empty())
        return 0;
    if (Str[0] != '#' || Str.size() == 1)
        return static_cast<std::uint8_t>(Str[0]);
    std::int32_t Value = 0;
    if (!TryStrToInt(Str.substr(1), Value))
        return 0;
    return static_cast<std::uint8_t>(Value & 0xFF);
}

// The name and data buffers offered per value hold 256 units, the terminating NUL included.
static constexpr std::size_t EnumBufferSize = 256;

void EnumComPorts(TStrings& Ports) {
    // Collected apart and swapped in whole, so a failure leaves the caller's list as it was.
    TStringList Found;
    // Nothing on this system keeps the device map current, so the list is brought up to date
    // with the devices present before it is read.
    if (!UpdateSerialDeviceMap())
        throw EComPort(CError_RegError, LastPlatformError());
    try {
        TRegistry Reg(HKEY_LOCAL_MACHINE);
        if (!Reg.OpenKeyReadOnly("HARDWARE\\DEVICEMAP\\SERIALCOMM"))
            throw EComPort(CError_RegError, Reg.GetLastError() != 0 ? Reg.GetLastError() : ENOENT);
        for (const std::string& Name : Reg.GetValueNames()) {
            std::string Data = Reg.ReadString(Name);
            if (Name.size() >= EnumBufferSize || Data.size() >= EnumBufferSize)
                throw EComPort(CError_RegError, ERANGE);
            Found.Add(Data);
        }
    } catch (const ERegistryError& E) {
        throw EComPort(CError_RegError, E.GetErrorCode());
    }
    Found.Sort();
    Ports.Assign(&Found);
}

void EnumComPorts(TStrings* Ports) {
    if (Ports == nullptr)
        throw EListError("EnumComPorts needs a list to fill");
    EnumComPorts(*Ports);
}
