// The frame editor of the "TX frame" group, without widgets. The main window owns one
// TFrameEditor beside its TCommandDefinitions and forwards each editor handler to the method of
// the same logic:
//
//   CMDTAdrEditChange      -> TAddrChanged(text)
//   CMDComboBoxChange      -> CommandChanged(itemIndex)          apply the returned outcome
//   CMDParametersEditChange-> ParametersChanged(text)            apply the returned outcome
//   CMDCRC_H_EditChange    -> CrcHTextChanged(text)
//   CMDCRC_L_EditChange    -> CrcLTextChanged(text)
//   AutoCRCCheckBoxClick   -> AutoCrcClicked(checked); CRC edits read-only = GetAutoCrc()
//   start-up (last step)   -> ComposeInitialFrame(TAddr text)
//
// After any call the window copies GetLengthText(), GetCrcHText() and GetCrcLText() into the
// Length and CRC edits (while Auto is off the CRC texts are the user's own, unchanged). Setting
// an edit's text from here re-enters its change handler; that only recomputes the same values.
// The send routine takes GetTxFrame() and GetTxFrame()[1] bytes of it, unless GetParseError().
//
// Not thread-safe: the window serialises the timer-driven send with its own thread.
#pragma once

#include "app/core/TxFrame.h"

#include <optional>
#include <string>
#include <string_view>

class TCommandDefinitions;

inline constexpr const char* kNoConfigText = "Error: can't open config file";

// What a handler changes besides the frame and the edits; an empty member leaves the widget alone.
struct TEditorOutcome {
    std::optional<std::string> StatusText;
    std::optional<bool> SendEnabled;
    std::optional<std::string> CommandDescription; // "Command description" label
    std::optional<std::string> ParamDescription;   // "Description" label
};

class TFrameEditor {
public:
    // Reads ConfigLoaded and CommandList of the definitions, which must outlive the editor.
    explicit TFrameEditor(const TCommandDefinitions& definitions);

    void ComposeInitialFrame(std::string_view tAddrText);
    void TAddrChanged(std::string_view text);
    TEditorOutcome CommandChanged(int itemIndex);
    TEditorOutcome ParametersChanged(std::string_view text);
    void CrcHTextChanged(std::string_view text);
    void CrcLTextChanged(std::string_view text);
    void AutoCrcClicked(bool checked);

    // Brings the two CRC bytes at L-2, L-1 up to date: computed while Auto is on, taken from the
    // CRC texts while it is off. Does nothing before a frame of at least 5 bytes was composed,
    // where L-2 would fall on the address or the length byte itself.
    void FrameCrcUpdate();

    const TTxFrame& GetTxFrame() const { return TxFrame; }
    std::uint8_t GetLength() const { return TxFrame[kFrameLengthOffset]; }
    std::string GetLengthText() const;
    const std::string& GetCrcHText() const { return CrcHText; }
    const std::string& GetCrcLText() const { return CrcLText; }
    bool GetAutoCrc() const { return AutoCrc; }
    // The error of the last parse of the parameters field, "" after a good one. While set, the
    // frame is the last one that parsed, and the send routine refuses to send it.
    const std::string& GetParseError() const { return ParseError; }

private:
    const TCommandDefinitions& Definitions;
    TTxFrame TxFrame{};
    bool AutoCrc = true;
    std::string CrcHText;
    std::string CrcLText;
    std::string ParseError;
};
