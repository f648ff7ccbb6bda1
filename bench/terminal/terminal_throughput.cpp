// Throughput of a mixed VT100 stream (text, CR LF, cursor moves, erases, attributes) through the
// terminal's parser and screen buffer, without painting, in the VT100 and the VT102 emulation;
// then a stream that scrolls inside margins (a pager going forward and back) in the VT102
// emulation. When the library is installed each stream also goes through libvterm's screen layer
// (8-bit input, no callbacks), with the ratio. bench/terminal/setup.sh installs libvterm-dev,
// builds and runs this.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>

#include "terminal/TermEngine.h"

#ifdef TESSAL_HAVE_VTERM
#include <vterm.h>
#endif

namespace {

constexpr std::size_t StreamSize = 4u << 20;
constexpr int Passes = 8; // the stream is fed this many times per run
constexpr int Runs = 5;   // best run counts

// A full-screen program's output: lines of text, moves, erases and attribute changes.
std::string MixedStream() {
    std::mt19937 Gen(2026);
    std::uniform_int_distribution<int> Pick(0, 99);
    std::uniform_int_distribution<int> Row(1, 24), Column(1, 80), Length(5, 70);
    std::uniform_int_distribution<int> Letter(32, 126);
    const char* Attributes[] = {"\x1b[m", "\x1b[1m", "\x1b[7m", "\x1b[4;1m", "\x1b[0m", "\x1b[24m"};
    std::string S;
    S.reserve(StreamSize + 256);
    while (S.size() < StreamSize) {
        const int P = Pick(Gen);
        if (P < 55) {
            const int N = Length(Gen);
            for (int I = 0; I < N; ++I)
                S += static_cast<char>(Letter(Gen));
            S += "\r\n";
        } else if (P < 75) {
            S += "\x1b[" + std::to_string(Row(Gen)) + ";" + std::to_string(Column(Gen)) + "H";
        } else if (P < 88) {
            S += Attributes[static_cast<std::size_t>(Pick(Gen)) % std::size(Attributes)];
        } else if (P < 96) {
            S += "\x1b[K";
        } else if (P < 98) {
            S += "\x1b[J";
        } else if (P < 99) {
            S += "\x1b[2J";
        } else {
            S += "\x1b[" + std::to_string(Row(Gen) % 5) + "A\x1b[3C\x1b[2D\x1b[B";
        }
    }
    return S;
}

// A pager's output under a status line: margins over all but the last row, lines scrolled in at
// the bottom by LF and at the top by RI, lines inserted and deleted, the status line rewritten.
std::string ScrollRegionStream() {
    std::mt19937 Gen(2027);
    std::uniform_int_distribution<int> Pick(0, 99);
    std::uniform_int_distribution<int> Length(0, 79), Letter(32, 126), Count(1, 3);
    const auto Line = [&] {
        std::string L;
        const int N = Length(Gen);
        for (int I = 0; I < N; ++I)
            L += static_cast<char>(Letter(Gen));
        return L;
    };
    std::string S = "\x1b[1;23r";
    S.reserve(StreamSize + 256);
    while (S.size() < StreamSize) {
        const int P = Pick(Gen);
        if (P < 45) { // forward: a new bottom line
            S += "\x1b[23;1H\n" + Line();
        } else if (P < 80) { // back: a new top line
            S += "\x1b[H\x1bM" + Line();
        } else if (P < 90) {
            S += "\x1b[" + std::to_string(1 + Pick(Gen) % 23) + "H\x1b[" +
                 std::to_string(Count(Gen)) + (P < 85 ? "L" : "M");
        } else {
            S += "\x1b[24;1H\x1b[7m" + Line().substr(0, 20) + "\x1b[m\x1b[K";
        }
    }
    return S;
}

// Best of Runs, in megabytes (2^20 bytes) per second.
double MeasureMBps(const std::string& Stream, const std::function<void()>& Setup,
                   const std::function<void(const char*, std::size_t)>& Feed) {
    constexpr std::size_t Block = 4096; // what a port delivers at a time, roughly
    double Best = 0;
    for (int Run = 0; Run < Runs; ++Run) {
        Setup();
        const auto Start = std::chrono::steady_clock::now();
        for (int Pass = 0; Pass < Passes; ++Pass)
            for (std::size_t At = 0; At < Stream.size(); At += Block)
                Feed(Stream.data() + At, std::min(Block, Stream.size() - At));
        const std::chrono::duration<double> Took = std::chrono::steady_clock::now() - Start;
        const double MB = static_cast<double>(Stream.size()) * Passes / (1 << 20);
        Best = std::max(Best, MB / Took.count());
    }
    return Best;
}

double MeasureEngine(const std::string& Stream, TTermEmulation Emulation, const char* Name) {
    TTermEngine Engine;
    Engine.SetEmulation(Emulation);
    const double MBps = MeasureMBps(
        Stream, [&] { Engine.ClearScreen(); },
        [&](const char* Bytes, std::size_t Count) {
            Engine.Write(Bytes, static_cast<std::int32_t>(Count));
        });
    std::printf("  %-25s %8.1f MB/s (last line %d, caret %d,%d)\n", Name, MBps,
                Engine.GetScreenBuffer().GetLastLine(), Engine.GetCaretColumn(),
                Engine.GetCaretRow());
    return MBps;
}

// libvterm's figure and the ratios of ours to it, or a note that it is not there.
void CompareWithVterm(const std::string& Stream,
                      std::initializer_list<std::pair<const char*, double>> Ours) {
#ifdef TESSAL_HAVE_VTERM
    VTerm* Vt = vterm_new(24, 80);
    vterm_set_utf8(Vt, 0);
    vterm_output_set_callback(
        Vt, [](const char*, size_t, void*) {}, nullptr);
    VTermScreen* Screen = vterm_obtain_screen(Vt);
    const double Theirs = MeasureMBps(
        Stream, [&] { vterm_screen_reset(Screen, 1); },
        [&](const char* Bytes, std::size_t Count) { vterm_input_write(Vt, Bytes, Count); });
    vterm_free(Vt);
    std::printf("  %-25s %8.1f MB/s\n", "libvterm screen layer:", Theirs);
    for (const auto& [Name, Mine] : Ours)
        std::printf("  ratio %-6s / libvterm:   %8.2f\n", Name, Mine / Theirs);
#else
    (void)Stream;
    (void)Ours;
    std::printf("  libvterm screen layer:    skipped (libvterm-dev not installed; run "
                "bench/terminal/setup.sh)\n");
#endif
}

} // namespace

int main() {
    const std::string Stream = MixedStream();
    std::printf("mixed VT100 stream: %zu bytes, fed %d times per run, best of %d runs\n",
                Stream.size(), Passes, Runs);

    std::size_t Codes = 0;
    TEscapeCodesVT100 Parser;
    const double ParserOnly = MeasureMBps(
        Stream, [&] { Codes = 0; },
        [&](const char* Bytes, std::size_t Count) {
            for (std::size_t I = 0; I < Count; ++I)
                if (Parser.ProcessChar(Bytes[I]) == erCode) {
                    ++Codes;
                    Parser.GetCodeParams().Clear();
                }
        });
    std::printf("  parser alone:             %8.1f MB/s (%zu codes per run)\n", ParserOnly, Codes);
    const double Vt100 = MeasureEngine(Stream, teVT100orANSI, "parser + screen buffer:");
    const double Vt102 = MeasureEngine(Stream, teVT102, "the same in teVT102:");
    CompareWithVterm(Stream, {{"VT100", Vt100}, {"VT102", Vt102}});

    const std::string Scrolling = ScrollRegionStream();
    std::printf("scroll-region stream (teVT102): %zu bytes\n", Scrolling.size());
    const double Region = MeasureEngine(Scrolling, teVT102, "parser + screen buffer:");
    CompareWithVterm(Scrolling, {{"VT102", Region}});
    return 0;
}
