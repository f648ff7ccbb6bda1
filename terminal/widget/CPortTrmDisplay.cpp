// The terminal control's display: cell metrics from the font, painting, the caret, scroll bars
// and the automatic size.
#include <QFontInfo>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "terminal/widget/CPortTrm.h"
#include "terminal/widget/SystemCaret.h"

bool TCustomComTerminal::CalculateMetrics() {
    const QFontMetrics metrics(font());
    FCellHeight = std::max(1, metrics.height());
    FCellWidth = std::max(1, metrics.maxWidth());
    return QFontInfo(font()).fixedPitch();
}

void TCustomComTerminal::FontChanged() {
    const bool fixedPitch = CalculateMetrics();
    if (!fixedPitch) {
        QFont replacement = font();
        replacement.setFamily(ComTerminalFont().Font.family());
        // The font change this starts measures again and sizes the control.
        if (replacement.family() != font().family()) {
            setFont(replacement);
            return;
        }
    }
    if (font().underline()) {
        QFont plain = font();
        plain.setUnderline(false);
        setFont(plain);
        return;
    }
    FUnderlinedFont = font();
    FUnderlinedFont.setUnderline(true);
    ApplyAutoSize();
    UpdateScrollRange();
    if (FCaretCreated) {
        DestroyTerminalCaret();
        InitCaret();
    }
    viewport()->update();
}

// --- painting ---

QRect TCustomComTerminal::CellRect(int WindowColumn, int WindowRow) const {
    return QRect((WindowColumn - 1) * FCellWidth, (WindowRow - 1) * FCellHeight, FCellWidth,
                 FCellHeight);
}

void TCustomComTerminal::paintEvent(QPaintEvent* Event) {
    FScrolledSincePaint = false;
    QPainter painter(viewport());
    Paint(painter, Event->rect());
}

void TCustomComTerminal::Paint(QPainter& Painter, const QRect& Clip) {
    Painter.setFont(font());
    if (GetComponentState().Contains(csDesigning)) {
        PaintDesignSample(Painter);
        return;
    }
    MoveCaret(GetCaretColumn(), GetCaretRow());
    // The clip rectangle's right and bottom edges are exclusive, as the window system gives them.
    const QRect cells(QPoint(Clip.left() / FCellWidth + 1, Clip.top() / FCellHeight + 1),
                      QPoint(std::min((Clip.left() + Clip.width()) / FCellWidth + 1, GetColumns()),
                             std::min((Clip.top() + Clip.height()) / FCellHeight + 1, GetRows())));
    PaintTerminal(Painter, cells);
    FSystemCaret->Paint(Painter);
}

void TCustomComTerminal::PaintTerminal(QPainter& Painter, const QRect& Cells) {
    const TComTermBuffer& buffer = GetScreenBuffer();
    // Window cells that would fall beyond the screen once shifted by the scroll position.
    const int right = std::min(Cells.right(), GetColumns() - (FTopColumn - 1));
    const int bottom = std::min(Cells.bottom(), GetRows() - (FTopRow - 1));
    // A reversed screen swaps the colours of every cell, the empty ones too.
    const bool reverse = FEngine.GetReverseScreen();
    if (reverse && right >= Cells.left() && bottom >= Cells.top())
        Painter.fillRect(QRect(CellRect(Cells.left(), Cells.top()).topLeft(),
                               CellRect(right, bottom).bottomRight()),
                         TColorToQColor(GetFontColor()));
    for (int row = Cells.top(); row <= bottom; ++row)
        for (int column = Cells.left(); column <= right; ++column) {
            TComTermChar cell = buffer.GetChar(column + FTopColumn - 1, row + FTopRow - 1);
            if (cell.Character == 0)
                continue;
            if (reverse)
                std::swap(cell.TextColor, cell.BackgroundColor);
            DrawChar(Painter, column, row, cell);
        }
}

void TCustomComTerminal::DrawChar(QPainter& Painter, int Column, int Row,
                                  const TComTermChar& Cell) {
    const QRect rect = CellRect(Column, Row);
    Painter.fillRect(rect, TColorToQColor(Cell.BackgroundColor));
    const QPen previous = Painter.pen();
    Painter.setPen(TColorToQColor(Cell.TextColor));
    if (Cell.Underlined != Painter.font().underline())
        Painter.setFont(Cell.Underlined ? FUnderlinedFont : font());
    // Bytes 128..255 are shown as Latin-1; 1..31 are the line-drawing glyphs.
    const QChar ch(static_cast<char16_t>(LineDrawingGlyph(Cell.Character)));
    Painter.drawText(rect.left(), rect.top() + Painter.fontMetrics().ascent(), QString(ch));
    Painter.setPen(previous);
}

void TCustomComTerminal::PaintDesignSample(QPainter& Painter) {
    const int ascent = Painter.fontMetrics().ascent();
    Painter.setPen(TColorToQColor(GetFontColor()));
    Painter.drawText(0, ascent, QStringLiteral("Terminal"));
    Painter.setPen(TColorToQColor(GetAltColor()));
    Painter.drawText(0, FCellHeight + ascent, QStringLiteral("Bold text"));
    Painter.save();
    Painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    Painter.fillRect(QRect(0, 0, FCellWidth, 2 * FCellHeight), Qt::white);
    Painter.restore();
}

void TCustomComTerminal::InvalidatePortion(int Left, int Top, int Right, int Bottom) {
    const int left = std::max(0, (Left - FTopColumn) * FCellWidth);
    const int top = std::max(0, (Top - FTopRow) * FCellHeight);
    const int right = std::max(0, (Right - FTopColumn + 1) * FCellWidth);
    const int bottom = std::max(0, (Bottom - FTopRow + 1) * FCellHeight);
    if (right > left && bottom > top)
        viewport()->update(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
}

void TCustomComTerminal::ScrollScreen(bool Up) {
    if (FDoubleBuffered || FScrolledSincePaint) {
        viewport()->update();
        return;
    }
    FScrolledSincePaint = true;
    const QRect area(0, 0, std::min(viewport()->width(), GetColumns() * FCellWidth),
                     std::min(viewport()->height(), GetRows() * FCellHeight));
    viewport()->scroll(0, Up ? -FCellHeight : FCellHeight, area);
}

void TCustomComTerminal::ScrollRows(int Top, int Bottom, int Count) {
    const int top = std::max(0, (Top - FTopRow) * FCellHeight);
    const int bottom = std::min(viewport()->height(), (Bottom - FTopRow + 1) * FCellHeight);
    if (bottom <= top)
        return;
    const QRect area(0, top, std::min(viewport()->width(), GetColumns() * FCellWidth),
                     bottom - top);
    // As for the whole screen: the pixels move once between two paints, later the rows repaint.
    if (FDoubleBuffered || FScrolledSincePaint || std::abs(Count) * FCellHeight >= area.height()) {
        viewport()->update(area);
        return;
    }
    FScrolledSincePaint = true;
    viewport()->scroll(0, -Count * FCellHeight, area);
}

// --- caret ---

QRect TCustomComTerminal::CaretRect() const {
    return FSystemCaret->Rect();
}

void TCustomComTerminal::CreateTerminalCaret() {
    switch (GetCaret()) {
    case tcBlock:
        FCaretHeight = FCellHeight;
        break;
    case tcUnderline:
        FCaretHeight = FCellHeight / 8;
        break;
    case tcNone:
        FCaretHeight = 0;
        break;
    }
    if (FCaretHeight > 0) {
        FSystemCaret->Create(FCellWidth, FCaretHeight);
        FCaretCreated = true;
    }
}

void TCustomComTerminal::DestroyTerminalCaret() {
    FSystemCaret->Destroy();
    FCaretCreated = false;
}

void TCustomComTerminal::InitCaret() {
    CreateTerminalCaret();
    MoveCaret(GetCaretColumn(), GetCaretRow());
    ShowCaret();
}

void TCustomComTerminal::HideCaret() {
    if (FCaretCreated)
        FSystemCaret->Hide();
}

void TCustomComTerminal::ShowCaret() {
    if (FCaretCreated)
        FSystemCaret->Show();
}

// --- scroll bars ---

void TCustomComTerminal::UpdateScrollRange() {
    if (FScrollBars == ssNone)
        return;
    const bool horizontal = FScrollBars == ssHorizontal || FScrollBars == ssBoth;
    const bool vertical = FScrollBars == ssVertical || FScrollBars == ssBoth;
    QScrollBar* hbar = horizontalScrollBar();
    QScrollBar* vbar = verticalScrollBar();
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);

    // The client area without either bar. The scroll area lays its bars out later, from the
    // event loop, so the area each bar leaves is worked out here instead of read back after
    // setting a range: a bar is needed when the screen does not fit the area the other bar
    // leaves, and a second look settles a bar that the first one's arrival makes necessary.
    const auto shown = [this](QScrollBar* Bar) { return Bar->isVisibleTo(this); };
    const int fullWidth = viewport()->width() + (shown(vbar) ? extent : 0);
    const int fullHeight = viewport()->height() + (shown(hbar) ? extent : 0);
    bool needH = false;
    bool needV = false;
    int width = fullWidth;
    int height = fullHeight;
    for (int round = 0; round < 2; ++round) {
        needH = horizontal && width / FCellWidth < GetColumns();
        needV = vertical && height / FCellHeight < GetRows();
        width = fullWidth - (needV ? extent : 0);
        height = fullHeight - (needH ? extent : 0);
    }

    // The relayout that a bar appearing or going causes calls here again: that nested call
    // finds no bars and returns.
    const TScrollStyle saved = FScrollBars;
    FScrollBars = ssNone;
    struct TRestore {
        TScrollStyle& Target;
        TScrollStyle Value;
        ~TRestore() { Target = Value; }
    } restore{FScrollBars, saved};

    const auto setRange = [](QScrollBar* Bar, int Visible, int Total) {
        Bar->setPageStep(std::max(1, Visible));
        Bar->setRange(0, Visible < Total ? Total - Visible : 0);
    };
    if (horizontal)
        setRange(hbar, width / FCellWidth, GetColumns());
    if (vertical)
        setRange(vbar, height / FCellHeight, GetRows());
    FScrollBars = saved;
    UpdateScrollPos();
}

void TCustomComTerminal::UpdateScrollPos() {
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth)
        FTopColumn = horizontalScrollBar()->value() + 1;
    if (FScrollBars == ssVertical || FScrollBars == ssBoth)
        FTopRow = verticalScrollBar()->value() + 1;
}

void TCustomComTerminal::ModifyScrollBar(TScrollBarKind Kind, TScrollCode Code, int Pos) {
    if (Code == scEndScroll || (Code == scTrack && !FSmoothScroll))
        return;
    QScrollBar* bar = Kind == sbHorizontal ? horizontalScrollBar() : verticalScrollBar();
    const int step = Kind == sbHorizontal ? FCellWidth : FCellHeight;
    // A page is the client height in steps, for both bars.
    const int page = viewport()->height() / step;
    const int before = bar->value();
    int wanted = before;
    switch (Code) {
    case scLineUp:
        wanted = before - 1;
        break;
    case scLineDown:
        wanted = before + 1;
        break;
    case scPageUp:
        wanted = before - page;
        break;
    case scPageDown:
        wanted = before + page;
        break;
    case scPosition:
    case scTrack:
        wanted = Pos;
        break;
    case scTop:
    case scBottom:
    case scEndScroll:
        break;
    }
    bar->setValue(wanted);
    const int after = bar->value();
    if (Kind == sbHorizontal)
        FTopColumn = after + 1;
    else
        FTopRow = after + 1;
    if (after == before)
        return;
    if (FDoubleBuffered) {
        viewport()->update();
    } else if (Kind == sbHorizontal) {
        viewport()->scroll((before - after) * step, 0);
    } else {
        viewport()->scroll(0, (before - after) * step);
    }
    CaretMoved(GetCaretColumn(), GetCaretRow());
}

void TCustomComTerminal::ScrollBarAction(TScrollBarKind Kind, int Action) {
    QScrollBar* bar = Kind == sbHorizontal ? horizontalScrollBar() : verticalScrollBar();
    TScrollCode code;
    switch (Action) {
    case QAbstractSlider::SliderSingleStepAdd:
        code = scLineDown;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        code = scLineUp;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = scPageDown;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = scPageUp;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = scTop;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = scBottom;
        break;
    case QAbstractSlider::SliderMove:
        // While the thumb is held it is tracking; the move that ends the drag is the release.
        code = bar->isSliderDown() ? scTrack : scPosition;
        break;
    default:
        return;
    }
    ModifyScrollBar(Kind, code, bar->sliderPosition());
    // The bar would go on to apply its own idea of the step; ModifyScrollBar has decided.
    if (code != scTrack || FSmoothScroll)
        bar->setSliderPosition(bar->value());
}

void TCustomComTerminal::scrollContentsBy(int /*Dx*/, int /*Dy*/) {}

void TCustomComTerminal::resizeEvent(QResizeEvent* Event) {
    QAbstractScrollArea::resizeEvent(Event);
    UpdateScrollRange();
}

// --- automatic size ---

bool TCustomComTerminal::CanAutoSize(int& NewWidth, int& NewHeight) const {
    const int border = 2 * frameWidth();
    NewWidth = FCellWidth * GetColumns() + border;
    NewHeight = FCellHeight * GetRows() + border;
    return true;
}

void TCustomComTerminal::ApplyAutoSize() {
    if (!FAutoSize)
        return;
    int width = this->width();
    int height = this->height();
    if (CanAutoSize(width, height)) {
        resize(width, height);
        updateGeometry();
    }
}

QSize TCustomComTerminal::sizeHint() const {
    int width = 0;
    int height = 0;
    CanAutoSize(width, height);
    return {width, height};
}
