// Applying the workbench's outcomes: the widgets, the two window timers and the repeat timer, and
// the port steps of a send (RTS keyed around each transmission); the sending handlers.
#include "app/window/Tessalmain.h"

#include "app/window/ValueLabel.h"
#include "framework/Synchronize.h"
#include "platform/timer/MmTimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <stdexcept>

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

QString FromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Sets a widget's text without running its change handler: the workbench already knows it.
void SetQuietly(QLineEdit* edit, const std::string& text) {
    const QString value = FromLatin1(text);
    if (edit->text() != value) {
        const QSignalBlocker quiet(edit);
        edit->setText(value);
    }
}

// A field whose text does not read: a red frame and background, and a screen reader hears why.
void MarkField(QLineEdit* edit, bool bad) {
    edit->setStyleSheet(bad ? "QLineEdit { border: 1px solid rgb(220, 0, 0); "
                              "background: rgb(255, 228, 228); }"
                            : QString());
    edit->setAccessibleDescription(bad ? "not a valid entry" : QString());
}

} // namespace

void TTessalForm::ApplyOutcome(const TWorkbenchOutcome& outcome) {
    ApplyWidgets(outcome);
    for (const TTimerCommand& command : outcome.Timers) {
        ApplyTimer(command);
    }
    ApplyPort(outcome.Port);
}

void TTessalForm::ApplyWidgets(const TWorkbenchOutcome& o) {
    if (o.StatusText) {
        SetStatus(*o.StatusText);
    }
    if (o.Caption) {
        setWindowTitle(QString::fromLocal8Bit(o.Caption->c_str()));
    }
    if (o.CommandBoxItems) {
        const QSignalBlocker quiet(CMDComboBox);
        CMDComboBox->clear();
        for (const std::string& item : *o.CommandBoxItems) {
            CMDComboBox->addItem(FromLatin1(item));
        }
        CMDComboBox->setCurrentIndex(o.SelectedIndex);
        RXFrameStringGrid->SetAnswerTexts(*o.CommandBoxItems);
    }
    if (o.CommandDescription) {
        ShowValue(opisRozkazuLabel, FromLatin1(*o.CommandDescription));
    }
    if (o.ParamDescription) {
        ShowValue(opisParametrowLabel, FromLatin1(*o.ParamDescription));
    }
    if (o.LengthText) {
        SetQuietly(CMDLengthEdit, *o.LengthText);
    }
    if (o.CrcHText) {
        SetQuietly(CMDCRC_H_Edit, *o.CrcHText);
    }
    if (o.CrcLText) {
        SetQuietly(CMDCRC_L_Edit, *o.CrcLText);
    }
    QLineEdit* const fields[] = {CMDTAdrEdit, CMDParametersEdit, CMDCRC_H_Edit, CMDCRC_L_Edit};
    for (std::size_t field = 0; field < o.FieldBad.size(); ++field) {
        if (o.FieldBad[field]) {
            MarkField(fields[field], *o.FieldBad[field]);
        }
    }
    if (o.CrcReadOnly) {
        for (QLineEdit* crc : {CMDCRC_H_Edit, CMDCRC_L_Edit}) {
            crc->setReadOnly(*o.CrcReadOnly);
            // Computed, they are out of the Tab chain like the length.
            crc->setFocusPolicy(*o.CrcReadOnly ? Qt::ClickFocus : Qt::StrongFocus);
        }
    }
    if (o.EditorEnabled) {
        for (QWidget* w : std::initializer_list<QWidget*>{CMDComboBox, CMDTAdrEdit, CMDLengthEdit,
                                                          CMDParametersEdit, CMDCRC_H_Edit,
                                                          CMDCRC_L_Edit, AutoCRCCheckBox}) {
            w->setEnabled(*o.EditorEnabled);
        }
    }
    if (o.SendEnabled) {
        SendFrameBitBtn->setEnabled(*o.SendEnabled);
    }
    if (o.DisableAsciiCheckBox) {
        HexCheckBox->setEnabled(false);
    }
    if (o.AutoRepeatChecked) {
        const QSignalBlocker quiet(AutoRepeatCheckBox);
        AutoRepeatCheckBox->setChecked(*o.AutoRepeatChecked);
    }
    if (o.Repeating) {
        SendFrameBitBtn->setDefault(*o.Repeating);
        SendFrameBitBtn->setText(SendButtonCaption(*o.Repeating));
        SendFrameBitBtn->setAccessibleName(SendButtonCaption(*o.Repeating));
        MenuStopRepeat->setEnabled(*o.Repeating);
    }
    if (o.RowsCleared || o.RowsAppended > 0) {
        RowsModel.RowsChanged();
    }
    if (o.RowsRendered) {
        RowsModel.ParametersRendered();
    }
    ShowFirstStartHelp(Workbench.Definitions().GetCommandList().empty());
    if (o.ErrorBox) {
        // The standard exception display, as for any failure of a handler.
        Application->HandleException(std::make_exception_ptr(std::runtime_error(*o.ErrorBox)),
                                     nullptr);
    }
}

void TTessalForm::ShowFirstStartHelp(bool show) {
    if (FirstStartLabel->isHidden() != show) {
        return;
    }
    FirstStartLabel->setVisible(show);
    opisRozkazuLabel->setVisible(!show);
    opisParametrowLabel->setVisible(!show);
}

void TTessalForm::ApplyTimer(const TTimerCommand& command) {
    QTimer* timer = nullptr;
    switch (command.Timer) {
    case wtAnswer:
        timer = &UARTTimeout;
        break;
    case wtTimeForData:
        timer = &TimeForDataTimer;
        break;
    case wtRepeat:
        if (command.Start) {
            StartRepeatTimer(command.PeriodMs, command.Token);
        } else {
            KillRepeatTimer();
        }
        return;
    }
    timer->stop();
    if (command.Start) {
        timer->start(command.PeriodMs);
    }
}

void TTessalForm::ApplyPort(const std::vector<TPortCommand>& steps) {
    for (const TPortCommand& step : steps) {
        try {
            switch (step.Step) {
            case psClearQueues:
                ComPort.ClearBuffer(true, true);
                break;
            case psRtsOn:
                ComPort.SetRTS(true);
                break;
            case psRtsOff:
                ComPort.SetRTS(false);
                break;
            case psWrite:
                WritePort(step.Bytes);
                ApplyOutcome(Workbench.WriteDone(TWorkbenchClock::now()));
                break;
            }
        } catch (const std::exception& e) {
            PortStepFailed(e);
            return;
        }
    }
}

void TTessalForm::WritePort(const std::vector<std::uint8_t>& frame) {
    TAsyncRecord async;
    ComPort.WriteAsync(frame.data(), static_cast<std::int32_t>(frame.size()), async.Get());
    ComPort.WaitForAsync(async.Get());
}

void TTessalForm::KillRepeatTimer() {
    if (RepeatTimerId != 0) {
        timeKillEvent(RepeatTimerId);
        RepeatTimerId = 0;
    }
}

void TTessalForm::StartRepeatTimer(std::int32_t periodMs, std::uint32_t token) {
    KillRepeatTimer();
    // Each tick is queued to the GUI thread without waiting: killing the timer waits for a
    // running tick, and a tick waiting for the GUI thread would never end. The workbench tells
    // a tick of a timer since replaced by its token.
    RepeatTimerId = timeSetEvent(
        static_cast<std::uint32_t>(periodMs), 0,
        [this, token](std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t,
                      std::uintptr_t) {
            Queue(
                [this, token] {
                    ApplyOutcome(Workbench.TimerFired(wtRepeat, TWorkbenchClock::now(), token));
                },
                this);
        },
        0, TIME_PERIODIC);
}

void TTessalForm::SetRepeatPeriod(std::int32_t ms) {
    ApplyOutcome(Workbench.SetRepeatPeriod(ms));
}

void TTessalForm::OnButtonSendFrame() {
    Guarded([this] { ApplyOutcome(Workbench.SendButton()); });
}

void TTessalForm::OnCheckBoxAutoRepeat() {
    ApplyOutcome(Workbench.AutoRepeatClicked(AutoRepeatCheckBox->isChecked()));
}

void TTessalForm::TxFrameAddtolistClick() {
    ApplyOutcome(Workbench.AddToList());
}

void TTessalForm::TxFrameClearlistClick() {
    ApplyOutcome(Workbench.ClearList());
}

void TTessalForm::TxFrameSendframesClick() {
    Guarded([this] { ApplyOutcome(Workbench.SendList()); });
}

void TTessalForm::ComPortDoTxEmpty(TObject*) {
    ApplyOutcome(Workbench.TxEmpty(PortEventTime()));
}
