// The repeat-period dialog TSendDelayForm: sets the auto-repeat period in milliseconds. Created
// once at start-up, shown modeless, hidden when closed. It keeps the period (RepeatPeriod) and
// tells it by PeriodAccepted after OK.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

class TSendDelayForm : public QDialog {
    Q_OBJECT
public:
    explicit TSendDelayForm(QWidget* parent = nullptr);

    void ShowModeless();
    std::int32_t GetPendingPeriod() const { return PendingPeriod; }
    // The period in milliseconds, 1000 at start; only positive values.
    std::int32_t GetRepeatPeriod() const { return RepeatPeriod; }

    QLineEdit* TimeEdit = nullptr;
    QLabel* NewValueLabel = nullptr;
    QPushButton* AcceptBitBtn = nullptr;
    QPushButton* CancelBitBtn = nullptr;

    void FormShow();
    void TimeEditChange();
    void AcceptBitBtnClick();
    void CancelBitBtnClick();

signals:
    // OK stored a new period (the main window restarts a running repeat timer with it).
    void PeriodAccepted(std::int32_t ms);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::int32_t RepeatPeriod = 1000;
    std::int32_t PendingPeriod = 0;
};
