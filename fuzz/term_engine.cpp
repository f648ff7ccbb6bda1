// The terminal's state machine on arbitrary received bytes. Four header bytes choose the
// emulation and switches, the screen size and the chunk length; the rest arrives through the
// port link's entry in chunks. After every chunk the caret is on the screen, the buffer matches
// the screen size, and nothing the view was asked to draw lies outside it.
#include "framework/Stream.h"
#include "fuzz/FuzzSupport.h"
#include "terminal/TermEngine.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

class TCheckingView : public TTermView {
public:
    explicit TCheckingView(const TTermEngine& Engine) : FEngine(Engine) {}

    void InvalidatePortion(int Left, int Top, int Right, int Bottom) override {
        Cell(Left, Top);
        Cell(Right, Bottom < 1 ? 1 : Bottom);
        FUZZ_CHECK(Left <= Right);
    }
    void InvalidateAll() override {}
    void ScrollScreen(bool) override {}
    void ScrollRows(int Top, int Bottom, int Count) override {
        Cell(1, Top);
        Cell(1, Bottom);
        FUZZ_CHECK(Top <= Bottom && Count != 0 && std::abs(Count) <= Bottom - Top);
    }
    void DrawCell(int Column, int Row, const TComTermChar&) override { Cell(Column, Row); }
    void CaretMoved(int Column, int Row) override { Cell(Column, Row); }
    void HideCaret() override { ++FHidden; }
    void ShowCaret() override {
        --FHidden;
        FUZZ_CHECK(FHidden >= 0);
    }
    void CaretShapeChanged() override {}
    void ScreenSizeChanged() override {}

    int Hidden() const { return FHidden; }

private:
    // A cell of the screen the view shows; a range may end on the row before it starts (empty).
    void Cell(int Column, int Row) const {
        FUZZ_CHECK(Column >= 1 && Column <= FEngine.GetColumns());
        FUZZ_CHECK(Row >= 1 && Row <= FEngine.GetRows());
    }

    const TTermEngine& FEngine;
    int FHidden = 0;
};

// The answers the terminal sends go nowhere; the engine only needs a connected output.
class TCountingOutput : public TTermOutput {
public:
    bool CanSend() const override { return true; }
    void Send(const std::string& Text) override { Sent += Text.size(); }
    std::size_t Sent = 0;
};

void CheckState(const TTermEngine& Engine, const TCheckingView& View) {
    FUZZ_CHECK(View.Hidden() == 0);
    FUZZ_CHECK(Engine.GetColumns() >= TTermEngine::MinColumns &&
               Engine.GetColumns() <= TTermEngine::MaxColumns);
    FUZZ_CHECK(Engine.GetRows() >= TTermEngine::MinRows &&
               Engine.GetRows() <= TTermEngine::MaxRows);
    FUZZ_CHECK(Engine.GetScreenBuffer().GetColumns() == Engine.GetColumns());
    FUZZ_CHECK(Engine.GetScreenBuffer().GetRows() == Engine.GetRows());
    FUZZ_CHECK(Engine.GetCaretColumn() >= 1 && Engine.GetCaretColumn() <= Engine.GetColumns());
    FUZZ_CHECK(Engine.GetCaretRow() >= 1 && Engine.GetCaretRow() <= Engine.GetRows());
    FUZZ_CHECK(Engine.GetTopMargin() >= 1 && Engine.GetTopMargin() <= Engine.GetBottomMargin());
    FUZZ_CHECK(Engine.GetBottomMargin() <= Engine.GetRows());
    FUZZ_CHECK(!Engine.GetWrapPending() ||
               (Engine.GetWrapLines() && Engine.GetCaretColumn() == Engine.GetColumns()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 4)
        return 0;
    const std::uint8_t Switches = Data[0];
    TTermEngine Engine;
    TCheckingView View(Engine);
    TCountingOutput Output;
    Engine.SetView(&View);
    Engine.SetOutput(&Output);
    Engine.SetEmulation(static_cast<TTermEmulation>(Switches % 4));
    Engine.SetWrapLines((Switches & 0x04) != 0);
    Engine.SetLocalEcho((Switches & 0x08) != 0);
    Engine.SetAppendLF((Switches & 0x10) != 0);
    Engine.SetForce7Bit((Switches & 0x20) != 0);
    Engine.SetSendLF((Switches & 0x40) != 0);
    Engine.SetColumns(Data[1]);
    Engine.SetRows(Data[2]);
    const std::size_t Chunk = Data[3] == 0 ? Size : Data[3];
    CheckState(Engine, View);

    std::string_view Rest(reinterpret_cast<const char*>(Data) + 4, Size - 4);
    while (!Rest.empty()) {
        const std::string_view Piece = Rest.substr(0, Chunk);
        Rest.remove_prefix(Piece.size());
        Engine.RxBuf(nullptr, Piece.data(), static_cast<std::int32_t>(Piece.size()));
        CheckState(Engine, View);
        if ((Switches & 0x80) != 0 && !Piece.empty()) {
            // A size change between chunks, as the window's resizing makes one.
            Engine.SetColumns(static_cast<std::uint8_t>(Piece.front()));
            CheckState(Engine, View);
        }
    }

    for (const std::uint16_t Key : {vkHome, vkLeft, vkUp, vkRight, vkDown})
        Engine.KeyDown(Key);
    Engine.KeyPress('\r');
    Engine.KeyPress('x');
    CheckState(Engine, View);

    // The screen saved as text reads back through the character path.
    TMemoryStream Saved;
    Engine.SaveToStream(Saved);
    Saved.Seek(0, soBeginning);
    Engine.ClearScreen();
    Engine.LoadFromStream(Saved);
    CheckState(Engine, View);
    return 0;
}
