#include "app/window/Repeat_period.h"

#include "app/core/PeriodText.h"
#include "app/window/ValueLabel.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

TSendDelayForm::TSendDelayForm(QWidget* parent) : QDialog(parent) {
    setObjectName("SendDelayForm");
    setWindowTitle("Repeat period");
    setAccessibleName("Repeat period");
    setModal(false);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);

    auto* layout = new QGridLayout(this);
    // Sized by its contents in whatever font the desktop gives, so no field is cut.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* timeLabel = new QLabel("Time in ms :");
    TimeEdit = new QLineEdit("0");
    TimeEdit->setObjectName("TimeEdit");
    TimeEdit->setAccessibleName("Time in ms :");
    timeLabel->setBuddy(TimeEdit);
    auto* newValueCaption = new QLabel("New value : ");
    NewValueLabel = new QLabel("0");
    NewValueLabel->setObjectName("NewValueLabel");
    NewValueLabel->setAccessibleName("0");
    NewValueLabel->setAccessibleDescription("New value");
    newValueCaption->setBuddy(NewValueLabel);
    // The echo's width does not follow its text, so the dialog keeps its size as it changes.
    NewValueLabel->setMinimumWidth(std::max(fontMetrics().horizontalAdvance("incorrect"),
                                            fontMetrics().horizontalAdvance("-2147483648")));
    AcceptBitBtn = new QPushButton("OK");
    AcceptBitBtn->setObjectName("AcceptBitBtn");
    AcceptBitBtn->setAccessibleName("OK");
    AcceptBitBtn->setDefault(true);
    AcceptBitBtn->setAutoDefault(true);
    CancelBitBtn = new QPushButton("Cancel");
    CancelBitBtn->setObjectName("CancelBitBtn");
    CancelBitBtn->setAccessibleName("Cancel");
    CancelBitBtn->setAutoDefault(false);
    layout->addWidget(timeLabel, 0, 0);
    layout->addWidget(TimeEdit, 0, 1);
    layout->addWidget(newValueCaption, 1, 0);
    layout->addWidget(NewValueLabel, 1, 1);
    layout->addWidget(AcceptBitBtn, 2, 0);
    layout->addWidget(CancelBitBtn, 2, 1);

    connect(TimeEdit, &QLineEdit::textChanged, this, &TSendDelayForm::TimeEditChange);
    connect(AcceptBitBtn, &QPushButton::clicked, this, &TSendDelayForm::AcceptBitBtnClick);
    connect(CancelBitBtn, &QPushButton::clicked, this, &TSendDelayForm::CancelBitBtnClick);
}

void TSendDelayForm::ShowModeless() {
    if (parentWidget() != nullptr) {
        move(parentWidget()->geometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

void TSendDelayForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TSendDelayForm::FormShow() {
    TimeEdit->setText(QString::number(RepeatPeriod));
    PendingPeriod = 0;
}

void TSendDelayForm::TimeEditChange() {
    const std::optional<std::int32_t> period =
        ReadPeriodText(TimeEdit->text().toLatin1().toStdString());
    PendingPeriod = period.value_or(0);
    ShowValue(NewValueLabel, period ? QString::number(*period) : QString("incorrect"));
}

void TSendDelayForm::AcceptBitBtnClick() {
    if (PendingPeriod <= 0) {
        return;
    }
    RepeatPeriod = PendingPeriod;
    emit PeriodAccepted(RepeatPeriod);
    hide();
}

void TSendDelayForm::CancelBitBtnClick() {
    hide();
}
