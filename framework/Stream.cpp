#include "framework/Stream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/Exception.h"

std::int64_t TStream::GetSize() {
    const std::int64_t pos = Seek(0, soCurrent);
    const std::int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(std::int64_t /*NewSize*/) {}

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
    if (Count != 0 && Read(Buffer, Count) != Count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
    if (Count != 0 && Write(Buffer, Count) != Count)
        throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.GetSize();
    }
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(Count, 65536)));
    std::int64_t done = 0;
    while (done < Count) {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count - done, 65536));
        Source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        done += n;
    }
    return done;
}

std::int32_t TMemoryStream::Read(void* Buffer, std::int32_t Count) {
    const auto size = static_cast<std::int64_t>(data_.size());
    if (Count <= 0 || position_ >= size)
        return 0;
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, size - position_));
    std::memcpy(Buffer, data_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
    if (Count <= 0)
        return 0;
    const std::int64_t end = position_ + Count;
    if (end > static_cast<std::int64_t>(data_.size()))
        data_.resize(static_cast<std::size_t>(end));
    std::memcpy(data_.data() + position_, Buffer, static_cast<std::size_t>(Count));
    position_ = end;
    return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    std::int64_t base = 0;
    if (Origin == soCurrent)
        base = position_;
    else if (Origin == soEnd)
        base = static_cast<std::int64_t>(data_.size());
    position_ = std::max<std::int64_t>(0, base + Offset);
    return position_;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
    if (NewSize < 0)
        throw EStreamError("Invalid stream size " + std::to_string(NewSize));
    data_.resize(static_cast<std::size_t>(NewSize));
    position_ = std::min(position_, NewSize);
}

void TMemoryStream::Clear() {
    data_.clear();
    position_ = 0;
}
