// The parameter parser driven through the frame editor, as the window's edits drive it. Each
// input line is one edit: its first character names the handler, the rest is the edit's text.
//   T TAddr   I start-up compose   C command index (decimal)   P parameters
//   H CRC H   L CRC L              A Auto on ("1") or off        U CRC update
// After every edit the frame keeps its bounds, and with Auto on its CRC matches its bytes; a
// parameters field that does not parse leaves the frame as it was.
#include "app/core/CommandDefinitions.h"
#include "app/core/Crc16.h"
#include "app/core/FrameEditor.h"
#include "app/core/ParameterParser.h"
#include "fuzz/FuzzSupport.h"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <string_view>

namespace {

constexpr std::string_view kDefinitions = "#define READ 0x01 // address count\n"
                                          "#cmdcomment Reads registers\n"
                                          "#define WRITE 1A // address $text\n"
                                          "#define RESET ff\n"
                                          "#operationcode\n"
                                          "#define ACK 06\n";

const TCommandDefinitions& Definitions() {
    static const TFuzzScratch Scratch;
    static const TCommandDefinitions Loaded = [] {
        TCommandDefinitions Result(Scratch.Path().string());
        const TLoadOutcome Outcome =
            Result.LoadCommandFile(Scratch.Write("commands.tsl", kDefinitions));
        FUZZ_CHECK(Outcome.Result == lrLoaded);
        return Result;
    }();
    return Loaded;
}

void CheckParse(std::string_view Text) {
    TTxFrame Frame{};
    const TParameterParse Parse = ParseParameters(Text, Frame);
    FUZZ_CHECK(Parse.End >= kFrameParametersOffset);
    FUZZ_CHECK(Parse.End <= kFrameParametersOffset + kMaxParameterBytes);
    FUZZ_CHECK(Parse.Ok == Parse.ErrorText.empty());
}

void CheckCrc(const TFrameEditor& Editor) {
    const int Length = Editor.GetLength();
    if (!Editor.GetAutoCrc() || Length < kFrameEnvelope)
        return;
    const TTxFrame& Frame = Editor.GetTxFrame();
    const std::uint16_t Crc = Crc16(Frame.data(), static_cast<std::uint8_t>(Length - 2));
    FUZZ_CHECK(Frame[static_cast<std::size_t>(Length - 2)] == Crc >> 8);
    FUZZ_CHECK(Frame[static_cast<std::size_t>(Length - 1)] == (Crc & 0xFF));
}

int Index(std::string_view Text) {
    int Value = -1;
    std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    return Value;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::cerr.setstate(std::ios::badbit);
    Definitions();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::string_view Input(reinterpret_cast<const char*>(Data), Size);
    TFrameEditor Editor(Definitions());
    while (!Input.empty()) {
        std::string_view Line = TakeUntil(Input, '\n');
        if (Line.empty())
            continue;
        const char Op = Line.front();
        Line.remove_prefix(1);
        switch (Op) {
        case 'T':
            Editor.TAddrChanged(Line);
            break;
        case 'I':
            Editor.ComposeInitialFrame(Line);
            break;
        case 'C':
            Editor.CommandChanged(Index(Line));
            break;
        case 'P': {
            CheckParse(Line);
            const TTxFrame Before = Editor.GetTxFrame();
            const TEditorOutcome Outcome = Editor.ParametersChanged(Line);
            FUZZ_CHECK(Outcome.SendEnabled.has_value());
            FUZZ_CHECK(*Outcome.SendEnabled == Editor.GetParseError().empty());
            if (*Outcome.SendEnabled)
                FUZZ_CHECK(Editor.GetLength() >= kFrameEnvelope);
            else
                FUZZ_CHECK(Editor.GetTxFrame() == Before);
            break;
        }
        case 'H':
            Editor.CrcHTextChanged(Line);
            break;
        case 'L':
            Editor.CrcLTextChanged(Line);
            break;
        case 'A':
            Editor.AutoCrcClicked(Line == "1");
            break;
        case 'U':
            Editor.FrameCrcUpdate();
            break;
        default:
            CheckParse(Line);
            continue;
        }
        FUZZ_CHECK(Editor.GetLengthText().size() == 2);
        CheckCrc(Editor);
    }
    return 0;
}
