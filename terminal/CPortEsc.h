// Escape-code parsers: bytes in, one ordinary character or one recognised sequence out, and the
// reverse (a code and its parameters to the text a terminal of the family sends). VT52 and
// VT100/ANSI families; an application may derive its own parser from TEscapeCodes.
//
// A parser never fails: an unrecognised or over-long sequence ends as ecUnknown. No Qt here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/Strings.h"

enum TEscapeResult : std::uint8_t { erChar, erCode, erNothing };

enum TEscapeCode : std::uint8_t {
    ecUnknown,
    ecNotCompleted,
    ecCursorUp,
    ecCursorDown,
    ecCursorLeft,
    ecCursorRight,
    ecCursorHome,
    ecCursorMove,
    ecReverseLineFeed,
    ecAppCursorLeft,
    ecAppCursorRight,
    ecAppCursorUp,
    ecAppCursorDown,
    ecEraseLineFrom,
    ecEraseScreenFrom,
    ecEraseLine,
    ecEraseScreen,
    ecSetTab,
    ecClearTab,
    ecClearAllTabs,
    ecIdentify,
    ecIdentResponse,
    ecQueryDevice,
    ecReportDeviceOK,
    ecReportDeviceFailure,
    ecQueryCursorPos,
    ecReportCursorPos,
    ecAttributes,
    ecSetMode,
    ecResetMode,
    ecReset,
    ecSaveCaretAndAttr,
    ecRestoreCaretAndAttr,
    ecSaveCaret,
    ecRestoreCaret,
    ecTest,
    // Only the VT102 family finds these.
    ecIndex,
    ecNextLine,
    ecSetMargins,
    ecInsertChars,
    ecDeleteChars,
    ecEraseChars,
    ecInsertLines,
    ecDeleteLines,
    ecEraseLineTo,
    ecEraseScreenTo,
    ecCharsetG0,
    ecCharsetG1
};
inline constexpr int EscapeCodeCount = ecCharsetG1 + 1;

class TEscapeCodes : public TObject {
public:
    TEscapeCodes() = default;
    ~TEscapeCodes() override = default;
    TEscapeCodes(const TEscapeCodes&) = delete;
    TEscapeCodes& operator=(const TEscapeCodes&) = delete;

    // Feeds one received character.
    virtual TEscapeResult ProcessChar(char Ch) = 0;
    // The text this family sends for Code (AParams may be null); empty for a code it cannot send.
    virtual std::string EscCodeToStr(TEscapeCode Code, const TStrings* AParams) const = 0;

    // Parameter Index (1-based) as an integer: 1 when the list is null, too short, or the entry
    // is not an integer.
    static int GetParam(int Index, const TStrings* AParams);

    // Valid after erChar.
    char GetPlainChar() const { return FPlainChar; }
    // Valid after erCode.
    TEscapeCode GetFoundCode() const { return FFoundCode; }
    // The characters after the ESC of the current or last sequence.
    const std::string& GetSequenceText() const { return FSequenceText; }
    // Parameters of the last code; the consumer clears the list after handling each code.
    TStringList& GetCodeParams() { return FCodeParams; }
    const TStringList& GetCodeParams() const { return FCodeParams; }

    bool GetCollectingSequence() const { return FCollectingSequence; }

protected:
    // Outside a sequence answers Ch itself (erChar, or erNothing for the ESC that starts one);
    // inside one appends Ch to the sequence text and answers nothing.
    std::optional<TEscapeResult> BeginOrCollect(char Ch);
    // Ends the sequence once Code is complete.
    TEscapeResult EndIfComplete(TEscapeCode Code);

    bool FCollectingSequence = false;
    char FPlainChar = 0;
    TEscapeCode FFoundCode = ecUnknown;
    std::string FSequenceText;
    TStringList FCodeParams;
};

class TEscapeCodesVT52 : public TEscapeCodes {
public:
    TEscapeResult ProcessChar(char Ch) override;
    std::string EscCodeToStr(TEscapeCode Code, const TStrings* AParams) const override;
    // The code Str (the text after ESC) forms so far; ESC Y fills CodeParams with row and column.
    TEscapeCode DetectCode(const std::string& Str);
};

class TEscapeCodesVT100 : public TEscapeCodes {
public:
    // What EscCodeToStr gives; the VT102 family sends the same texts but for its identity.
    static std::string CodeText(TEscapeCode Code, const TStrings* AParams);

    // A bracket sequence longer than this (after the ESC) ends as ecUnknown, so a stream of
    // digits cannot grow memory without limit.
    static constexpr std::size_t MaxSequenceLength = 256;

    TEscapeResult ProcessChar(char Ch) override;
    std::string EscCodeToStr(TEscapeCode Code, const TStrings* AParams) const override;
    // Sequences without a bracket ("7", "#8", "OA", ...).
    TEscapeCode DetectCode(const std::string& Str);
    // Sequences beginning with "["; replaces CodeParams with what the code keeps.
    TEscapeCode DetectExtCode(const std::string& Str);
    // Parameters separated by ";"; a ";" that would start an empty parameter is kept as text.
    static void SplitParams(std::string_view Str, TStrings& Params);

    bool GetCollectingBracketSequence() const { return FCollectingBracketSequence; }

private:
    bool FCollectingBracketSequence = false;
};

// The parameters of a VT102 control sequence as numbers, read once as the bytes arrive.
struct TControlParams {
    static constexpr int MaxCount = 16;
    // A parameter left empty ("CSI ;5H"); a VT102 treats it as 0, which means the default.
    static constexpr int Missing = -1;
    static constexpr int MaxValue = 65535;

    int Count = 0;
    int Values[MaxCount] = {};
    // '?', '>', '=' or '<' before the first parameter, else 0.
    char Marker = 0;
    // The first intermediate byte (0x20-0x2F), else 0; IntermediateCount counts them all.
    char Intermediate = 0;
    int IntermediateCount = 0;
    // The byte that ended the sequence (the set's letter of ecCharsetG0 and ecCharsetG1).
    char Final = 0;

    // Parameter Index (0-based); Default when it is missing, absent or 0.
    int Arg(int Index, int Default) const {
        const int Value = Index < Count ? Values[Index] : Missing;
        return Value > 0 ? Value : Default;
    }
    // Parameter Index with missing and absent as 0.
    int Raw(int Index) const { return Index < Count && Values[Index] > 0 ? Values[Index] : 0; }
    void Clear() { *this = TControlParams{}; }
    // The numbers of a list of texts ("?1" gives the marker and 1, "" a missing parameter).
    static TControlParams FromStrings(const TStrings* AParams);
};

// The VT102 family: a state machine over bytes rather than over the collected text. C0 controls
// inside a sequence take effect at once (erChar) and the sequence goes on; ESC starts a new
// one; CAN and SUB cancel it; DEL is dropped everywhere. Control sequences end at any byte
// 0x40-0x7E; device control, operating system command, privacy and application strings are
// swallowed up to their terminator. A sequence with intermediates or a marker that the family
// does not know ends as ecUnknown. Codes carry their parameters in GetParams, not in
// GetCodeParams.
class TEscapeCodesVT102 final : public TEscapeCodes {
public:
    // Bytes kept of a sequence's text; the rest of a longer one is still parsed.
    static constexpr std::size_t MaxSequenceLength = 256;

    TEscapeResult ProcessChar(char Ch) override;
    std::string EscCodeToStr(TEscapeCode Code, const TStrings* AParams) const override;

    const TControlParams& GetParams() const { return FParams; }

private:
    enum TState : std::uint8_t {
        stGround,
        stEscape,
        stEscapeIntermediate,
        stCsiParam,
        stCsiIntermediate,
        stCsiIgnore,
        stString,
        stStringEscape
    };

    TEscapeResult Sequence(unsigned char Byte);
    void Collect(unsigned char Byte);
    TEscapeResult Finish(TEscapeCode Code);
    TEscapeCode EscapeCode(unsigned char Final) const;
    TEscapeCode ControlCode(unsigned char Final) const;

    TState FState = stGround;
    TControlParams FParams;
    bool FParamOverflow = false;
};
