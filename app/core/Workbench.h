// The workbench without a window: the command definitions, the frame editor, the send list, the
// repeat state, the receive assembly and the grid's rows, fed by push. Each call tells it what
// happened (bytes with their time, a timer, a click, a field's text) and returns what its client
// must do: port steps, timers, texts and enabled states (TWorkbenchOutcome). The window applies
// them to its widgets; a headless client applies them to a port of its own.
//
// The port steps of a send end with a write; the client then reports WriteDone, or PortFailed
// when a step raised. The sent frame's row is added at WriteDone, once the frame is on its way.
//
// Times: every row carries its time; the first received row after a request (its answer) carries
// the answer time, from the end of the request's transmission (the port's transmit-empty event,
// or the write's completion when none came before the answer) to the answer's first byte. The
// statistics count requests, verdicts and answer times as rows come.
//
// Recording: with a sink set, every event that makes rows (a write completed, transmit-empty,
// bytes received, the answer time-out) is reported to it as it comes, whatever the grid's
// options show; Replay feeds such an event back, which gives the same rows, verdicts and answer
// times (but no port steps or timers: drop those of its outcome).
//
// Not thread-safe: every call comes from one thread (the window's), the repeat timer's ticks
// included.
#pragma once

#include "app/core/AnswerStatistics.h"
#include "app/core/Capture.h"
#include "app/core/CommandDefinitions.h"
#include "app/core/FrameEditor.h"
#include "app/core/FrameRows.h"
#include "app/core/RxAssembly.h"
#include "app/core/SettingsFile.h"
#include "app/core/TxList.h"
#include "app/core/WorkbenchOutcome.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::int32_t kDefaultRepeatPeriod = 1000;

// The last request a workbench wrote, until the next: what its answer time runs from.
struct TWrittenRequest {
    std::uint8_t Code = 0;
    TWorkbenchTime Written{};
    TWorkbenchTime End{}; // transmit-empty, else Written
    bool TxEmptySeen = false;
    std::optional<TWorkbenchTime> FirstByte;
    bool Answered = false;
};

class TWorkbench {
public:
    // appDir: where a successful load writes tessal.ini.
    explicit TWorkbench(std::string appDir);
    TWorkbench(const TWorkbench&) = delete;
    TWorkbench& operator=(const TWorkbench&) = delete;

    // Start-up: the first line of tessal.ini, or none when it cannot be read.
    TWorkbenchOutcome LoadStartFile(const std::optional<std::string>& path);
    // "File" -> "Open ...": after a load that defines commands, the editor takes the first one as
    // if the user had picked it, so the frame sent is the frame the fields show.
    TWorkbenchOutcome LoadCommandFile(const std::string& path);
    // Start-up's last step: the TAddr text into the frame, length 5, the CRC.
    TWorkbenchOutcome ComposeInitialFrame(std::string_view tAddrText);

    // The frame editor's fields.
    TWorkbenchOutcome TAddrChanged(std::string_view text);
    TWorkbenchOutcome CommandChanged(int itemIndex);
    TWorkbenchOutcome ParametersChanged(std::string_view text);
    TWorkbenchOutcome CrcHChanged(std::string_view text);
    TWorkbenchOutcome CrcLChanged(std::string_view text);
    TWorkbenchOutcome AutoCrcClicked(bool checked);

    // The check boxes.
    // Every row is rendered again: the outcome says so.
    TWorkbenchOutcome SetAscii(bool checked);
    void SetDeleteAutomatically(bool checked) { Checks.DeleteAutomatically = checked; }
    void SetShowTx(bool checked) { Checks.ShowTx = checked; }
    TWorkbenchOutcome AutoRepeatClicked(bool checked);

    // Sending.
    TWorkbenchOutcome SendButton(); // the send button pressed
    // Enter in a field of the editor; sendField: the parameters field or the command box. While
    // repeating it is the send button's; otherwise those two fields send while sending is
    // enabled. Sets taken when the key was used.
    TWorkbenchOutcome EnterPressed(bool sendField, bool& taken);
    TWorkbenchOutcome Send(); // the send routine
    TWorkbenchOutcome StartRepeat();
    TWorkbenchOutcome StopRepeat();
    TWorkbenchOutcome AddToList();
    TWorkbenchOutcome ClearList();
    TWorkbenchOutcome SendList();
    // Only positive periods are taken; a running repetition goes on at the new period.
    TWorkbenchOutcome SetRepeatPeriod(std::int32_t ms);
    // The answer time-out, kMinAnswerTimeoutMs..kMaxAnswerTimeoutMs; false for a value outside.
    bool SetAnswerTimeout(std::int32_t ms);
    // "Wait for the answer": a repetition sends the next frame only a period after the answer
    // (its first frame row), a "No answer" or the time-out, so no answer is cut by the next send.
    TWorkbenchOutcome SetWaitForAnswer(bool on);

    // The port.
    TWorkbenchOutcome WriteDone(TWorkbenchTime time);
    // A port step raised (message: the exception's text); the steps after it were not taken.
    TWorkbenchOutcome PortFailed(const std::string& message);
    // The port's transmit-empty event: RTS down. time: when the port saw it, if known.
    // The times of the port's events and timers may come out of order; an earlier one than the
    // last is taken as that.
    TWorkbenchOutcome TxEmpty(std::optional<TWorkbenchTime> time = std::nullopt);
    // "Setup" -> "COM": repetition stops before the port closes; sending is enabled again before
    // it reopens, and disabled when it fails to open (at start-up too).
    TWorkbenchOutcome StopForPortSetup();
    TWorkbenchOutcome PortSetupDone();
    TWorkbenchOutcome PortOpenFailed();
    // The device went away (the client has closed the port) or is back (reopened); statusText
    // says so in the user's words. While it is away, a send only repeats that text.
    TWorkbenchOutcome DeviceLost(const std::string& statusText);
    TWorkbenchOutcome DeviceBack(const std::string& statusText);

    // Reception.
    TWorkbenchOutcome Received(std::span<const std::uint8_t> bytes, TWorkbenchTime time);
    TWorkbenchOutcome TimerFired(TWorkbenchTimer which, TWorkbenchTime time,
                                 std::uint32_t token = 0);
    TWorkbenchOutcome DeleteAll(); // "Delete all": the rows and the statistics
    // One recorded event, again; the sink is not told.
    TWorkbenchOutcome Replay(const TCaptureRecord& record);
    // nullptr: no recording. The sink must outlive its use.
    void SetRecorder(TCaptureSink* sink) { Recorder = sink; }
    TCaptureSink* GetRecorder() const { return Recorder; }
    // The window closes: the repeat timer goes.
    TWorkbenchOutcome Close();

    // What the window reads back, under the names the window's state has.
    const TCommandDefinitions& Definitions() const { return Defs; }
    // Off: loading a command file leaves tessal.ini as it was.
    void SetRememberCommandFile(bool remember) { Defs.SetRememberLoads(remember); }
    const TFrameEditor& Editor() const { return FrameEditor; }
    const TTxList& TxList() const { return List; }
    const TFrameRows& Rows() const { return FrameRows; }
    TFrameRows& Rows() { return FrameRows; }
    const TRxAssembly& Receiver() const { return Rx; }
    const TCheckBoxes& CheckBoxes() const { return Checks; }
    const TAnswerStatistics& Statistics() const { return Stats; }
    bool GetRepeating() const { return Repeating; }
    bool GetSendEnabled() const { return SendEnabled; }
    std::int32_t GetRepeatPeriod() const { return RepeatPeriod; }
    std::int32_t GetAnswerTimeout() const { return Rx.GetAnswerTimeout(); }
    bool GetWaitForAnswer() const { return WaitForAnswer; }
    bool GetConnected() const { return !Disconnected; }
    // The token of the running repeat timer, 0 for none.
    std::uint32_t GetRepeatToken() const { return RepeatToken; }
    // When the current reception's first byte came, and when the last write completed.
    std::optional<TWorkbenchTime> GetReceptionStart() const { return ReceptionStart; }
    std::optional<TWorkbenchTime> GetLastWriteDone() const { return LastWriteDone; }

    // The "Answer" cell of a sent frame's row: the command of the frame's own code, the one
    // selected in the box when several share it, "" when none has it.
    std::string SentCommandCell(std::uint8_t code) const;

private:
    void SendRoutine(TWorkbenchOutcome& out);
    void ApplyLoad(const TLoadOutcome& load, TWorkbenchOutcome& out);
    void TakeEditor(const TEditorOutcome& editor, TWorkbenchOutcome& out);
    void EditorTexts(TWorkbenchOutcome& out) const;
    void SetRepeating(bool repeating, TWorkbenchOutcome& out);
    void StartRepeatTimer(TWorkbenchOutcome& out);
    void KillRepeatTimer(TWorkbenchOutcome& out);
    void StartRepeatingWithASend(TWorkbenchOutcome& out);
    // After a send of a repetition: waits for the answer, or keeps (or restarts) the timer.
    void AfterRepeatSend(TWorkbenchOutcome& out);
    // Waiting for the answer, it ended: the period starts.
    void AnswerEnded(TWorkbenchOutcome& out);
    void NoAnswerRow(TWorkbenchOutcome& out);
    // A request is on its way: its row, its answer time-out, the statistics.
    void RequestWritten(const std::vector<std::uint8_t>& frame, TWorkbenchTime time,
                        TWorkbenchOutcome& out);
    // Counts the received rows appended since the rows had frameCount frames and clearCount
    // clears, and gives the first answer to a request its answer time.
    void TakeReceivedRows(std::int32_t frameCount, std::uint64_t clearCount);
    void RecordEvent(TCaptureKind kind, TWorkbenchTime time,
                     std::span<const std::uint8_t> bytes = {});
    // The time of an event handled after one told at a later time, which a client's events
    // stamped where they came but handled in turn can be: that later time. Rows and captures
    // never go back in time, and a replay sees what the live run did.
    TWorkbenchTime InOrder(TWorkbenchTime time);
    void SetSendEnabled(bool enabled, TWorkbenchOutcome& out);
    void ClearRxFrames(TWorkbenchOutcome& out);

    TCommandDefinitions Defs;
    TFrameEditor FrameEditor{Defs};
    TTxList List;
    TFrameRows FrameRows;
    TCheckBoxes Checks;
    TRxAssembly Rx{FrameRows, Defs.GetOpCodeList(), Checks};

    int SelectedIndex = -1;
    bool SendEnabled = false;
    bool Repeating = false;
    std::int32_t RepeatPeriod = kDefaultRepeatPeriod;
    std::uint32_t RepeatToken = 0;
    std::uint32_t LastToken = 0;

    // The frame of the write under way, from WriteFailed's point of view: a send the user made
    // is reported in a box, one of the repeat timer in the status bar.
    struct TPendingWrite {
        std::vector<std::uint8_t> Frame;
        bool ByTimer = false;
    };
    std::optional<TPendingWrite> Pending;
    bool SendingByTimer = false;
    // The last request sent, until the first byte after it comes or its "No answer" row is shown.
    std::optional<std::vector<std::uint8_t>> Unanswered;
    bool WaitForAnswer = false;
    bool WaitingForAnswer = false;
    bool Disconnected = false;
    std::string DisconnectedText;

    std::optional<TWorkbenchTime> ReceptionStart;
    std::optional<TWorkbenchTime> LastWriteDone;
    TWorkbenchTime LastEventTime{};

    // The last request written, until the next: what its answer time runs from.
    std::optional<TWrittenRequest> Request;
    TAnswerStatistics Stats;
    TCaptureSink* Recorder = nullptr;
};
