#include "controls/CPortSelect.h"

#include "framework/Strings.h"
#include "platform/serial/NetworkName.h"
#include "port/CPortComPort.h"
#include "port/CPortConv.h"

#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kNotPresentMark = " (not present)";

// The port an item names: its text without the mark of a device that is gone.
std::string PortNameOfItem(const std::string& Item) {
    const std::string Mark = kNotPresentMark;
    if (Item.size() > Mark.size() &&
        Item.compare(Item.size() - Mark.size(), Mark.size(), Mark) == 0)
        return Item.substr(0, Item.size() - Mark.size());
    return Item;
}

std::vector<std::string>& OfferedNames() {
    static std::vector<std::string> Names;
    return Names;
}

// A name without a slash lies in /dev, as the driver opens it. A network port has no file, and
// whether its server is there only a connection would tell: it is not marked.
bool PortFileExists(const std::string& Name) {
    if (IsNetworkPortName(Name))
        return true;
    std::error_code Ignored;
    return std::filesystem::exists(Name.find('/') == std::string::npos ? "/dev/" + Name : Name,
                                   Ignored);
}

// Adds the text of every value from First to Last, in ordinal order.
template <typename TEnum>
void AddTexts(TStrings& Items, TEnum Last, std::string (*ToStr)(TEnum)) {
    for (int V = 0; V <= static_cast<int>(Last); ++V)
        Items.Add(ToStr(static_cast<TEnum>(V)));
}

} // namespace

void SetOfferedPortNames(std::vector<std::string> Names) {
    OfferedNames() = std::move(Names);
}

void ListPortNames(TStrings& Items) {
    EnumComPorts(Items);
    for (const auto& Name : OfferedNames())
        if (Items.IndexOf(Name) < 0)
            Items.Add(Name);
}

void TComSelect::SetComProperty(TComProperty Value) {
    FComProperty = Value;
    FItems.BeginUpdate();
    try {
        FItems.Clear();
        switch (Value) {
        case cpNone:
            break;
        case cpPort:
            ListPortNames(FItems);
            break;
        case cpBaudRate:
            AddTexts(FItems, br256000, BaudRateToStr);
            break;
        case cpDataBits:
            AddTexts(FItems, dbEight, DataBitsToStr);
            break;
        case cpStopBits:
            AddTexts(FItems, sbTwoStopBits, StopBitsToStr);
            break;
        case cpParity:
            AddTexts(FItems, prSpace, ParityToStr);
            break;
        case cpFlowControl:
            AddTexts(FItems, fcCustom, FlowControlToStr);
            break;
        }
    } catch (...) {
        FItems.EndUpdate();
        throw;
    }
    FItems.EndUpdate();
}

void TComSelect::Choose(const std::string& Text) {
    switch (FComProperty) {
    case cpNone:
        break;
    case cpPort:
        FPort = PortNameOfItem(Text);
        break;
    case cpBaudRate:
        FBaudRate = StrToBaudRate(Text);
        break;
    case cpDataBits:
        FDataBits = StrToDataBits(Text);
        break;
    case cpStopBits:
        FStopBits = StrToStopBits(Text);
        break;
    case cpParity:
        FParity = StrToParity(Text);
        break;
    case cpFlowControl:
        FFlowControl = StrToFlowControl(Text);
        break;
    }
}

void TComSelect::Change(const std::string& Text) {
    Choose(Text);
    if (FAutoApply)
        ApplySettings();
}

void TComSelect::ApplySettings() {
    if (FComPort == nullptr)
        return;
    switch (FComProperty) {
    case cpNone:
        break;
    case cpPort:
        FComPort->SetPort(FPort);
        break;
    case cpBaudRate:
        FComPort->SetBaudRate(FBaudRate);
        break;
    case cpDataBits:
        FComPort->SetDataBits(FDataBits);
        break;
    case cpStopBits:
        FComPort->SetStopBits(FStopBits);
        break;
    case cpParity:
        FComPort->GetParity().SetBits(FParity);
        break;
    case cpFlowControl:
        FComPort->GetFlowControl().SetFlowControl(FFlowControl);
        break;
    }
}

std::string TComSelect::PortValueText() const {
    switch (FComProperty) {
    case cpPort:
        return FComPort->GetPort();
    case cpBaudRate:
        return BaudRateToStr(FComPort->GetBaudRate());
    case cpDataBits:
        return DataBitsToStr(FComPort->GetDataBits());
    case cpStopBits:
        return StopBitsToStr(FComPort->GetStopBits());
    case cpParity:
        return ParityToStr(FComPort->GetParity().GetBits());
    case cpFlowControl:
        // Derived from the fields, so hand-set lines read as "Custom".
        return FlowControlToStr(FComPort->GetFlowControl().GetFlowControl());
    case cpNone:
        break;
    }
    return {};
}

void TComSelect::UpdateSettings(std::int32_t& ItemIndex) {
    if (FComPort == nullptr || FComProperty == cpNone)
        return;
    ItemIndex =
        FComProperty == cpPort ? KeepPortItem(PortValueText()) : FItems.IndexOf(PortValueText());
    if (ItemIndex >= 0)
        Choose(FItems.Get(ItemIndex));
}

std::int32_t TComSelect::KeepPortItem(const std::string& Name) {
    if (Name.empty())
        return -1;
    for (std::int32_t I = 0; I < FItems.GetCount(); ++I)
        if (PortNameOfItem(FItems.Get(I)) == Name)
            return I;
    return FItems.Add(PortFileExists(Name) ? Name : Name + kNotPresentMark);
}

std::optional<std::int32_t> TComSelect::IndexAfterRefill(std::int32_t CurrentIndex) {
    if (FItems.GetCount() == 0)
        return std::nullopt;
    if (FComPort == nullptr)
        return 0;
    UpdateSettings(CurrentIndex);
    return CurrentIndex;
}

bool TComSelect::AttachPort(TCustomComPort* Value, TComponent& Host) {
    if (Value == FComPort)
        return false;
    if (FComPort != nullptr)
        FComPort->RemoveFreeNotification(&Host);
    FComPort = Value;
    if (Value == nullptr)
        return false;
    Value->FreeNotification(&Host);
    return true;
}

bool TComSelect::PortRemoved(TComponent* AComponent, TOperation Operation) {
    if (Operation != opRemove || AComponent == nullptr || AComponent != FComPort)
        return false;
    FComPort = nullptr;
    return true;
}
