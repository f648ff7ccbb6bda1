// The workbench's main window TTessalForm: the frame editor, the send controls, the UART lamps,
// the received-frames grid and the menus, over one port ComPort.
//
// The workbench itself is TWorkbench (app/core, no Qt): each handler here hands it what happened
// (a field's text, a click, the bytes the port delivered with their time, a timer) and applies
// the outcome it returns to the widgets, the timers and the port (ApplyOutcome).
//
// Threads: everything runs on the GUI thread. Port events arrive there through the framework's
// GUI queue (smThreadSync); the repeat timer's ticks are queued to it without waiting, so killing
// the timer from the GUI thread never waits on a tick that waits for the GUI thread.
#pragma once

#include "app/core/Workbench.h"
#include "app/window/RxFrameGrid.h"
#include "framework/Application.h"
#include "app/core/StoredSettings.h"
#include "platform/registry/Registry.h"
#include "platform/serial/DeviceWatch.h"
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
class QScrollArea;
class TComLed;
class TAboutForm;
class TSendDelayForm;
class TStatisticsPanel;
class TTrafficRecords;

inline constexpr const char* kCantOpenUartText = "Can't open UART.";
// What the editor shows while no command is defined (UTF-8).
inline constexpr const char* kFirstStartHelpText =
    "Open a command-definition file: File \u2192 Open (Ctrl+O)";
// Grid rows the window shows at its start size.
inline constexpr int kStartGridRows = 12;
// An export of more rows shows its progress and may be cancelled.
inline constexpr std::int32_t kExportProgressRows = 100000;

struct TTessalOptions {
    // Port name used instead of the stored one ("" keeps the settings' own); on the first start
    // the setup dialog offers it.
    std::string PortName;
};

class TTessalForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TTessalForm(const TTessalOptions& options = {}, QWidget* parent = nullptr);
    ~TTessalForm() override;

    // The repeat-period dialog's new period; a running repetition goes on at it.
    void SetRepeatPeriod(std::int32_t ms);
    void SetDialogs(TAboutForm* about, TSendDelayForm* sendDelay);

    // For the window's users and tests: what a person reads.
    QString StatusText() const;
    TRxFrameGrid* Grid() const { return RXFrameStringGrid; }
    TCustomComPort& Port() { return ComPort; }
    const TWorkbench& Bench() const { return Workbench; }
    bool Repeating() const { return Workbench.GetRepeating(); }
    std::uint32_t GetRepeatTimerId() const { return RepeatTimerId; }
    const std::string& GetAppDir() const { return AppDir; }

signals:
    // Every message the status bar shows, as it is shown.
    void StatusChanged(const QString& text);

public:
protected:
    // Start-up's port-settings step: loads the stored settings, or on the first start (no key)
    // asks for them with the setup dialog and stores what it left. A failure to load or store
    // ends start-up: the constructor raises.
    void RestorePortSettings();

    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The time of the port event being handled; now when the port gives none.
    TWorkbenchTime PortEventTime() const;
    // Layout (TessalmainLayout.cpp).
    void BuildWindow();
    QWidget* BuildTopRow();
    QGroupBox* BuildTxFrameGroup();
    QGroupBox* BuildRxFrameGroup();
    void BuildMenus();
    void BuildRecordsMenus(QMenu* file, QAction* before, QMenu* view);
    // The minimum size at which every control is usable, and a start size that shows at least
    // kStartGridRows rows of the grid; below the minimum the content scrolls.
    void FitWindowSize();
    void SetUpPort();
    // What the destructor undoes; also run when start-up fails after the window was built.
    void ReleaseWindow();
    // The workbench's options under the settings key (TessalmainOptions.cpp): the answer
    // time-out, "Wait for the answer", and reconnection beside the port's own settings.
    void LoadOptions();
    void StoreOptions();

public:
    // Start-up and window-level actions.
    void LoadStartFile();
    void OpenPort();
    void OnMenuOpenFileClick();
    void OnMenuExitClick();
    void OnMenuSetUARTClick();
    void OnMenuSetRepeatDelayClick();
    void OnMenuAnswerTimeoutClick();
    void OnMenuWaitForAnswerClick();
    void OnMenuReconnectClick();
    void OnMenuAboutClick();
    // Time and records (TessalmainRecords.cpp).
    void OnMenuExportRowsClick();
    void OnMenuRecordTrafficClick();
    void OnMenuOpenCaptureClick();
    void OnMenuTimeColumnsClick();
    // Writes every row to a CSV file at path, through a temporary file; false when it failed
    // or was cancelled (the status bar says which), leaving no file behind.
    bool ExportRows(const std::string& path);
    // Starts or stops recording the traffic, as the menu's check says; path is the file.
    void RecordTraffic(bool on, const std::string& path = {});
    // Replays a capture into the emptied grid.
    void OpenCapture(const std::string& path, bool atPace);
    TStatisticsPanel* Statistics() const { return StatisticsPanel; }
    TTrafficRecords& Records() { return *TrafficRecords; }
    void FormResize();
    void FormClose();

    // Frame editor handlers.
    void CMDTAdrEditChange();
    void CMDComboBoxChange();
    void CMDParametersEditChange();
    void CMDCRC_H_EditChange();
    void CMDCRC_L_EditChange();
    void AutoCRCCheckBoxClick();

    // Sending (TessalmainSend.cpp).
    void OnButtonSendFrame();
    void OnCheckBoxAutoRepeat();
    void TxFrameAddtolistClick();
    void TxFrameClearlistClick();
    void TxFrameSendframesClick();
    // The TX frame menu opened from the keyboard beside the control from.
    void ShowTxFramePopup(QWidget* from);
    void ComPortDoTxEmpty(TObject* Sender);
    // The device went away (TessalmainPort.cpp): the port closes, the workbench stops and says
    // so, and with "Reconnect automatically" a watch waits for the same device to come back.
    void ComPortDeviceLost(TObject* Sender, std::int32_t Errno);

    // Reception and the grid.
    void ComPortRxChar(TObject* Sender, std::int32_t Count);
    void UARTTimeoutTimer();
    void TimeForDataTimerTimer();
    void RXFramesDeleteallClick();

    // Applies what the workbench returned: widgets, timers, then the port steps (whose results
    // go back to the workbench and are applied in turn).
    void ApplyOutcome(const TWorkbenchOutcome& outcome);

private:
    void ApplyWidgets(const TWorkbenchOutcome& outcome);
    // Without a command to describe, the editor shows how to load some instead.
    void ShowFirstStartHelp(bool show);
    // A key or context-menu event from a control of the "TX frame" group that asks for its menu.
    bool AsksForTxFrameMenu(QObject* watched, QEvent* event) const;
    // Opens the port and knows its device again; raises what Open raises.
    bool TryOpenPort();
    // A port step raised: the device's loss, or a failure in words with the component's text.
    void PortStepFailed(const std::exception& e);
    std::string PortProblemText(const std::exception& e) const;
    // The port as a user knows it: a bare name as its /dev path.
    std::string PortName() const;
    void WatchForTheDevice();
    void Reconnect(const std::string& name);
    void ApplyTimer(const TTimerCommand& command);
    void ApplyPort(const std::vector<TPortCommand>& steps);
    void WritePort(const std::vector<std::uint8_t>& frame);
    void StartRepeatTimer(std::int32_t periodMs, std::uint32_t token);
    void KillRepeatTimer();
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

    TTessalOptions Options;
    double Scale = 1.0;
    std::string AppDir;
    TWorkbench Workbench{AppDir};
    TRxFramesModel RowsModel{Workbench.Rows()};
    // The port's bytes of one receive event, kept to spare an allocation per event.
    std::vector<std::uint8_t> RxChunk;
    TComPort ComPort;
    std::unique_ptr<TTrafficRecords> TrafficRecords;
    // Kept for the window's lifetime; the port's settings store opens its own.
    TRegistry Registry{HKEY_CURRENT_USER};

    std::uint32_t RepeatTimerId = 0;
    bool Releasing = false;
    // The device as it was when the port last opened, and the watch for its return.
    TDeviceIdentity PortIdentity;
    TDeviceWatcher Watcher;

public:
    QTimer UARTTimeout;
    QTimer TimeForDataTimer;

    // Widgets, owned by the window.
    QScrollArea* ContentScroller = nullptr;
    QLabel* StatusLabel = nullptr;
    QLabel* BannerImage = nullptr;
    QGroupBox* UartGroup = nullptr;
    TComLed* ComLed1 = nullptr;
    TComLed* RxComLed = nullptr;
    QPushButton* SendFrameBitBtn = nullptr;
    QGroupBox* TxFrameGroup = nullptr;
    QLabel* opisRozkazuLabel = nullptr;
    QLabel* opisParametrowLabel = nullptr;
    QLabel* FirstStartLabel = nullptr;
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
    QMenu* FrameMenu = nullptr;
    QAction* MenuStopRepeat = nullptr;
    QGroupBox* RxFrameGroup = nullptr;
    QCheckBox* HexCheckBox = nullptr;
    QCheckBox* DelBeforeSendCheckBox = nullptr;
    QCheckBox* ShowTXCheckBox = nullptr;
    TRxFrameGrid* RXFrameStringGrid = nullptr;
    QAction* MenuOpen = nullptr;
    QAction* MenuExit = nullptr;
    QAction* MenuSetUART = nullptr;
    QAction* MenuSetRepeatDelay = nullptr;
    QAction* MenuAnswerTimeout = nullptr;
    QAction* MenuWaitForAnswer = nullptr;
    QAction* MenuReconnect = nullptr;
    QAction* MenuAbout = nullptr;
    QAction* MenuExportRows = nullptr;
    QAction* MenuRecordTraffic = nullptr;
    QAction* MenuOpenCapture = nullptr;
    QAction* MenuShowTime = nullptr;
    QAction* MenuShowAnswerTime = nullptr;
    QAction* MenuStatistics = nullptr;
    TStatisticsPanel* StatisticsPanel = nullptr;

private:
    TAboutForm* AboutForm = nullptr;
    TSendDelayForm* SendDelayForm = nullptr;
};
