// The frame editor of the "TX frame" group, without widgets. TWorkbench owns one beside its
// TCommandDefinitions and hands it each field's text:
//
//   CMDTAdrEditChange       -> TAddrChanged(text)
//   CMDComboBoxChange       -> CommandChanged(itemIndex)
//   CMDParametersEditChange -> ParametersChanged(text)
//   CMDCRC_H_EditChange     -> CrcHTextChanged(text)
//   CMDCRC_L_EditChange     -> CrcLTextChanged(text)
//   AutoCRCCheckBoxClick    -> AutoCrcClicked(checked); CRC edits read-only = GetAutoCrc()
//   start-up (last step)    -> ComposeInitialFrame(TAddr text)
//
// After any call the Length and CRC edits show GetLengthText(), GetCrcHText() and GetCrcLText()
// (while Auto is off the CRC texts are the user's own, unchanged). The send routine takes
// GetTxFrame() and GetTxFrame()[1] bytes of it, unless GetParseError().
//
// Not thread-safe: every call comes from the window's thread.
#pragma once

#include "app/core/TxFrame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TCommandDefinitions;

inline constexpr const char* kNoConfigText = "Error: can't open config file";

// The fields whose text is read into the frame; one that does not read is marked bad.
enum TEditorField : std::uint8_t { efTAddr, efParameters, efCrcH, efCrcL };
inline constexpr int kEditorFields = 4;

// What a handler changes besides the frame and the edits; an empty member leaves the widget alone.
struct TEditorOutcome {
    std::optional<std::string> StatusText;
    std::optional<bool> SendEnabled;
    std::optional<std::string> CommandDescription; // "Command description" label
    std::optional<std::string> ParamDescription;   // "Description" label
    // A field that became bad (true) or good again (false).
    std::array<std::optional<bool>, kEditorFields> FieldBad{};
};

class TFrameEditor {
public:
    // Reads ConfigLoaded and CommandList of the definitions, which must outlive the editor.
    explicit TFrameEditor(const TCommandDefinitions& definitions);

    void ComposeInitialFrame(std::string_view tAddrText);
    // A TAddr or CRC text that is not one hex byte leaves the frame's byte as it was, and the
    // field bad until it reads again.
    TEditorOutcome TAddrChanged(std::string_view text);
    TEditorOutcome CommandChanged(int itemIndex);
    TEditorOutcome ParametersChanged(std::string_view text);
    TEditorOutcome CrcHTextChanged(std::string_view text);
    TEditorOutcome CrcLTextChanged(std::string_view text);
    TEditorOutcome AutoCrcClicked(bool checked);

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
    // The error of the first bad field, "" when every field reads. While set, the frame is not
    // what the fields say, and the send routine and "Add to list" refuse it.
    const std::string& GetParseError() const;
    const std::string& GetFieldError(TEditorField field) const { return FieldErrors[field]; }

private:
    // Sets or clears the field's error; reports a change of it in outcome, with the status
    // (the first remaining error, or " ") and whether sending is possible.
    void SetFieldError(TEditorField field, std::string error, TEditorOutcome& outcome);
    // A CRC text into its frame byte while the CRC is typed by hand.
    void TakeCrcText(TEditorField field, std::string_view text, TEditorOutcome& outcome);

    const TCommandDefinitions& Definitions;
    TTxFrame TxFrame{};
    bool AutoCrc = true;
    std::string CrcHText;
    std::string CrcLText;
    std::array<std::string, kEditorFields> FieldErrors;
};
