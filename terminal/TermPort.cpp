#include "terminal/TermPort.h"

#include "terminal/TermEngine.h"

TComTermPort::TComTermPort(TTermEngine& Engine) : FEngine(Engine) {
    FLink.OnRxBuf = [this](TObject* Sender, const void* Buffer, std::int32_t Count) {
        FEngine.RxBuf(Sender, Buffer, Count);
    };
}

TComTermPort::~TComTermPort() {
    try {
        SetComPort(nullptr);
    } catch (...) {
        // Unregistering fails only for a link the port no longer holds: nothing left to detach.
        FComPort = nullptr;
    }
}

void TComTermPort::SetComPort(TCustomComPort* Value) {
    if (Value == FComPort)
        return;
    if (FComPort != nullptr) {
        TCustomComPort* Old = FComPort;
        FComPort = nullptr;
        Old->RemoveFreeNotification(this);
        Old->UnRegisterLink(&FLink);
    }
    if (Value != nullptr) {
        Value->RegisterLink(&FLink);
        FComPort = Value;
        FComPort->FreeNotification(this);
    }
}

bool TComTermPort::GetConnected() const {
    return FComPort != nullptr && FComPort->GetConnected();
}

void TComTermPort::SetConnected(bool Value) {
    if (FComPort != nullptr)
        FComPort->SetConnected(Value);
}

void TComTermPort::Send(const std::string& Text) {
    if (FComPort != nullptr && !Text.empty())
        FComPort->WriteStr(Text);
}

void TComTermPort::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (LinkedPortRemoved(AComponent, Operation, FComPort))
        SetComPort(nullptr);
}
