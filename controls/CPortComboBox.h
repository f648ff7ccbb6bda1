// A drop-down list bound to one port setting. Only a choice made by the user reaches the
// selector (Change); selecting an entry from code does not.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QComboBox>

#include "controls/CPortSelect.h"
#include "framework/Component.h"
#include "framework/Strings.h"
#include "port/CPortTypes.h"

class TCustomComPort;

// The combo box's entries as a string list.
class TComboBoxStrings : public TStrings {
public:
    explicit TComboBoxStrings(QComboBox& Box) : FBox(Box) {}
    int GetCount() const override { return FBox.count(); }
    std::string Get(int Index) const override;
    void Insert(int Index, const std::string& S) override;
    void Delete(int Index) override;
    void Clear() override { FBox.clear(); }

private:
    QComboBox& FBox;
};

class TComComboBox : public QComboBox, public TComponent, public TComSelectControl {
    Q_OBJECT

public:
    explicit TComComboBox(QWidget* Parent = nullptr, TComponent* AOwner = nullptr);
    ~TComComboBox() override;

    void SetComPort(TCustomComPort* Value);
    void SetComProperty(TComProperty Value);
    // The selected entry, "" without one; writing selects the equal entry, if there is one.
    std::string GetText() const;
    void SetText(const std::string& Value);
    std::int32_t GetItemIndex() const { return currentIndex(); }
    void SetItemIndex(std::int32_t Value) { setCurrentIndex(Value); }
    const TStrings& GetItems() const { return FItems; }
    void UpdateSettings();

    TNotifyEvent OnChange;

    // The port list is read again each time it drops down, so a device plugged in meanwhile
    // can be chosen.
    void showPopup() override;

protected:
    // The user's choice; an exception from writing it to the port passes to the caller.
    virtual void Change();
    void Notification(TComponent* AComponent, TOperation Operation) override;
    bool event(QEvent* Event) override;

private:
    void RefreshPortList();

    TComboBoxStrings FItems;
    QString FHint;
};
