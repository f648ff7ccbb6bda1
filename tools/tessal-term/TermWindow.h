// The terminal program's window: a terminal on one port, menus for the port's set-up, the
// terminal's settings and font, clearing and saving the screen, and lamps for the modem lines.
//
// A device that goes away closes the port and is told once in the status bar; with "Reconnect
// automatically" (stored per user) the same device is opened again, with the same settings, when
// it comes back. Keys typed while the port is closed are refused in the status bar.
#pragma once

#include <QMainWindow>
#include <memory>

#include "platform/serial/DeviceWatch.h"
#include "port/CPort.h"

class QAction;
class QLabel;
class TComLed;
class TComTerminal;

class TTermWindow : public QMainWindow {
    Q_OBJECT
public:
    // Port names the device to open at once, with the flow control given by its text ("None",
    // "Hardware", "Software"; empty keeps the port's own); an empty Port shows the port set-up
    // dialog first.
    explicit TTermWindow(const QString& Port, const QString& Flow = QString(),
                         QWidget* Parent = nullptr);
    ~TTermWindow() override;

    TComTerminal* Terminal() const { return FTerminal; }
    TComPort& ComPort() { return *FComPort; }

    // Writes the screen as text to FileName; false (with a message box) when it cannot.
    bool SaveScreen(const QString& FileName);

protected:
    // The window follows the terminal's size (132 or 80 columns, a new font); keys typed while
    // the port is closed are refused.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void OnMenuPortSetup();
    // The component set's port dialog; a failure to apply it is shown in a warning box.
    void RunPortSetup();
    void OnMenuConnect(bool Checked);
    void OnMenuReconnect(bool Checked);
    void OnMenuSaveScreen();
    // Opens the port; a failure is shown in a warning box and leaves it closed.
    void OpenPort();
    // Opens the port and remembers which device it is, for its return after a loss.
    void OpenAndIdentify();
    void UpdatePortState();
    void DeviceLost(std::int32_t Errno);
    void WatchForTheDevice();
    void Reconnect(const std::string& NameToOpen);
    // The port as the user knows it: its device path, or a virtual device's name.
    QString ShownPortName() const;
    void LoadReconnectChoice();
    void StoreReconnectChoice();

    std::unique_ptr<TComPort> FComPort;
    TComTerminal* FTerminal;
    QAction* FConnectAction;
    QAction* FReconnectAction;
    QLabel* FPortLabel;
    TDeviceIdentity FIdentity;
    TDeviceWatcher FWatcher;
    // The device went away and the user has not taken the port in hand since.
    bool FLost = false;
};
