#include "app/core/FrameEditor.h"

#include "app/core/CommandDefinitions.h"
#include "app/core/Crc16.h"
#include "app/core/HexText.h"
#include "app/core/ParameterParser.h"

namespace {

std::uint8_t LowByte(std::uint32_t value) {
    return static_cast<std::uint8_t>(value & 0xFFu);
}

} // namespace

TFrameEditor::TFrameEditor(const TCommandDefinitions& definitions) : Definitions(definitions) {}

void TFrameEditor::ComposeInitialFrame(std::string_view tAddrText) {
    TxFrame[kFrameAddressOffset] = LowByte(ReadHex(tAddrText));
    TxFrame[kFrameLengthOffset] = kFrameEnvelope;
    FrameCrcUpdate();
}

void TFrameEditor::TAddrChanged(std::string_view text) {
    TxFrame[kFrameAddressOffset] = LowByte(ReadHex(text));
    FrameCrcUpdate();
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
    if (!parse.Ok) {
        ParseError = parse.ErrorText;
        outcome.StatusText = parse.ErrorText;
        outcome.SendEnabled = false;
        return outcome;
    }
    ParseError.clear();
    TxFrame = parsed;
    TxFrame[kFrameLengthOffset] = static_cast<std::uint8_t>(parse.End + 2);
    FrameCrcUpdate();
    return outcome;
}

void TFrameEditor::CrcHTextChanged(std::string_view text) {
    CrcHText = text;
    FrameCrcUpdate();
}

void TFrameEditor::CrcLTextChanged(std::string_view text) {
    CrcLText = text;
    FrameCrcUpdate();
}

void TFrameEditor::AutoCrcClicked(bool checked) {
    AutoCrc = checked;
    if (checked) {
        FrameCrcUpdate();
    }
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
        TxFrame[length - 2] = LowByte(ReadHex(CrcHText));
        TxFrame[length - 1] = LowByte(ReadHex(CrcLText));
    }
}

std::string TFrameEditor::GetLengthText() const {
    return hex2(GetLength());
}
