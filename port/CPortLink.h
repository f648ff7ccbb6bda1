// A record of handler slots through which another component follows a port without taking
// the port's own handlers. Its owner creates it, fills the slots, registers it with the port,
// unregisters it before detaching, and frees it; the port only holds a reference.
#pragma once

#include "framework/Object.h"
#include "port/CPortTypes.h"

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
