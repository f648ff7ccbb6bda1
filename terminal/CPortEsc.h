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
    ecTest
};
inline constexpr int EscapeCodeCount = ecTest + 1;

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
