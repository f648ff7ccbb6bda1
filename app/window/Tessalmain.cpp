#include "app/window/Tessalmain.h"

#include "app/core/SettingsFile.h"
#include "app/window/About.h"
#include "app/window/Repeat_period.h"
#include "app/window/TrafficRecords.h"
#include "app/window/ValueLabel.h"
#include "controls/CPortCtl.h"
#include "framework/Application.h"
#include "framework/Synchronize.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <type_traits>

TTessalForm::TTessalForm(const TTessalOptions& options, QWidget* parent)
    : QMainWindow(parent), Options(options), AppDir(ExecutableDir()) {
    BuildWindow();
    SetUpPort();
    UARTTimeout.setInterval(2000);
    TimeForDataTimer.setInterval(kTimeForDataMs);
    connect(&UARTTimeout, &QTimer::timeout, this,
            [this] { Guarded([this] { UARTTimeoutTimer(); }); });
    connect(&TimeForDataTimer, &QTimer::timeout, this,
            [this] { Guarded([this] { TimeForDataTimerTimer(); }); });
    RXFrameStringGrid->OnDeleteAll = [this] { RXFramesDeleteallClick(); };

    connect(CMDTAdrEdit, &QLineEdit::textChanged, this, &TTessalForm::CMDTAdrEditChange);
    connect(CMDComboBox, &QComboBox::activated, this, &TTessalForm::CMDComboBoxChange);
    connect(CMDParametersEdit, &QLineEdit::textChanged, this,
            &TTessalForm::CMDParametersEditChange);
    connect(CMDCRC_H_Edit, &QLineEdit::textChanged, this, &TTessalForm::CMDCRC_H_EditChange);
    connect(CMDCRC_L_Edit, &QLineEdit::textChanged, this, &TTessalForm::CMDCRC_L_EditChange);
    connect(AutoCRCCheckBox, &QCheckBox::toggled, this, &TTessalForm::AutoCRCCheckBoxClick);
    connect(SendFrameBitBtn, &QPushButton::clicked, this, &TTessalForm::OnButtonSendFrame);
    connect(AutoRepeatCheckBox, &QCheckBox::toggled, this, &TTessalForm::OnCheckBoxAutoRepeat);
    connect(HexCheckBox, &QCheckBox::toggled, this,
            [this](bool checked) { ApplyOutcome(Workbench.SetAscii(checked)); });
    connect(DelBeforeSendCheckBox, &QCheckBox::toggled, this,
            [this](bool checked) { Workbench.SetDeleteAutomatically(checked); });
    connect(ShowTXCheckBox, &QCheckBox::toggled, this,
            [this](bool checked) { Workbench.SetShowTx(checked); });
    Workbench.SetShowTx(ShowTXCheckBox->isChecked());
    connect(TxFrameAddtolist, &QAction::triggered, this, &TTessalForm::TxFrameAddtolistClick);
    connect(TxFrameClearlist, &QAction::triggered, this, &TTessalForm::TxFrameClearlistClick);
    connect(TxFrameSendframes, &QAction::triggered, this, &TTessalForm::TxFrameSendframesClick);
    connect(MenuStopRepeat, &QAction::triggered, this,
            [this] { ApplyOutcome(Workbench.StopRepeat()); });
    connect(MenuOpen, &QAction::triggered, this, &TTessalForm::OnMenuOpenFileClick);
    connect(MenuExit, &QAction::triggered, this, &TTessalForm::OnMenuExitClick);
    connect(MenuSetUART, &QAction::triggered, this,
            [this] { Guarded([this] { OnMenuSetUARTClick(); }); });
    connect(MenuSetRepeatDelay, &QAction::triggered, this, &TTessalForm::OnMenuSetRepeatDelayClick);
    connect(MenuAnswerTimeout, &QAction::triggered, this, &TTessalForm::OnMenuAnswerTimeoutClick);
    connect(MenuWaitForAnswer, &QAction::triggered, this, &TTessalForm::OnMenuWaitForAnswerClick);
    connect(MenuReconnect, &QAction::triggered, this, &TTessalForm::OnMenuReconnectClick);
    connect(MenuAbout, &QAction::triggered, this, &TTessalForm::OnMenuAboutClick);
    // Enter in the editor's fields: the parameters field and the command box send; while
    // repeating the send button is the default button and takes Enter first. The TX frame
    // group's controls also open its menu from the keyboard.
    for (QWidget* w : std::initializer_list<QWidget*>{
             CMDTAdrEdit, CMDLengthEdit, CMDComboBox, CMDParametersEdit, CMDCRC_H_Edit,
             CMDCRC_L_Edit, AutoCRCCheckBox, AutoRepeatCheckBox, HexCheckBox, DelBeforeSendCheckBox,
             ShowTXCheckBox}) {
        w->installEventFilter(this);
    }

    LoadStartFile();
    try {
        RestorePortSettings();
        LoadOptions();
    } catch (...) {
        ReleaseWindow();
        throw;
    }
    OpenPort();
    ApplyOutcome(Workbench.ComposeInitialFrame(CMDTAdrEdit->text().toStdString()));
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                    screen() != nullptr ? screen()->availableGeometry()
                                                        : QRect(0, 0, 1024, 768)));
}

TTessalForm::~TTessalForm() {
    ReleaseWindow();
}

void TTessalForm::ReleaseWindow() {
    Watcher.Stop();
    Workbench.Close();
    KillRepeatTimer();
    RemoveQueuedEvents(this);
    ComPort.OnRxChar = nullptr;
    ComPort.OnTxEmpty = nullptr;
    ComPort.OnDeviceLost = nullptr;
    // The lamps follow the port; they let go of it before it closes.
    ComLed1->SetComPort(nullptr);
    RxComLed->SetComPort(nullptr);
    try {
        ComPort.Close();
    } catch (...) {
        Application->HandleException(std::current_exception(), nullptr);
    }
    // The widgets refer to the window's members (the grid to its model), which go first. Their
    // destruction still sends events through this window's filter, which must not look at
    // widgets already gone.
    Releasing = true;
    delete takeCentralWidget();
}

void TTessalForm::SetDialogs(TAboutForm* about, TSendDelayForm* sendDelay) {
    AboutForm = about;
    SendDelayForm = sendDelay;
    if (SendDelayForm != nullptr) {
        connect(SendDelayForm, &TSendDelayForm::PeriodAccepted, this,
                &TTessalForm::SetRepeatPeriod);
        SetRepeatPeriod(SendDelayForm->GetRepeatPeriod());
    }
}

void TTessalForm::LoadStartFile() {
    ApplyOutcome(Workbench.LoadStartFile(ReadSettingsFile(kSettingsFileName)));
}

void TTessalForm::OnMenuOpenFileClick() {
    const QString path = QFileDialog::getOpenFileName(this, "Open file", QString(), "TSL (*.tsl)");
    if (!path.isEmpty()) {
        ApplyOutcome(Workbench.LoadCommandFile(path.toLocal8Bit().toStdString()));
    }
}

void TTessalForm::OnMenuExitClick() {
    close();
}

void TTessalForm::OnMenuSetRepeatDelayClick() {
    if (SendDelayForm != nullptr) {
        SendDelayForm->ShowModeless();
    }
}

void TTessalForm::OnMenuAboutClick() {
    if (AboutForm != nullptr) {
        AboutForm->ShowModeless();
    }
}

void TTessalForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TTessalForm::FormResize() {
    RXFrameStringGrid->FitParametersColumn();
}

void TTessalForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange) {
        // A screen reader names the window by what its caption says: the file loaded.
        setAccessibleName(windowTitle());
    }
}

void TTessalForm::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TTessalForm::FormClose() {
    ApplyOutcome(Workbench.Close());
}

bool TTessalForm::eventFilter(QObject* watched, QEvent* event) {
    if (Releasing) {
        return false;
    }
    if (watched == RXFrameStringGrid && event->type() == QEvent::Resize) {
        FormResize();
        return false;
    }
    if (AsksForTxFrameMenu(watched, event)) {
        ShowTxFramePopup(static_cast<QWidget*>(watched));
        return true;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) {
        return false;
    }
    bool taken = false;
    Guarded([&] {
        ApplyOutcome(
            Workbench.EnterPressed(watched == CMDParametersEdit || watched == CMDComboBox, taken));
    });
    return taken;
}

bool TTessalForm::AsksForTxFrameMenu(QObject* watched, QEvent* event) const {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || !TxFrameGroup->isAncestorOf(widget)) {
        return false;
    }
    if (event->type() == QEvent::ContextMenu) {
        // The Menu key on X11; a right click keeps the control's own menu.
        return static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    // Shift+F10 reaches a control as a plain key; so does the Menu key where no platform turns it
    // into a context-menu event.
    const auto* key = static_cast<QKeyEvent*>(event);
    return (key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier) ||
           (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
}

void TTessalForm::ShowTxFramePopup(QWidget* from) {
    if (TxFramePopupMenu->isVisible()) {
        return;
    }
    TxFramePopupMenu->popup(from->mapToGlobal(QPoint(0, from->height())));
    // The first item takes the keyboard, as in a menu opened from the menu bar.
    TxFramePopupMenu->setActiveAction(TxFrameAddtolist);
}

// --- frame editor ---

namespace {

std::string Latin1(const QString& text) {
    return text.toLatin1().toStdString();
}

} // namespace

void TTessalForm::CMDTAdrEditChange() {
    ApplyOutcome(Workbench.TAddrChanged(Latin1(CMDTAdrEdit->text())));
}

void TTessalForm::CMDComboBoxChange() {
    ApplyOutcome(Workbench.CommandChanged(CMDComboBox->currentIndex()));
}

void TTessalForm::CMDParametersEditChange() {
    ApplyOutcome(Workbench.ParametersChanged(Latin1(CMDParametersEdit->text())));
}

void TTessalForm::CMDCRC_H_EditChange() {
    ApplyOutcome(Workbench.CrcHChanged(Latin1(CMDCRC_H_Edit->text())));
}

void TTessalForm::CMDCRC_L_EditChange() {
    ApplyOutcome(Workbench.CrcLChanged(Latin1(CMDCRC_L_Edit->text())));
}

void TTessalForm::AutoCRCCheckBoxClick() {
    ApplyOutcome(Workbench.AutoCrcClicked(AutoCRCCheckBox->isChecked()));
}

// --- reception and the grid ---

void TTessalForm::ComPortRxChar(TObject*, std::int32_t Count) {
    // The bytes go down into the workbench once; it keeps what it needs of them. While a capture
    // replays, the receive side is the capture's: what the line brings is read and dropped.
    const TWorkbenchTime now = PortEventTime();
    RxChunk.resize(static_cast<std::size_t>(std::max(Count, 0)));
    std::int32_t got = 0;
    try {
        got = Count > 0 ? ComPort.Read(RxChunk.data(), Count) : 0;
    } catch (const std::exception& e) {
        PortStepFailed(e);
        return;
    }
    RxChunk.resize(static_cast<std::size_t>(std::clamp(got, 0, Count)));
    if (!TrafficRecords->Replaying()) {
        ApplyOutcome(Workbench.Received(RxChunk, now));
    }
}

TWorkbenchTime TTessalForm::PortEventTime() const {
    // The port's event thread took the time when the event came; handling it here is later, by
    // as long as the GUI thread was busy.
    static_assert(std::is_same_v<TComClock, TWorkbenchClock>);
    const TComClock::time_point time = ComPort.GetEventTime();
    return time != TComClock::time_point{} ? time : TWorkbenchClock::now();
}

void TTessalForm::UARTTimeoutTimer() {
    ApplyOutcome(Workbench.TimerFired(wtAnswer, TWorkbenchClock::now()));
}

void TTessalForm::TimeForDataTimerTimer() {
    ApplyOutcome(Workbench.TimerFired(wtTimeForData, TWorkbenchClock::now()));
}

void TTessalForm::RXFramesDeleteallClick() {
    ApplyOutcome(Workbench.DeleteAll());
}

QString TTessalForm::StatusText() const {
    return StatusLabel->text();
}

void TTessalForm::SetStatus(const std::string& text) {
    const QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    ShowValue(StatusLabel, shown);
    emit StatusChanged(shown);
}
