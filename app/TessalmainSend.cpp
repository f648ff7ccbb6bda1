// Sending: the send routine, single sends, auto-repeat on the periodic timer, the list of frames
// and RTS keyed around each transmission.
#include "app/Tessalmain.h"

#include "app/FrameRendering.h"
#include "framework/Synchronize.h"
#include "platform/timer/MmTimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

// RAII for the record of one overlapped write: every InitAsync meets its DoneAsync.
class TAsyncRecord {
public:
    TAsyncRecord() { InitAsync(Record); }
    ~TAsyncRecord() { DoneAsync(Record); }
    TAsyncRecord(const TAsyncRecord&) = delete;
    TAsyncRecord& operator=(const TAsyncRecord&) = delete;
    PAsync& Get() { return Record; }

private:
    PAsync Record = nullptr;
};

} // namespace

void TTessalForm::SendFrame() {
    SetStatus("");
    if (DelBeforeSendCheckBox->isChecked() && !AutoRepeatCheckBox->isChecked()) {
        ClearRxFrames();
    }
    if (!TxList.GetTxListMode() && !Editor.GetParseError().empty()) {
        // The parameters field does not parse: its frame is not what the field says.
        SetStatus(Editor.GetParseError());
        return;
    }
    const std::optional<TTxChoice> choice = TxList.Choose(Editor.GetTxFrame());
    if (!choice) {
        return;
    }
    if (choice->Label) {
        opisRozkazuLabel->setText(QString::fromLatin1(choice->Label->c_str()));
    }
    if (!Definitions.GetConfigLoaded()) {
        SetStatus(kNoConfigText);
        AutoRepeatCheckBox->setChecked(false);
        return;
    }
    const std::vector<std::uint8_t>& frame = choice->Frame;
    {
        TAsyncRecord async;
        Rx.BeginSend();
        ComPort.SetRTS(true);
        ComPort.WriteAsync(frame.data(), static_cast<std::int32_t>(frame.size()), async.Get());
        ComPort.WaitForAsync(async.Get());
    }
    if (ShowTXCheckBox->isChecked()) {
        ShowTxFrame(frame.data(), frame.size());
    }
}

void TTessalForm::ShowTxFrame(const std::uint8_t* frame, std::size_t count) {
    // The command selected in the box at the moment of the send, whatever frame went out.
    const int index = CMDComboBox->currentIndex();
    const TCommandList& commands = Definitions.GetCommandList();
    std::string commandCell;
    if (index >= 0 && static_cast<std::size_t>(index) < commands.size()) {
        commandCell = CommandBoxItem(commands[static_cast<std::size_t>(index)]);
    }
    Rows.AppendRow(TxFrameRow(frame, count, Rows.GetFrameCount(), commandCell, AsciiChecked()));
    RowsChanged();
}

void TTessalForm::ComPortDoTxEmpty() {
    try {
        ComPort.SetRTS(false);
    } catch (const EComPort& e) {
        // The device went away under the last write, which the send path has reported: the
        // status bar says it again rather than a second report in a box.
        SetStatus(e.what());
    }
}

void TTessalForm::ComPortDoTxEmpty(TObject*) {
    ComPortDoTxEmpty();
}

void TTessalForm::StartRepeating() {
    IsRepeating = true;
    SendFrameBitBtn->setDefault(true);
    SendFrameBitBtn->setText("Autorepeat mode");
}

void TTessalForm::StopRepeating() {
    IsRepeating = false;
    SendFrameBitBtn->setDefault(false);
    SendFrameBitBtn->setText("Send frame");
}

void TTessalForm::KillRepeatTimer() {
    if (RepeatTimerId != 0) {
        timeKillEvent(RepeatTimerId);
        RepeatTimerId = 0;
    }
}

void TTessalForm::StartRepeatTimer() {
    // Each tick is queued to the GUI thread without waiting: killing the timer waits for a
    // running tick, and a tick waiting for the GUI thread would never end.
    RepeatTimerId = timeSetEvent(
        static_cast<std::uint32_t>(RepeatPeriod), 0,
        [this](std::uint32_t id, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
            Queue([this, id] { RepeatTick(id); }, this);
        },
        0, TIME_PERIODIC);
}

void TTessalForm::RepeatTick(std::uint32_t timerId) {
    // A tick queued before its timer was killed finds another timer running, or none.
    if (timerId != RepeatTimerId) {
        return;
    }
    if (!IsRepeating || !AutoRepeatCheckBox->isChecked()) {
        return;
    }
    try {
        SendFrame();
        Rx.SetClearOnAnswer(true);
    } catch (const std::exception& e) {
        // A failed write ends the repetition instead of raising from the timer path.
        KillRepeatTimer();
        StopRepeating();
        SetStatus(e.what());
    }
}

void TTessalForm::OnButtonSendFrame() {
    Guarded([this] {
        TxList.LeaveListMode();
        KillRepeatTimer();
        if (AutoRepeatCheckBox->isChecked()) {
            if (IsRepeating) {
                StopRepeating();
                return;
            }
            StartRepeatingWithASend();
            return;
        }
        SendFrameBitBtn->setText("Send frame");
        SendFrame();
    });
}

void TTessalForm::OnCheckBoxAutoRepeat() {
    if (!AutoRepeatCheckBox->isChecked()) {
        KillRepeatTimer();
        StopRepeating();
    }
}

void TTessalForm::TxFrameAddtolistClick() {
    if (!Editor.GetParseError().empty()) {
        SetStatus(Editor.GetParseError());
        return;
    }
    TxList.AddToList(Editor.GetTxFrame());
}

void TTessalForm::TxFrameClearlistClick() {
    TxList.ClearList();
}

void TTessalForm::TxFrameSendframesClick() {
    Guarded([this] {
        TxList.StartListMode();
        AutoRepeatCheckBox->setChecked(true);
        KillRepeatTimer();
        if (IsRepeating) {
            StopRepeating();
            return;
        }
        StartRepeatingWithASend();
    });
}

void TTessalForm::StartRepeatingWithASend() {
    StartRepeating();
    try {
        SendFrame();
    } catch (...) {
        StopRepeating();
        throw;
    }
    StartRepeatTimer();
}

void TTessalForm::RepeatPeriodChanged() {
    KillRepeatTimer();
    if (IsRepeating && AutoRepeatCheckBox->isChecked()) {
        StartRepeatTimer();
    }
}
