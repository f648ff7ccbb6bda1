#include "TermWindow.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include "controls/CPortCtl.h"
#include "controls/CPortSetup.h"
#include "framework/Synchronize.h"
#include "platform/registry/Registry.h"
#include "platform/serial/DeviceName.h"
#include "platform/serial/VirtualBackend.h"
#include "terminal/widget/CPortTrm.h"

namespace {

constexpr std::int32_t InputQueueSize = 64 * 1024;
// Long enough for a person to see a single byte pass.
constexpr int LampMinOnMs = 50;
// A device that is back but cannot be opened yet (udev still setting its permissions) is tried
// again after this pause, not in a loop.
constexpr int RewatchMs = 1000;
constexpr const char* SettingsKey = "\\Software\\Tessal\\tessal-term";
constexpr const char* ReconnectValue = "Reconnect";

QString Words(const std::string& Text) {
    return QString::fromLocal8Bit(Text.c_str());
}

// The port's problem in words, then the component's own message between Open and Close.
QString FailureText(const std::string& Port, const std::exception& E, const char* Open,
                    const char* Close) {
    const auto* port = dynamic_cast<const EComPort*>(&E);
    if (port == nullptr)
        return Words(E.what());
    return Words(PortFailureInWords(Port, *port)) + QLatin1String(Open) + Words(port->Message()) +
           QLatin1String(Close);
}

bool IsModifierKey(int Key) {
    switch (Key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return true;
    default:
        return false;
    }
}

// One lamp with its caption beside it in the status bar.
void AddLamp(QStatusBar* Bar, TComPort& Port, TComLedSignal Signal, TLedKind Kind,
             const char* Caption) {
    auto* box = new QWidget(Bar);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* lamp = new TComLed(box);
    lamp->SetLedSignal(Signal);
    lamp->SetKind(Kind);
    lamp->SetComPort(&Port);
    lamp->SetMinOnTime(LampMinOnMs);
    lamp->setAccessibleName(QString::fromLatin1(Caption));
    lamp->setToolTip(QString::fromLatin1(Caption));
    layout->addWidget(lamp);
    layout->addWidget(new QLabel(QString::fromLatin1(Caption), box));
    Bar->addPermanentWidget(box);
}

} // namespace

TTermWindow::TTermWindow(const QString& Port, const QString& Flow, QWidget* Parent)
    : QMainWindow(Parent), FComPort(std::make_unique<TComPort>()) {
    setWindowTitle(QStringLiteral("tessal-term"));
    // A screenful of escape sequences arrives in one burst from a program on a pseudo-terminal;
    // the receive queue holds several, so the display keeps up without an overrun.
    FComPort->GetBuffer().SetInputSize(InputQueueSize);
    if (!Flow.isEmpty())
        FComPort->GetFlowControl().SetFlowControl(StrToFlowControl(Flow.toStdString()));

    FTerminal = new TComTerminal(this);
    FTerminal->SetAutoSize(true);
    // A serial console runs full-screen programs: a VT102 (wrapping on), TERM=vt102 remotely.
    FTerminal->SetEmulation(teVT102);
    FTerminal->SetComPort(FComPort.get());
    FTerminal->installEventFilter(this);
    setCentralWidget(FTerminal);
    FComPort->OnDeviceLost = [this](TObject*, std::int32_t Errno) { DeviceLost(Errno); };

    QMenu* portMenu = menuBar()->addMenu(QStringLiteral("&Port"));
    portMenu->addAction(QStringLiteral("&Setup..."), this, [this] { OnMenuPortSetup(); });
    FConnectAction = portMenu->addAction(QStringLiteral("&Connected"));
    FConnectAction->setCheckable(true);
    connect(FConnectAction, &QAction::triggered, this, [this](bool On) { OnMenuConnect(On); });
    FReconnectAction = portMenu->addAction(QStringLiteral("Reconnect automatically"));
    FReconnectAction->setObjectName(QStringLiteral("ReconnectAction"));
    FReconnectAction->setCheckable(true);
    FReconnectAction->setChecked(true);
    connect(FReconnectAction, &QAction::triggered, this, [this](bool On) { OnMenuReconnect(On); });
    portMenu->addSeparator();
    portMenu->addAction(QStringLiteral("E&xit"), QKeySequence::Quit, this, [this] { close(); });

    QMenu* termMenu = menuBar()->addMenu(QStringLiteral("&Terminal"));
    termMenu->addAction(QStringLiteral("&Settings..."), this,
                        [this] { FTerminal->ShowSetupDialog(); });
    termMenu->addAction(QStringLiteral("&Font..."), this, [this] { FTerminal->SelectFont(); });
    termMenu->addAction(QStringLiteral("&Clear screen"), this,
                        [this] { FTerminal->ClearScreen(); });
    termMenu->addAction(QStringLiteral("Save screen"), this, [this] { OnMenuSaveScreen(); });

    // Events go to the status bar's message on the left; the port's state stays beside the lamps.
    FPortLabel = new QLabel(statusBar());
    statusBar()->addPermanentWidget(FPortLabel);
    AddLamp(statusBar(), *FComPort, lsConn, lkGreenLight, "Open");
    AddLamp(statusBar(), *FComPort, lsCTS, lkRedLight, "CTS");
    AddLamp(statusBar(), *FComPort, lsDSR, lkRedLight, "DSR");
    AddLamp(statusBar(), *FComPort, lsRLSD, lkRedLight, "RLSD");
    AddLamp(statusBar(), *FComPort, lsRing, lkYellowLight, "Ring");
    AddLamp(statusBar(), *FComPort, lsRx, lkGreenLight, "RX");
    AddLamp(statusBar(), *FComPort, lsTx, lkRedLight, "TX");
    LoadReconnectChoice();

    if (Port.isEmpty()) {
        RunPortSetup();
    } else {
        FComPort->SetPort(Port.toStdString());
    }
    if (!FComPort->GetPort().empty())
        OpenPort();
    UpdatePortState();
    FTerminal->setFocus();
}

TTermWindow::~TTermWindow() {
    FWatcher.Stop();
    RemoveQueuedEvents(this);
    FComPort->OnDeviceLost = nullptr;
    // The terminal and the lamps let go of the port before it closes and goes.
    FTerminal->SetComPort(nullptr);
    delete FTerminal;
    FComPort.reset();
}

bool TTermWindow::eventFilter(QObject* Watched, QEvent* Event) {
    // After the layout has taken the terminal's new size.
    if (Watched == FTerminal && Event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, [this] { adjustSize(); });
    if (Watched == FTerminal && Event->type() == QEvent::KeyPress && !FComPort->GetConnected() &&
        !IsModifierKey(static_cast<QKeyEvent*>(Event)->key())) {
        const QString port = FComPort->GetPort().empty()
                                 ? QStringLiteral("No port")
                                 : ShownPortName() + (FLost ? QStringLiteral(" disconnected")
                                                            : QStringLiteral(" closed"));
        statusBar()->showMessage(port + QStringLiteral(": keystrokes are not sent"));
        return true;
    }
    return QMainWindow::eventFilter(Watched, Event);
}

void TTermWindow::OpenAndIdentify() {
    FComPort->Open();
    FIdentity = IdentifyDevice(FComPort->GetPort());
    FLost = false;
}

void TTermWindow::OpenPort() {
    try {
        OpenAndIdentify();
    } catch (const std::exception& E) {
        QMessageBox::warning(this, windowTitle(), FailureText(FComPort->GetPort(), E, "\n\n", ""));
    }
}

QString TTermWindow::ShownPortName() const {
    const std::string name = SerialDeviceName(FComPort->GetPort());
    bool isVirtual = false;
    VirtualDevicePresent(name, isVirtual);
    const std::string path = SerialDevicePath(name);
    return Words(isVirtual || path.empty() ? name : path); // a network port has no file
}

void TTermWindow::DeviceLost(std::int32_t Errno) {
    try {
        FComPort->Close();
    } catch (const std::exception&) {
        // The device is gone; what its close says adds nothing.
    }
    FLost = true;
    UpdatePortState();
    statusBar()->showMessage(Words(PortProblemInWords(FComPort->GetPort(), Errno, ppLost)));
    WatchForTheDevice();
}

void TTermWindow::WatchForTheDevice() {
    if (!FLost || !FReconnectAction->isChecked() || FComPort->GetConnected())
        return;
    // The watcher's thread hands the news over and never waits for this one.
    const bool watching = FWatcher.Start(FIdentity, [this](const std::string& Name) {
        Queue([this, Name] { Reconnect(Name); }, this);
    });
    if (!watching)
        QTimer::singleShot(RewatchMs, this, [this] { WatchForTheDevice(); });
}

void TTermWindow::Reconnect(const std::string& NameToOpen) {
    if (!FLost || !FReconnectAction->isChecked() || FComPort->GetConnected())
        return;
    const std::string given = FComPort->GetPort();
    try {
        // The same adapter plugged in elsewhere is opened by its new name.
        if (NameToOpen != given)
            FComPort->SetPort(NameToOpen);
        OpenAndIdentify();
    } catch (const std::exception& E) {
        FComPort->SetPort(given);
        statusBar()->showMessage(FailureText(given, E, " (", ")"));
        QTimer::singleShot(RewatchMs, this, [this] { WatchForTheDevice(); });
        return;
    }
    UpdatePortState();
    statusBar()->showMessage(ShownPortName() + QStringLiteral(" reconnected"));
}

void TTermWindow::LoadReconnectChoice() {
    try {
        TRegistry registry(HKEY_CURRENT_USER);
        if (registry.OpenKeyReadOnly(SettingsKey) && registry.ValueExists(ReconnectValue))
            FReconnectAction->setChecked(registry.ReadInteger(ReconnectValue) != 0);
    } catch (const std::exception&) {
        // An unreadable choice leaves the default; storing it again reports the problem.
    }
}

void TTermWindow::StoreReconnectChoice() {
    try {
        TRegistry registry(HKEY_CURRENT_USER);
        if (!registry.OpenKey(SettingsKey, true))
            throw ERegistryError(registry.GetLastError(), SettingsKey);
        registry.WriteInteger(ReconnectValue, FReconnectAction->isChecked() ? 1 : 0);
    } catch (const std::exception& E) {
        statusBar()->showMessage(QStringLiteral("The choice is not kept: ") + Words(E.what()));
    }
}

void TTermWindow::OnMenuReconnect(bool Checked) {
    StoreReconnectChoice();
    if (Checked)
        WatchForTheDevice();
    else
        FWatcher.Stop();
}

void TTermWindow::UpdatePortState() {
    const bool open = FComPort->GetConnected();
    FConnectAction->setChecked(open);
    FPortLabel->setText(FComPort->GetPort().empty()
                            ? QStringLiteral("No port")
                            : ShownPortName() +
                                  (open ? QStringLiteral(" open") : QStringLiteral(" closed")));
}

void TTermWindow::RunPortSetup() {
    try {
        EditComPort(*FComPort);
    } catch (const EComPort& E) {
        QMessageBox::warning(this, windowTitle(), FailureText(FComPort->GetPort(), E, "\n\n", ""));
    }
}

void TTermWindow::OnMenuPortSetup() {
    // The user takes the port in hand: a watch for a lost device ends.
    FWatcher.Stop();
    FLost = false;
    statusBar()->clearMessage();
    RunPortSetup();
    // A port chosen for the first time is opened at once.
    if (!FComPort->GetConnected() && !FComPort->GetPort().empty())
        OpenPort();
    UpdatePortState();
}

void TTermWindow::OnMenuConnect(bool Checked) {
    FWatcher.Stop();
    FLost = false;
    statusBar()->clearMessage();
    if (Checked) {
        OpenPort();
    } else {
        try {
            FComPort->Close();
        } catch (const EComPort& E) {
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(E.Message()));
        }
    }
    UpdatePortState();
}

void TTermWindow::OnMenuSaveScreen() {
    const QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save screen"), QString(), QStringLiteral("Text files (*.txt)"));
    if (!fileName.isEmpty())
        SaveScreen(fileName);
}

bool TTermWindow::SaveScreen(const QString& FileName) {
    TMemoryStream stream;
    FTerminal->SaveToStream(stream);
    QFile file(FileName);
    const auto size = static_cast<qint64>(stream.GetSize());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(stream.GetMemory()), size) != size) {
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral("Cannot write %1: %2").arg(FileName, file.errorString()));
        return false;
    }
    return true;
}
