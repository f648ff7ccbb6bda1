// The command definitions of the workbench: CommandList, OpCodeList, ConfigLoaded and the loader
// LoadCommandFile. TWorkbench owns one (built with the window's AppDir) and hands it to its
// TFrameEditor. "File" -> "Open ..." and start-up call LoadCommandFile(path), whose TLoadOutcome
// says what the widgets show; the loader itself touches no widget.
//
// A file is taken whole or not at all: a code that is not one hex byte, a name or code defined
// twice in its section, a "#define" without a name or code, or no command at all refuse it
// ("Line 7: '0xZZ' is not a hex code"), and the definitions in use stay. Only the syntax error
// of a "#cmdcomment" before any "#define" empties them, as it always has.
//
// File format, in short: a line is a "#define", "#cmdcomment" or "#operationcode" line when it
// contains that keyword anywhere (checked in that order, case-sensitive); other lines are
// ignored. "#define NAME CODE // parameters" adds a command, "#cmdcomment text" describes the
// latest one, "#operationcode" starts the section whose "#define NAME CODE" lines name the
// operation codes of answers.
//
// Hostile input neither hangs nor overruns:
// - lines are cut after 255 characters; the rest up to the line end is ignored;
// - a NUL byte ends the text of its line;
// - names, parameter and command descriptions are cut to 63, 199 and 244 characters;
// - only the first 255 commands are kept (the command box counts them in one byte); later
//   "#define" lines of the command section, and "#cmdcomment" lines that follow them, are ignored
//   and the number ignored is reported in the outcome and on the standard error stream;
// - bytes 0x80..0xFF and control characters are ordinary characters (only blank, tab, LF, VT, FF
//   and CR are white space);
// - only regular files are read, so a FIFO or device path fails like a missing file.
#pragma once

#include "app/core/CommandRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kConfigLoadedText = "Config file successfully loaded";
inline constexpr const char* kSyntaxErrorText =
    "Syntax error: #cmdcomment line should be after #define";

// lrInvalid: a line is wrong (a code that is not one hex byte, a name or code defined twice, a
// "#define" without a name or code), lrNoCommands: no command is defined; both refuse the file
// and leave the definitions in use as they are, with the reason in the status text.
enum TLoadResult : std::uint8_t {
    lrOpenFailed,
    lrReadFailed,
    lrSyntaxError,
    lrInvalid,
    lrNoCommands,
    lrLoaded
};

// What the window shows after a load; an empty member leaves its widget as it is.
struct TLoadOutcome {
    TLoadResult Result = lrOpenFailed;
    std::optional<std::string> StatusText;
    std::optional<std::string> Caption;
    // Replaces the command box's items; select item SelectedIndex without running
    // CMDComboBoxChange (the frame keeps its command byte).
    std::optional<std::vector<std::string>> CommandBoxItems;
    int SelectedIndex = -1;
    std::optional<std::string> CommandDescription;
    std::optional<std::string> ParamDescription;
    // The command box, the send button, the TAddr, Length, Parameters, CRC H and CRC L edits and
    // the Auto check box.
    std::optional<bool> EditorEnabled;
    // Syntax error only: the "ASCII" check box is disabled until the program restarts.
    bool DisableAsciiCheckBox = false;
    std::size_t CommandsIgnored = 0;
};

class TCommandDefinitions {
public:
    explicit TCommandDefinitions(std::string appDir);

    TLoadOutcome LoadCommandFile(const std::string& path);

    const TCommandList& GetCommandList() const { return CommandList; }
    const TOpCodeList& GetOpCodeList() const { return OpCodeList; }
    bool GetConfigLoaded() const { return ConfigLoaded; }
    const std::string& GetAppDir() const { return AppDir; }
    // Off: a load leaves tessal.ini alone (a client that is handed its file each time).
    void SetRememberLoads(bool remember) { RememberLoads = remember; }

    // The items a successful load puts into the command box, in list order.
    std::vector<std::string> CommandBoxItems() const;

private:
    std::string AppDir;
    TCommandList CommandList;
    TOpCodeList OpCodeList;
    bool ConfigLoaded = false;
    bool RememberLoads = true;
};
