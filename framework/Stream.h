// Byte streams. A stream reads and writes at a position; Seek moves it relative to an origin
// and returns the new position. Size and position come from Seek, so a stream that has no
// position (Seek always 0) reads both as 0.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/Object.h"

enum TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };
// The older spellings of the same origins.
inline constexpr TSeekOrigin soFromBeginning = soBeginning;
inline constexpr TSeekOrigin soFromCurrent = soCurrent;
inline constexpr TSeekOrigin soFromEnd = soEnd;

class TStream : public TObject {
public:
    // Bytes actually transferred, 0..Count.
    virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
    virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;

    std::int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t Pos) { Seek(Pos, soBeginning); }
    virtual std::int64_t GetSize();
    // Default: the stream has no settable size; nothing happens.
    virtual void SetSize(std::int64_t NewSize);

    // Whole transfers: EReadError / EWriteError when fewer than Count bytes moved.
    void ReadBuffer(void* Buffer, std::int32_t Count);
    void WriteBuffer(const void* Buffer, std::int32_t Count);
    // Copies Count bytes from Source at its position (Count 0: all of Source from its start).
    std::int64_t CopyFrom(TStream& Source, std::int64_t Count);
};

// A stream over bytes held in memory; grows as it is written past its end.
class TMemoryStream : public TStream {
public:
    std::int32_t Read(void* Buffer, std::int32_t Count) override;
    std::int32_t Write(const void* Buffer, std::int32_t Count) override;
    // Positions before 0 are clamped to 0; past the end is allowed (a write fills with zeros).
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t GetSize() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t NewSize) override;
    void Clear();

    const std::uint8_t* GetMemory() const { return data_.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
    std::int64_t position_ = 0;
};
