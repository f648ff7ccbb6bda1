#include "app/core/CommandDefinitions.h"

#include "app/core/CommandFileParser.h"
#include "app/core/LineReader.h"
#include "app/core/SettingsFile.h"

#include <iostream>
#include <memory>
#include <system_error>

namespace {

constexpr std::size_t kMaxLineLength = 255;

// One pass over the lines; fills its own lists so that a failed read changes nothing.
class TCommandFileLoad {
public:
    // False on the syntax error.
    bool Line(const std::string& line) {
        TClassifiedLine classified = ClassifyLine(line);
        if (InOpCodeSection) {
            if (classified.Kind == dlDefine) {
                TDefineFields fields = ParseDefine(classified.Rest);
                OpCodes.push_back({std::move(fields.Name), fields.Code});
            }
            return true;
        }
        switch (classified.Kind) {
        case dlDefine:
            AddCommand(ParseDefine(classified.Rest));
            return true;
        case dlCmdComment:
            if (Commands.empty()) {
                return false;
            }
            if (!CurrentIgnored) {
                Commands.back().CommandDescription = ParseCmdComment(classified.Rest);
            }
            return true;
        case dlOperationCode:
            OpCodes.clear();
            InOpCodeSection = true;
            return true;
        case dlOther:
            return true;
        }
        return true;
    }

    TCommandList Commands;
    TOpCodeList OpCodes;
    std::size_t Ignored = 0;

private:
    void AddCommand(TDefineFields fields) {
        CurrentIgnored = Commands.size() >= kMaxCommands;
        if (CurrentIgnored) {
            ++Ignored;
            return;
        }
        Commands.push_back(
            {std::move(fields.Name), fields.Code, std::move(fields.ParamDescription), {}});
    }

    bool InOpCodeSection = false;
    bool CurrentIgnored = false;
};

} // namespace

TCommandDefinitions::TCommandDefinitions(std::string appDir) : AppDir(std::move(appDir)) {}

std::vector<std::string> TCommandDefinitions::CommandBoxItems() const {
    std::vector<std::string> items;
    items.reserve(CommandList.size());
    for (const CommandRecord& record : CommandList) {
        items.push_back(CommandBoxItem(record));
    }
    return items;
}

TLoadOutcome TCommandDefinitions::LoadCommandFile(const std::string& path) {
    TLoadOutcome outcome;
    std::unique_ptr<TLineReader> reader;
    try {
        reader = std::make_unique<TLineReader>(path, kMaxLineLength);
    } catch (const std::system_error&) {
        std::cerr << "Can't open file *.tsl" << std::endl;
        outcome.Result = lrOpenFailed;
        return outcome;
    }

    TCommandFileLoad load;
    try {
        std::string line;
        while (reader->Next(line)) {
            if (!load.Line(line)) {
                CommandList.clear();
                OpCodeList.clear();
                outcome.Result = lrSyntaxError;
                outcome.StatusText = kSyntaxErrorText;
                outcome.EditorEnabled = false;
                outcome.DisableAsciiCheckBox = true;
                return outcome;
            }
        }
    } catch (const std::system_error&) {
        // Not read to its end: keep the previous definitions rather than half of these.
        std::cerr << "Can't read file *.tsl" << std::endl;
        outcome.Result = lrReadFailed;
        return outcome;
    }

    CommandList = std::move(load.Commands);
    OpCodeList = std::move(load.OpCodes);
    ConfigLoaded = true;

    outcome.Result = lrLoaded;
    outcome.CommandsIgnored = load.Ignored;
    if (load.Ignored > 0) {
        std::cerr << "Warning: more than " << kMaxCommands << " commands, " << load.Ignored
                  << " ignored" << std::endl;
    }
    outcome.CommandBoxItems = CommandBoxItems();
    outcome.EditorEnabled = !CommandList.empty();
    if (!CommandList.empty()) {
        outcome.SelectedIndex = 0;
        outcome.CommandDescription = CommandList.front().CommandDescription;
        outcome.ParamDescription = CommandList.front().ParamDescription;
    }
    outcome.StatusText = kConfigLoadedText;
    outcome.Caption = path;
    WriteSettingsFile(AppDir, path);
    return outcome;
}
