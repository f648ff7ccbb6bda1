#include "app/core/FrameEditor.h"

#include "app/core/CommandDefinitions.h"
#include "app/core/Crc16.h"
#include "app/core/HexText.h"
#include "app/core/ParameterParser.h"

namespace {

std::uint8_t LowByte(std::uint32_t value) {
    return static_cast<std::uint8_t>(value & 0xFFu);
}

// The byte a field's text stands for, or why it stands for none.
std::optional<std::uint8_t> FieldByte(std::string_view field, std::string_view text,
                                      std::string& error) {
    while (!text.empty() && IsWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    const THexByte byte = ReadHexByte(text);
    if (byte.Verdict != hbByte) {
        error = NotHexByteText(field, text);
        return std::nullopt;
    }
    error.clear();
    return byte.Value;
}

} // namespace

TFrameEditor::TFrameEditor(const TCommandDefinitions& definitions) : Definitions(definitions) {}

void TFrameEditor::ComposeInitialFrame(std::string_view tAddrText) {
    TxFrame[kFrameAddressOffset] = LowByte(ReadHex(tAddrText));
    TxFrame[kFrameLengthOffset] = kFrameEnvelope;
    FrameCrcUpdate();
}

const std::string& TFrameEditor::GetParseError() const {
    for (const std::string& error : FieldErrors) {
        if (!error.empty()) {
            return error;
        }
    }
    return FieldErrors[efTAddr];
}

void TFrameEditor::SetFieldError(TEditorField field, std::string error, TEditorOutcome& outcome) {
    const bool wasBad = !FieldErrors[field].empty();
    FieldErrors[field] = std::move(error);
    const bool bad = !FieldErrors[field].empty();
    if (bad != wasBad || bad) {
        outcome.FieldBad[field] = bad;
        const std::string& first = GetParseError();
        outcome.StatusText = first.empty() ? " " : first;
        outcome.SendEnabled = first.empty();
    }
}

TEditorOutcome TFrameEditor::TAddrChanged(std::string_view text) {
    TEditorOutcome outcome;
    std::string error;
    if (const std::optional<std::uint8_t> address = FieldByte("TAddr", text, error)) {
        TxFrame[kFrameAddressOffset] = *address;
        FrameCrcUpdate();
    }
    SetFieldError(efTAddr, std::move(error), outcome);
    return outcome;
}

TEditorOutcome TFrameEditor::CommandChanged(int itemIndex) {
    TEditorOutcome outcome;
    if (!Definitions.GetConfigLoaded()) {
        outcome.StatusText = kNoConfigText;
        return outcome;
    }
    // The item index is taken as one byte, so "no selection" (-1) designates no record.
    const std::size_t index = static_cast<std::uint8_t>(itemIndex);
    const auto& commands = Definitions.GetCommandList();
    if (index >= commands.size()) {
        return outcome;
    }
    const CommandRecord& record = commands[index];
    outcome.CommandDescription = record.CommandDescription;
    outcome.ParamDescription = record.ParamDescription;
    TxFrame[kFrameCommandOffset] = record.Code;
    FrameCrcUpdate();
    return outcome;
}

TEditorOutcome TFrameEditor::ParametersChanged(std::string_view text) {
    TEditorOutcome outcome;
    outcome.SendEnabled = true;
    outcome.StatusText = " ";
    if (!Definitions.GetConfigLoaded()) {
        outcome.StatusText = kNoConfigText;
        return outcome;
    }
    // Parsed into a copy: a field that fails to parse must not leave a frame whose parameters
    // disagree with its length and CRC, which a repeat tick or "Add to list" would send.
    TTxFrame parsed = TxFrame;
    const TParameterParse parse = ParseParameters(text, parsed);
    if (parse.Ok) {
        TxFrame = parsed;
        TxFrame[kFrameLengthOffset] = static_cast<std::uint8_t>(parse.End + 2);
        FrameCrcUpdate();
    }
    SetFieldError(efParameters, parse.ErrorText, outcome);
    // Every change of the field reports, and is the one that enables sending again.
    if (!outcome.StatusText) {
        outcome.StatusText = " ";
        outcome.SendEnabled = GetParseError().empty();
    }
    return outcome;
}

TEditorOutcome TFrameEditor::CrcHTextChanged(std::string_view text) {
    TEditorOutcome outcome;
    CrcHText = text;
    TakeCrcText(efCrcH, text, outcome);
    return outcome;
}

TEditorOutcome TFrameEditor::CrcLTextChanged(std::string_view text) {
    TEditorOutcome outcome;
    CrcLText = text;
    TakeCrcText(efCrcL, text, outcome);
    return outcome;
}

void TFrameEditor::TakeCrcText(TEditorField field, std::string_view text, TEditorOutcome& outcome) {
    if (AutoCrc) {
        FrameCrcUpdate();
        return;
    }
    std::string error;
    FieldByte("CRC", text, error);
    SetFieldError(field, std::move(error), outcome);
    FrameCrcUpdate();
}

TEditorOutcome TFrameEditor::AutoCrcClicked(bool checked) {
    TEditorOutcome outcome;
    AutoCrc = checked;
    if (checked) {
        // Computed again, the CRC texts are right whatever the user had typed.
        SetFieldError(efCrcH, "", outcome);
        SetFieldError(efCrcL, "", outcome);
        FrameCrcUpdate();
    } else {
        TakeCrcText(efCrcH, CrcHText, outcome);
        TakeCrcText(efCrcL, CrcLText, outcome);
    }
    return outcome;
}

void TFrameEditor::FrameCrcUpdate() {
    const int length = TxFrame[kFrameLengthOffset];
    if (length < kFrameEnvelope) {
        return;
    }
    if (AutoCrc) {
        const std::uint16_t crc = Crc16(TxFrame.data(), static_cast<std::uint8_t>(length - 2));
        TxFrame[length - 2] = static_cast<std::uint8_t>(crc >> 8);
        TxFrame[length - 1] = LowByte(crc);
        CrcHText = hex2(TxFrame[length - 2]);
        CrcLText = hex2(TxFrame[length - 1]);
    } else {
        // A CRC text that does not read leaves its byte as it was; the field says why.
        std::string ignored;
        if (const auto high = FieldByte("CRC", CrcHText, ignored)) {
            TxFrame[length - 2] = *high;
        }
        if (const auto low = FieldByte("CRC", CrcLText, ignored)) {
            TxFrame[length - 1] = *low;
        }
    }
}

std::string TFrameEditor::GetLengthText() const {
    return hex2(GetLength());
}
