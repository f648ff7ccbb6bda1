#include "framework/Component.h"

#include <algorithm>

#include "framework/Exception.h"
#include "platform/text/AsciiText.h"

namespace {

bool IsValidIdent(const std::string& S) {
    auto alpha = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (S.empty() || !alpha(S[0]))
        return false;
    return std::all_of(S.begin() + 1, S.end(),
                       [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

void EraseOne(std::vector<TComponent*>& List, TComponent* Item) {
    auto it = std::find(List.begin(), List.end(), Item);
    if (it != List.end())
        List.erase(it);
}

} // namespace

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Each notice normally drops its link through the base Notification; the explicit removal
    // keeps this loop finite when an override does not call the base.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        other->Notification(this, opRemove);
        if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) != freeNotifies_.end())
            RemoveFreeNotification(other);
    }
    DestroyComponents();
    if (owner_ != nullptr)
        owner_->RemoveComponent(this);
}

void TComponent::SetName(const std::string& NewName) {
    if (name_ == NewName)
        return;
    if (!NewName.empty() && !IsValidIdent(NewName))
        throw EComponentError("'" + NewName + "' is not a valid component name");
    if (owner_ != nullptr)
        owner_->ValidateRename(this, name_, NewName);
    name_ = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) const {
    if (AComponent == nullptr || NewName.empty() || SameText(CurName, NewName))
        return;
    TComponent* found = FindComponent(NewName);
    if (found != nullptr && found != AComponent)
        throw EComponentError("A component named " + NewName + " already exists");
}

TComponent* TComponent::GetComponents(int Index) const {
    if (Index < 0 || Index >= GetComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return components_[static_cast<std::size_t>(Index)];
}

int TComponent::GetComponentIndex() const {
    if (owner_ == nullptr)
        return -1;
    const auto& list = owner_->components_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
    if (AName.empty())
        return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, AName))
            return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent->owner_ == this)
        return;
    ValidateRename(AComponent, std::string(), AComponent->name_);
    if (AComponent->owner_ != nullptr)
        AComponent->owner_->RemoveComponent(AComponent);
    Insert(AComponent);
    if (state_.Contains(csDesigning))
        AComponent->SetDesigning(true);
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent->owner_ != this)
        return;
    Notification(AComponent, opRemove);
    Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
    components_.push_back(AComponent);
    AComponent->owner_ = this;
}

void TComponent::Remove(TComponent* AComponent) {
    EraseOne(components_, AComponent);
    AComponent->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* instance = components_.back();
        // Only components that others follow need the removal notice broadcast.
        if (instance->state_.Contains(csFreeNotification))
            RemoveComponent(instance);
        else
            Remove(instance);
        delete instance;
    }
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent == this)
        return;
    if (owner_ == nullptr || AComponent->owner_ != owner_) {
        if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) ==
            freeNotifies_.end()) {
            freeNotifies_.push_back(AComponent);
            AComponent->FreeNotification(this);
        }
    }
    state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr)
        return;
    RemoveNotification(AComponent);
    AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) {
    EraseOne(freeNotifies_, AComponent);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent != nullptr)
        RemoveFreeNotification(AComponent);
    // Receivers may destroy components of ours; re-clamp the index after each call.
    std::size_t i = components_.size();
    while (i > 0) {
        --i;
        components_[i]->Notification(AComponent, Operation);
        if (i > components_.size())
            i = components_.size();
    }
}

void TComponent::BeginLoading() {
    state_.Include(csLoading);
}

void TComponent::Loaded() {
    state_.Exclude(csLoading);
}

void TComponent::Destroying() {
    if (state_.Contains(csDestroying))
        return;
    state_.Include(csDestroying);
    for (TComponent* c : components_)
        c->Destroying();
}

void TComponent::SetDesigning(bool Value) {
    if (Value)
        state_.Include(csDesigning);
    else
        state_.Exclude(csDesigning);
    for (TComponent* c : components_)
        c->SetDesigning(Value);
}
