#include "port/CPortPacket.h"

#include <algorithm>

#include "platform/text/AsciiText.h"

#include "port/CPortComPort.h"
#include "port/CPortLink.h"

TComDataPacket::TComDataPacket(TComponent* AOwner) : TComponent(AOwner), FComLink(new TComLink) {
    FComLink->OnRxBuf = [this](TObject* Sender, const void* Buffer, std::int32_t Count) {
        RxBuf(Sender, Buffer, Count);
    };
}

TComDataPacket::~TComDataPacket() {
    try {
        SetComPort(nullptr);
    } catch (...) {
        // Unregistering fails only for a link the port no longer holds: nothing left to detach.
        FComPort = nullptr;
    }
    delete FComLink;
}

void TComDataPacket::AddData(const std::string& Str) {
    if (!ValidStop()) {
        DoPacket(Str);
        return;
    }
    FPacketBuffer += Str;
    HandleBuffer();
}

void TComDataPacket::HandleBuffer() {
    if (FScanning) {
        // Asked from inside a scan (a packet was found, or a handler fed more data): the loop
        // below runs it next instead of nesting.
        FRescan = true;
        return;
    }
    FScanning = true;
    try {
        bool Pending = true;
        while (Pending) {
            FRescan = false;
            if (ScanOnce())
                HandleBuffer(); // through the slot, so a descendant sees every scan
            Pending = FRescan;
        }
    } catch (...) {
        FScanning = false;
        CheckBufferSize();
        throw;
    }
    FScanning = false;
    CheckBufferSize();
}

bool TComDataPacket::ScanOnce() {
    if (!FInPacket)
        FindStart();
    if (!FInPacket)
        return false;
    const std::int32_t End = FindEnd();
    if (End <= 0)
        return false;
    FInPacket = false;
    std::string Packet = FPacketBuffer.substr(0, static_cast<std::size_t>(End));
    FPacketBuffer.erase(0, static_cast<std::size_t>(End));
    CheckIncludeStrings(Packet);
    DoPacket(Packet);
    return true;
}

void TComDataPacket::FindStart() {
    std::int32_t Pos = -1;
    DoCustomStart(FPacketBuffer, Pos);
    if (Pos > 0) {
        DiscardUpTo(Pos);
    } else if (Pos == -1) {
        if (FStartString.empty()) {
            FInPacket = true;
        } else if (const std::int32_t Found = Find(FStartString, FPacketBuffer, 0); Found > 0) {
            DiscardUpTo(Found);
        }
    }
}

void TComDataPacket::DiscardUpTo(std::int32_t Pos) {
    FInPacket = true;
    if (Pos <= 1)
        return;
    // A handler's position past the end counts as the end of the buffer.
    const std::size_t Count = std::min(static_cast<std::size_t>(Pos - 1), FPacketBuffer.size());
    const std::string Discarded = FPacketBuffer.substr(0, Count);
    FPacketBuffer.erase(0, Count);
    DoDiscard(Discarded);
}

std::int32_t TComDataPacket::FindEnd() {
    std::int32_t Pos = -1;
    DoCustomStop(FPacketBuffer, Pos);
    // Every end yields a packet and a new scan, so an end in an empty buffer would repeat
    // forever; there is nothing to report there anyway.
    if (FPacketBuffer.empty())
        return 0;
    const auto Length = static_cast<std::int32_t>(FPacketBuffer.size());
    if (Pos > 0)
        return std::min(Pos, Length);
    if (Pos != -1)
        return 0;
    if (FSize > 0 && Length >= FSize)
        return FSize;
    const auto StartLength = static_cast<std::int32_t>(FStartString.size());
    if (StartLength > Length)
        return 0;
    const std::int32_t Found =
        Find(FStopString, FPacketBuffer, static_cast<std::size_t>(StartLength));
    if (Found == 0)
        return 0;
    return Found + static_cast<std::int32_t>(FStopString.size()) - 1;
}

std::int32_t TComDataPacket::Find(const std::string& Sub, const std::string& Str,
                                  std::size_t From) const {
    if (Sub.empty() || From > Str.size())
        return 0;
    std::string::const_iterator It;
    if (FCaseInsensitive) {
        It = std::search(Str.begin() + static_cast<std::ptrdiff_t>(From), Str.end(), Sub.begin(),
                         Sub.end(), [](char A, char B) { return AsciiUpper(A) == AsciiUpper(B); });
    } else {
        It = std::search(Str.begin() + static_cast<std::ptrdiff_t>(From), Str.end(), Sub.begin(),
                         Sub.end());
    }
    if (It == Str.end())
        return 0;
    return static_cast<std::int32_t>(It - Str.begin()) + 1;
}

void TComDataPacket::CheckBufferSize() {
    if (FMaxBufferSize > 0 && FPacketBuffer.size() >= static_cast<std::size_t>(FMaxBufferSize))
        EmptyBuffer();
}

void TComDataPacket::EmptyBuffer() {
    if (FPacketBuffer.empty())
        return;
    const std::string Discarded = FPacketBuffer;
    try {
        DoDiscard(Discarded);
    } catch (...) {
        FPacketBuffer.clear();
        FInPacket = false;
        throw;
    }
    FPacketBuffer.clear();
    FInPacket = false;
}

bool TComDataPacket::ValidStop() const {
    return FSize > 0 || !FStopString.empty() || static_cast<bool>(OnCustomStop);
}

void TComDataPacket::CheckIncludeStrings(std::string& Str) const {
    if (FIncludeStrings)
        return;
    if (Find(FStartString, Str, 0) == 1)
        Str.erase(0, FStartString.size());
    const std::int32_t StopAt = Find(FStopString, Str, 0);
    if (StopAt > 0 && static_cast<std::size_t>(StopAt) == Str.size() - FStopString.size() + 1)
        Str.erase(Str.size() - FStopString.size());
}

std::string TComDataPacket::Upper(const std::string& Str) const {
    return FCaseInsensitive ? AsciiUpperCase(Str) : Str;
}

void TComDataPacket::RxBuf(TObject*, const void* Buffer, std::int32_t Count) {
    if (Buffer == nullptr || Count < 0)
        Count = 0;
    AddData(std::string(static_cast<const char*>(Buffer), static_cast<std::size_t>(Count)));
}

void TComDataPacket::SetComPort(TCustomComPort* Value) {
    if (Value == FComPort)
        return;
    if (FComPort != nullptr)
        FComPort->UnRegisterLink(FComLink);
    FComPort = Value;
    if (FComPort != nullptr) {
        FComPort->FreeNotification(this);
        FComPort->RegisterLink(FComLink);
    }
}

void TComDataPacket::SettingChanged() {
    if (!GetComponentState().Contains(csLoading))
        EmptyBuffer();
}

void TComDataPacket::SetCaseInsensitive(bool Value) {
    if (Value == FCaseInsensitive)
        return;
    FCaseInsensitive = Value;
    SettingChanged();
}

void TComDataPacket::SetSize(std::int32_t Value) {
    if (Value == FSize)
        return;
    FSize = Value;
    SettingChanged();
}

void TComDataPacket::SetStartString(const std::string& Value) {
    if (Value == FStartString)
        return;
    FStartString = Value;
    SettingChanged();
}

void TComDataPacket::SetStopString(const std::string& Value) {
    if (Value == FStopString)
        return;
    FStopString = Value;
    SettingChanged();
}

void TComDataPacket::DoDiscard(const std::string& Str) {
    if (OnDiscard)
        OnDiscard(this, Str);
}

void TComDataPacket::DoPacket(const std::string& Str) {
    if (OnPacket)
        OnPacket(this, Str);
}

void TComDataPacket::DoCustomStart(const std::string& Str, std::int32_t& Pos) {
    if (OnCustomStart)
        OnCustomStart(this, Str, Pos);
}

void TComDataPacket::DoCustomStop(const std::string& Str, std::int32_t& Pos) {
    if (OnCustomStop)
        OnCustomStop(this, Str, Pos);
}

void TComDataPacket::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (LinkedPortRemoved(AComponent, Operation, FComPort))
        SetComPort(nullptr);
}
