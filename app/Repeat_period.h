// The repeat-period dialog TSendDelayForm: sets the auto-repeat period in milliseconds. Created
// once at start-up, shown modeless, hidden when closed.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

class TSendDelayForm : public QDialog {
    Q_OBJECT
public:
    explicit TSendDelayForm(QWidget* parent = nullptr);

    void ShowModeless();
    std::int32_t GetPendingPeriod() const { return PendingPeriod; }

    // Runs after OK stored a new period (the main window restarts a running repeat timer).
    std::function<void()> OnPeriodChanged;

    QLineEdit* TimeEdit = nullptr;
    QLabel* NewValueLabel = nullptr;
    QPushButton* AcceptBitBtn = nullptr;
    QPushButton* CancelBitBtn = nullptr;

    void FormShow();
    void TimeEditChange();
    void AcceptBitBtnClick();
    void CancelBitBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::int32_t PendingPeriod = 0;
};
