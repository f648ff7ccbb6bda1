#include "app/core/CommandDefinitions.h"

#include "app/core/CommandFileParser.h"
#include "app/core/HexText.h"
#include "app/core/LineReader.h"
#include "app/core/SettingsFile.h"

#include <iostream>
#include <memory>
#include <system_error>
#include <unordered_map>

namespace {

constexpr std::size_t kMaxLineLength = 255;

// One pass over the lines; fills its own lists so that a refused file changes nothing.
class TCommandFileLoad {
public:
    // "" for a good line, else why the file is refused (without the line number).
    std::string Line(const std::string& line, std::size_t number) {
        TClassifiedLine classified = ClassifyLine(line);
        if (InOpCodeSection) {
            if (classified.Kind == dlDefine) {
                return AddOpCode(ParseDefine(classified.Rest), number);
            }
            return "";
        }
        switch (classified.Kind) {
        case dlDefine:
            return AddCommand(ParseDefine(classified.Rest), number);
        case dlCmdComment:
            if (Commands.empty()) {
                SyntaxError = true;
                return kSyntaxErrorText;
            }
            if (!CurrentIgnored) {
                Commands.back().CommandDescription = ParseCmdComment(classified.Rest);
            }
            return "";
        case dlOperationCode:
            OpCodes.clear();
            InOpCodeSection = true;
            return "";
        case dlOther:
            return "";
        }
        return "";
    }

    TCommandList Commands;
    TOpCodeList OpCodes;
    std::size_t Ignored = 0;
    bool SyntaxError = false;

private:
    // Where each name and code of one section was first defined.
    struct TSeen {
        std::unordered_map<std::string, std::size_t> Names;
        std::unordered_map<std::uint8_t, std::pair<std::string, std::size_t>> Codes;

        std::string Add(const TDefineFields& fields, std::size_t number, const char* what) {
            if (const auto name = Names.find(fields.Name); name != Names.end()) {
                return std::string("duplicate ") + what + " name '" + fields.Name +
                       "' (first on line " + std::to_string(name->second) + ")";
            }
            if (const auto code = Codes.find(fields.Code); code != Codes.end()) {
                return std::string("duplicate ") + what + " 0x" + hex2(fields.Code) + " (" +
                       code->second.first + ", line " + std::to_string(code->second.second) + ")";
            }
            Names.emplace(fields.Name, number);
            Codes.emplace(fields.Code, std::make_pair(fields.Name, number));
            return "";
        }
    };

    std::string AddCommand(TDefineFields fields, std::size_t number) {
        if (std::string error = DefineError(fields); !error.empty()) {
            return error;
        }
        if (std::string error = CommandsSeen.Add(fields, number, "command"); !error.empty()) {
            return error;
        }
        CurrentIgnored = Commands.size() >= kMaxCommands;
        if (CurrentIgnored) {
            ++Ignored;
            return "";
        }
        Commands.push_back(
            {std::move(fields.Name), fields.Code, std::move(fields.ParamDescription), {}});
        return "";
    }

    std::string AddOpCode(TDefineFields fields, std::size_t number) {
        if (std::string error = DefineError(fields); !error.empty()) {
            return error;
        }
        if (std::string error = OpCodesSeen.Add(fields, number, "operation code"); !error.empty()) {
            return error;
        }
        OpCodes.push_back({std::move(fields.Name), fields.Code});
        return "";
    }

    bool InOpCodeSection = false;
    bool CurrentIgnored = false;
    TSeen CommandsSeen;
    TSeen OpCodesSeen;
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
        std::size_t number = 0;
        while (reader->Next(line)) {
            const std::string error = load.Line(line, ++number);
            if (error.empty()) {
                continue;
            }
            outcome.StatusText = "Line " + std::to_string(number) + ": " + error;
            if (!load.SyntaxError) {
                // A file that says something wrong is refused whole: the definitions in use stay.
                outcome.Result = lrInvalid;
                return outcome;
            }
            CommandList.clear();
            OpCodeList.clear();
            outcome.Result = lrSyntaxError;
            outcome.EditorEnabled = false;
            outcome.DisableAsciiCheckBox = true;
            return outcome;
        }
    } catch (const std::system_error&) {
        // Not read to its end: keep the previous definitions rather than half of these.
        std::cerr << "Can't read file *.tsl" << std::endl;
        outcome.Result = lrReadFailed;
        return outcome;
    }
    if (load.Commands.empty()) {
        outcome.Result = lrNoCommands;
        outcome.StatusText = "No commands found in " + path;
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
    if (RememberLoads) {
        WriteSettingsFile(AppDir, path);
    }
    return outcome;
}
