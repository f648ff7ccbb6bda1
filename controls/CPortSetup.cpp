#include "controls/CPortSetup.h"

#include <memory>
#include <stdexcept>

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "controls/CPortComboBox.h"
#include "port/CPortComPort.h"

namespace {

// Sizes below are pixels at 96 dpi; a screen with larger text gets a larger dialog.
int Scaled(const QWidget& W, int Pixels) {
    const int Dpi = W.logicalDpiY();
    return Dpi > 96 ? Pixels * Dpi / 96 : Pixels;
}

QRect ScaledRect(const QWidget& W, int X, int Y, int Width, int Height) {
    return {Scaled(W, X), Scaled(W, Y), Scaled(W, Width), Scaled(W, Height)};
}

} // namespace

TComSetupFrm::TComSetupFrm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle(QStringLiteral("Setup"));
    QFont Font = font();
    Font.setPointSize(8);
    setFont(Font);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    GroupBox1 = new QGroupBox(QStringLiteral(" Settings "), this);
    QLabel** Labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6};
    const char* Captions[] = {"Port",      "Baud rate", "Data bits",
                              "Stop bits", "Parity",    "Flow control"};
    for (int I = 0; I < 6; ++I)
        *Labels[I] = new QLabel(QString::fromLatin1(Captions[I]), GroupBox1);
    TComComboBox** Combos[] = {&Combo2, &Combo3, &Combo4, &Combo5, &Combo6, &Combo1};
    for (TComComboBox** C : Combos)
        *C = new TComComboBox(GroupBox1);

    Button1->setGeometry(ScaledRect(*this, 70, 184, 75, 25));
    Button2->setGeometry(ScaledRect(*this, 150, 184, 75, 25));
    GroupBox1->setGeometry(ScaledRect(*this, 8, 8, 217, 169));
    TComComboBox* InTabOrder[] = {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6};
    const TComProperty Properties[] = {cpPort,     cpBaudRate, cpDataBits,
                                       cpStopBits, cpParity,   cpFlowControl};
    for (int I = 0; I < 6; ++I) {
        QLabel* Label = *Labels[I];
        TComComboBox* Combo = InTabOrder[I];
        Label->move(Scaled(*this, 8), Scaled(*this, 24 + 24 * I));
        Label->adjustSize();
        Label->setBuddy(Combo);
        Label->setAccessibleName(Label->text());
        Combo->setGeometry(ScaledRect(*this, 80, 16 + 24 * I, 129, 21));
        Combo->setAccessibleName(Label->text());
        Combo->SetComProperty(Properties[I]);
        Combo->SetAutoApply(false);
    }
    GroupBox1->setAccessibleName(GroupBox1->title().trimmed());
    Button1->setAccessibleName(Button1->text());
    Button2->setAccessibleName(Button2->text());

    // Enter anywhere confirms: the combo boxes pass it on to the default button.
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Combo3);
    setTabOrder(Combo3, Combo4);
    setTabOrder(Combo4, Combo5);
    setTabOrder(Combo5, Combo6);
    setTabOrder(Combo6, Button1);
    setTabOrder(Button1, Button2);

    setFixedSize(Scaled(*this, 231), Scaled(*this, 216));
}

void TComSetupFrm::showEvent(QShowEvent* Event) {
    if (const QScreen* Screen = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect Frame = frameGeometry();
        Frame.moveCenter(Screen->availableGeometry().center());
        move(Frame.topLeft());
    }
    Combo1->setFocus();
    QDialog::showEvent(Event);
}

void EditComPort(TCustomComPort& ComPort) {
    auto Form = std::make_unique<TComSetupFrm>();
    TComComboBox* Combos[] = {Form->Combo1, Form->Combo2, Form->Combo3,
                              Form->Combo4, Form->Combo5, Form->Combo6};
    for (TComComboBox* Combo : Combos)
        Combo->SetComPort(&ComPort);
    for (TComComboBox* Combo : Combos)
        Combo->UpdateSettings();
    if (Form->exec() != QDialog::Accepted)
        return;
    ComPort.BeginUpdate();
    try {
        for (TComComboBox* Combo : Combos)
            Combo->ApplySettings();
    } catch (...) {
        // Left unbalanced, the port would never configure its device again.
        try {
            ComPort.EndUpdate();
        } catch (...) {
            // The first failure is the one the caller hears about.
        }
        throw;
    }
    ComPort.EndUpdate();
}

void EditComPort(TCustomComPort* ComPort) {
    if (ComPort == nullptr)
        throw std::invalid_argument("EditComPort needs a port");
    EditComPort(*ComPort);
}

void InstallComSetupDialog() {
    TCustomComPort::SetSetupDialogHook([](TCustomComPort* ComPort) {
        if (ComPort != nullptr)
            EditComPort(*ComPort);
    });
}
