// A group of radio buttons bound to one port setting, one button per value. Selecting a
// button, by the user or from code, runs the group's click handling; a click on the button
// already acted on reaches no Change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QButtonGroup>
#include <QGroupBox>

#include "controls/CPortSelect.h"
#include "framework/Component.h"
#include "framework/Strings.h"
#include "port/CPortTypes.h"

class QRadioButton;
class QVBoxLayout;
class TComRadioGroup;

// The button captions as a string list; the group rebuilds its buttons after each change
// (after the outermost EndUpdate when changes are bracketed).
class TRadioGroupStrings : public TStrings {
public:
    explicit TRadioGroupStrings(TComRadioGroup& Group) : FGroup(Group) {}
    int GetCount() const override { return static_cast<int>(FList.size()); }
    std::string Get(int Index) const override;
    void Insert(int Index, const std::string& S) override;
    void Delete(int Index) override;
    void Clear() override;

protected:
    void SetUpdateState(bool Updating) override;

private:
    void Changed();
    void CheckIndex(int Index, bool AllowEnd) const;

    TComRadioGroup& FGroup;
    std::vector<std::string> FList;
};

class TComRadioGroup : public QGroupBox, public TComponent, public TComSelectControl {
    Q_OBJECT

public:
    explicit TComRadioGroup(QWidget* Parent = nullptr, TComponent* AOwner = nullptr);
    ~TComRadioGroup() override;

    void SetComPort(TCustomComPort* Value);
    void SetComProperty(TComProperty Value);
    std::int32_t GetItemIndex() const { return FItemIndex; }
    // Checks the button (-1: none), which runs the click handling when the index changes.
    void SetItemIndex(std::int32_t Value);
    // The caption, which is also the group's accessible name.
    std::string GetCaption() const;
    void SetCaption(const std::string& Value);
    const TStrings& GetItems() const { return FItems; }
    void UpdateSettings();

    TNotifyEvent OnClick;

protected:
    virtual void Click();
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    friend class TRadioGroupStrings;
    void ItemsChanged();
    void ButtonClicked(int Index);

    TRadioGroupStrings FItems;
    std::int32_t FItemIndex = -1;
    std::int32_t FOldIndex = -1;
    QButtonGroup FButtons;
    std::vector<QRadioButton*> FButtonList;
    QVBoxLayout* FLayout;
};
