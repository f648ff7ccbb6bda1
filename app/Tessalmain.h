// The workbench's main window TTessalForm: the frame editor, the send controls, the UART lamps,
// the received-frames grid and the menus, over one port ComPort.
//
// The frame logic lives in plain classes the window owns (TCommandDefinitions, TFrameEditor,
// TTxList, TFrameRows, TRxAssembly); the handlers here move text between them and the widgets.
//
// Threads: everything runs on the GUI thread. Port events arrive there through the framework's
// GUI queue (smThreadSync); the repeat timer's ticks are queued to it without waiting, so killing
// the timer from the GUI thread never waits on a tick that waits for the GUI thread.
#pragma once

#include "app/CommandDefinitions.h"
#include "app/FrameEditor.h"
#include "app/FrameRows.h"
#include "app/RxAssembly.h"
#include "app/RxFrameGrid.h"
#include "app/TxList.h"
#include "framework/Application.h"
#include "platform/registry/Registry.h"
#include "port/CPort.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class TComLed;
class TAboutForm;
class TSendDelayForm;

inline constexpr const char* kCantOpenUartText = "Can't open UART.";
inline constexpr const char* kPortSettingsKey = "HKEY_CURRENT_USER\\Software\\Tessal";
// The same key below the current-user root, as the registry object names it.
inline constexpr const char* kPortSettingsPath = "\\Software\\Tessal";

struct TTessalOptions {
    // Port name used instead of the stored one ("" keeps the settings' own); on the first start
    // the setup dialog offers it.
    std::string PortName;
};

class TTessalForm : public QMainWindow, private TRxWindow {
    Q_OBJECT
public:
    explicit TTessalForm(const TTessalOptions& options = {}, QWidget* parent = nullptr);
    ~TTessalForm() override;

    // Process-wide repeat period in milliseconds (1000 at start); only positive values.
    static std::int32_t RepeatPeriod;

    // Restarts the repeat timer after RepeatPeriod changed (the repeat-period dialog).
    void RepeatPeriodChanged();
    void SetDialogs(TAboutForm* about, TSendDelayForm* sendDelay);

    // For the window's users and tests: what a person reads.
    QString StatusText() const;
    const TFrameRows& FrameRows() const { return Rows; }
    TRxFrameGrid* Grid() const { return RXFrameStringGrid; }
    TCustomComPort& Port() { return ComPort; }
    const TTxList& TxFrames() const { return TxList; }
    const TRxAssembly& Receiver() const { return Rx; }
    bool Repeating() const { return IsRepeating; }
    std::uint32_t GetRepeatTimerId() const { return RepeatTimerId; }

    // The window's state under its own names; the plain classes behind the window hold it.
    const TTxFrame& GetTxFrame() const { return Editor.GetTxFrame(); }
    const std::array<std::uint8_t, kRxBufferSize>& GetRxBuffer() const { return Rx.GetRxBuffer(); }
    std::int32_t GetRxFill() const { return Rx.GetRxFill(); }
    std::int32_t GetRxFrameStart() const { return Rx.GetRxFrameStart(); }
    std::int32_t GetRxFrameLength() const { return Rx.GetRxFrameLength(); }
    std::int32_t GetFrameCount() const { return Rows.GetFrameCount(); }
    bool GetTimedOut() const { return Rx.GetTimedOut(); }
    bool GetHandledInRxChar() const { return Rx.GetHandledInRxChar(); }
    bool GetClearOnAnswer() const { return Rx.GetClearOnAnswer(); }
    bool GetConfigLoaded() const { return Definitions.GetConfigLoaded(); }
    const TTxList& GetTxList() const { return TxList; }
    bool GetTxListMode() const { return TxList.GetTxListMode(); }
    std::int32_t GetTxListIndex() const { return TxList.GetTxListIndex(); }
    const std::string& GetAppDir() const { return AppDir; }
    const TCommandList& GetCommandList() const { return Definitions.GetCommandList(); }
    const TOpCodeList& GetOpCodeList() const { return Definitions.GetOpCodeList(); }

protected:
    // Start-up's port-settings step: loads the stored settings, or on the first start (no key)
    // asks for them with the setup dialog and stores what it left. A failure to load or store
    // ends start-up: the constructor raises.
    void RestorePortSettings();

    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Layout (TessalmainLayout.cpp).
    void BuildWindow();
    QWidget* BuildTopRow();
    QGroupBox* BuildTxFrameGroup();
    QGroupBox* BuildRxFrameGroup();
    void BuildMenus();
    void SetUpPort();
    // What the destructor undoes; also run when start-up fails after the window was built.
    void ReleaseWindow();

public:
    // Start-up and window-level actions.
    void LoadStartFile();
    void OpenPort();
    void ApplyLoadOutcome(const TLoadOutcome& outcome);
    void OnMenuOpenFileClick();
    void OnMenuExitClick();
    void OnMenuSetUARTClick();
    void OnMenuSetRepeatDelayClick();
    void OnMenuAboutClick();
    void FormResize();
    void FormClose();

    // Frame editor handlers.
    void CMDTAdrEditChange();
    void CMDComboBoxChange();
    void CMDParametersEditChange();
    void CMDCRC_H_EditChange();
    void CMDCRC_L_EditChange();
    void AutoCRCCheckBoxClick();
    void ApplyEditorOutcome(const TEditorOutcome& outcome);
    void ShowEditorTexts();

    // Sending (TessalmainSend.cpp).
    void SendFrame();
    void OnButtonSendFrame();
    void OnCheckBoxAutoRepeat();
    void TxFrameAddtolistClick();
    void TxFrameClearlistClick();
    void TxFrameSendframesClick();
    void ComPortDoTxEmpty();
    void StartRepeating();
    // The first send of a repetition, then the timer; a failed first send starts nothing.
    void StartRepeatingWithASend();
    void StopRepeating();
    void StartRepeatTimer();
    void KillRepeatTimer();
    void RepeatTick(std::uint32_t timerId);
    void ShowTxFrame(const std::uint8_t* frame, std::size_t count);

    void ComPortDoTxEmpty(TObject* Sender);

    // Reception and the grid.
    void ComPortRxChar(std::int32_t Count);
    void ComPortRxChar(TObject* Sender, std::int32_t Count);
    void UARTTimeoutTimer();
    void TimeForDataTimerTimer();
    void ResetRxBuffer(bool keepPortQueues);
    void ClearRxFrames();
    void RXFramesDeleteallClick();
    void RowsChanged();

private:
    void SetStatus(const std::string& text);
    // Runs a handler; an exception it raises goes to the application's exception display.
    template <typename F>
    void Guarded(F&& handler) {
        try {
            handler();
        } catch (...) {
            Application->HandleException(std::current_exception(), nullptr);
        }
    }

    // TRxWindow
    std::int32_t ReadPort(std::uint8_t* buffer, std::int32_t count) override;
    void ClearPortQueues() override;
    void SetStatusText(const std::string& text) override;
    void RestartUARTTimeout(int intervalMs) override;
    void StopUARTTimeout() override;
    void RestartTimeForDataTimer(int intervalMs) override;
    void StopTimeForDataTimer() override;
    bool DeleteAutomaticallyChecked() const override;
    bool AutoRepeatChecked() const override;
    bool AsciiChecked() const override;

    TTessalOptions Options;
    double Scale = 1.0;
    std::string AppDir;
    TCommandDefinitions Definitions;
    TFrameEditor Editor{Definitions};
    TTxList TxList;
    TFrameRows Rows;
    TRxAssembly Rx{*this, Rows, Definitions.GetOpCodeList()};
    TRxFramesModel RowsModel{Rows};
    TComPort ComPort;
    // Kept for the window's lifetime; the port's settings store opens its own.
    TRegistry Registry{HKEY_CURRENT_USER};

    bool IsRepeating = false;
    std::uint32_t RepeatTimerId = 0;

public:
    QTimer UARTTimeout;
    QTimer TimeForDataTimer;

    // Widgets, owned by the window.
    QLabel* StatusLabel = nullptr;
    QLabel* BannerImage = nullptr;
    QGroupBox* UartGroup = nullptr;
    TComLed* ComLed1 = nullptr;
    TComLed* RxComLed = nullptr;
    QPushButton* SendFrameBitBtn = nullptr;
    QGroupBox* TxFrameGroup = nullptr;
    QLabel* opisRozkazuLabel = nullptr;
    QLabel* opisParametrowLabel = nullptr;
    QLineEdit* CMDTAdrEdit = nullptr;
    QLineEdit* CMDLengthEdit = nullptr;
    QComboBox* CMDComboBox = nullptr;
    QLineEdit* CMDParametersEdit = nullptr;
    QLineEdit* CMDCRC_H_Edit = nullptr;
    QLineEdit* CMDCRC_L_Edit = nullptr;
    QCheckBox* AutoCRCCheckBox = nullptr;
    QCheckBox* AutoRepeatCheckBox = nullptr;
    QMenu* TxFramePopupMenu = nullptr;
    QAction* TxFrameAddtolist = nullptr;
    QAction* TxFrameClearlist = nullptr;
    QAction* TxFrameSendframes = nullptr;
    QGroupBox* RxFrameGroup = nullptr;
    QCheckBox* HexCheckBox = nullptr;
    QCheckBox* DelBeforeSendCheckBox = nullptr;
    QCheckBox* ShowTXCheckBox = nullptr;
    TRxFrameGrid* RXFrameStringGrid = nullptr;
    QAction* MenuOpen = nullptr;
    QAction* MenuExit = nullptr;
    QAction* MenuSetUART = nullptr;
    QAction* MenuSetRepeatDelay = nullptr;
    QAction* MenuAbout = nullptr;

private:
    TAboutForm* AboutForm = nullptr;
    TSendDelayForm* SendDelayForm = nullptr;
};
