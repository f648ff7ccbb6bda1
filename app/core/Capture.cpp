#include "app/core/Capture.h"

#include "platform/text/AsciiText.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include <sys/stat.h>

namespace {

constexpr const char* kKindNames[] = {"TX", "TXEMPTY", "RX", "TIMEOUT"};
constexpr std::size_t kWriteAhead = 1 << 16;

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

// The next blank-separated field of rest, taken off its front; "" when none is left.
std::string_view NextField(std::string_view& rest) {
    while (!rest.empty() && IsBlank(rest.front())) {
        rest.remove_prefix(1);
    }
    std::size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) {
        ++end;
    }
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end);
    return field;
}

// A field as the user may read it in an error text: printable ASCII, cut short.
std::string Quoted(std::string_view field) {
    std::string text = "'";
    for (char ch : field.substr(0, 24)) {
        text += ch >= 0x20 && ch < 0x7F ? ch : '?';
    }
    return text + (field.size() > 24 ? "...'" : "'");
}

void AppendHexBytes(std::string& text, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes) {
        text += ' ';
        text += HexDigitChar(byte >> 4);
        text += HexDigitChar(byte & 0x0F);
    }
}

} // namespace

void AppendCaptureLines(std::string& text, TCaptureKind kind, std::int64_t wallMicros,
                        std::span<const std::uint8_t> bytes) {
    do {
        const std::span<const std::uint8_t> chunk =
            bytes.first(std::min(bytes.size(), kMaxCaptureChunk));
        bytes = bytes.subspan(chunk.size());
        text += kKindNames[kind];
        text += ' ';
        text += std::to_string(wallMicros);
        for (std::size_t at = 0; at < chunk.size(); at += kCaptureBytesPerLine) {
            if (at > 0) {
                text += "\n+";
            }
            AppendHexBytes(text,
                           chunk.subspan(at, std::min(kCaptureBytesPerLine, chunk.size() - at)));
        }
        text += '\n';
    } while (!bytes.empty());
}

TCaptureWriter::TCaptureWriter(std::ostream& out) : Out(out) {
    Pending = std::string(kCaptureFirstLine) + "\n";
}

void TCaptureWriter::Record(TCaptureKind kind, std::int64_t wallMicros,
                            std::span<const std::uint8_t> bytes) {
    AppendCaptureLines(Pending, kind, wallMicros, bytes);
    if (Pending.size() >= kWriteAhead) {
        Out.write(Pending.data(), static_cast<std::streamsize>(Pending.size()));
        Pending.clear();
    }
}

bool TCaptureWriter::Flush() {
    Out.write(Pending.data(), static_cast<std::streamsize>(Pending.size()));
    Pending.clear();
    Out.flush();
    return static_cast<bool>(Out);
}

TCaptureReader::TCaptureReader(std::istream& in) : In(in), Buffer(kMaxCaptureLine + 2) {}

std::string TCaptureReader::CheckFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return "Cannot open " + path;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxCaptureFile) {
        return path + " is larger than " + std::to_string(kMaxCaptureFile) + " bytes";
    }
    return "";
}

bool TCaptureReader::Fail(const std::string& text) {
    Error = "Line " + std::to_string(std::max<std::uint64_t>(LineNumber, 1)) + ": " + text;
    return false;
}

bool TCaptureReader::ReadLine() {
    while (true) {
        In.getline(Buffer.data(), static_cast<std::streamsize>(Buffer.size()));
        const auto count = static_cast<std::size_t>(In.gcount());
        if (count == 0 && In.eof()) {
            return LineNumber == 0 && Fail("not a capture: the file is empty");
        }
        ++LineNumber;
        BytesRead += count;
        if (BytesRead > kMaxCaptureFile) {
            return Fail("the file is larger than " + std::to_string(kMaxCaptureFile) + " bytes");
        }
        if (In.fail() && !In.eof()) {
            return Fail("longer than " + std::to_string(kMaxCaptureLine) + " characters");
        }
        const std::size_t stored = In.eof() ? count : count - 1;
        Line.assign(Buffer.data(), stored);
        if (!Line.empty() && Line.back() == '\r') {
            Line.pop_back();
        }
        if (Line.size() > kMaxCaptureLine) {
            return Fail("longer than " + std::to_string(kMaxCaptureLine) + " characters");
        }
        if (LineNumber == 1) {
            if (Line != kCaptureFirstLine) {
                return Fail(std::string("not a capture: the first line is not \"") +
                            kCaptureFirstLine + "\"");
            }
            continue;
        }
        if (!Line.empty() && Line.front() != '#') {
            return true;
        }
    }
}

bool TCaptureReader::TakeBytes(std::string_view fields, std::vector<std::uint8_t>& bytes) {
    for (std::string_view field = NextField(fields); !field.empty(); field = NextField(fields)) {
        const int hi = field.size() == 2 ? HexDigitValue(field[0]) : -1;
        const int lo = field.size() == 2 ? HexDigitValue(field[1]) : -1;
        if (hi < 0 || lo < 0) {
            return Fail(Quoted(field) + " is not a hex byte");
        }
        if (bytes.size() == kMaxCaptureChunk) {
            return Fail("a chunk of more than " + std::to_string(kMaxCaptureChunk) + " bytes");
        }
        bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return true;
}

bool TCaptureReader::Next(TCaptureRecord& record) {
    if (!Error.empty() || (!HaveLine && !ReadLine())) {
        return false;
    }
    HaveLine = false;
    std::string_view rest = Line;
    const std::string_view name = NextField(rest);
    const auto kind = std::find(std::begin(kKindNames), std::end(kKindNames), name);
    if (name == "+") {
        return Fail("'+' continues no TX or RX line");
    }
    if (kind == std::end(kKindNames)) {
        return Fail(Quoted(name) + " is not TX, TXEMPTY, RX or TIMEOUT");
    }
    record.Kind = static_cast<TCaptureKind>(kind - std::begin(kKindNames));
    const std::string_view time = NextField(rest);
    const TDigitRun digits = ReadDigits(time, 10, INT64_MAX);
    if (time.empty() || digits.Length != time.size() || digits.Overflow) {
        return Fail(Quoted(time) + " is not a time in microseconds");
    }
    record.WallMicros = static_cast<std::int64_t>(digits.Value);
    if (record.WallMicros < LastTime) {
        return Fail("the time goes backwards");
    }
    LastTime = record.WallMicros;
    record.Bytes.clear();
    const bool carriesBytes = record.Kind == ckSent || record.Kind == ckReceived;
    if (!TakeBytes(rest, record.Bytes)) {
        return false;
    }
    if (!carriesBytes) {
        return record.Bytes.empty() || Fail(std::string(*kind) + " takes no bytes");
    }
    if (record.Bytes.empty()) {
        return Fail(std::string(*kind) + " without bytes");
    }
    while (ReadLine()) {
        rest = Line;
        if (NextField(rest) != "+") {
            HaveLine = true;
            return true;
        }
        if (!TakeBytes(rest, record.Bytes)) {
            return false;
        }
    }
    return Error.empty();
}
