// The terminal control: construction, properties, keys, focus and the engine's view calls.
// Painting, the caret's geometry and scrolling are in CPortTrmDisplay.cpp.
#include "terminal/widget/CPortTrm.h"

#include <QFocusEvent>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "framework/Application.h"
#include "terminal/widget/CPortTrmSet.h"
#include "terminal/widget/SystemCaret.h"

const TTermFont& ComTerminalFont() {
    static const TTermFont font{QFont(QStringLiteral("DejaVu Sans Mono"), 9), 0xFFFFFF};
    return font;
}

QColor TColorToQColor(TColor Color) {
    return QColor(static_cast<int>(Color & 0xFF), static_cast<int>((Color >> 8) & 0xFF),
                  static_cast<int>((Color >> 16) & 0xFF));
}

TColor QColorToTColor(const QColor& Color) {
    return static_cast<TColor>(Color.red()) | static_cast<TColor>(Color.green()) << 8 |
           static_cast<TColor>(Color.blue()) << 16;
}

namespace {

// The virtual-key codes the terminal and its key handlers see.
std::uint16_t VirtualKey(int QtKey) {
    if ((QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) || (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z))
        return static_cast<std::uint16_t>(QtKey);
    if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F24)
        return static_cast<std::uint16_t>(0x70 + (QtKey - Qt::Key_F1));
    switch (QtKey) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return vkHome;
    case Qt::Key_Left:
        return vkLeft;
    case Qt::Key_Up:
        return vkUp;
    case Qt::Key_Right:
        return vkRight;
    case Qt::Key_Down:
        return vkDown;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    default:
        return 0;
    }
}

} // namespace

TCustomComTerminal::TCustomComTerminal(QWidget* Parent, TComponent* AOwner)
    : QAbstractScrollArea(Parent), TComponent(AOwner),
      FPort(std::make_unique<TComTermPort>(FEngine)), FSystemCaret(new TSystemCaret(viewport())) {
    setAccessibleName(QStringLiteral("Terminal"));
    FEngine.SetSender(static_cast<TComponent*>(this));
    FEngine.SetOutput(FPort.get());
    FEngine.SetView(this);

    // The background is painted by the viewport itself, so every repaint erases it and the
    // viewport counts as opaque, which lets scrolling move pixels instead of repainting.
    viewport()->setAutoFillBackground(true);
    SetColor(0x000000);
    SetFontColor(ComTerminalFont().Color);
    setFont(ComTerminalFont().Font);
    FontChanged();

    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        const TScrollBarKind kind = bar == horizontalScrollBar() ? sbHorizontal : sbVertical;
        bar->setRange(0, 0);
        bar->setSingleStep(1);
        bar->setTracking(FSmoothScroll);
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, kind](int Action) { ScrollBarAction(kind, Action); });
    }
    SetBorderStyle(bsSingle);
    ApplyScrollBarPolicies();
    SetTabStop(true);
    resize(400, 250);
}

TCustomComTerminal::~TCustomComTerminal() {
    Destroying();
    // The link goes first, so no received block reaches a half-destroyed control.
    FPort.reset();
    FEngine.SetView(nullptr);
    FEngine.SetOutput(nullptr);
}

void TCustomComTerminal::Loaded() {
    FEngine.Loaded();
    TComponent::Loaded();
}

void TCustomComTerminal::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    FPort->Notification(AComponent, Operation);
}

void TCustomComTerminal::SetColor(TColor Value) {
    FEngine.SetColor(Value);
    QPalette palette = viewport()->palette();
    // The viewport of a scroll area fills with the Base role.
    palette.setColor(QPalette::Base, TColorToQColor(Value));
    palette.setColor(QPalette::Window, TColorToQColor(Value));
    viewport()->setPalette(palette);
    viewport()->update();
}

void TCustomComTerminal::SetFontColor(TColor Value) {
    FEngine.SetFontColor(Value);
    viewport()->update();
}

void TCustomComTerminal::SetSmoothScroll(bool Value) {
    FSmoothScroll = Value;
    // Without tracking the thumb follows the mouse alone and the position arrives on release.
    horizontalScrollBar()->setTracking(Value);
    verticalScrollBar()->setTracking(Value);
}

void TCustomComTerminal::SetBorderStyle(TTermBorderStyle Value) {
    FBorderStyle = Value;
    setFrameStyle(Value == bsSingle ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
    ApplyAutoSize();
    UpdateScrollRange();
}

void TCustomComTerminal::SetScrollBars(TScrollStyle Value) {
    if (Value == FScrollBars)
        return;
    FScrollBars = Value;
    ApplyScrollBarPolicies();
    UpdateScrollRange();
}

void TCustomComTerminal::ApplyScrollBarPolicies() {
    const bool horizontal = FScrollBars == ssHorizontal || FScrollBars == ssBoth;
    const bool vertical = FScrollBars == ssVertical || FScrollBars == ssBoth;
    // A bar shows while its range is not empty, as the window's own bars do.
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (!horizontal)
        horizontalScrollBar()->setRange(0, 0);
    if (!vertical)
        verticalScrollBar()->setRange(0, 0);
}

void TCustomComTerminal::SetAutoSize(bool Value) {
    FAutoSize = Value;
    setSizePolicy(Value ? QSizePolicy::Fixed : QSizePolicy::Expanding,
                  Value ? QSizePolicy::Fixed : QSizePolicy::Expanding);
    ApplyAutoSize();
}

void TCustomComTerminal::SetTabStop(bool Value) {
    FTabStop = Value;
    setFocusPolicy(Value ? Qt::StrongFocus : Qt::NoFocus);
}

void TCustomComTerminal::SelectFont() {
    bool ok = false;
    const QFont chosen =
        QFontDialog::getFont(&ok, font(), this, QString(), QFontDialog::MonospacedFonts);
    if (ok)
        setFont(chosen);
}

void TCustomComTerminal::ShowSetupDialog() {
    EditComTerminal(this);
}

// --- keys, mouse and focus ---

void TCustomComTerminal::keyPressEvent(QKeyEvent* Event) {
    Event->accept();
    // A failed write to the port (or a throwing key handler) ends this key's handling; the
    // toolkit's event dispatch must not be crossed, so it is reported as uncaught errors are.
    try {
        HandleKey(*Event);
    } catch (...) {
        Application->HandleException(static_cast<TComponent*>(this));
    }
}

void TCustomComTerminal::HandleKey(const QKeyEvent& Event) {
    std::uint16_t key = VirtualKey(Event.key());
    if (OnKeyDown)
        OnKeyDown(static_cast<TComponent*>(this), key);
    if (key != 0)
        FEngine.KeyDown(key);
    // Each typed character that has a byte of its own (Latin-1) is sent. Control with a key of
    // 0x40..0x5F gives its control character even where the platform gives no text for it.
    QString text = Event.text();
    const int qtKey = Event.key();
    if ((Event.modifiers() & Qt::ControlModifier) && qtKey >= Qt::Key_At &&
        qtKey <= Qt::Key_Underscore)
        text = QChar(qtKey - Qt::Key_At);
    for (const QChar ch : text) {
        if (ch.unicode() > 0xFF)
            continue;
        char typed = static_cast<char>(ch.unicode());
        if (OnKeyPress)
            OnKeyPress(static_cast<TComponent*>(this), typed);
        FEngine.KeyPress(typed);
    }
}

void TCustomComTerminal::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton && FTabStop && isEnabled())
        setFocus(Qt::MouseFocusReason);
    QAbstractScrollArea::mousePressEvent(Event);
}

bool TCustomComTerminal::focusNextPrevChild(bool Next) {
    // With WantTab the Tab key reaches keyPressEvent and is sent.
    if (FWantTab)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(Next);
}

void TCustomComTerminal::focusInEvent(QFocusEvent* Event) {
    QAbstractScrollArea::focusInEvent(Event);
    InitCaret();
}

void TCustomComTerminal::focusOutEvent(QFocusEvent* Event) {
    QAbstractScrollArea::focusOutEvent(Event);
    DestroyTerminalCaret();
}

void TCustomComTerminal::changeEvent(QEvent* Event) {
    QAbstractScrollArea::changeEvent(Event);
    if (Event->type() == QEvent::FontChange)
        FontChanged();
}

// --- the engine's view ---

void TCustomComTerminal::InvalidateAll() {
    viewport()->update();
}

void TCustomComTerminal::DrawCell(int Column, int Row, const TComTermChar& /*Cell*/) {
    // The cell is painted from the buffer in the next paint, which follows at once.
    InvalidatePortion(Column, Row, Column, Row);
}

void TCustomComTerminal::CaretMoved(int Column, int Row) {
    if (FCaretCreated)
        FSystemCaret->SetPos((Column - FTopColumn) * FCellWidth,
                             (Row - FTopRow) * FCellHeight + FCellHeight - FCaretHeight);
}

void TCustomComTerminal::CaretShapeChanged() {
    if (hasFocus()) {
        DestroyTerminalCaret();
        InitCaret();
    }
}

void TCustomComTerminal::ScreenSizeChanged() {
    ApplyAutoSize();
    UpdateScrollRange();
    viewport()->update();
}
