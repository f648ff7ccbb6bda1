// Cuts the bytes a port receives into packets by start and stop strings, a fixed size, or the
// application's own start/stop handlers. Runs wherever the port dispatches to its links; it
// has no lock, so change its properties in that same context.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/Component.h"
#include "port/CPortTypes.h"

class TComLink;
class TCustomComPort;

using TComStrEvent = std::function<void(TObject* Sender, const std::string& Str)>;
using TCustPacketEvent =
    std::function<void(TObject* Sender, const std::string& Str, std::int32_t& Pos)>;

class TComDataPacket : public TComponent {
public:
    explicit TComDataPacket(TComponent* AOwner = nullptr);
    ~TComDataPacket() override;

    void AddData(const std::string& Str);
    // One scan for a start and an end. Finding a packet asks for another scan through this
    // same virtual slot; the outermost call runs those in a loop rather than nesting, so a
    // block of many small packets costs no stack.
    virtual void HandleBuffer();
    void EmptyBuffer();
    bool ValidStop() const;
    void CheckIncludeStrings(std::string& Str) const;
    std::string Upper(const std::string& Str) const;
    void RxBuf(TObject* Sender, const void* Buffer, std::int32_t Count);
    void Notification(TComponent* AComponent, TOperation Operation) override;

    TCustomComPort* GetComPort() const { return FComPort; }
    void SetComPort(TCustomComPort* Value);
    bool GetCaseInsensitive() const { return FCaseInsensitive; }
    void SetCaseInsensitive(bool Value);
    bool GetIncludeStrings() const { return FIncludeStrings; }
    void SetIncludeStrings(bool Value) { FIncludeStrings = Value; }
    std::int32_t GetMaxBufferSize() const { return FMaxBufferSize; }
    void SetMaxBufferSize(std::int32_t Value) { FMaxBufferSize = Value; }
    const std::string& GetStartString() const { return FStartString; }
    void SetStartString(const std::string& Value);
    const std::string& GetStopString() const { return FStopString; }
    void SetStopString(const std::string& Value);
    std::int32_t GetSize() const { return FSize; }
    void SetSize(std::int32_t Value);
    bool GetInPacket() const { return FInPacket; }
    const std::string& GetPacketBuffer() const { return FPacketBuffer; }

    TComStrEvent OnDiscard;
    TComStrEvent OnPacket;
    TCustPacketEvent OnCustomStart;
    TCustPacketEvent OnCustomStop;

protected:
    virtual void DoDiscard(const std::string& Str);
    virtual void DoPacket(const std::string& Str);
    virtual void DoCustomStart(const std::string& Str, std::int32_t& Pos);
    virtual void DoCustomStop(const std::string& Str, std::int32_t& Pos);

private:
    // Steps 1 and 2 of a scan; true when a packet was reported.
    bool ScanOnce();
    void FindStart();
    void DiscardUpTo(std::int32_t Pos);
    std::int32_t FindEnd();
    // 1-based position of Sub in Str at or after From (0-based), or 0; an empty Sub is never
    // found.
    std::int32_t Find(const std::string& Sub, const std::string& Str, std::size_t From) const;
    void CheckBufferSize();
    void SettingChanged();

    TComLink* FComLink;
    TCustomComPort* FComPort = nullptr;
    std::string FStartString;
    std::string FStopString;
    std::int32_t FMaxBufferSize = 1024;
    std::int32_t FSize = 0;
    bool FIncludeStrings = false;
    bool FCaseInsensitive = false;
    bool FInPacket = false;
    std::string FPacketBuffer;
    bool FScanning = false;
    bool FRescan = false;
};
