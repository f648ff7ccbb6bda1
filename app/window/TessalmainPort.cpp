// The window's port: its settings at start-up and by "Setup" -> "COM", opening it, and a device
// that goes away and comes back. Every problem is told in words that name the port, followed by
// the component's own message; a device that went away is told once, in the status bar.
#include "app/window/Tessalmain.h"

#include "app/core/NetworkPortHistory.h"
#include "controls/CPortSelect.h"
#include "framework/Synchronize.h"

#include <QAction>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>

namespace {

// A failed watch is started again after this pause, so a device that is there but cannot be
// opened (udev still setting its permissions) is not retried in a loop.
constexpr int kRewatchMs = 1000;

// Network ports once opened are offered in the Port box beside the local devices.
void OfferNetworkPorts(const std::string& Opened = {}) {
    TNetworkPortHistory History(std::string(kPortSettingsPath) + "\\NetworkPorts");
    if (History.Remember(Opened))
        History.Store();
    SetOfferedPortNames(History.Names());
}

} // namespace

void TTessalForm::RestorePortSettings() {
    OfferNetworkPorts();
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

std::string TTessalForm::PortProblemText(const std::exception& e) const {
    const auto* port = dynamic_cast<const EComPort*>(&e);
    if (port == nullptr) {
        return e.what();
    }
    return PortFailureInWords(ComPort.GetPort(), *port) + " (" + e.what() + ")";
}

bool TTessalForm::TryOpenPort() {
    ComPort.Open();
    PortIdentity = IdentifyDevice(ComPort.GetPort());
    OfferNetworkPorts(ComPort.GetPort());
    if (!Workbench.GetConnected()) {
        ApplyOutcome(Workbench.DeviceBack(PortName() + " reconnected"));
    }
    return true;
}

void TTessalForm::OpenPort() {
    try {
        TryOpenPort();
    } catch (const std::exception& e) {
        QString text = QString::fromLocal8Bit(e.what());
        if (const auto* port = dynamic_cast<const EComPort*>(&e)) {
            text = QString::fromLocal8Bit(PortFailureInWords(ComPort.GetPort(), *port).c_str()) +
                   "\n\n" + text;
        }
        QMessageBox box(QMessageBox::Warning, "Tessal", text + "\n\n" + kCantOpenUartText,
                        QMessageBox::Ok, this);
        box.setObjectName("OpenFailureBox");
        box.exec();
        ApplyOutcome(Workbench.PortOpenFailed());
    }
}

void TTessalForm::OnMenuSetUARTClick() {
    // The user chooses the port now: a watch for the old one ends.
    Watcher.Stop();
    ApplyOutcome(Workbench.StopForPortSetup());
    ComPort.Close();
    try {
        ComPort.ShowSetupDialog();
    } catch (...) {
        // Without a dialog the port goes back as it was instead of staying closed.
        OpenPort();
        throw;
    }
    ComPort.StoreSettings(stRegistry, kPortSettingsKey);
    Guarded([this] { StoreOptions(); });
    ApplyOutcome(Workbench.PortSetupDone());
    OpenPort();
}

std::string TTessalForm::PortName() const {
    const std::string& name = ComPort.GetPort();
    return name.find('/') == std::string::npos && !PortIdentity.Virtual ? "/dev/" + name : name;
}

void TTessalForm::ComPortDeviceLost(TObject*, std::int32_t Errno) {
    if (!Workbench.GetConnected()) {
        return; // told once, whichever way it was noticed first
    }
    try {
        ComPort.Close();
    } catch (const std::exception&) {
        // The device is gone; what its close says adds nothing.
    }
    ApplyOutcome(Workbench.DeviceLost(PortProblemInWords(ComPort.GetPort(), Errno, ppLost)));
    WatchForTheDevice();
}

void TTessalForm::WatchForTheDevice() {
    if (!MenuReconnect->isChecked() || Workbench.GetConnected()) {
        return;
    }
    // The news is handed to the GUI thread; the watcher's thread never waits for it.
    Watcher.Start(PortIdentity, [this](const std::string& name) {
        Queue([this, name] { Reconnect(name); }, this);
    });
}

void TTessalForm::Reconnect(const std::string& name) {
    if (Workbench.GetConnected() || !MenuReconnect->isChecked()) {
        return;
    }
    const std::string given = ComPort.GetPort();
    try {
        // The same device under another name (a USB adapter plugged in elsewhere) is opened by
        // that name; the settings are the port's own, unchanged.
        if (name != given) {
            ComPort.SetPort(name);
        }
        TryOpenPort();
    } catch (const std::exception& e) {
        ComPort.SetPort(given);
        SetStatus(PortProblemText(e));
        QTimer::singleShot(kRewatchMs, this, [this] { WatchForTheDevice(); });
    }
}

void TTessalForm::PortStepFailed(const std::exception& e) {
    const auto* port = dynamic_cast<const EComPort*>(&e);
    if (port != nullptr && IsDeviceLostError(port->GetErrno())) {
        // A device that went away under a write is told as its loss, not as a failure a box
        // would repeat at every period. The step may have run in one of the port's own handlers
        // (RTS lowered at transmit-empty, a read), where the port cannot close: the loss is
        // handled once that has returned.
        const std::int32_t error = port->GetErrno();
        QMetaObject::invokeMethod(
            this, [this, error] { ComPortDeviceLost(&ComPort, error); }, Qt::QueuedConnection);
        return;
    }
    ApplyOutcome(Workbench.PortFailed(PortProblemText(e)));
}
