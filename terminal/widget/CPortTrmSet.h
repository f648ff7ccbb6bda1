// The terminal settings dialog: echo and line-feed handling, wrapping, 7-bit data, caret shape,
// emulation, screen size and the role of the cursor keys of one terminal. The terminal changes
// only when the dialog is confirmed.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TCustomComTerminal;

class TComTrmSetForm : public QDialog {
    Q_OBJECT
public:
    explicit TComTrmSetForm(QWidget* Parent = nullptr);

    // The terminal's options into the controls. A caret of tcNone leaves ComboBox1 without a
    // selection, since the list has no entry for it.
    void ReadFrom(const TCustomComTerminal& ComTerminal);
    // The controls into the terminal, in the order the setters expect: the flags, Caret and
    // Emulation through their setters, then the screen size (non-numbers give 80 and 24), then
    // ArrowKeys. No selection in ComboBox1 gives a terminal without a caret.
    void ApplyTo(TCustomComTerminal& ComTerminal) const;

    QGroupBox* GroupBox1;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    QGroupBox* GroupBox2;
    QLabel* Label1;
    QComboBox* ComboBox1;
    QLabel* Label2;
    QComboBox* ComboBox2;
    QLabel* Label3;
    QLineEdit* Edit1;
    QLabel* Label4;
    QLineEdit* Edit2;
    QLabel* Label5;
    QComboBox* ComboBox3;
    QPushButton* Button1;
    QPushButton* Button2;
};

// Shows the dialog modally for ComTerminal and applies it when confirmed with OK.
void EditComTerminal(TCustomComTerminal* ComTerminal);

// A decimal integer as the dialog's edit boxes read it (blanks around it allowed, an optional
// sign), or Default for anything else, out-of-range numbers included.
int TrmSetTextToInt(const QString& Text, int Default);
