// The receive assembly fed arbitrary chunks, as the port's received-characters event and the two
// timers feed it. The first byte sets the window's check boxes (bits 0-2) and allows a flood
// (bit 3); then each event is one byte
// (taken modulo 8; 5 to 7 are chunks as 0 is):
//   0 a chunk: two bytes announce a count, one byte the length the port actually delivers, then
//     those bytes (the port may deliver fewer than announced)
//   1 the answer timer fires   2 the time-for-data timer fires   3 a send resets the buffer
//   4 a flood (the first only): one event announcing more than the buffer holds, bytes
//     repeating the next eight
// After every event the assembly's positions lie inside its buffer, the port is never asked to
// write past it, and every grid cell keeps its bound.
#include "app/RxAssembly.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace {

class TFuzzWindow : public TRxWindow {
public:
    explicit TFuzzWindow(std::uint8_t Boxes) : Boxes(Boxes) {}

    std::int32_t ReadPort(std::uint8_t* Buffer, std::int32_t Count) override {
        FUZZ_CHECK(Assembly != nullptr && Count >= 0);
        const std::uint8_t* Begin = Assembly->GetRxBuffer().data();
        FUZZ_CHECK(Buffer >= Begin && Buffer + Count <= Begin + kRxBufferSize);
        const auto Got = static_cast<std::int32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(Count), Pending.size() - Taken));
        std::copy_n(Pending.begin() + static_cast<std::ptrdiff_t>(Taken), Got, Buffer);
        Taken += static_cast<std::size_t>(Got);
        return Got;
    }
    void ClearPortQueues() override {
        Pending.clear();
        Taken = 0;
    }
    void SetStatusText(const std::string&) override {}
    void RestartUARTTimeout(int) override {}
    void StopUARTTimeout() override {}
    void RestartTimeForDataTimer(int) override {}
    void StopTimeForDataTimer() override {}
    bool DeleteAutomaticallyChecked() const override { return (Boxes & 1) != 0; }
    bool AutoRepeatChecked() const override { return (Boxes & 2) != 0; }
    bool AsciiChecked() const override { return (Boxes & 4) != 0; }

    const TRxAssembly* Assembly = nullptr;
    // What the port holds: the bytes from Taken on.
    std::vector<std::uint8_t> Pending;
    std::size_t Taken = 0;

private:
    std::uint8_t Boxes;
};

std::uint8_t Take(std::string_view& Input) {
    if (Input.empty())
        return 0;
    const auto Byte = static_cast<std::uint8_t>(Input.front());
    Input.remove_prefix(1);
    return Byte;
}

// Rows from FirstRow on are the ones the last event added.
void CheckState(const TRxAssembly& Assembly, const TFrameRows& Rows, std::int32_t FirstRow) {
    FUZZ_CHECK(Assembly.GetRxFill() >= 0 && Assembly.GetRxFill() < kRxBufferSize);
    FUZZ_CHECK(Assembly.GetRxFrameStart() >= 0);
    FUZZ_CHECK(Assembly.GetRxFrameStart() <= Assembly.GetRxFill());
    for (std::int32_t Row = FirstRow; Row <= Rows.RowCount(); ++Row)
        for (int Col = 0; Col < kGridColumns; ++Col)
            FUZZ_CHECK(Rows.Cell(Col, Row).size() <= TFrameRows::kMaxCellText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::string_view Input(reinterpret_cast<const char*>(Data), Size);
    const std::uint8_t Setup = Take(Input);
    TFuzzWindow Window(Setup);
    TFrameRows Rows;
    const TOpCodeList OpCodes = {{"ACK", 0x06}, {"NAK", 0x15}};
    const auto Assembly = std::make_unique<TRxAssembly>(Window, Rows, OpCodes);
    Window.Assembly = Assembly.get();
    Assembly->SetClearOnAnswer((Window.DeleteAutomaticallyChecked()));

    // A flood costs a row per short frame, tens of milliseconds: at most one, and only in the
    // inputs that ask for it, so the rest run at full speed.
    int Floods = (Setup & 8) != 0 ? 0 : 1;
    std::int32_t FramesBefore = 0;
    std::uint64_t ClearsBefore = 0;
    while (!Input.empty()) {
        // Byte values 5..7 (mod 8) are chunks too: most of what a port sees is data.
        switch (Take(Input) % 8) {
        default: {
            const std::int32_t High = Take(Input);
            const std::int32_t Announced = High << 8 | Take(Input);
            const std::size_t Delivered = std::min<std::size_t>(Take(Input), Input.size());
            Window.Pending.insert(Window.Pending.end(), Input.begin(),
                                  Input.begin() + static_cast<std::ptrdiff_t>(Delivered));
            Input.remove_prefix(Delivered);
            Assembly->ComPortRxChar(Announced);
            break;
        }
        case 1:
            Assembly->UARTTimeoutTimer();
            break;
        case 2:
            Assembly->TimeForDataTimerTimer();
            break;
        case 3:
            Assembly->ResetRxBuffer((Take(Input) & 1) != 0);
            Assembly->SetClearOnAnswer(true);
            break;
        case 4: {
            const std::string_view Pattern = Input.substr(0, 8);
            Input.remove_prefix(Pattern.size());
            if (Pattern.empty() || ++Floods > 1)
                break;
            const std::int32_t Announced = kRxBufferSize + 1000;
            for (std::int32_t I = 0; I < Announced; ++I)
                Window.Pending.push_back(static_cast<std::uint8_t>(Pattern[I % Pattern.size()]));
            Assembly->ComPortRxChar(Announced);
            break;
        }
        }
        // Rows only grow, unless the grid was cleared.
        const bool Cleared = Rows.GetClearCount() != ClearsBefore;
        if (!Cleared)
            FUZZ_CHECK(Rows.GetFrameCount() >= FramesBefore);
        CheckState(*Assembly, Rows, Cleared ? 0 : FramesBefore + 1);
        FramesBefore = Rows.GetFrameCount();
        ClearsBefore = Rows.GetClearCount();
    }
    return 0;
}
