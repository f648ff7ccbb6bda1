// The capture reader fed arbitrary text, and what it reads replayed into a workbench. Whatever
// the input: the reader ends, at the end or at an error that names its line; every event it
// gives keeps the format's bounds, its times never go back, and the events written out again
// read back as the same events.
#include "app/core/Capture.h"
#include "app/core/Workbench.h"
#include "fuzz/FuzzSupport.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::istringstream In(std::string(reinterpret_cast<const char*>(Data), Size));
    TCaptureReader Reader(In);
    // No command file is loaded: nothing here writes tessal.ini.
    const auto Bench = std::make_unique<TWorkbench>("");
    std::vector<TCaptureRecord> Records;
    std::string Again = std::string(kCaptureFirstLine) + "\n";
    for (TCaptureRecord Record; Reader.Next(Record);) {
        const bool CarriesBytes = Record.Kind == ckSent || Record.Kind == ckReceived;
        FUZZ_CHECK(CarriesBytes == !Record.Bytes.empty());
        FUZZ_CHECK(Record.Bytes.size() <= kMaxCaptureChunk);
        FUZZ_CHECK(Records.empty() || Records.back().WallMicros <= Record.WallMicros);
        Bench->Replay(Record);
        AppendCaptureLines(Again, Record.Kind, Record.WallMicros, Record.Bytes);
        Records.push_back(Record);
    }
    FUZZ_CHECK(Reader.GetError().empty() || Reader.GetError().rfind("Line ", 0) == 0);
    std::istringstream Back(Again);
    TCaptureReader Reread(Back);
    std::size_t K = 0;
    for (TCaptureRecord Record; Reread.Next(Record); ++K) {
        FUZZ_CHECK(K < Records.size() && Record == Records[K]);
    }
    FUZZ_CHECK(Reread.GetError().empty() && K == Records.size());
    const TFrameRows& Rows = Bench->Rows();
    for (std::int32_t Row = 1; Row <= Rows.GetFrameCount(); ++Row)
        FUZZ_CHECK(Rows.LineBytes(Row).size() <= TFrameRows::kMaxLineBytes);
    return 0;
}
