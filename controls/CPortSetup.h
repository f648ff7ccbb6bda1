// The port setup dialog: port name, baud rate, data bits, stop bits, parity and flow control of
// one port, written to the port only when the user confirms.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class TComComboBox;
class TCustomComPort;

class TComSetupFrm : public QDialog {
    Q_OBJECT

public:
    // Fills the six lists; the port list comes from EnumComPorts now, whose failure passes to
    // the caller.
    explicit TComSetupFrm(QWidget* Parent = nullptr);

    QPushButton* Button1;
    QPushButton* Button2;
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    TComComboBox* Combo2;
    TComComboBox* Combo3;
    TComComboBox* Combo4;
    TComComboBox* Combo5;
    TComComboBox* Combo6;
    TComComboBox* Combo1;

protected:
    void showEvent(QShowEvent* Event) override;
};

// Shows the dialog for ComPort, modally. On OK the six settings are written between the port's
// BeginUpdate and EndUpdate, so an open device is reconfigured once; an exception from the
// port passes to the caller. On Cancel nothing is written.
void EditComPort(TCustomComPort& ComPort);
// The same; a null port is a caller's mistake and raises std::invalid_argument.
void EditComPort(TCustomComPort* ComPort);

// Makes every port's ShowSetupDialog open this dialog. Call once at start-up, before the
// first ShowSetupDialog (the port layer raises EComPort while no dialog is installed).
void InstallComSetupDialog();
