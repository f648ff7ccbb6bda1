// The terminal's side of a port: a link whose received blocks go to the engine's RxBuf, and
// the output the engine sends through (the port's WriteStr, only while it is connected). The
// widget owns one and forwards its ComPort and Connected properties here. The engine must
// outlive it (declare the engine first), since the port may deliver until it is detached.
#pragma once

#include "port/CPort.h"
#include "terminal/TermView.h"

class TTermEngine;

class TComTermPort : public TComponent, public TTermOutput {
public:
    explicit TComTermPort(TTermEngine& Engine);
    ~TComTermPort() override;

    TCustomComPort* GetComPort() const { return FComPort; }
    // Unregisters from the old port, registers with the new one and asks it for a removal
    // notice; null detaches.
    void SetComPort(TCustomComPort* Value);
    // The port's state; false without a port.
    bool GetConnected() const;
    // Opens or closes the port; ignored without a port.
    void SetConnected(bool Value);

    bool CanSend() const override { return GetConnected(); }
    void Send(const std::string& Text) override;

    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TTermEngine& FEngine;
    TCustomComPort* FComPort = nullptr;
    TComLink FLink;
};
