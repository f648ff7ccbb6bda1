#include "app/Tessalmain.h"

#include "app/About.h"
#include "app/Repeat_period.h"
#include "app/SettingsFile.h"
#include "controls/CPortCtl.h"
#include "framework/Application.h"
#include "framework/Synchronize.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

std::int32_t TTessalForm::RepeatPeriod = 1000;

TTessalForm::TTessalForm(const TTessalOptions& options, QWidget* parent)
    : QMainWindow(parent), Options(options), AppDir(ExecutableDir()), Definitions(AppDir) {
    BuildWindow();
    SetUpPort();
    UARTTimeout.setInterval(2000);
    TimeForDataTimer.setInterval(kTimeForDataMs);
    connect(&UARTTimeout, &QTimer::timeout, this,
            [this] { Guarded([this] { UARTTimeoutTimer(); }); });
    connect(&TimeForDataTimer, &QTimer::timeout, this, &TTessalForm::TimeForDataTimerTimer);
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
    connect(TxFrameAddtolist, &QAction::triggered, this, &TTessalForm::TxFrameAddtolistClick);
    connect(TxFrameClearlist, &QAction::triggered, this, &TTessalForm::TxFrameClearlistClick);
    connect(TxFrameSendframes, &QAction::triggered, this, &TTessalForm::TxFrameSendframesClick);
    connect(MenuOpen, &QAction::triggered, this, &TTessalForm::OnMenuOpenFileClick);
    connect(MenuExit, &QAction::triggered, this, &TTessalForm::OnMenuExitClick);
    connect(MenuSetUART, &QAction::triggered, this,
            [this] { Guarded([this] { OnMenuSetUARTClick(); }); });
    connect(MenuSetRepeatDelay, &QAction::triggered, this, &TTessalForm::OnMenuSetRepeatDelayClick);
    connect(MenuAbout, &QAction::triggered, this, &TTessalForm::OnMenuAboutClick);
    // Enter in the editor's fields: the parameters field and the command box send; while
    // repeating the send button is the default button and takes Enter first.
    for (QWidget* w : std::initializer_list<QWidget*>{
             CMDTAdrEdit, CMDLengthEdit, CMDComboBox, CMDParametersEdit, CMDCRC_H_Edit,
             CMDCRC_L_Edit, AutoCRCCheckBox, AutoRepeatCheckBox, HexCheckBox, DelBeforeSendCheckBox,
             ShowTXCheckBox}) {
        w->installEventFilter(this);
    }

    LoadStartFile();
    try {
        RestorePortSettings();
    } catch (...) {
        ReleaseWindow();
        throw;
    }
    OpenPort();
    Editor.ComposeInitialFrame(CMDTAdrEdit->text().toStdString());
    ShowEditorTexts();
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                    screen() != nullptr ? screen()->availableGeometry()
                                                        : QRect(0, 0, 1024, 768)));
}

TTessalForm::~TTessalForm() {
    ReleaseWindow();
}

void TTessalForm::ReleaseWindow() {
    KillRepeatTimer();
    RemoveQueuedEvents(this);
    ComPort.OnRxChar = nullptr;
    ComPort.OnTxEmpty = nullptr;
    // The lamps follow the port; they let go of it before it closes.
    ComLed1->SetComPort(nullptr);
    RxComLed->SetComPort(nullptr);
    try {
        ComPort.Close();
    } catch (...) {
        Application->HandleException(std::current_exception(), nullptr);
    }
    // The widgets refer to the window's members (the grid to its model), which go first.
    delete takeCentralWidget();
}

void TTessalForm::SetDialogs(TAboutForm* about, TSendDelayForm* sendDelay) {
    AboutForm = about;
    SendDelayForm = sendDelay;
}

void TTessalForm::LoadStartFile() {
    const std::optional<std::string> path = ReadSettingsFile(kSettingsFileName);
    if (!path) {
        SetStatus(kSettingsOpenFailedText);
        return;
    }
    ApplyLoadOutcome(Definitions.LoadCommandFile(*path));
}

void TTessalForm::RestorePortSettings() {
    if (Registry.OpenKey(kPortSettingsPath, false)) {
        ComPort.LoadSettings(stRegistry, kPortSettingsKey);
        if (!Options.PortName.empty()) {
            ComPort.SetPort(Options.PortName);
        }
        return;
    }
    Registry.CreateKey(kPortSettingsPath);
    if (!Options.PortName.empty()) {
        ComPort.SetPort(Options.PortName);
    }
    ComPort.ShowSetupDialog();
    ComPort.StoreSettings(stRegistry, kPortSettingsKey);
}

void TTessalForm::OpenPort() {
    try {
        ComPort.Open();
    } catch (const std::exception& e) {
        QMessageBox box(QMessageBox::Warning, "Tessal",
                        QString::fromLocal8Bit(e.what()) + "\n\n" + kCantOpenUartText,
                        QMessageBox::Ok, this);
        box.setObjectName("OpenFailureBox");
        box.exec();
        SendFrameBitBtn->setEnabled(false);
    }
}

void TTessalForm::ApplyLoadOutcome(const TLoadOutcome& outcome) {
    if (outcome.StatusText) {
        SetStatus(*outcome.StatusText);
    }
    if (outcome.Caption) {
        setWindowTitle(QString::fromLocal8Bit(outcome.Caption->c_str()));
    }
    if (outcome.CommandBoxItems) {
        const QSignalBlocker quiet(CMDComboBox);
        CMDComboBox->clear();
        for (const std::string& item : *outcome.CommandBoxItems) {
            CMDComboBox->addItem(QString::fromLatin1(item.c_str()));
        }
        CMDComboBox->setCurrentIndex(outcome.SelectedIndex);
    }
    if (outcome.CommandDescription) {
        opisRozkazuLabel->setText(QString::fromLatin1(outcome.CommandDescription->c_str()));
    }
    if (outcome.ParamDescription) {
        opisParametrowLabel->setText(QString::fromLatin1(outcome.ParamDescription->c_str()));
    }
    if (outcome.EditorEnabled) {
        for (QWidget* w : std::initializer_list<QWidget*>{
                 CMDComboBox, SendFrameBitBtn, CMDTAdrEdit, CMDLengthEdit, CMDParametersEdit,
                 CMDCRC_H_Edit, CMDCRC_L_Edit, AutoCRCCheckBox}) {
            w->setEnabled(*outcome.EditorEnabled);
        }
    }
    if (outcome.DisableAsciiCheckBox) {
        HexCheckBox->setEnabled(false);
    }
}

void TTessalForm::OnMenuOpenFileClick() {
    const QString path = QFileDialog::getOpenFileName(this, "Open file", QString(), "TSL (*.tsl)");
    if (!path.isEmpty()) {
        ApplyLoadOutcome(Definitions.LoadCommandFile(path.toLocal8Bit().toStdString()));
    }
}

void TTessalForm::OnMenuExitClick() {
    close();
}

void TTessalForm::OnMenuSetUARTClick() {
    KillRepeatTimer();
    AutoRepeatCheckBox->setChecked(false);
    StopRepeating();
    ComPort.Close();
    try {
        ComPort.ShowSetupDialog();
    } catch (...) {
        // Without a dialog the port goes back as it was instead of staying closed.
        OpenPort();
        throw;
    }
    ComPort.StoreSettings(stRegistry, kPortSettingsKey);
    SendFrameBitBtn->setEnabled(true);
    OpenPort();
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

void TTessalForm::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TTessalForm::FormClose() {
    KillRepeatTimer();
}

bool TTessalForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == RXFrameStringGrid && event->type() == QEvent::Resize) {
        FormResize();
        return false;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) {
        return false;
    }
    if (IsRepeating) {
        SendFrameBitBtn->click();
        return true;
    }
    if ((watched == CMDParametersEdit || watched == CMDComboBox) && SendFrameBitBtn->isEnabled()) {
        Guarded([this] { SendFrame(); });
        return true;
    }
    return false;
}

// --- frame editor ---

void TTessalForm::ShowEditorTexts() {
    CMDLengthEdit->setText(QString::fromLatin1(Editor.GetLengthText().c_str()));
    CMDCRC_H_Edit->setText(QString::fromLatin1(Editor.GetCrcHText().c_str()));
    CMDCRC_L_Edit->setText(QString::fromLatin1(Editor.GetCrcLText().c_str()));
}

void TTessalForm::ApplyEditorOutcome(const TEditorOutcome& outcome) {
    if (outcome.SendEnabled) {
        SendFrameBitBtn->setEnabled(*outcome.SendEnabled);
    }
    if (outcome.StatusText) {
        SetStatus(*outcome.StatusText);
    }
    if (outcome.CommandDescription) {
        opisRozkazuLabel->setText(QString::fromLatin1(outcome.CommandDescription->c_str()));
    }
    if (outcome.ParamDescription) {
        opisParametrowLabel->setText(QString::fromLatin1(outcome.ParamDescription->c_str()));
    }
    ShowEditorTexts();
}

void TTessalForm::CMDTAdrEditChange() {
    Editor.TAddrChanged(CMDTAdrEdit->text().toLatin1().toStdString());
    ShowEditorTexts();
}

void TTessalForm::CMDComboBoxChange() {
    ApplyEditorOutcome(Editor.CommandChanged(CMDComboBox->currentIndex()));
}

void TTessalForm::CMDParametersEditChange() {
    ApplyEditorOutcome(
        Editor.ParametersChanged(CMDParametersEdit->text().toLatin1().toStdString()));
}

void TTessalForm::CMDCRC_H_EditChange() {
    Editor.CrcHTextChanged(CMDCRC_H_Edit->text().toLatin1().toStdString());
    if (Editor.GetAutoCrc()) {
        ShowEditorTexts();
    }
}

void TTessalForm::CMDCRC_L_EditChange() {
    Editor.CrcLTextChanged(CMDCRC_L_Edit->text().toLatin1().toStdString());
    if (Editor.GetAutoCrc()) {
        ShowEditorTexts();
    }
}

void TTessalForm::AutoCRCCheckBoxClick() {
    const bool checked = AutoCRCCheckBox->isChecked();
    Editor.AutoCrcClicked(checked);
    CMDCRC_H_Edit->setReadOnly(checked);
    CMDCRC_L_Edit->setReadOnly(checked);
    ShowEditorTexts();
}

// --- reception and the grid ---

void TTessalForm::ComPortRxChar(std::int32_t Count) {
    Rx.ComPortRxChar(Count);
    RowsChanged();
}

void TTessalForm::ComPortRxChar(TObject*, std::int32_t Count) {
    ComPortRxChar(Count);
}

void TTessalForm::UARTTimeoutTimer() {
    Rx.UARTTimeoutTimer();
    RowsChanged();
}

void TTessalForm::TimeForDataTimerTimer() {
    Rx.TimeForDataTimerTimer();
    RowsChanged();
}

void TTessalForm::ResetRxBuffer(bool keepPortQueues) {
    Rx.ResetRxBuffer(keepPortQueues);
}

void TTessalForm::RXFramesDeleteallClick() {
    ClearRxFrames();
}

void TTessalForm::ClearRxFrames() {
    Rows.ClearRxFrames();
    RowsChanged();
}

void TTessalForm::RowsChanged() {
    RowsModel.RowsChanged();
}

QString TTessalForm::StatusText() const {
    return StatusLabel->text();
}

void TTessalForm::SetStatus(const std::string& text) {
    StatusLabel->setText(QString::fromLatin1(text.c_str()));
}

std::int32_t TTessalForm::ReadPort(std::uint8_t* buffer, std::int32_t count) {
    return ComPort.Read(buffer, count);
}

void TTessalForm::ClearPortQueues() {
    ComPort.ClearBuffer(true, true);
}

void TTessalForm::SetStatusText(const std::string& text) {
    SetStatus(text);
}

void TTessalForm::RestartUARTTimeout(int intervalMs) {
    UARTTimeout.stop();
    UARTTimeout.start(intervalMs);
}

void TTessalForm::StopUARTTimeout() {
    UARTTimeout.stop();
}

void TTessalForm::RestartTimeForDataTimer(int intervalMs) {
    TimeForDataTimer.stop();
    TimeForDataTimer.start(intervalMs);
}

void TTessalForm::StopTimeForDataTimer() {
    TimeForDataTimer.stop();
}

bool TTessalForm::DeleteAutomaticallyChecked() const {
    return DelBeforeSendCheckBox->isChecked();
}

bool TTessalForm::AutoRepeatChecked() const {
    return AutoRepeatCheckBox->isChecked();
}

bool TTessalForm::AsciiChecked() const {
    return HexCheckBox->isChecked();
}
