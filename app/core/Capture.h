// A capture: what the line carried and when, as the workbench was told it, in a text file that
// replays into a workbench as the same rows, verdicts and answer times.
//
// Format (UTF-8 text, one event a line, LF or CRLF):
//
//   TESSAL-CAPTURE 1                      the first line, as it stands
//   TX 1765118607123456 01 05 00 30 96    a request written; time: its write completed
//   TXEMPTY 1765118607124101              the port's transmit buffer ran empty
//   RX 1765118607135872 01 06 00 05 94    bytes received in one reception ...
//   + B1                                  ... continued on the next line
//   TIMEOUT 1765118607236010              the answer time-out passed
//
// Times are microseconds since 1970-01-01 UTC and never go backwards. Bytes are two hexadecimal
// digits each, separated by blanks; a TX or RX line carries at least one, and "+" lines continue
// its bytes. Blank lines and lines starting with "#" are remarks.
//
// Reading is bounded: a line of more than kMaxCaptureLine characters, a chunk of more than
// kMaxCaptureChunk bytes or a file of more than kMaxCaptureFile bytes ends the reading with an
// error that names the line ("Line 7: 'G1' is not a hex byte"), as does any line not as above.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

enum TCaptureKind : std::uint8_t { ckSent, ckTxEmpty, ckReceived, ckAnswerTimeout };

struct TCaptureRecord {
    TCaptureKind Kind = ckReceived;
    std::int64_t WallMicros = 0;
    std::vector<std::uint8_t> Bytes; // ckSent and ckReceived only
    bool operator==(const TCaptureRecord&) const = default;
};

inline constexpr const char* kCaptureFirstLine = "TESSAL-CAPTURE 1";
inline constexpr std::size_t kCaptureBytesPerLine = 1024;
inline constexpr std::size_t kMaxCaptureLine = 4096;
inline constexpr std::size_t kMaxCaptureChunk = 1 << 20;
inline constexpr std::uint64_t kMaxCaptureFile = std::uint64_t{1} << 30;

// The lines of one event, each ending in LF; a chunk longer than kMaxCaptureChunk is written as
// several events of the same time.
void AppendCaptureLines(std::string& text, TCaptureKind kind, std::int64_t wallMicros,
                        std::span<const std::uint8_t> bytes = {});

// Where a workbench reports what it is told, as it is told it.
class TCaptureSink {
public:
    virtual ~TCaptureSink() = default;
    virtual void Record(TCaptureKind kind, std::int64_t wallMicros,
                        std::span<const std::uint8_t> bytes) = 0;
};

// Writes the first line at once, then the events, collected and written in large pieces.
class TCaptureWriter : public TCaptureSink {
public:
    explicit TCaptureWriter(std::ostream& out);
    void Record(TCaptureKind kind, std::int64_t wallMicros,
                std::span<const std::uint8_t> bytes) override;
    // Writes what is collected and flushes the stream; false once the stream has failed.
    bool Flush();

private:
    std::ostream& Out;
    std::string Pending;
};

class TCaptureReader {
public:
    explicit TCaptureReader(std::istream& in);

    // The next event; false at the end of the capture or at an error, which GetError then says.
    bool Next(TCaptureRecord& record);
    const std::string& GetError() const { return Error; }

    // An error text when path is not a regular file of at most kMaxCaptureFile bytes, else "".
    static std::string CheckFile(const std::string& path);

private:
    // The next line that is not a remark into Line; false at the end or an error.
    bool ReadLine();
    bool Fail(const std::string& text);
    bool TakeBytes(std::string_view fields, std::vector<std::uint8_t>& bytes);

    std::istream& In;
    std::vector<char> Buffer;
    std::string Line;
    bool HaveLine = false; // Line holds a line read ahead
    std::uint64_t LineNumber = 0;
    std::uint64_t BytesRead = 0;
    std::int64_t LastTime = 0;
    std::string Error;
};
