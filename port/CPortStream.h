// A port seen as a byte stream: reads and writes go straight to the port; there is no position,
// so size and position read as 0.
#pragma once

#include <cstdint>

#include "framework/Stream.h"

class TCustomComPort;

class TComStream : public TStream {
public:
    explicit TComStream(TCustomComPort* AComPort);
    explicit TComStream(TCustomComPort& AComPort) : TComStream(&AComPort) {}

    std::int32_t Read(void* Buffer, std::int32_t Count) override;
    std::int32_t Write(const void* Buffer, std::int32_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

private:
    TCustomComPort& Port() const;

    TCustomComPort* FComPort;
};
