// What the workbench asks of its window (or of any other client) after one event: the steps to
// take on the port, the timers to start or stop, and what the widgets show. A member left empty
// leaves its widget alone.
#pragma once

#include "app/core/WorkbenchClock.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The answer timer (UARTTimeout), the grid-clearing timer (TimeForDataTimer) and the periodic
// repeat timer.
enum TWorkbenchTimer : std::uint8_t { wtAnswer, wtTimeForData, wtRepeat };

struct TTimerCommand {
    TWorkbenchTimer Timer = wtAnswer;
    bool Start = false; // false: stop
    std::int32_t PeriodMs = 0;
    // A repeat timer's ticks carry the token they were started with; a tick of an earlier timer,
    // still queued when that timer was replaced, is told apart by it and ignored.
    std::uint32_t Token = 0;
    bool operator==(const TTimerCommand&) const = default;
};

// Port steps in the order given. After a write the client reports WriteDone or, when any step
// fails, PortFailed; the steps after a failed one are not taken.
enum TPortStep : std::uint8_t { psClearQueues, psRtsOn, psRtsOff, psWrite };

struct TPortCommand {
    TPortStep Step = psClearQueues;
    std::vector<std::uint8_t> Bytes; // psWrite only
    bool operator==(const TPortCommand&) const = default;
};

struct TWorkbenchOutcome {
    std::vector<TPortCommand> Port;
    std::vector<TTimerCommand> Timers;

    std::optional<std::string> StatusText;
    // A failure the user started by hand, for a modal box.
    std::optional<std::string> ErrorBox;
    std::optional<std::string> Caption;

    // The grid's rows changed: cleared, or rows appended (counted after the last clear).
    bool RowsCleared = false;
    std::int32_t RowsAppended = 0;
    // Every row's "Parameters" cell reads differently now.
    bool RowsRendered = false;

    // Replaces the command box's items and selects SelectedIndex.
    std::optional<std::vector<std::string>> CommandBoxItems;
    int SelectedIndex = -1;
    std::optional<std::string> CommandDescription; // "Command description" label
    std::optional<std::string> ParamDescription;   // "Description" label

    // The Length and CRC edits; the CRC texts only while they are computed.
    std::optional<std::string> LengthText;
    std::optional<std::string> CrcHText;
    std::optional<std::string> CrcLText;
    std::optional<bool> CrcReadOnly;
    // By TEditorField (TAddr, Parameters, CRC H, CRC L): a field marked bad (true) or good again.
    std::array<std::optional<bool>, 4> FieldBad{};

    // The command box, the TAddr, Length, Parameters, CRC H and CRC L edits and the Auto box.
    std::optional<bool> EditorEnabled;
    std::optional<bool> SendEnabled;
    // The "ASCII" box, disabled until the program restarts.
    bool DisableAsciiCheckBox = false;
    std::optional<bool> AutoRepeatChecked;
    // The send button: default button and "Autorepeat mode" while repeating, else "Send frame".
    std::optional<bool> Repeating;

    void Status(std::string text) { StatusText = std::move(text); }
    void Start(TWorkbenchTimer timer, std::int32_t periodMs, std::uint32_t token = 0) {
        Timers.push_back({timer, true, periodMs, token});
    }
    void Stop(TWorkbenchTimer timer) { Timers.push_back({timer, false, 0, 0}); }
    void Step(TPortStep step, std::vector<std::uint8_t> bytes = {}) {
        Port.push_back({step, std::move(bytes)});
    }
    void NoteClear() {
        RowsCleared = true;
        RowsAppended = 0;
    }
    void NoteAppend() { ++RowsAppended; }
};

// The send button's caption for the repeating state.
inline const char* SendButtonCaption(bool repeating) {
    return repeating ? "Autorepeat mode" : "Send frame";
}
