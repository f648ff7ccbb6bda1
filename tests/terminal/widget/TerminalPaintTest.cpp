// What the terminal paints after a change: the pixels read back from its window, once the paints
// the change asked for have run, held against the buffer cell by cell and against a full repaint.
#include <QFontMetrics>
#include <QImage>
#include <QScreen>
#include <string>
#include <vector>

#include "TermWidgetKit.h"

namespace {

struct TChange {
    const char* Name;
    std::string Before; // painted and shown first
    std::string Change; // written at once, before the next paint
    TTermEmulation Emulation = teVT100orANSI;
    bool DoubleBuffered = false;
};

// A 20 x 6 screen in a 16-pixel font, shown whole, without a caret in its pictures.
class TShownTerminal {
public:
    TShownTerminal() {
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(16);
        T.setFont(font);
        T.SetColumns(20);
        T.SetRows(6);
        T.SetCaret(tcNone);
        T.SetAutoSize(true);
        T.show();
    }

    // The viewport as last painted into the window; grab() would paint it afresh.
    QImage Shown() const {
        const QPoint origin = T.viewport()->mapTo(&T, QPoint());
        return T.screen()
            ->grabWindow(T.winId(), origin.x(), origin.y(), T.viewport()->width(),
                         T.viewport()->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    // Cells whose top-left pixel is not their background, that have ink without a visible
    // character or the reverse, or a line below the baseline without the underline attribute or
    // the reverse.
    std::string Disagreements(const QImage& Image) const {
        const TComTermBuffer& buffer = T.GetScreenBuffer();
        const int width = T.GetCellWidth();
        const int height = T.GetCellHeight();
        const int baseline = QFontMetrics(T.font()).ascent();
        std::string found;
        for (int row = 1; row <= T.GetRows(); ++row)
            for (int column = 1; column <= T.GetColumns(); ++column) {
                const TComTermChar cell = buffer.GetChar(column, row);
                const QColor background =
                    TColorToQColor(cell.Character == 0 ? T.GetColor() : cell.BackgroundColor);
                const auto inked = [&](int X, int Y) {
                    return Image.pixelColor((column - 1) * width + X, (row - 1) * height + Y) !=
                           background;
                };
                bool ink = false;
                bool line = false;
                for (int y = 0; y < height; ++y) {
                    int count = 0;
                    for (int x = 0; x < width; ++x)
                        count += inked(x, y);
                    ink = ink || count > 0;
                    line = line || (y > baseline && count >= width / 2);
                }
                std::string wrong;
                if (inked(0, 0))
                    wrong = "background";
                else if (ink != (static_cast<unsigned char>(cell.Character) > ' ' ||
                                 IsLineDrawing(cell.Character)))
                    wrong = "ink";
                else if (line != (cell.Underlined && cell.Character != 0))
                    wrong = "underline";
                if (!wrong.empty())
                    found +=
                        " (" + std::to_string(column) + "," + std::to_string(row) + ") " + wrong;
            }
        return found;
    }

    // Waits, bounded, until the window agrees with the buffer and with a full repaint.
    testing::AssertionResult ShowsTheBuffer() {
        std::string last;
        const bool agreed = QTest::qWaitFor(
            [&] {
                const QImage shown = Shown();
                last = Disagreements(shown);
                if (last.empty() &&
                    shown != T.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32))
                    last = " differs from a full repaint";
                return last.empty();
            },
            2000);
        if (agreed)
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "window shows other cells:" << last;
    }

    TComTerminal T;
};

void CheckChanges(const std::vector<TChange>& Changes) {
    for (const TChange& c : Changes) {
        SCOPED_TRACE(c.Name);
        TShownTerminal shown;
        TComTerminal& t = shown.T;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&t));
        t.SetDoubleBuffered(c.DoubleBuffered);
        t.WriteStr(c.Before);
        t.SetEmulation(c.Emulation);
        if (const testing::AssertionResult before = shown.ShowsTheBuffer(); !before) {
            ADD_FAILURE() << "before the change: " << before.message();
            continue;
        }
        t.WriteStr(c.Change);
        EXPECT_TRUE(shown.ShowsTheBuffer());
    }
}

// Rows 1..5 full of letters, so the last cell of every span has old ink to lose.
std::string FullRows() {
    std::string text;
    for (int row = 1; row <= 5; ++row)
        text += "\x1b[" + std::to_string(row) + ";1HABCDEFGHIJKLMNOPQRST";
    return text;
}

// Row r holds 3r letters: a row shown one place off has ink where it should not.
std::string Staircase() {
    std::string text;
    for (int row = 1; row <= 6; ++row)
        text += "\x1b[" + std::to_string(row) + ";1H" + std::string(3 * row, 'A' + row);
    return text;
}

} // namespace

TEST(TerminalPaint, ChangedSpansAreRepaintedToTheirLastCell) {
    CheckChanges({
        {"letters overwritten mid-line", FullRows(), "\x1b[2;5HWXYZ"},
        {"letters overwritten up to the last column", FullRows(), "\x1b[3;17HWXYZ"},
        {"last column alone", FullRows(), "\x1b[1;20H#"},
        {"first column alone", FullRows(), "\x1b[4;1H#"},
        {"blanks over letters", FullRows(), "\x1b[5;10H   "},
        {"line erased from the caret", FullRows(), "\x1b[2;8H\x1b[K"},
        {"whole line erased", FullRows(), "\x1b[3;1H\x1b[2K"},
        {"screen erased from the caret", FullRows(), "\x1b[4;11H\x1b[J"},
    });
}

TEST(TerminalPaint, UnderlinedCellsShowALineBelowTheGlyph) {
    CheckChanges({
        {"underlined word", "", "\x1b[4mMNO"},
        {"underline on and off within a line", "", "AB\x1b[4mCD\x1b[mEF\x1b[4mGH"},
        {"bold underlined", "", "\x1b[1;4mBOLD"},
        {"reverse underlined", "", "\x1b[7;4mREV"},
        {"underlined in the last column", "", "\x1b[6;18H\x1b[4mEND"},
        {"plain letters overwritten underlined", "PLAIN", "\x1b[1;1H\x1b[4mPLAIN"},
        {"underlined letters overwritten plain", "\x1b[4mUNDER", "\x1b[m\x1b[1;1HUNDER"},
    });
}

TEST(TerminalPaint, ScrollsBeforeOnePaintShowTheBuffer) {
    CheckChanges({
        {"one line feed at the bottom", Staircase(), "\x1b[6;1H\n"},
        {"two line feeds", Staircase(), "\x1b[6;1H\n\n"},
        {"cells written between scrolls", Staircase(), "\x1b[6;1HX\nNEW\nOLD"},
        {"more scrolls than rows", Staircase(), "\x1b[6;1H\nA\nB\nC\nD\nE\nF\nG\nH"},
        {"wrapped text at the bottom", Staircase(), "\x1b[7h\x1b[6;1H" + std::string(45, 'W')},
        {"reverse line feeds at the top", Staircase(), "\x1bH\x1bI\x1bIUP", teVT52},
        {"down then up", Staircase(), "\x1bY% \nDOWN\x1bH\x1bIUP", teVT52},
        {"double-buffered", Staircase(), "\x1b[6;1H\n\n\n", teVT100orANSI, true},
    });
}

TEST(TerminalPaint, Vt102ScrollsInsideMarginsAndLineDrawingShow) {
    CheckChanges({
        {"line feed at the bottom margin", Staircase(), "\x1b[2;4r\x1b[4;1H\nX", teVT102},
        {"reverse index at the top margin", Staircase(), "\x1b[2;4r\x1b[2;1H\x1bMX", teVT102},
        {"two scrolls in a region", Staircase(), "\x1b[2;5r\x1b[5;1H\n\nY", teVT102},
        {"lines inserted and deleted", Staircase(), "\x1b[3;1H\x1b[2L\x1b[5;1H\x1b[M", teVT102},
        {"cells inserted and deleted", Staircase(), "\x1b[6;2H\x1b[3@\x1b[5;1H\x1b[2P", teVT102},
        {"region scrolled, double-buffered", Staircase(), "\x1b[2;4r\x1b[4;1H\n\n", teVT102, true},
        {"a box of line drawing", "", "\x1b(0lqqk\x1b[2;1Hx  x\x1b[3;1Hmqqj", teVT102},
    });
}
