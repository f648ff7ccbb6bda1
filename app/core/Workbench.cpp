#include "app/core/Workbench.h"

#include "app/core/FrameRendering.h"
#include "app/core/HexText.h"

#include <algorithm>
#include <utility>

TWorkbench::TWorkbench(std::string appDir) : Defs(std::move(appDir)) {}

// --- command definitions and the editor ---

TWorkbenchOutcome TWorkbench::LoadStartFile(const std::optional<std::string>& path) {
    if (!path) {
        TWorkbenchOutcome out;
        out.Status(kSettingsOpenFailedText);
        return out;
    }
    return LoadCommandFile(*path);
}

TWorkbenchOutcome TWorkbench::LoadCommandFile(const std::string& path) {
    TWorkbenchOutcome out;
    ApplyLoad(Defs.LoadCommandFile(path), out);
    return out;
}

void TWorkbench::ApplyLoad(const TLoadOutcome& load, TWorkbenchOutcome& out) {
    out.StatusText = load.StatusText;
    out.Caption = load.Caption;
    out.CommandBoxItems = load.CommandBoxItems;
    out.SelectedIndex = load.SelectedIndex;
    out.CommandDescription = load.CommandDescription;
    out.ParamDescription = load.ParamDescription;
    out.EditorEnabled = load.EditorEnabled;
    out.DisableAsciiCheckBox = load.DisableAsciiCheckBox;
    if (load.CommandBoxItems) {
        SelectedIndex = load.SelectedIndex;
    }
    if (load.EditorEnabled) {
        SetSendEnabled(*load.EditorEnabled, out);
    }
    if (load.Result == lrLoaded && load.SelectedIndex >= 0) {
        // The box shows the selected command: the frame takes its code as if it had been picked,
        // or the next send would carry the command of an earlier file under this one's name.
        TakeEditor(FrameEditor.CommandChanged(load.SelectedIndex), out);
        out.StatusText = load.StatusText;
    }
}

TWorkbenchOutcome TWorkbench::ComposeInitialFrame(std::string_view tAddrText) {
    TWorkbenchOutcome out;
    FrameEditor.ComposeInitialFrame(tAddrText);
    EditorTexts(out);
    return out;
}

void TWorkbench::EditorTexts(TWorkbenchOutcome& out) const {
    out.LengthText = FrameEditor.GetLengthText();
    // While the CRC is typed by hand its edits keep the user's own texts.
    if (FrameEditor.GetAutoCrc()) {
        out.CrcHText = FrameEditor.GetCrcHText();
        out.CrcLText = FrameEditor.GetCrcLText();
    }
}

void TWorkbench::TakeEditor(const TEditorOutcome& editor, TWorkbenchOutcome& out) {
    if (editor.StatusText) {
        out.Status(*editor.StatusText);
    }
    if (editor.SendEnabled) {
        SetSendEnabled(*editor.SendEnabled, out);
    }
    if (editor.CommandDescription) {
        out.CommandDescription = editor.CommandDescription;
    }
    if (editor.ParamDescription) {
        out.ParamDescription = editor.ParamDescription;
    }
    for (std::size_t field = 0; field < editor.FieldBad.size(); ++field) {
        if (editor.FieldBad[field]) {
            out.FieldBad[field] = editor.FieldBad[field];
        }
    }
    EditorTexts(out);
}

TWorkbenchOutcome TWorkbench::TAddrChanged(std::string_view text) {
    TWorkbenchOutcome out;
    TakeEditor(FrameEditor.TAddrChanged(text), out);
    return out;
}

TWorkbenchOutcome TWorkbench::CommandChanged(int itemIndex) {
    TWorkbenchOutcome out;
    SelectedIndex = itemIndex;
    TakeEditor(FrameEditor.CommandChanged(itemIndex), out);
    return out;
}

TWorkbenchOutcome TWorkbench::ParametersChanged(std::string_view text) {
    TWorkbenchOutcome out;
    TakeEditor(FrameEditor.ParametersChanged(text), out);
    return out;
}

TWorkbenchOutcome TWorkbench::CrcHChanged(std::string_view text) {
    TWorkbenchOutcome out;
    TakeEditor(FrameEditor.CrcHTextChanged(text), out);
    return out;
}

TWorkbenchOutcome TWorkbench::CrcLChanged(std::string_view text) {
    TWorkbenchOutcome out;
    TakeEditor(FrameEditor.CrcLTextChanged(text), out);
    return out;
}

TWorkbenchOutcome TWorkbench::AutoCrcClicked(bool checked) {
    TWorkbenchOutcome out;
    TakeEditor(FrameEditor.AutoCrcClicked(checked), out);
    out.CrcReadOnly = checked;
    return out;
}

// --- sending and repetition ---

void TWorkbench::SetRepeating(bool repeating, TWorkbenchOutcome& out) {
    Repeating = repeating;
    out.Repeating = repeating;
}

void TWorkbench::SetSendEnabled(bool enabled, TWorkbenchOutcome& out) {
    SendEnabled = enabled;
    out.SendEnabled = enabled;
}

void TWorkbench::KillRepeatTimer(TWorkbenchOutcome& out) {
    if (RepeatToken != 0) {
        out.Stop(wtRepeat);
        RepeatToken = 0;
    }
}

void TWorkbench::StartRepeatTimer(TWorkbenchOutcome& out) {
    if (++LastToken == 0) {
        ++LastToken;
    }
    RepeatToken = LastToken;
    out.Start(wtRepeat, RepeatPeriod, RepeatToken);
}

void TWorkbench::StartRepeatingWithASend(TWorkbenchOutcome& out) {
    SetRepeating(true, out);
    SendRoutine(out);
    AfterRepeatSend(out);
}

void TWorkbench::AfterRepeatSend(TWorkbenchOutcome& out) {
    // A send without command definitions has stopped the repetition it was to begin.
    if (!Repeating) {
        return;
    }
    if (WaitForAnswer && Pending) {
        return; // WriteDone starts the wait
    }
    if (RepeatToken == 0) {
        StartRepeatTimer(out);
    }
}

void TWorkbench::AnswerEnded(TWorkbenchOutcome& out) {
    WaitingForAnswer = false;
    if (Repeating && Checks.AutoRepeat && RepeatToken == 0) {
        StartRepeatTimer(out);
    }
}

void TWorkbench::NoAnswerRow(TWorkbenchOutcome& out) {
    const std::vector<std::uint8_t> request = std::move(*Unanswered);
    Unanswered.reset();
    TFrameRow row;
    row[kColNr] = std::to_string(FrameRows.GetFrameCount());
    row[kColAddr] = request.empty() ? "" : hex2(request[kFrameAddressOffset]);
    if (request.size() > kFrameCommandOffset) {
        row[kColAnswer] = SentCommandCell(request[kFrameCommandOffset]);
    }
    // The row stands for the request: it takes the request's time.
    TRowData data;
    data.Kind = rkNoAnswer;
    data.Time = Request ? Request->Written : LastWriteDone.value_or(TWorkbenchTime{});
    FrameRows.AppendRow(row, data);
    out.NoteAppend();
    Stats.Row(Request ? std::optional<std::uint8_t>(Request->Code) : std::nullopt, rkNoAnswer);
    if (Request) {
        Request->Answered = true;
    }
}

void TWorkbench::TakeReceivedRows(std::int32_t frameCount, std::uint64_t clearCount) {
    const std::int32_t first = FrameRows.GetClearCount() == clearCount ? frameCount + 1 : 1;
    for (std::int32_t row = first; row <= FrameRows.GetFrameCount(); ++row) {
        Stats.Row(Request ? std::optional<std::uint8_t>(Request->Code) : std::nullopt,
                  FrameRows.Kind(row));
        if (!Request || Request->Answered || !Request->FirstByte) {
            continue;
        }
        Request->Answered = true;
        // In the microseconds rows and captures keep, so a replay gives the same figure.
        const TClockOrigin& origin = FrameRows.GetClockOrigin();
        const std::int64_t micros =
            origin.WallAt(*Request->FirstByte) - origin.WallAt(Request->End);
        FrameRows.SetAnswerMicros(
            row, static_cast<std::uint32_t>(std::clamp<std::int64_t>(micros, 0, UINT32_MAX)));
        Stats.Answer(Request->Code, FrameRows.TimeMicros(row), *FrameRows.AnswerMicros(row));
    }
}

void TWorkbench::RecordEvent(TCaptureKind kind, TWorkbenchTime time,
                             std::span<const std::uint8_t> bytes) {
    if (Recorder) {
        Recorder->Record(kind, FrameRows.GetClockOrigin().WallAt(time), bytes);
    }
}

TWorkbenchTime TWorkbench::InOrder(TWorkbenchTime time) {
    LastEventTime = std::max(LastEventTime, time);
    return LastEventTime;
}

void TWorkbench::ClearRxFrames(TWorkbenchOutcome& out) {
    FrameRows.ClearRxFrames();
    out.NoteClear();
}

void TWorkbench::SendRoutine(TWorkbenchOutcome& out) {
    if (Disconnected) {
        // Nothing to repeat on until the device is back.
        out.Status(DisconnectedText);
        KillRepeatTimer(out);
        SetRepeating(false, out);
        return;
    }
    out.Status("");
    if (Checks.DeleteAutomatically && !Checks.AutoRepeat) {
        // The rows go before the next frame, the unanswered request's verdict with them.
        ClearRxFrames(out);
        Unanswered.reset();
    }
    if (!List.GetTxListMode() && !FrameEditor.GetParseError().empty()) {
        // The parameters field does not parse: its frame is not what the field says.
        out.Status(FrameEditor.GetParseError());
        return;
    }
    std::optional<TTxChoice> choice = List.Choose(FrameEditor.GetTxFrame());
    if (!choice) {
        return;
    }
    if (choice->Label) {
        out.CommandDescription = *choice->Label;
    }
    if (!Defs.GetConfigLoaded()) {
        out.Status(kNoConfigText);
        Checks.AutoRepeat = false;
        out.AutoRepeatChecked = false;
        KillRepeatTimer(out);
        SetRepeating(false, out);
        return;
    }
    if (Unanswered) {
        // The next request ends the wait of the one before.
        NoAnswerRow(out);
    }
    Rx.BeginSend(out);
    out.Step(psRtsOn);
    out.Step(psWrite, choice->Frame);
    Pending = TPendingWrite{std::move(choice->Frame), SendingByTimer};
}

TWorkbenchOutcome TWorkbench::Send() {
    TWorkbenchOutcome out;
    SendRoutine(out);
    return out;
}

TWorkbenchOutcome TWorkbench::SendButton() {
    TWorkbenchOutcome out;
    List.LeaveListMode();
    KillRepeatTimer(out);
    if (Checks.AutoRepeat) {
        if (Repeating) {
            SetRepeating(false, out);
        } else {
            StartRepeatingWithASend(out);
        }
        return out;
    }
    SetRepeating(false, out);
    SendRoutine(out);
    return out;
}

TWorkbenchOutcome TWorkbench::EnterPressed(bool sendField, bool& taken) {
    taken = Repeating || (sendField && SendEnabled);
    if (Repeating) {
        return SendButton();
    }
    return taken ? Send() : TWorkbenchOutcome{};
}

TWorkbenchOutcome TWorkbench::SetAscii(bool checked) {
    TWorkbenchOutcome out;
    Checks.Ascii = checked;
    if (FrameRows.GetAscii() != checked) {
        FrameRows.SetAscii(checked);
        out.RowsRendered = true;
    }
    return out;
}

TWorkbenchOutcome TWorkbench::AutoRepeatClicked(bool checked) {
    TWorkbenchOutcome out;
    Checks.AutoRepeat = checked;
    if (!checked) {
        KillRepeatTimer(out);
        SetRepeating(false, out);
    }
    return out;
}

TWorkbenchOutcome TWorkbench::StartRepeat() {
    TWorkbenchOutcome out;
    if (!Repeating) {
        Checks.AutoRepeat = true;
        out.AutoRepeatChecked = true;
        KillRepeatTimer(out);
        StartRepeatingWithASend(out);
    }
    return out;
}

TWorkbenchOutcome TWorkbench::StopRepeat() {
    TWorkbenchOutcome out;
    KillRepeatTimer(out);
    SetRepeating(false, out);
    return out;
}

TWorkbenchOutcome TWorkbench::AddToList() {
    TWorkbenchOutcome out;
    if (!FrameEditor.GetParseError().empty()) {
        out.Status(FrameEditor.GetParseError());
        return out;
    }
    List.AddToList(FrameEditor.GetTxFrame());
    return out;
}

TWorkbenchOutcome TWorkbench::ClearList() {
    List.ClearList();
    return {};
}

TWorkbenchOutcome TWorkbench::SendList() {
    TWorkbenchOutcome out;
    List.StartListMode();
    Checks.AutoRepeat = true;
    out.AutoRepeatChecked = true;
    KillRepeatTimer(out);
    if (Repeating) {
        SetRepeating(false, out);
    } else {
        StartRepeatingWithASend(out);
    }
    return out;
}

TWorkbenchOutcome TWorkbench::SetRepeatPeriod(std::int32_t ms) {
    TWorkbenchOutcome out;
    if (ms <= 0) {
        return out;
    }
    RepeatPeriod = ms;
    KillRepeatTimer(out);
    if (Repeating && Checks.AutoRepeat && !WaitingForAnswer) {
        StartRepeatTimer(out);
    }
    return out;
}

bool TWorkbench::SetAnswerTimeout(std::int32_t ms) {
    if (ms < kMinAnswerTimeoutMs || ms > kMaxAnswerTimeoutMs) {
        return false;
    }
    Rx.SetAnswerTimeout(ms);
    return true;
}

TWorkbenchOutcome TWorkbench::SetWaitForAnswer(bool on) {
    TWorkbenchOutcome out;
    WaitForAnswer = on;
    if (!on && WaitingForAnswer) {
        AnswerEnded(out);
    }
    return out;
}

std::string TWorkbench::SentCommandCell(std::uint8_t code) const {
    const TCommandList& commands = Defs.GetCommandList();
    if (SelectedIndex >= 0 && static_cast<std::size_t>(SelectedIndex) < commands.size() &&
        commands[static_cast<std::size_t>(SelectedIndex)].Code == code) {
        return CommandBoxItem(commands[static_cast<std::size_t>(SelectedIndex)]);
    }
    for (const CommandRecord& record : commands) {
        if (record.Code == code) {
            return CommandBoxItem(record);
        }
    }
    return "";
}

// --- the port ---

TWorkbenchOutcome TWorkbench::WriteDone(TWorkbenchTime time) {
    TWorkbenchOutcome out;
    if (!Pending) {
        return out;
    }
    const std::vector<std::uint8_t> frame = std::move(Pending->Frame);
    Pending.reset();
    time = InOrder(time);
    RecordEvent(ckSent, time, frame);
    RequestWritten(frame, time, out);
    return out;
}

void TWorkbench::RequestWritten(const std::vector<std::uint8_t>& frame, TWorkbenchTime time,
                                TWorkbenchOutcome& out) {
    LastWriteDone = time;
    Unanswered = frame;
    // The answer time-out runs from the end of the request.
    out.Start(wtAnswer, Rx.GetAnswerTimeout());
    if (Repeating && WaitForAnswer) {
        WaitingForAnswer = true;
    }
    const std::uint8_t code = frame.size() > kFrameCommandOffset ? frame[kFrameCommandOffset] : 0;
    Request.emplace();
    Request->Code = code;
    Request->Written = Request->End = time;
    Stats.Sent(code, SentCommandCell(code));
    if (Checks.ShowTx) {
        const std::span<const std::uint8_t> parameters =
            TxFrameParameters(frame.data(), frame.size());
        TRowData data;
        data.Time = time;
        data.Line = frame;
        data.ParamOffset = 3;
        data.ParamCount = parameters.size();
        FrameRows.AppendRow(TxFrameRow(frame.data(), frame.size(), FrameRows.GetFrameCount(),
                                       SentCommandCell(code)),
                            data);
        out.NoteAppend();
    }
}

TWorkbenchOutcome TWorkbench::PortFailed(const std::string& message) {
    TWorkbenchOutcome out;
    if (!Pending) {
        out.Status(message);
        return out;
    }
    // A failed send ends a repetition rather than failing again at every tick.
    const bool byTimer = Pending->ByTimer;
    Pending.reset();
    KillRepeatTimer(out);
    SetRepeating(false, out);
    if (byTimer) {
        out.Status(message);
    } else {
        out.ErrorBox = message;
    }
    return out;
}

TWorkbenchOutcome TWorkbench::TxEmpty(std::optional<TWorkbenchTime> time) {
    TWorkbenchOutcome out;
    out.Step(psRtsOff);
    if (!time) {
        return out;
    }
    time = InOrder(*time);
    RecordEvent(ckTxEmpty, *time);
    // The first transmit-empty after the write ends the request, unless the answer came first.
    if (Request && !Request->TxEmptySeen && !Request->FirstByte && *time >= Request->Written) {
        Request->TxEmptySeen = true;
        Request->End = *time;
    }
    return out;
}

TWorkbenchOutcome TWorkbench::StopForPortSetup() {
    TWorkbenchOutcome out;
    KillRepeatTimer(out);
    Checks.AutoRepeat = false;
    out.AutoRepeatChecked = false;
    SetRepeating(false, out);
    return out;
}

TWorkbenchOutcome TWorkbench::PortSetupDone() {
    TWorkbenchOutcome out;
    SetSendEnabled(true, out);
    return out;
}

TWorkbenchOutcome TWorkbench::PortOpenFailed() {
    TWorkbenchOutcome out;
    SetSendEnabled(false, out);
    return out;
}

TWorkbenchOutcome TWorkbench::DeviceLost(const std::string& statusText) {
    TWorkbenchOutcome out;
    Disconnected = true;
    DisconnectedText = statusText;
    KillRepeatTimer(out);
    SetRepeating(false, out);
    Pending.reset();
    Unanswered.reset();
    Request.reset();
    WaitingForAnswer = false;
    out.Stop(wtAnswer);
    out.Status(statusText);
    return out;
}

TWorkbenchOutcome TWorkbench::DeviceBack(const std::string& statusText) {
    TWorkbenchOutcome out;
    Disconnected = false;
    out.Status(statusText);
    return out;
}

// --- reception ---

TWorkbenchOutcome TWorkbench::Received(std::span<const std::uint8_t> bytes, TWorkbenchTime time) {
    TWorkbenchOutcome out;
    if (bytes.empty()) {
        return out;
    }
    time = InOrder(time);
    RecordEvent(ckReceived, time, bytes);
    if (Rx.GetRxFill() == 0) {
        ReceptionStart = time;
    }
    if (Request && !Request->FirstByte) {
        Request->FirstByte = time;
    }
    Unanswered.reset();
    const std::int32_t frameCount = FrameRows.GetFrameCount();
    const std::uint64_t clearCount = FrameRows.GetClearCount();
    Rx.Received(bytes, time, out);
    TakeReceivedRows(frameCount, clearCount);
    if (WaitingForAnswer && out.RowsAppended > 0) {
        AnswerEnded(out);
    }
    return out;
}

TWorkbenchOutcome TWorkbench::TimerFired(TWorkbenchTimer which, TWorkbenchTime time,
                                         std::uint32_t token) {
    TWorkbenchOutcome out;
    time = InOrder(time);
    switch (which) {
    case wtAnswer: {
        RecordEvent(ckAnswerTimeout, time);
        if (Unanswered) {
            // Nothing came since the request: there is no reception to close, and discarding
            // the port's queue would throw away an answer that is late, not absent.
            NoAnswerRow(out);
            out.Stop(wtAnswer);
            if (WaitingForAnswer) {
                AnswerEnded(out);
            }
            break;
        }
        const std::int32_t frameCount = FrameRows.GetFrameCount();
        const std::uint64_t clearCount = FrameRows.GetClearCount();
        Rx.UARTTimeoutTimer(out);
        TakeReceivedRows(frameCount, clearCount);
        ReceptionStart.reset();
        if (WaitingForAnswer) {
            AnswerEnded(out);
        }
        break;
    }
    case wtTimeForData:
        Rx.TimeForDataTimerTimer(out);
        break;
    case wtRepeat:
        // A tick of a timer since killed or replaced, queued before that happened, sends nothing.
        if (token == 0 || token != RepeatToken || !Repeating || !Checks.AutoRepeat) {
            break;
        }
        if (WaitForAnswer) {
            KillRepeatTimer(out); // the answer starts the next period
        }
        SendingByTimer = true;
        SendRoutine(out);
        SendingByTimer = false;
        Rx.SetClearOnAnswer(true);
        AfterRepeatSend(out);
        break;
    }
    return out;
}

TWorkbenchOutcome TWorkbench::DeleteAll() {
    TWorkbenchOutcome out;
    ClearRxFrames(out);
    Stats.Reset();
    return out;
}

TWorkbenchOutcome TWorkbench::Replay(const TCaptureRecord& record) {
    TCaptureSink* const recorder = std::exchange(Recorder, nullptr);
    const TWorkbenchTime time = FrameRows.GetClockOrigin().SteadyAt(record.WallMicros);
    // A capture's times are in order already; those of a run before it do not bear on them.
    LastEventTime = time;
    TWorkbenchOutcome out;
    switch (record.Kind) {
    case ckSent:
        // What a send does to the receive side, then its write completed.
        if (Unanswered) {
            NoAnswerRow(out);
        }
        Rx.BeginSend(out);
        RequestWritten(record.Bytes, time, out);
        break;
    case ckTxEmpty:
        out = TxEmpty(time);
        break;
    case ckReceived:
        out = Received(record.Bytes, time);
        break;
    case ckAnswerTimeout:
        out = TimerFired(wtAnswer, time);
        break;
    }
    Recorder = recorder;
    return out;
}

TWorkbenchOutcome TWorkbench::Close() {
    TWorkbenchOutcome out;
    KillRepeatTimer(out);
    return out;
}
