#include "terminal/widget/CPortTrmSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/widget/CPortTrm.h"

namespace {

QCheckBox* NewCheckBox(const char* Caption, QWidget* Parent) {
    auto* box = new QCheckBox(QString::fromLatin1(Caption), Parent);
    box->setAccessibleName(box->text());
    return box;
}

// A label names the control it stands before, for the keyboard and for assistive tools.
QLabel* NewLabel(const char* Caption, QWidget* Buddy, QWidget* Parent) {
    auto* label = new QLabel(QString::fromLatin1(Caption), Parent);
    label->setBuddy(Buddy);
    Buddy->setAccessibleName(label->text());
    return label;
}

QComboBox* NewDropDownList(std::initializer_list<const char*> Items, QWidget* Parent) {
    auto* combo = new QComboBox(Parent);
    for (const char* item : Items)
        combo->addItem(QString::fromLatin1(item));
    return combo;
}

} // namespace

TComTrmSetForm::TComTrmSetForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle(QStringLiteral("Setup"));
    setAccessibleName(windowTitle());

    GroupBox1 = new QGroupBox(QStringLiteral(" ASCII Settings "), this);
    GroupBox1->setAccessibleName(GroupBox1->title().trimmed());
    CheckBox1 = NewCheckBox("Echo typed charachters locally", GroupBox1);
    CheckBox2 = NewCheckBox("Send line feeds with carriage return", GroupBox1);
    CheckBox3 = NewCheckBox("Wrap lines that exceed terminal width", GroupBox1);
    CheckBox4 = NewCheckBox("Force incoming data to 7 bit ASCII", GroupBox1);
    CheckBox5 = NewCheckBox("Append line feeds to incoming carriage return", GroupBox1);
    auto* ascii = new QVBoxLayout(GroupBox1);
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5})
        ascii->addWidget(box);

    GroupBox2 = new QGroupBox(QStringLiteral(" Terminal Settings "), this);
    GroupBox2->setAccessibleName(GroupBox2->title().trimmed());
    // Item positions are the enumerations' ordinals.
    ComboBox1 = NewDropDownList({"Block", "Underline"}, GroupBox2);
    ComboBox2 = NewDropDownList({"ANSI/VT100", "VT52", "None", "VT102"}, GroupBox2);
    ComboBox3 = NewDropDownList({"Act as terminal keys", "Act as windows keys"}, GroupBox2);
    Edit1 = new QLineEdit(GroupBox2);
    Edit2 = new QLineEdit(GroupBox2);
    Label1 = NewLabel("Caret", ComboBox1, GroupBox2);
    Label2 = NewLabel("Emulation", ComboBox2, GroupBox2);
    Label3 = NewLabel("Columns", Edit1, GroupBox2);
    Label4 = NewLabel("Rows", Edit2, GroupBox2);
    Label5 = NewLabel("Cursor keys", ComboBox3, GroupBox2);
    auto* grid = new QGridLayout(GroupBox2);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(ComboBox1, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(ComboBox2, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(Edit1, 2, 1);
    grid->addWidget(Label4, 2, 2);
    grid->addWidget(Edit2, 2, 3);
    grid->addWidget(Label5, 3, 0);
    grid->addWidget(ComboBox3, 3, 1, 1, 3);
    grid->setColumnStretch(4, 1);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setDefault(true);
    Button1->setAccessibleName(Button1->text());
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setAccessibleName(Button2->text());
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* form = new QVBoxLayout(this);
    form->addWidget(GroupBox1);
    form->addWidget(GroupBox2);
    form->addLayout(buttons);
    // A fixed-size dialog, as large as its texts in the font at hand need.
    form->setSizeConstraint(QLayout::SetFixedSize);

    QWidget* order[] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, ComboBox1,
                        ComboBox2, ComboBox3, Edit1,     Edit2,     Button1,   Button2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TComTrmSetForm::ReadFrom(const TCustomComTerminal& ComTerminal) {
    CheckBox1->setChecked(ComTerminal.GetLocalEcho());
    CheckBox2->setChecked(ComTerminal.GetSendLF());
    CheckBox3->setChecked(ComTerminal.GetWrapLines());
    CheckBox4->setChecked(ComTerminal.GetForce7Bit());
    CheckBox5->setChecked(ComTerminal.GetAppendLF());
    const TTermCaret caret = ComTerminal.GetCaret();
    ComboBox1->setCurrentIndex(caret == tcNone ? -1 : static_cast<int>(caret));
    ComboBox2->setCurrentIndex(static_cast<int>(ComTerminal.GetEmulation()));
    Edit1->setText(QString::number(ComTerminal.GetColumns()));
    Edit2->setText(QString::number(ComTerminal.GetRows()));
    ComboBox3->setCurrentIndex(static_cast<int>(ComTerminal.GetArrowKeys()));
}

void TComTrmSetForm::ApplyTo(TCustomComTerminal& ComTerminal) const {
    ComTerminal.SetLocalEcho(CheckBox1->isChecked());
    ComTerminal.SetSendLF(CheckBox2->isChecked());
    ComTerminal.SetWrapLines(CheckBox3->isChecked());
    ComTerminal.SetForce7Bit(CheckBox4->isChecked());
    ComTerminal.SetAppendLF(CheckBox5->isChecked());
    const int caret = ComboBox1->currentIndex();
    ComTerminal.SetCaret(caret < 0 ? tcNone : static_cast<TTermCaret>(caret));
    ComTerminal.SetEmulation(static_cast<TTermEmulation>(ComboBox2->currentIndex()));
    ComTerminal.SetColumns(TrmSetTextToInt(Edit1->text(), 80));
    ComTerminal.SetRows(TrmSetTextToInt(Edit2->text(), 24));
    ComTerminal.SetArrowKeys(static_cast<TArrowKeys>(ComboBox3->currentIndex()));
}

void EditComTerminal(TCustomComTerminal* ComTerminal) {
    TComTrmSetForm form;
    form.ReadFrom(*ComTerminal);
    if (form.exec() == QDialog::Accepted)
        form.ApplyTo(*ComTerminal);
}

int TrmSetTextToInt(const QString& Text, int Default) {
    bool ok = false;
    const int value = Text.trimmed().toInt(&ok, 10);
    return ok ? value : Default;
}
