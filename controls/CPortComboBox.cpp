#include "controls/CPortComboBox.h"

#include <QEvent>

#include "controls/QtText.h"
#include "framework/Application.h"
#include "port/CPortComPort.h"
#include "port/CPortConv.h"

std::string TComboBoxStrings::Get(int Index) const {
    if (Index < 0 || Index >= FBox.count())
        Error("List index out of bounds", Index);
    return FromQString(FBox.itemText(Index));
}

void TComboBoxStrings::Insert(int Index, const std::string& S) {
    if (Index < 0 || Index > FBox.count())
        Error("List index out of bounds", Index);
    FBox.insertItem(Index, ToQString(S));
}

void TComboBoxStrings::Delete(int Index) {
    if (Index < 0 || Index >= FBox.count())
        Error("List index out of bounds", Index);
    FBox.removeItem(Index);
}

TComComboBox::TComComboBox(QWidget* Parent, TComponent* AOwner)
    : QComboBox(Parent), TComponent(AOwner), TComSelectControl(FItems), FItems(*this) {
    // A drop-down list without free text.
    setEditable(false);
    // activated is the user's choice only; index changes made by code do not reach Change.
    connect(this, &QComboBox::activated, this, [this](int) {
        try {
            Change();
        } catch (...) {
            // Raised inside the toolkit's event handling, which an exception must not cross.
            Application->HandleException(this);
        }
    });
}

TComComboBox::~TComComboBox() {
    Destroying();
}

void TComComboBox::SetComPort(TCustomComPort* Value) {
    if (FComSelect.AttachPort(Value, *this))
        UpdateSettings();
}

void TComComboBox::SetComProperty(TComProperty Value) {
    FComSelect.SetComProperty(Value);
    if (const auto Index = FComSelect.IndexAfterRefill(currentIndex()))
        setCurrentIndex(*Index);
}

std::string TComComboBox::GetText() const {
    return currentIndex() < 0 ? std::string() : FromQString(currentText());
}

void TComComboBox::SetText(const std::string& Value) {
    const int Index = FItems.IndexOf(Value);
    if (Index >= 0)
        setCurrentIndex(Index);
}

void TComComboBox::UpdateSettings() {
    std::int32_t Index = currentIndex();
    FComSelect.UpdateSettings(Index);
    setCurrentIndex(Index);
}

void TComComboBox::Change() {
    FComSelect.Change(GetText());
    if (OnChange)
        OnChange(this);
}

void TComComboBox::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (FComSelect.PortRemoved(AComponent, Operation) && count() > 0)
        setCurrentIndex(0);
}

void TComComboBox::RefreshPortList() {
    TStringList Found;
    try {
        ListPortNames(Found);
    } catch (...) {
        // The list as it was stays usable.
        Application->HandleException(this);
        return;
    }
    const bool WasChosen = currentIndex() >= 0;
    const std::string Chosen = WasChosen ? FComSelect.GetPortName() : std::string();
    FItems.Assign(&Found);
    // The port chosen stays in the box even when the fresh list lacks it.
    setCurrentIndex(WasChosen ? FComSelect.KeepPortItem(Chosen) : -1);
}

void TComComboBox::showPopup() {
    if (GetComProperty() == cpPort)
        RefreshPortList();
    QComboBox::showPopup();
}

bool TComComboBox::event(QEvent* Event) {
    if (Event->type() == QEvent::ToolTipChange)
        HintToAccessibleName(*this, FHint);
    return QComboBox::event(Event);
}
