// The selector behind the port setting controls: which setting it edits, the value chosen,
// and the port it reads from and writes to. The host control gives it the list to fill.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "port/CPortTypes.h"

class TCustomComPort;
class TStrings;

enum TComProperty : std::uint8_t {
    cpNone,
    cpPort,
    cpBaudRate,
    cpDataBits,
    cpStopBits,
    cpParity,
    cpFlowControl
};

// Port names every port box offers after the local devices that EnumComPorts lists: names no
// enumeration can find, such as the network ports an application remembers. GUI thread only.
void SetOfferedPortNames(std::vector<std::string> Names);
// EnumComPorts, then the offered names it lacks; its failure passes to the caller.
void ListPortNames(TStrings& Items);

class TComSelect {
public:
    // Items is the host control's list; it must outlive the selector.
    explicit TComSelect(TStrings& Items) : FItems(Items) {}

    TComProperty GetComProperty() const { return FComProperty; }
    // Refills the list with every value of the setting; for cpPort with ListPortNames, whose
    // failure passes to the caller.
    void SetComProperty(TComProperty Value);
    TCustomComPort* GetComPort() const { return FComPort; }
    void SetComPort(TCustomComPort* Value) { FComPort = Value; }
    // Points the selector at Value and moves Host's free notification from the old port to it;
    // true when the port changed to one that Host should now read its settings from.
    bool AttachPort(TCustomComPort* Value, TComponent& Host);
    // Forgets the port when the notification tells of its removal; true in that case.
    bool PortRemoved(TComponent* AComponent, TOperation Operation);
    bool GetAutoApply() const { return FAutoApply; }
    void SetAutoApply(bool Value) { FAutoApply = Value; }

    // Takes Text as the chosen value; with AutoApply, writes it to the port at once.
    void Change(const std::string& Text);
    // Writes the chosen value to the port; without a port, nothing.
    void ApplySettings();
    // Looks the port's current value up in the list: ItemIndex becomes its position, or -1
    // when the list lacks it (the chosen value then stays). A port name the list lacks (given
    // by hand, stored, or of a device that is gone) gets an item of its own instead, so the box
    // shows it and confirming without touching the box keeps it. Without a port, or for cpNone,
    // ItemIndex is left as it is.
    void UpdateSettings(std::int32_t& ItemIndex);
    // cpPort: the item that stands for the port Name, added when the list lacks it; "Name (not
    // present)" when its file is gone. -1 for an empty name.
    std::int32_t KeepPortItem(const std::string& Name);
    // The entry the host shows after SetComProperty refilled the list: none for an empty list,
    // the first without a port, otherwise what UpdateSettings makes of CurrentIndex.
    std::optional<std::int32_t> IndexAfterRefill(std::int32_t CurrentIndex);

    // The chosen values; only the one of the current ComProperty means anything.
    const std::string& GetPortName() const { return FPort; }
    TBaudRate GetBaudRate() const { return FBaudRate; }
    TDataBits GetDataBits() const { return FDataBits; }
    TStopBits GetStopBits() const { return FStopBits; }
    TParityBits GetParity() const { return FParity; }
    TFlowControl GetFlowControl() const { return FFlowControl; }

private:
    // Stores the value whose text is Text.
    void Choose(const std::string& Text);
    std::string PortValueText() const;

    std::string FPort;
    TBaudRate FBaudRate = brCustom;
    TDataBits FDataBits = dbFive;
    TStopBits FStopBits = sbOneStopBit;
    TParityBits FParity = prNone;
    TFlowControl FFlowControl = fcHardware;
    TStrings& FItems;
    TComProperty FComProperty = cpNone;
    TCustomComPort* FComPort = nullptr;
    bool FAutoApply = false;
};

// What a port setting control answers from its selector alone.
class TComSelectControl {
public:
    TCustomComPort* GetComPort() const { return FComSelect.GetComPort(); }
    TComProperty GetComProperty() const { return FComSelect.GetComProperty(); }
    bool GetAutoApply() const { return FComSelect.GetAutoApply(); }
    void SetAutoApply(bool Value) { FComSelect.SetAutoApply(Value); }
    const TComSelect& GetComSelect() const { return FComSelect; }
    void ApplySettings() { FComSelect.ApplySettings(); }

protected:
    // Items is the control's list; the selector only keeps the reference until it is used.
    explicit TComSelectControl(TStrings& Items) : FComSelect(Items) {}
    ~TComSelectControl() = default;

    TComSelect FComSelect;
};
