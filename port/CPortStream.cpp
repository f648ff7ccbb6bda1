#include "port/CPortStream.h"

#include "framework/Exception.h"
#include "port/CPortComPort.h"

TComStream::TComStream(TCustomComPort* AComPort) : FComPort(AComPort) {}

TCustomComPort& TComStream::Port() const {
    if (FComPort == nullptr)
        throw EStreamError("TComStream has no port");
    return *FComPort;
}

std::int32_t TComStream::Read(void* Buffer, std::int32_t Count) {
    return Port().Read(Buffer, Count);
}

std::int32_t TComStream::Write(const void* Buffer, std::int32_t Count) {
    return Port().Write(Buffer, Count);
}

std::int64_t TComStream::Seek(std::int64_t, TSeekOrigin) {
    return 0;
}
