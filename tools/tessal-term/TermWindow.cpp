#include "TermWindow.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include "controls/CPortCtl.h"
#include "controls/CPortSetup.h"
#include "terminal/widget/CPortTrm.h"

namespace {

constexpr std::int32_t InputQueueSize = 64 * 1024;

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
    FTerminal->SetComPort(FComPort.get());
    FTerminal->installEventFilter(this);
    setCentralWidget(FTerminal);

    QMenu* portMenu = menuBar()->addMenu(QStringLiteral("&Port"));
    portMenu->addAction(QStringLiteral("&Setup..."), this, [this] { OnMenuPortSetup(); });
    FConnectAction = portMenu->addAction(QStringLiteral("&Connected"));
    FConnectAction->setCheckable(true);
    connect(FConnectAction, &QAction::triggered, this, [this](bool On) { OnMenuConnect(On); });
    portMenu->addSeparator();
    portMenu->addAction(QStringLiteral("E&xit"), QKeySequence::Quit, this, [this] { close(); });

    QMenu* termMenu = menuBar()->addMenu(QStringLiteral("&Terminal"));
    termMenu->addAction(QStringLiteral("&Settings..."), this,
                        [this] { FTerminal->ShowSetupDialog(); });
    termMenu->addAction(QStringLiteral("&Font..."), this, [this] { FTerminal->SelectFont(); });
    termMenu->addAction(QStringLiteral("&Clear screen"), this,
                        [this] { FTerminal->ClearScreen(); });
    termMenu->addAction(QStringLiteral("Save screen"), this, [this] { OnMenuSaveScreen(); });

    FPortLabel = new QLabel(statusBar());
    statusBar()->addWidget(FPortLabel, 1);
    AddLamp(statusBar(), *FComPort, lsConn, lkGreenLight, "Open");
    AddLamp(statusBar(), *FComPort, lsCTS, lkRedLight, "CTS");
    AddLamp(statusBar(), *FComPort, lsDSR, lkRedLight, "DSR");
    AddLamp(statusBar(), *FComPort, lsRLSD, lkRedLight, "RLSD");
    AddLamp(statusBar(), *FComPort, lsRing, lkYellowLight, "Ring");
    AddLamp(statusBar(), *FComPort, lsRx, lkGreenLight, "RX");
    AddLamp(statusBar(), *FComPort, lsTx, lkRedLight, "TX");

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
    // The terminal and the lamps let go of the port before it closes and goes.
    FTerminal->SetComPort(nullptr);
    delete FTerminal;
    FComPort.reset();
}

bool TTermWindow::eventFilter(QObject* Watched, QEvent* Event) {
    // After the layout has taken the terminal's new size.
    if (Watched == FTerminal && Event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, [this] { adjustSize(); });
    return QMainWindow::eventFilter(Watched, Event);
}

void TTermWindow::OpenPort() {
    try {
        FComPort->Open();
    } catch (const EComPort& E) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(E.Message()));
    }
}

void TTermWindow::UpdatePortState() {
    const bool open = FComPort->GetConnected();
    FConnectAction->setChecked(open);
    const QString name = QString::fromStdString(FComPort->GetPort());
    FPortLabel->setText(name.isEmpty()
                            ? QStringLiteral("No port")
                            : name + (open ? QStringLiteral(" open") : QStringLiteral(" closed")));
}

void TTermWindow::RunPortSetup() {
    try {
        EditComPort(*FComPort);
    } catch (const EComPort& E) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(E.Message()));
    }
}

void TTermWindow::OnMenuPortSetup() {
    RunPortSetup();
    // A port chosen for the first time is opened at once.
    if (!FComPort->GetConnected() && !FComPort->GetPort().empty())
        OpenPort();
    UpdatePortState();
}

void TTermWindow::OnMenuConnect(bool Checked) {
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
