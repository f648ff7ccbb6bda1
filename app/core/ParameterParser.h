// The parameters field of the frame editor: hexadecimal bytes of one or two digits (with an
// optional 0x prefix, as the command box writes codes) and "$" strings of 1 to 63 characters,
// separated by white space or by anything that is neither a letter nor a digit ("01 a0 $ABC 0x0d"
// gives 01 A0 41 42 43 0D). TFrameEditor calls it on every change of the field.
//
// Bytes go straight into the frame from offset 3. When parsing stops on an error the bytes
// already written stay, and the caller leaves length and CRC as they were. A token that would
// push the frame past 255 bytes is refused whole (kFrameTooLongText) and nothing of it is written,
// so the frame array is never overrun. A token that is not hexadecimal ("zz", "1z") is refused
// and named in the error, rather than sent as a byte nobody typed.
#pragma once

#include "app/core/TxFrame.h"

#include <string>
#include <string_view>

inline constexpr const char* kTooLongHexText = "Error: Too long HEX value";
inline constexpr const char* kTooLongAsciiText = "Error: Too long ASCII string";
inline constexpr const char* kFrameTooLongText = "Error: Too long frame (max. 250 parameter bytes)";

// "Error: FIELD: 'TOKEN' is not a hex byte", the token cut to a readable length.
std::string NotHexByteText(std::string_view field, std::string_view token);

struct TParameterParse {
    bool Ok = true;
    std::string ErrorText;            // one of the texts above when !Ok
    int End = kFrameParametersOffset; // offset behind the last parameter byte written
};

TParameterParse ParseParameters(std::string_view text, TTxFrame& frame);
