// The port as the receive benchmarks open it.
#pragma once

#include <string>

#include "port/CPort.h"

inline void ConfigurePort(TComPort& P, const std::string& Path, TSyncMethod Mode) {
    P.SetPort(Path);
    P.SetSyncMethod(Mode);
    P.SetBaudRate(br115200);
    P.GetBuffer().SetInputSize(65536);
    // Input flow control: a full receive queue holds the writer back instead of dropping bytes.
    P.GetFlowControl().SetControlRTS(rtsHandshake);
}
