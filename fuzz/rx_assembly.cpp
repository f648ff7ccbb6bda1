// The workbench's receive path fed arbitrary chunks, as the window feeds it the bytes of the
// port's received-characters event and the two timers. The first byte sets the check boxes
// (bits 0-2) and allows a flood (bit 3); then each event is one byte (taken modulo 8; 5 to 7 are
// chunks as 0 is):
//   0 a chunk: one byte gives its length, then those bytes
//   1 the answer timer fires   2 the time-for-data timer fires   3 "Delete all"
//   4 a flood (the first only): one event bringing more than the buffer holds, bytes
//     repeating the next eight
// After every event the assembly's positions lie inside its buffer, every grid cell keeps its
// bound, and the rows the outcome announces are the rows that changed.
#include "app/core/Workbench.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace {

std::uint8_t Take(std::string_view& Input) {
    if (Input.empty())
        return 0;
    const auto Byte = static_cast<std::uint8_t>(Input.front());
    Input.remove_prefix(1);
    return Byte;
}

// Rows from FirstRow on are checked in both renderings of their parameters.
void CheckState(TWorkbench& Bench, std::int32_t FirstRow) {
    const TRxAssembly& Assembly = Bench.Receiver();
    FUZZ_CHECK(Assembly.GetRxFill() >= 0 && Assembly.GetRxFill() < kRxBufferSize);
    FUZZ_CHECK(Assembly.GetRxFrameStart() >= 0);
    FUZZ_CHECK(Assembly.GetRxFrameStart() <= Assembly.GetRxFill());
    const TFrameRows& Rows = Bench.Rows();
    const bool Ascii = Rows.GetAscii();
    for (const bool Rendering : {Ascii, !Ascii}) {
        Bench.SetAscii(Rendering);
        for (std::int32_t Row = FirstRow; Row <= Rows.RowCount(); ++Row)
            for (int Col = 0; Col < kGridColumns; ++Col)
                FUZZ_CHECK(Rows.Cell(Col, Row).size() <= TFrameRows::kMaxCellText);
    }
    Bench.SetAscii(Ascii);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::string_view Input(reinterpret_cast<const char*>(Data), Size);
    const std::uint8_t Setup = Take(Input);
    // No command file is loaded: nothing here writes tessal.ini.
    const auto Bench = std::make_unique<TWorkbench>("");
    Bench->SetDeleteAutomatically((Setup & 1) != 0);
    Bench->AutoRepeatClicked((Setup & 2) != 0);
    Bench->SetAscii((Setup & 4) != 0);
    const TFrameRows& Rows = Bench->Rows();
    TWorkbenchTime Now{};

    // A flood costs a row per short frame, tens of milliseconds: at most one, and only in the
    // inputs that ask for it, so the rest run at full speed.
    int Floods = (Setup & 8) != 0 ? 0 : 1;
    std::vector<std::uint8_t> Chunk;
    while (!Input.empty()) {
        const std::int32_t FramesBefore = Rows.GetFrameCount();
        Now += std::chrono::milliseconds(Take(Input));
        TWorkbenchOutcome Out;
        // Byte values 5..7 (mod 8) are chunks too: most of what a port sees is data.
        switch (Take(Input) % 8) {
        default: {
            const std::size_t Length = std::min<std::size_t>(Take(Input), Input.size());
            Chunk.assign(Input.begin(), Input.begin() + static_cast<std::ptrdiff_t>(Length));
            Input.remove_prefix(Length);
            Out = Bench->Received(Chunk, Now);
            break;
        }
        case 1:
            Out = Bench->TimerFired(wtAnswer, Now);
            break;
        case 2:
            Out = Bench->TimerFired(wtTimeForData, Now);
            break;
        case 3:
            Out = Bench->DeleteAll();
            break;
        case 4: {
            const std::string_view Pattern = Input.substr(0, 8);
            Input.remove_prefix(Pattern.size());
            if (Pattern.empty() || ++Floods > 1)
                break;
            Chunk.resize(kRxBufferSize + 1000);
            for (std::size_t I = 0; I < Chunk.size(); ++I)
                Chunk[I] = static_cast<std::uint8_t>(Pattern[I % Pattern.size()]);
            Out = Bench->Received(Chunk, Now);
            break;
        }
        }
        // Rows only grow, unless the grid was cleared, and the outcome says so exactly.
        FUZZ_CHECK(Rows.GetFrameCount() == (Out.RowsCleared ? 0 : FramesBefore) + Out.RowsAppended);
        CheckState(*Bench, Out.RowsCleared ? 0 : FramesBefore + 1);
    }
    return 0;
}
