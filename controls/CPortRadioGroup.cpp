#include "controls/CPortRadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

#include "controls/QtText.h"
#include "framework/Application.h"
#include "port/CPortComPort.h"

void TRadioGroupStrings::CheckIndex(int Index, bool AllowEnd) const {
    if (Index < 0 || Index > GetCount() || (!AllowEnd && Index == GetCount()))
        Error("List index out of bounds", Index);
}

std::string TRadioGroupStrings::Get(int Index) const {
    CheckIndex(Index, false);
    return FList[static_cast<std::size_t>(Index)];
}

void TRadioGroupStrings::Insert(int Index, const std::string& S) {
    CheckIndex(Index, true);
    FList.insert(FList.begin() + Index, S);
    Changed();
}

void TRadioGroupStrings::Delete(int Index) {
    CheckIndex(Index, false);
    FList.erase(FList.begin() + Index);
    Changed();
}

void TRadioGroupStrings::Clear() {
    FList.clear();
    Changed();
}

void TRadioGroupStrings::SetUpdateState(bool Updating) {
    if (!Updating)
        Changed();
}

void TRadioGroupStrings::Changed() {
    if (GetUpdateCount() == 0)
        FGroup.ItemsChanged();
}

TComRadioGroup::TComRadioGroup(QWidget* Parent, TComponent* AOwner)
    : QGroupBox(Parent), TComponent(AOwner), TComSelectControl(FItems), FItems(*this),
      FLayout(new QVBoxLayout(this)) {
    FButtons.setExclusive(true);
    // Every click, also on the checked button: the click handling decides what it means.
    connect(&FButtons, &QButtonGroup::idClicked, this, [this](int Id) { ButtonClicked(Id); });
}

TComRadioGroup::~TComRadioGroup() {
    Destroying();
}

std::string TComRadioGroup::GetCaption() const {
    return FromQString(title());
}

void TComRadioGroup::SetCaption(const std::string& Value) {
    setTitle(ToQString(Value));
    setAccessibleName(title());
}

void TComRadioGroup::ItemsChanged() {
    for (QRadioButton* B : FButtonList) {
        FButtons.removeButton(B);
        // The list may change inside a button's own click, so the button goes later.
        B->setParent(nullptr);
        B->deleteLater();
    }
    FButtonList.clear();
    for (int I = 0; I < FItems.GetCount(); ++I) {
        auto* B = new QRadioButton(ToQString(FItems.Get(I)), this);
        B->setAccessibleName(B->text());
        FButtons.addButton(B, I);
        FLayout->addWidget(B);
        FButtonList.push_back(B);
    }
    if (FItemIndex >= FItems.GetCount())
        FItemIndex = FItems.GetCount() - 1;
    if (FItemIndex >= 0)
        FButtonList[static_cast<std::size_t>(FItemIndex)]->setChecked(true);
}

void TComRadioGroup::SetItemIndex(std::int32_t Value) {
    if (Value < -1)
        Value = -1;
    if (Value >= FItems.GetCount())
        Value = FItems.GetCount() - 1;
    if (Value == FItemIndex)
        return;
    FItemIndex = Value;
    if (Value < 0) {
        // An exclusive group keeps one button checked unless exclusivity is lifted meanwhile.
        FButtons.setExclusive(false);
        for (QRadioButton* B : FButtonList)
            B->setChecked(false);
        FButtons.setExclusive(true);
        return;
    }
    FButtonList[static_cast<std::size_t>(Value)]->setChecked(true);
    Click();
}

void TComRadioGroup::ButtonClicked(int Index) {
    FItemIndex = Index;
    try {
        Click();
    } catch (...) {
        // Called from the toolkit's event handling, which an exception must not cross.
        Application->HandleException(this);
    }
}

void TComRadioGroup::Click() {
    if (FItemIndex != FOldIndex) {
        if (FItemIndex >= 0)
            FComSelect.Change(FItems.Get(FItemIndex));
        FOldIndex = FItemIndex;
    }
    if (OnClick)
        OnClick(this);
}

void TComRadioGroup::SetComPort(TCustomComPort* Value) {
    if (FComSelect.AttachPort(Value, *this))
        UpdateSettings();
}

void TComRadioGroup::SetComProperty(TComProperty Value) {
    FComSelect.SetComProperty(Value);
    if (const auto Index = FComSelect.IndexAfterRefill(FItemIndex))
        SetItemIndex(*Index);
}

void TComRadioGroup::UpdateSettings() {
    std::int32_t Index = FItemIndex;
    FComSelect.UpdateSettings(Index);
    SetItemIndex(Index);
    FOldIndex = Index;
}

void TComRadioGroup::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (FComSelect.PortRemoved(AComponent, Operation) && FItems.GetCount() > 0) {
        SetItemIndex(0);
        FOldIndex = 0;
    }
}
