// The command-definition loader on arbitrary file contents: whatever the file holds, the load
// ends, and a loaded list keeps its bounds (count, name and description lengths).
#include "app/core/CommandDefinitions.h"
#include "app/core/CommandFileParser.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <iostream>
#include <string_view>

namespace {

const TFuzzScratch& Scratch() {
    static const TFuzzScratch Dir;
    return Dir;
}

void CheckRecords(const TCommandDefinitions& Definitions, const TLoadOutcome& Outcome) {
    const TCommandList& Commands = Definitions.GetCommandList();
    FUZZ_CHECK(Commands.size() <= kMaxCommands);
    for (const CommandRecord& Record : Commands) {
        FUZZ_CHECK(Record.Name.size() <= kMaxNameLength);
        FUZZ_CHECK(Record.ParamDescription.size() <= kMaxParamDescriptionLength);
        FUZZ_CHECK(Record.CommandDescription.size() <= kMaxCommandDescriptionLength);
    }
    for (const OpCodeRecord& Record : Definitions.GetOpCodeList())
        FUZZ_CHECK(Record.Name.size() <= kMaxNameLength);
    FUZZ_CHECK(Outcome.CommandBoxItems.has_value());
    FUZZ_CHECK(Outcome.CommandBoxItems->size() == Commands.size());
    FUZZ_CHECK(Outcome.SelectedIndex == (Commands.empty() ? -1 : 0));
    if (Outcome.CommandsIgnored > 0)
        FUZZ_CHECK(Commands.size() == kMaxCommands);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The loader reports over-long lists on the standard error stream; thousands of inputs a
    // second would bury the fuzzer's own output.
    std::cerr.setstate(std::ios::badbit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    const std::string Path = Scratch().Write("commands.tsl", Text);

    TCommandDefinitions Definitions(Scratch().Path().string());
    const TLoadOutcome Outcome = Definitions.LoadCommandFile(Path);
    switch (Outcome.Result) {
    case lrLoaded:
        FUZZ_CHECK(Definitions.GetConfigLoaded());
        CheckRecords(Definitions, Outcome);
        break;
    case lrSyntaxError:
        FUZZ_CHECK(!Definitions.GetConfigLoaded());
        FUZZ_CHECK(Definitions.GetCommandList().empty());
        break;
    case lrInvalid:
    case lrNoCommands:
        // Refused whole, with the reason; nothing was taken.
        FUZZ_CHECK(Outcome.StatusText && !Outcome.StatusText->empty());
        FUZZ_CHECK(!Definitions.GetConfigLoaded() && Definitions.GetCommandList().empty());
        break;
    case lrOpenFailed:
    case lrReadFailed:
        // A regular file just written is always readable.
        FUZZ_CHECK(false);
    }

    // The line functions on their own, with lines longer than the loader would pass them.
    std::string_view Rest = Text;
    while (!Rest.empty()) {
        const std::string_view Line = TakeUntil(Rest, '\n');
        const TClassifiedLine Classified = ClassifyLine(Line);
        FUZZ_CHECK(Classified.Rest.size() <= Line.size());
        if (Classified.Kind == dlDefine) {
            const TDefineFields Fields = ParseDefine(Classified.Rest);
            FUZZ_CHECK(Fields.Name.size() <= kMaxNameLength);
            FUZZ_CHECK(Fields.ParamDescription.size() <= kMaxParamDescriptionLength);
        } else if (Classified.Kind == dlCmdComment) {
            FUZZ_CHECK(ParseCmdComment(Classified.Rest).size() <= kMaxCommandDescriptionLength);
        }
    }
    return 0;
}
