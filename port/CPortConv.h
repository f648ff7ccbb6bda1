// Text forms of the port's setting values and the list of the machine's serial ports.
// Every setting value has exactly one text; reading a text back folds ASCII case and falls back
// to a fixed value when nothing matches, so a hand-edited settings file never throws.
#pragma once

#include <cstdint>
#include <string>

#include "port/CPortTypes.h"

class TStrings;

std::string BaudRateToStr(TBaudRate BaudRate);
std::string StopBitsToStr(TStopBits StopBits);
std::string DataBitsToStr(TDataBits DataBits);
std::string ParityToStr(TParityBits Parity);
std::string FlowControlToStr(TFlowControl FlowControl);
std::string RTSControlToStr(TRTSFlowControl RTSControl);
std::string DTRControlToStr(TDTRFlowControl DTRControl);

TBaudRate StrToBaudRate(const std::string& Str);
TStopBits StrToStopBits(const std::string& Str);
TDataBits StrToDataBits(const std::string& Str);
TParityBits StrToParity(const std::string& Str);
TFlowControl StrToFlowControl(const std::string& Str);
TRTSFlowControl StrToRTSControl(const std::string& Str);
TDTRFlowControl StrToDTRControl(const std::string& Str);

std::string YesNoToStr(bool YesNo);
bool StrToYesNo(const std::string& Str);

// Codes 33..127 are written as themselves, every other code as "#" and its decimal number.
std::string SettingCharToStr(std::uint8_t Ch);
std::uint8_t StrToSettingChar(const std::string& Str);

// Replaces the contents of Ports with the registered serial ports, sorted as text without
// regard to case, after bringing the register up to date with the devices present
// (UpdateSerialDeviceMap). Raises EComPort code 23 and leaves Ports untouched when the register
// cannot be updated or read.
void EnumComPorts(TStrings& Ports);
void EnumComPorts(TStrings* Ports);
