// The VT102 emulation beside libvterm's screen layer on generated streams: after every
// sequence the characters, the caret and the renditions of written cells are compared, and the
// first differences are printed with the sequences that led to them. A check of our own, run by
// hand (bench/terminal/setup.sh builds it); usage: bench_vt102_differential [streams] [seed].
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "terminal/TermEngine.h"

#ifdef TESSAL_HAVE_VTERM
#include <vterm.h>

namespace {

constexpr int Rows = 24, Columns = 80;

class TGenerator {
public:
    // With Margins, streams set scrolling regions but never move the caret up or down by
    // CUU and CUD (libvterm lets those leave the region, which a VT102 does not) nor insert or
    // delete characters.
    TGenerator(unsigned Seed, bool Margins) : FGen(Seed), FMargins(Margins) {}

    std::string Next() {
        const int P = Pick(100);
        if (P < 30)
            return Text();
        if (P < 38) {
            static const char* Controls[] = {"\r",   "\n",   "\b",   "\t",
                                             "\x0b", "\x0c", "\x0e", "\x0f"};
            const char* Control = Controls[Pick(8)];
            if (Control[0] == 0x0e || Control[0] == 0x0f)
                FSets[2] = Control[0];
            return Control;
        }
        if (P < 48)
            return Csi(Number() +
                       std::string(1, "ABCD"[Pick(FMargins ? 2 : 4) + (FMargins ? 2 : 0)]));
        if (P < 56)
            return Csi(Number() + ";" + Number() + "H");
        if (P < 60) { // valid margins: an invalid pair is ignored here, and resets there
            if (!FMargins)
                return "";
            const int Top = 1 + Pick(Rows), Bottom = 1 + Pick(Rows);
            return Top < Bottom ? Csi(std::to_string(Top) + ";" + std::to_string(Bottom) + "r")
                                : "";
        }
        if (P < 68) {
            static const char* Escapes[] = {"\x1b"
                                            "D",
                                            "\x1b"
                                            "M",
                                            "\x1b"
                                            "E",
                                            "\x1b"
                                            "7",
                                            "\x1b"
                                            "8",
                                            "\x1b(0",
                                            "\x1b(B",
                                            "\x1b)0",
                                            "\x1b"
                                            "H",
                                            "\x1b[g",
                                            "\x1b[3g"};
            const char* Escape = Escapes[Pick(11)];
            // libvterm's DECRC keeps the character sets; a VT102's restores the saved ones.
            if (Escape[1] == '7')
                FSaved = FSets;
            if (Escape[1] == '(' || Escape[1] == ')')
                FSets[Escape[1] - '('] = Escape[2];
            return Escape[1] == '8' && FSaved != FSets ? "" : Escape;
        }
        if (P < 78) // libvterm ignores ICH and DCH outside the margins, a VT102 does not
            return Csi(Number() + std::string(1, "XLM@P"[Pick(FMargins ? 3 : 5)]));
        if (P < 84)
            return Csi(std::string(1, "012"[Pick(3)]) + (Pick(2) ? "K" : "J"));
        if (P < 90) {
            static const char* Sgr[] = {"0", "1", "4", "7", "", "0;1;7", "22", "24", "27", "1;4"};
            return Csi(std::string(Sgr[Pick(10)]) + "m");
        }
        static const char* Modes[] = {"?6h", "?6l", "?7h", "?7l", "4h", "4l", "20h", "20l"};
        return Csi(Modes[Pick(8)]);
    }

private:
    int Pick(int N) { return std::uniform_int_distribution<int>(0, N - 1)(FGen); }
    std::string Csi(const std::string& Body) { return "\x1b[" + Body; }
    std::string Number() {
        static const char* Numbers[] = {"",   "0",  "1",  "2",  "3",  "5",  "10",
                                        "23", "24", "25", "79", "80", "81", "200"};
        return Numbers[Pick(14)];
    }
    std::string Text() {
        std::string S;
        const int N = 1 + Pick(Pick(4) == 0 ? 100 : 8);
        for (int I = 0; I < N; ++I)
            S += static_cast<char>(0x5e + Pick(0x7f - 0x5e)); // letters and the line-drawing range
        return S;
    }

    std::mt19937 FGen;
    bool FMargins;
    std::array<char, 3> FSets{'B', 'B', 0x0f}; // G0, G1 and the shift
    std::array<char, 3> FSaved{0, 0, 0};
};

class TNoOutput : public TTermOutput {
public:
    bool CanSend() const override { return false; }
    void Send(const std::string&) override {}
};

// The first difference, or empty.
std::string Compare(const TTermEngine& Engine, VTerm* Vt) {
    VTermScreen* Screen = vterm_obtain_screen(Vt);
    VTermPos Caret;
    vterm_state_get_cursorpos(vterm_obtain_state(Vt), &Caret);
    if (Caret.row + 1 != Engine.GetCaretRow() || Caret.col + 1 != Engine.GetCaretColumn())
        return "caret " + std::to_string(Engine.GetCaretColumn()) + "," +
               std::to_string(Engine.GetCaretRow()) + " vs " + std::to_string(Caret.col + 1) + "," +
               std::to_string(Caret.row + 1);
    const TComTermBuffer& B = Engine.GetScreenBuffer();
    for (int Row = 1; Row <= Rows; ++Row)
        for (int Column = 1; Column <= Columns; ++Column) {
            VTermScreenCell Cell;
            vterm_screen_get_cell(Screen, VTermPos{Row - 1, Column - 1}, &Cell);
            const TComTermChar Ours = B.GetChar(Column, Row);
            const char32_t Mine = Ours.Character == 0 ? U' ' : LineDrawingGlyph(Ours.Character);
            char32_t Theirs = Cell.chars[0] == 0 ? U' ' : Cell.chars[0];
            if (Theirs == 0x2A7D || Theirs == 0x2A7E) // its less- and greater-or-equal signs
                Theirs = Theirs - 0x2A7D + 0x2264;
            if (Theirs == U'_' && Mine == U' ') // it leaves 0x5F of the line-drawing set as is
                Theirs = U' ';
            const auto At = [&] {
                return " at " + std::to_string(Column) + "," + std::to_string(Row);
            };
            if (Mine != Theirs)
                return "cell " + std::to_string(Mine) + " vs " + std::to_string(Theirs) + At();
            if (Ours.Character == 0 || Ours.Character == ' ')
                continue;
            const bool Bold = Ours.TextColor == Engine.GetAltColor();
            const bool Reverse = Ours.BackgroundColor == Engine.GetFontColor();
            if (Bold != (Cell.attrs.bold != 0) || Reverse != (Cell.attrs.reverse != 0) ||
                Ours.Underlined != (Cell.attrs.underline != 0))
                return "rendition" + At();
        }
    return {};
}

std::string Visible(const std::string& S) {
    std::string R;
    for (const char Ch : S) {
        if (Ch == 27)
            R += "^";
        else if (static_cast<unsigned char>(Ch) < 32)
            R += "\\x" + std::to_string(Ch);
        else
            R += Ch;
    }
    return R;
}

} // namespace

// One stream given as text ('^' for ESC) or read from a file: our screen, and libvterm's rows
// where they differ ('!').
int Show(std::string Text, bool Raw) {
    for (char& Ch : Text)
        if (Ch == '^' && !Raw)
            Ch = 27;
    TTermEngine Engine;
    Engine.SetEmulation(teVT102);
    Engine.WriteStr(Text);
    VTerm* Vt = vterm_new(Rows, Columns);
    vterm_set_utf8(Vt, 0);
    vterm_screen_reset(vterm_obtain_screen(Vt), 1);
    vterm_input_write(Vt, Text.data(), Text.size());
    VTermPos Caret;
    vterm_state_get_cursorpos(vterm_obtain_state(Vt), &Caret);
    std::printf("ours %d,%d  libvterm %d,%d\n", Engine.GetCaretColumn(), Engine.GetCaretRow(),
                Caret.col + 1, Caret.row + 1);
    for (int Row = 1; Row <= Engine.GetRows(); ++Row) {
        std::string Ours, Plain, Theirs;
        for (int Column = 1; Column <= Engine.GetColumns(); ++Column) {
            const char Ch = Engine.GetScreenBuffer().GetChar(Column, Row).Character;
            Ours += Ch == 0 ? '.' : IsLineDrawing(Ch) ? LineDrawingText(Ch) : Ch;
            Plain += Ch == 0 ? '.' : IsLineDrawing(Ch) || Ch < 0 ? '#' : Ch;
        }
        for (int Column = 1; Column <= Columns; ++Column) {
            VTermScreenCell Cell;
            vterm_screen_get_cell(vterm_obtain_screen(Vt), VTermPos{Row - 1, Column - 1}, &Cell);
            const char32_t Ch = Cell.chars[0];
            Theirs += Ch == 0 ? '.' : Ch < 128 ? static_cast<char>(Ch) : '#';
        }
        std::printf(" %s\n", Ours.c_str());
        if (Plain.substr(0, Columns) != Theirs)
            std::printf("!%s\n", Theirs.c_str());
    }
    vterm_free(Vt);
    return 0;
}

int main(int argc, char* argv[]) {
    if (argc > 2 && std::string(argv[1]) == "-e")
        return Show(argv[2], false);
    if (argc > 2 && std::string(argv[1]) == "-f") { // a file, or its first bytes
        std::string Text;
        const long Limit = argc > 3 ? std::atol(argv[3]) : -1;
        if (FILE* File = std::fopen(argv[2], "rb")) {
            for (int Ch; (Limit < 0 || static_cast<long>(Text.size()) < Limit) &&
                         (Ch = std::fgetc(File)) != EOF;)
                Text += static_cast<char>(Ch);
            std::fclose(File);
        }
        return Show(Text, true);
    }
    const int Streams = argc > 1 ? std::atoi(argv[1]) : 200;
    const unsigned Seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
    constexpr int Steps = 400;
    int Differing = 0;
    for (int Stream = 0; Stream < Streams; ++Stream) {
        TGenerator Gen(Seed * 100003u + static_cast<unsigned>(Stream), Stream % 2 == 0);
        TTermEngine Engine;
        TNoOutput Output;
        Engine.SetOutput(&Output);
        Engine.SetEmulation(teVT102);
        VTerm* Vt = vterm_new(Rows, Columns);
        vterm_set_utf8(Vt, 0);
        VTermScreen* Screen = vterm_obtain_screen(Vt);
        vterm_screen_reset(Screen, 1);
        std::vector<std::string> History;
        for (int Step = 0; Step < Steps; ++Step) {
            const std::string Piece = Gen.Next();
            History.push_back(Piece);
            Engine.WriteStr(Piece);
            vterm_input_write(Vt, Piece.data(), Piece.size());
            const std::string Difference = Compare(Engine, Vt);
            if (Difference.empty())
                continue;
            ++Differing;
            const std::string Name = "/tmp/vt102-diff-" + std::to_string(Stream) + ".bin";
            if (FILE* File = std::fopen(Name.c_str(), "wb")) {
                for (const auto& H : History)
                    std::fwrite(H.data(), 1, H.size(), File);
                std::fclose(File);
            }
            std::printf("stream %d step %d: %s\n  after:", Stream, Step, Difference.c_str());
            for (std::size_t I = History.size() > 40 ? History.size() - 40 : 0; I < History.size();
                 ++I)
                std::printf(" [%s]", Visible(History[I]).c_str());
            std::printf("\n");
            break;
        }
        vterm_free(Vt);
    }
    std::printf("%d of %d streams differ\n", Differing, Streams);
    return 0;
}
#else
int main() {
    std::printf("skipped: libvterm-dev not installed (bench/terminal/setup.sh)\n");
    return 0;
}
#endif
