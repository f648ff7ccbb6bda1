// The terminal's display: cell metrics, font rules, automatic size, scroll bars, caret, paint.
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWindow>

#include "TermWidgetKit.h"
#include "terminal/widget/SystemCaret.h"

namespace {

QColor PixelAtCell(const QImage& Image, const TCustomComTerminal& T, int WindowColumn,
                   int WindowRow) {
    // The cell's top-left pixel is background in every glyph of the fonts here.
    return Image.pixelColor((WindowColumn - 1) * T.GetCellWidth(),
                            (WindowRow - 1) * T.GetCellHeight());
}

QImage ViewportImage(TCustomComTerminal& T) {
    return T.viewport()->grab().toImage();
}

} // namespace

TEST(TerminalDisplay, StartsWithFixedPitchFontAndItsCellMetrics) {
    TComTerminal t;
    EXPECT_TRUE(QFontInfo(t.font()).fixedPitch());
    EXPECT_EQ(QFontInfo(t.font()).family(), QStringLiteral("DejaVu Sans Mono"));
    const QFontMetrics metrics(t.font());
    EXPECT_EQ(t.GetCellHeight(), metrics.height());
    EXPECT_EQ(t.GetCellWidth(), metrics.maxWidth());
    EXPECT_EQ(t.GetFontColor(), 0xFFFFFFu);
    EXPECT_EQ(t.GetColor(), 0x000000u);
    EXPECT_EQ(t.size(), QSize(400, 250));
}

TEST(TerminalDisplay, FontRules) {
    struct TCase {
        const char* Name;
        QString Family;
        bool Underline;
    } cases[] = {
        {"proportional face is replaced", QStringLiteral("DejaVu Sans"), false},
        {"underline is removed", QStringLiteral("DejaVu Sans Mono"), true},
        {"proportional underlined", QStringLiteral("DejaVu Serif"), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TComTerminal t;
        QFont font(c.Family, 14);
        font.setUnderline(c.Underline);
        t.setFont(font);
        EXPECT_EQ(t.font().family(), ComTerminalFont().Font.family());
        EXPECT_FALSE(t.font().underline());
        EXPECT_EQ(t.font().pointSize(), 14);
        EXPECT_EQ(t.GetCellHeight(), QFontMetrics(t.font()).height());
    }
}

TEST(TerminalDisplay, AutoSizeShowsWholeScreenWithoutBars) {
    struct TCase {
        int Columns, Rows;
        TTermBorderStyle Border;
    } cases[] = {{80, 24, bsSingle}, {132, 24, bsSingle}, {40, 10, bsNone}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Columns << "x" << c.Rows);
        TComTerminal t;
        t.SetBorderStyle(c.Border);
        t.SetColumns(c.Columns);
        t.SetRows(c.Rows);
        t.SetAutoSize(true);
        t.show();
        // The scroll area lays out its bars when events are processed.
        const QSize whole(c.Columns * t.GetCellWidth(), c.Rows * t.GetCellHeight());
        EXPECT_TRUE(QTest::qWaitFor([&] { return t.viewport()->size() == whole; }, 5000))
            << t.viewport()->width() << "x" << t.viewport()->height();
        EXPECT_FALSE(t.horizontalScrollBar()->isVisible());
        EXPECT_FALSE(t.verticalScrollBar()->isVisible());
        EXPECT_EQ(t.GetTopColumn(), 1);
        EXPECT_EQ(t.GetTopRow(), 1);
    }
}

// A window 40 columns wide and 10 rows high on an 80 x 24 screen.
class SmallWindow : public testing::Test {
protected:
    void SetUp() override {
        T.SetBorderStyle(bsNone);
        T.show();
        // Both bars are shown in the end, so the viewport is the window less their extents.
        const int extent = T.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &T);
        T.resize(40 * T.GetCellWidth() + extent, 10 * T.GetCellHeight() + extent);
        ASSERT_TRUE(QTest::qWaitFor([&] { return T.verticalScrollBar()->isVisible(); }, 5000));
        ASSERT_EQ(T.viewport()->width() / T.GetCellWidth(), 40);
        ASSERT_EQ(T.viewport()->height() / T.GetCellHeight(), 10);
    }
    TComTerminal T;
};

TEST_F(SmallWindow, RangesCoverTheHiddenPart) {
    EXPECT_EQ(T.horizontalScrollBar()->minimum(), 0);
    EXPECT_EQ(T.horizontalScrollBar()->maximum(), 40);
    EXPECT_EQ(T.verticalScrollBar()->maximum(), 14);
    T.ModifyScrollBar(sbHorizontal, scPosition, 40);
    EXPECT_EQ(T.GetTopColumn(), 41);
    // Growing the window to the whole screen removes the bars and shows from cell 1, 1.
    T.resize(T.sizeHint());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !T.verticalScrollBar()->isVisible(); }, 5000));
    EXPECT_EQ(T.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(T.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(T.GetTopColumn(), 1);
}

TEST_F(SmallWindow, ModifyScrollBarSteps) {
    struct TCase {
        const char* Name;
        TScrollBarKind Kind;
        int Start;
        TScrollCode Code;
        int Pos;
        bool Smooth;
        int Top; // TopRow or TopColumn after the request
    } cases[] = {
        {"line down", sbVertical, 0, scLineDown, 0, false, 2},
        {"line up at the top", sbVertical, 0, scLineUp, 0, false, 1},
        {"line up", sbVertical, 5, scLineUp, 0, false, 5},
        {"page down is the client height in rows", sbVertical, 0, scPageDown, 0, false, 11},
        {"page up", sbVertical, 12, scPageUp, 0, false, 3},
        {"page right uses the client height too", sbHorizontal, 0, scPageDown, 0, false,
         1 + 10 * T.GetCellHeight() / T.GetCellWidth()},
        {"thumb released", sbVertical, 0, scPosition, 7, false, 8},
        {"thumb beyond the range", sbVertical, 0, scPosition, 99, false, 15},
        {"thumb dragged without smooth scrolling", sbVertical, 3, scTrack, 7, false, 4},
        {"thumb dragged with smooth scrolling", sbVertical, 3, scTrack, 7, true, 8},
        {"top", sbVertical, 6, scTop, 0, false, 7},
        {"bottom", sbHorizontal, 6, scBottom, 0, false, 7},
        {"end of scroll", sbVertical, 6, scEndScroll, 0, false, 7},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        T.SetSmoothScroll(c.Smooth);
        T.ModifyScrollBar(c.Kind, scPosition, c.Start);
        T.SetSmoothScroll(c.Smooth);
        T.ModifyScrollBar(c.Kind, c.Code, c.Pos);
        EXPECT_EQ(c.Kind == sbVertical ? T.GetTopRow() : T.GetTopColumn(), c.Top);
    }
}

TEST_F(SmallWindow, DraggedThumbScrollsOnReleaseUnlessSmooth) {
    for (const bool smooth : {false, true}) {
        SCOPED_TRACE(smooth ? "smooth" : "not smooth");
        T.ModifyScrollBar(sbVertical, scPosition, 0);
        T.SetSmoothScroll(smooth);
        QScrollBar* bar = T.verticalScrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(5);
        EXPECT_EQ(T.GetTopRow(), smooth ? 6 : 1);
        bar->setSliderDown(false);
        EXPECT_EQ(T.GetTopRow(), 6);
    }
}

TEST_F(SmallWindow, ScrolledCellsKeepTheirColours) {
    // Row 12 holds a reversed X and a bold Y; row 12 is window row 3 once scrolled by 9.
    T.WriteStr("\x1b[12;1H\x1b[7mX\x1b[0;1mY\x1b[m");
    T.ModifyScrollBar(sbVertical, scPosition, 9);
    ASSERT_EQ(T.GetTopRow(), 10);
    const QImage image = ViewportImage(T);
    EXPECT_EQ(PixelAtCell(image, T, 1, 3), TColorToQColor(T.GetFontColor()));
    EXPECT_EQ(PixelAtCell(image, T, 2, 3), TColorToQColor(T.GetColor()));
    EXPECT_EQ(PixelAtCell(image, T, 1, 4), TColorToQColor(T.GetColor()));
}

TEST(TerminalDisplay, PaintsCellsAtTheirPlaceInTheirColours) {
    TComTerminal t;
    QFont big(QStringLiteral("DejaVu Sans Mono"));
    big.setPixelSize(40);
    t.setFont(big);
    t.SetAltColor(0x0000FF);
    t.WriteStr("\x1b[2;3H\x1b[7m \x1b[m\x1b[1mM");
    const QImage image = ViewportImage(t);
    EXPECT_EQ(PixelAtCell(image, t, 3, 2), Qt::white) << "reversed blank";
    EXPECT_EQ(PixelAtCell(image, t, 2, 2), Qt::black) << "empty cell";
    // The bold M's strokes are drawn in AltColor (red: the low byte).
    const QRect cell(3 * t.GetCellWidth(), t.GetCellHeight(), t.GetCellWidth(), t.GetCellHeight());
    bool altColourDrawn = false;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            altColourDrawn = altColourDrawn || image.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_TRUE(altColourDrawn);
}

TEST(TerminalDisplay, CaretShapes) {
    // A font whose cell is 16 pixels high.
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    for (int pixels = 8; pixels < 20 && QFontMetrics(font).height() != 16; ++pixels)
        font.setPixelSize(pixels);
    ASSERT_EQ(QFontMetrics(font).height(), 16);

    struct TCase {
        TTermCaret Shape;
        bool Created;
        int Height;
    } cases[] = {{tcBlock, true, 16}, {tcUnderline, true, 2}, {tcNone, false, 0}};
    QWidget other;
    TComTerminal t;
    t.setFont(font);
    ASSERT_TRUE(ShowFocused(t));
    t.MoveCaret(3, 2);
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Shape));
        t.SetCaret(c.Shape);
        EXPECT_EQ(t.GetCaretCreated(), c.Created);
        EXPECT_EQ(t.GetCaretHeight(), c.Height);
        if (c.Created) {
            EXPECT_EQ(t.CaretRect(),
                      QRect(2 * t.GetCellWidth(), 16 + 16 - c.Height, t.GetCellWidth(), c.Height));
        }
    }
    // The caret exists only while the terminal has the focus.
    t.SetCaret(tcBlock);
    ASSERT_TRUE(t.GetCaretCreated());
    t.clearFocus();
    EXPECT_FALSE(t.GetCaretCreated());
}

TEST(TerminalDisplay, CaretFollowsTheScrollPosition) {
    TComTerminal t;
    t.SetBorderStyle(bsNone);
    ASSERT_TRUE(ShowFocused(t));
    t.resize(20 * t.GetCellWidth(), 8 * t.GetCellHeight());
    t.MoveCaret(30, 20);
    t.ModifyScrollBar(sbVertical, scPosition, 15);
    t.ModifyScrollBar(sbHorizontal, scPosition, 25);
    EXPECT_EQ(t.CaretRect().topLeft(), QPoint((30 - t.GetTopColumn()) * t.GetCellWidth(),
                                              (20 - t.GetTopRow()) * t.GetCellHeight()));
}

// What the window shows after moving pixels for scrolls must be what a full repaint gives.
TEST(TerminalDisplay, ScrollingByMovingPixelsMatchesARepaint) {
    struct TCase {
        const char* Name;
        TTermEmulation Emulation;
        std::string Data;
        bool DoubleBuffered;
    } cases[] = {
        {"one line feed at the bottom", teVT100orANSI, "\x1b[24;1Hbottom\n", false},
        {"many scrolls before a paint", teVT100orANSI, std::string(60, '\n') + "x\x1b[7my\n\n",
         false},
        {"reverse line feeds at the top", teVT52, "\x1bHtop\x1bI\x1bIup", false},
        {"double-buffered", teVT100orANSI, "\x1b[24;1Hz\n\n", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TComTerminal t;
        t.SetDoubleBuffered(c.DoubleBuffered);
        t.SetAutoSize(true);
        ASSERT_TRUE(ShowFocused(t));
        for (int row = 1; row <= 24; ++row)
            t.WriteStr("\x1b[" + std::to_string(row) + ";1Hline " + std::to_string(row));
        t.SetEmulation(c.Emulation);
        QApplication::processEvents();
        t.WriteStr(c.Data);
        QApplication::processEvents();
        const QImage shown = t.screen()
                                 ->grabWindow(t.window()->winId())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        const QImage repainted = t.grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown.copy(QRect(QPoint(), repainted.size())), repainted);
    }
}

TEST(SystemCaret, HidesAndShowsNest) {
    QWidget window;
    TSystemCaret caret(&window);
    struct TStep {
        const char* Action;
        bool Shown;
    } steps[] = {
        {"show before create", false},
        {"create", false},
        {"show", true},
        {"hide", false},
        {"hide", false},
        {"show", false},
        {"show", true},
        {"show", true},
        {"hide", false},
        {"show", true},
        {"destroy", false},
        {"show", false},
    };
    for (const TStep& s : steps) {
        const std::string action = s.Action;
        if (action == "create")
            caret.Create(8, 16);
        else if (action == "destroy")
            caret.Destroy();
        else if (action == "hide")
            caret.Hide();
        else
            caret.Show();
        EXPECT_EQ(caret.IsShown(), s.Shown) << "after " << action;
    }
}
