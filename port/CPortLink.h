// A record of handler slots through which another component follows a port without taking
// the port's own handlers. Its owner creates it, fills the slots, registers it with the port,
// unregisters it before detaching, and frees it; the port only holds a reference.
#pragma once

#include "framework/Component.h"
#include "framework/Object.h"
#include "port/CPortTypes.h"

class TCustomComPort;

class TComLink : public TObject {
public:
    TComSignalEvent OnConn;
    TRxBufEvent OnRxBuf;
    TRxBufEvent OnTxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnRxFlag;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRing;
    TComSignalEvent OnTx;
    TComSignalEvent OnRx;
};

// For the owner of a link to Port, given a free notification: true when Port is going away and the
// owner must detach from it. A port in its destructor has let go of its links already, so Port
// is then only forgotten (set to null) and the answer is false.
bool LinkedPortRemoved(TComponent* AComponent, TOperation Operation, TCustomComPort*& Port);
