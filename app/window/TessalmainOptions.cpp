// The workbench's own options beside the port's settings: the answer time-out, "Wait for the
// answer" and the time columns shown under the settings key, reconnection with the port's
// settings.
#include "app/window/Tessalmain.h"

#include <QAction>
#include <QInputDialog>

namespace {

constexpr const char* kWaitForAnswerValue = "WaitForAnswer";
constexpr const char* kReconnectValue = "Reconnect";
constexpr const char* kShowTimeValue = "ShowTime";
constexpr const char* kShowAnswerTimeValue = "ShowAnswerTime";
// The port's settings are stored under a key named after the port component.
const std::string kPortKeyPath = std::string(kPortSettingsPath) + "\\ComPort";

// A stored integer, or fallback when there is none or it is not a number.
std::int32_t ReadStored(TRegistry& registry, const char* name, std::int32_t fallback) {
    try {
        return registry.ValueExists(name) ? registry.ReadInteger(name) : fallback;
    } catch (const std::exception&) {
        return fallback;
    }
}

} // namespace

void TTessalForm::LoadOptions() {
    TRegistry registry(HKEY_CURRENT_USER);
    if (registry.OpenKeyReadOnly(kPortSettingsPath)) {
        Workbench.SetAnswerTimeout(ReadStored(registry, kAnswerTimeoutValue, kAnswerTimeoutMs));
        const bool wait = ReadStored(registry, kWaitForAnswerValue, 0) != 0;
        MenuWaitForAnswer->setChecked(wait);
        ApplyOutcome(Workbench.SetWaitForAnswer(wait));
        MenuShowTime->setChecked(ReadStored(registry, kShowTimeValue, 0) != 0);
        MenuShowAnswerTime->setChecked(ReadStored(registry, kShowAnswerTimeValue, 0) != 0);
        RXFrameStringGrid->ShowColumn(kColTime, MenuShowTime->isChecked());
        RXFrameStringGrid->ShowColumn(kColAnswerTime, MenuShowAnswerTime->isChecked());
    }
    TRegistry port(HKEY_CURRENT_USER);
    if (port.OpenKeyReadOnly(kPortKeyPath)) {
        MenuReconnect->setChecked(ReadStored(port, kReconnectValue, 1) != 0);
    }
}

void TTessalForm::StoreOptions() {
    TRegistry registry(HKEY_CURRENT_USER);
    if (registry.OpenKey(kPortSettingsPath, true)) {
        registry.WriteInteger(kAnswerTimeoutValue, Workbench.GetAnswerTimeout());
        registry.WriteInteger(kWaitForAnswerValue, Workbench.GetWaitForAnswer() ? 1 : 0);
        registry.WriteInteger(kShowTimeValue, MenuShowTime->isChecked() ? 1 : 0);
        registry.WriteInteger(kShowAnswerTimeValue, MenuShowAnswerTime->isChecked() ? 1 : 0);
    }
    TRegistry port(HKEY_CURRENT_USER);
    if (port.OpenKey(kPortKeyPath, true)) {
        port.WriteInteger(kReconnectValue, MenuReconnect->isChecked() ? 1 : 0);
    }
}

void TTessalForm::OnMenuAnswerTimeoutClick() {
    QInputDialog dialog(this);
    dialog.setObjectName("AnswerTimeoutDialog");
    dialog.setWindowTitle("Answer time-out");
    dialog.setAccessibleName("Answer time-out");
    dialog.setLabelText("Silence that ends an answer, and that a request may wait\n"
                        "for its first byte before it counts as \"No answer\" (ms):");
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(kMinAnswerTimeoutMs, kMaxAnswerTimeoutMs);
    dialog.setIntStep(10);
    dialog.setIntValue(Workbench.GetAnswerTimeout());
    if (dialog.exec() == QDialog::Accepted && Workbench.SetAnswerTimeout(dialog.intValue())) {
        Guarded([this] { StoreOptions(); });
    }
}

void TTessalForm::OnMenuWaitForAnswerClick() {
    ApplyOutcome(Workbench.SetWaitForAnswer(MenuWaitForAnswer->isChecked()));
    Guarded([this] { StoreOptions(); });
}

void TTessalForm::OnMenuReconnectClick() {
    Guarded([this] { StoreOptions(); });
}
