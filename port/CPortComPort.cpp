// Construction, setters, update bracketing and the handler callers of the port.
#include "port/CPortComPort.h"

#include <mutex>

namespace {

std::mutex SetupHookLock;
TCustomComPort::TSetupDialogHook& SetupHook() {
    static TCustomComPort::TSetupDialogHook Hook;
    return Hook;
}

// An empty slot is skipped.
template <typename THandler, typename... TArgs>
void Fire(const THandler& Handler, TArgs... Args) {
    if (Handler)
        Handler(Args...);
}

} // namespace

TCustomComPort::TCustomComPort(TComponent* AOwner) : TComponent(AOwner), FHandle(InvalidHandle) {
    FParity = new TComParity;
    FParity->FComPort = this;
    FFlowControl = new TComFlowControl;
    FFlowControl->FComPort = this;
    FTimeouts = new TComTimeouts;
    FTimeouts->FComPort = this;
    FBuffer = new TComBuffer;
    FBuffer->FComPort = this;
}

TCustomComPort::~TCustomComPort() {
    // A destructor must not throw; a failed close still releases thread and handle.
    try {
        Close();
    } catch (...) {
        DestroyEventThread();
        DestroyHandle();
        FConnected = false;
    }
    delete FBuffer;
    delete FFlowControl;
    delete FTimeouts;
    delete FParity;
}

bool TCustomComPort::IsLoadingOrDesigning() const {
    return GetComponentState().Contains(csLoading) || GetComponentState().Contains(csDesigning);
}

bool TCustomComPort::CanApply() const {
    return FConnected && FUpdateCount == 0 && !IsLoadingOrDesigning();
}

template <typename T>
void TCustomComPort::SetDCBField(T& Field, T Value) {
    if (Value == Field)
        return;
    Field = Value;
    ApplyDCB();
}

// The event thread and the hidden window of an open port were made for the old value.
template <typename T>
void TCustomComPort::SetWhileClosed(T& Field, T Value) {
    if (Value == Field)
        return;
    if (FConnected && !IsLoadingOrDesigning())
        throw EComPort(CError_ConnChangeProp);
    Field = Value;
}

void TCustomComPort::SetConnected(bool Value) {
    if (IsLoadingOrDesigning()) {
        FConnected = Value;
        return;
    }
    if (Value == FConnected)
        return;
    if (Value)
        Open();
    else
        Close();
}

void TCustomComPort::SetBaudRate(TBaudRate Value) {
    SetDCBField(FBaudRate, Value);
}

void TCustomComPort::SetCustomBaudRate(std::int32_t Value) {
    SetDCBField(FCustomBaudRate, Value);
}

void TCustomComPort::SetPort(const std::string& Value) {
    if (Value == FPort)
        return;
    FPort = Value;
    if (FConnected && !IsLoadingOrDesigning()) {
        Close();
        Open();
    }
}

void TCustomComPort::SetStopBits(TStopBits Value) {
    SetDCBField(FStopBits, Value);
}

void TCustomComPort::SetDataBits(TDataBits Value) {
    SetDCBField(FDataBits, Value);
}

void TCustomComPort::SetDiscardNull(bool Value) {
    SetDCBField(FDiscardNull, Value);
}

void TCustomComPort::SetEventChar(std::uint8_t Value) {
    SetDCBField(FEventChar, Value);
}

void TCustomComPort::SetEvents(TComEvents Value) {
    FEvents = Value;
}

void TCustomComPort::SetBuffer(const TComBuffer& Value) {
    FBuffer->Assign(&Value);
    ApplyBuffer();
}

void TCustomComPort::SetParity(const TComParity& Value) {
    FParity->Assign(&Value);
    ApplyDCB();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& Value) {
    FTimeouts->Assign(&Value);
    ApplyTimeouts();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& Value) {
    FFlowControl->Assign(&Value);
    ApplyDCB();
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value) {
    SetWhileClosed(FSyncMethod, Value);
}

void TCustomComPort::SetEventThreadPriority(TThreadPriority Value) {
    SetWhileClosed(FEventThreadPriority, Value);
}

void TCustomComPort::SetTriggersOnRxChar(bool Value) {
    if (FHasLink)
        throw EComPort(CError_HasLink);
    FTriggersOnRxChar = Value;
}

void TCustomComPort::BeginUpdate() {
    ++FUpdateCount;
}

void TCustomComPort::EndUpdate() {
    if (FUpdateCount <= 0)
        return;
    if (--FUpdateCount == 0)
        SetupComPort();
}

void TCustomComPort::SetSetupDialogHook(TSetupDialogHook Hook) {
    std::lock_guard Guard(SetupHookLock);
    SetupHook() = std::move(Hook);
}

void TCustomComPort::ShowSetupDialog() {
    TSetupDialogHook Hook;
    {
        std::lock_guard Guard(SetupHookLock);
        Hook = SetupHook();
    }
    if (!Hook)
        throw EComPort::WithText("No port setup dialog is available");
    Hook(this);
}

// --- handler callers ---

void TCustomComPort::DoAfterClose() {
    Fire(OnAfterClose, this);
}
void TCustomComPort::DoAfterOpen() {
    Fire(OnAfterOpen, this);
}
void TCustomComPort::DoBeforeClose() {
    Fire(OnBeforeClose, this);
}
void TCustomComPort::DoBeforeOpen() {
    Fire(OnBeforeOpen, this);
}
void TCustomComPort::DoRxChar(std::int32_t Count) {
    Fire(OnRxChar, this, Count);
}
void TCustomComPort::DoRxBuf(const void* Buffer, std::int32_t Count) {
    Fire(OnRxBuf, this, Buffer, Count);
}
void TCustomComPort::DoTxEmpty() {
    Fire(OnTxEmpty, this);
}
void TCustomComPort::DoBreak() {
    Fire(OnBreak, this);
}
void TCustomComPort::DoRing() {
    Fire(OnRing, this);
}
void TCustomComPort::DoRxFlag() {
    Fire(OnRxFlag, this);
}
void TCustomComPort::DoCTSChange(bool OnOff) {
    Fire(OnCTSChange, this, OnOff);
}
void TCustomComPort::DoDSRChange(bool OnOff) {
    Fire(OnDSRChange, this, OnOff);
}
void TCustomComPort::DoError(TComErrors Errors) {
    Fire(OnError, this, Errors);
}
void TCustomComPort::DoRLSDChange(bool OnOff) {
    Fire(OnRLSDChange, this, OnOff);
}
void TCustomComPort::DoRx80Full() {
    Fire(OnRx80Full, this);
}
void TCustomComPort::DoDeviceLost(std::int32_t Errno) {
    Fire(OnDeviceLost, this, Errno);
}
