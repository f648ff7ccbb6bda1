// Components: an owner destroys what it owns; a name unique among the owner's components;
// a state with loading and designing flags; free notification between components.
//
// Free notification: A->FreeNotification(B) asks A to call B->Notification(A, opRemove) when A
// is destroyed. The link runs both ways (B's destruction also tells A), so neither side keeps a
// pointer to a dead component. Components with the same owner need no link: the owner forwards
// every removal to all it owns (the base Notification does this).
//
// Destruction order: free-notified components hear opRemove first, then owned components are
// destroyed last-created first, then the owner is told. A derived class's own part is already
// gone when this runs, so derived classes release what their Notification relies on in their own
// destructor (calling Destroying() first if their members ask GetComponentState()).
//
// Components are used on one thread (the GUI thread); nothing here is locked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Object.h"
#include "framework/TSet.h"

enum TOperation : std::uint8_t { opInsert, opRemove };

enum TComponentStateFlag : std::uint8_t {
    csLoading,
    csReading,
    csWriting,
    csDestroying,
    csDesigning,
    csAncestor,
    csUpdating,
    csFixups,
    csFreeNotification
};
using TComponentState = TSet<TComponentStateFlag, std::uint16_t>;

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* GetOwner() const { return owner_; }

    const std::string& GetName() const { return name_; }
    // Empty, or an identifier (letter or '_' first, then letters, digits, '_') that no other
    // component of the same owner has (compared without regard to case); else EComponentError.
    virtual void SetName(const std::string& NewName);

    TComponentState GetComponentState() const { return state_; }

    int GetComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* GetComponents(int Index) const;
    int GetComponentIndex() const;
    TComponent* FindComponent(const std::string& AName) const;

    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    void DestroyComponents();

    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // Loading from a stored description: BeginLoading sets csLoading; the loader writes the
    // properties, then calls Loaded, whose base step clears csLoading.
    void BeginLoading();
    virtual void Loaded();

    // Sets csDestroying (here and in owned components); called by destructors before they act.
    void Destroying();

    // Base: a removal drops the free-notification link; the notice is passed on to every
    // owned component.
    virtual void Notification(TComponent* AComponent, TOperation Operation);

protected:
    void SetDesigning(bool Value);

private:
    void Insert(TComponent* AComponent);
    void Remove(TComponent* AComponent);
    void ValidateRename(TComponent* AComponent, const std::string& CurName,
                        const std::string& NewName) const;
    void RemoveNotification(TComponent* AComponent);

    TComponent* owner_ = nullptr;
    std::string name_;
    TComponentState state_;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
};
