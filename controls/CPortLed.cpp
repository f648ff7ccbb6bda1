#include "controls/CPortLed.h"

#include <algorithm>

#include <QBitmap>
#include <QEvent>
#include <QImage>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QThread>

#include "controls/QtText.h"
#include "port/CPortComPort.h"
#include "port/CPortError.h"
#include "port/CPortLink.h"

// The lamp pictures live in a static library; registering them from code keeps the linker
// from dropping them.
static void InitLedResources() {
    Q_INIT_RESOURCE(ComLeds);
}

namespace {

const char* const BuiltInNames[][2] = {
    {"LEDREDOFF", "LEDREDON"},       {"LEDGREENOFF", "LEDGREENON"},   {"LEDBLUEOFF", "LEDBLUEON"},
    {"LEDYELLOWOFF", "LEDYELLOWON"}, {"LEDPURPLEOFF", "LEDPURPLEON"}, {"LEDBULBOFF", "LEDBULBON"},
};

// The colour of the bottom-left pixel is the background the picture was drawn on.
QPixmap Transparent(const QImage& Image) {
    if (Image.isNull())
        return {};
    QPixmap Result = QPixmap::fromImage(Image);
    const QColor Background = Image.pixelColor(0, Image.height() - 1);
    Result.setMask(
        QBitmap::fromImage(Image.createMaskFromColor(Background.rgb(), Qt::MaskInColor)));
    return Result;
}

} // namespace

TComLed::TComLed(QWidget* Parent, TComponent* AOwner)
    : QWidget(Parent), TComponent(AOwner), FLink(std::make_unique<TComLink>()) {
    static const bool Registered = (InitLedResources(), true);
    (void)Registered;
    resize(25, 25);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleDescription(QStringLiteral("off"));
    FLink->OnConn = [this](TObject* Sender, bool OnOff) { SignalChange(Sender, OnOff); };
    FRingTimer.setTimerType(Qt::PreciseTimer);
    FRingTimer.setInterval(1000);
    connect(&FRingTimer, &QTimer::timeout, this, [this] { DoTimer(); });
    FMinOnTimer.setSingleShot(true);
    FMinOnTimer.setTimerType(Qt::PreciseTimer);
    connect(&FMinOnTimer, &QTimer::timeout, this, [this] { MinOnTimeOver(); });
}

TComLed::~TComLed() {
    // From here on a state change reaches no handler: the owner may be half gone.
    Destroying();
    FRingTimer.stop();
    FMinOnTimer.stop();
    try {
        SetComPort(nullptr);
    } catch (...) {
        // Unregistering fails only for a link the port no longer holds; nothing is left to undo.
    }
}

void TComLed::SetStateInternal(TLedState Value) {
    FState = Value;
    setAccessibleDescription(Value == lsOn ? QStringLiteral("on") : QStringLiteral("off"));
    const TComponentState S = GetComponentState();
    if (!S.Contains(csLoading) && !S.Contains(csDestroying))
        DoChange(Value);
    update();
}

void TComLed::DoChange(TLedState AState) {
    if (OnChange)
        OnChange(this, AState);
}

void TComLed::SetState(TLedState Value) {
    if (FComPort != nullptr)
        throw EComPort(CError_LedStateFailed);
    ShowNow(Value);
}

void TComLed::ShowNow(TLedState Value) {
    FMinOnTimer.stop();
    FSignalOn = Value == lsOn;
    SetStateInternal(Value);
}

void TComLed::SetComPort(TComPort* Value) {
    if (Value == FComPort)
        return;
    if (FComPort != nullptr) {
        TComPort* Old = FComPort;
        FComPort = nullptr;
        // A port being destroyed has already released its list of links.
        if (!Old->GetComponentState().Contains(csDestroying))
            Old->UnRegisterLink(FLink.get());
        Old->RemoveFreeNotification(this);
    }
    FComPort = Value;
    if (Value == nullptr) {
        ShowNow(lsOff);
        return;
    }
    Value->FreeNotification(this);
    Value->RegisterLink(FLink.get());
    const TComponentState S = GetComponentState();
    if (Value->GetConnected() && !S.Contains(csDesigning) && !S.Contains(csLoading))
        ShowNow(GetLedState());
}

void TComLed::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent != nullptr && AComponent == FComPort)
        SetComPort(nullptr);
}

TLedState TComLed::GetLedState() const {
    bool On = false;
    switch (FLedSignal) {
    case lsConn:
        On = FComPort != nullptr && FComPort->GetConnected();
        break;
    case lsCTS:
        On = FComPort->Signals().Contains(csCTS);
        break;
    case lsDSR:
        On = FComPort->Signals().Contains(csDSR);
        break;
    case lsRLSD:
        On = FComPort->Signals().Contains(csRLSD);
        break;
    case lsRing:
    case lsRx:
    case lsTx:
        break;
    }
    return On ? lsOn : lsOff;
}

void TComLed::SetLedSignal(TComLedSignal Value) {
    if (Value == FLedSignal)
        return;
    FLedSignal = Value;
    FillLinkSlot();
}

void TComLed::FillLinkSlot() {
    FLink->OnConn = FLink->OnCTSChange = FLink->OnDSRChange = FLink->OnRLSDChange = nullptr;
    FLink->OnRing = nullptr;
    FLink->OnTx = FLink->OnRx = nullptr;
    auto Signal = [this](TObject* Sender, bool OnOff) { SignalChange(Sender, OnOff); };
    switch (FLedSignal) {
    case lsConn:
        FLink->OnConn = Signal;
        break;
    case lsCTS:
        FLink->OnCTSChange = Signal;
        break;
    case lsDSR:
        FLink->OnDSRChange = Signal;
        break;
    case lsRLSD:
        FLink->OnRLSDChange = Signal;
        break;
    case lsRing:
        FLink->OnRing = [this](TObject* Sender) { RingDetect(Sender); };
        break;
    case lsRx:
        FLink->OnRx = Signal;
        break;
    case lsTx:
        FLink->OnTx = Signal;
        break;
    }
}

void TComLed::OnOwnThread(std::function<void()> Call) {
    if (QThread::currentThread() == thread())
        Call();
    else
        QMetaObject::invokeMethod(this, std::move(Call), Qt::QueuedConnection);
}

void TComLed::SignalChange(TObject*, bool OnOff) {
    OnOwnThread([this, OnOff] {
        FSignalOn = OnOff;
        if (OnOff && FMinOnTime > 0)
            FMinOnTimer.start(FMinOnTime); // from the latest lighting
        // Lit less than the least time: the timer puts it out.
        if (!OnOff && FMinOnTimer.isActive())
            return;
        SetStateInternal(OnOff ? lsOn : lsOff);
        // Paint now rather than serving every pending event here: a user's command run from
        // inside a port notification could close the very port that is dispatching.
        if (isVisible())
            repaint();
    });
}

void TComLed::RingDetect(TObject*) {
    OnOwnThread([this] {
        if (!FRingTimer.isActive())
            FRingTimer.start();
        SetStateInternal(lsOn);
    });
}

void TComLed::DoTimer() {
    FRingTimer.stop();
    SetStateInternal(lsOff);
}

void TComLed::MinOnTimeOver() {
    if (!FSignalOn)
        SetStateInternal(lsOff);
}

void TComLed::SetMinOnTime(int Ms) {
    FMinOnTime = Ms < 0 ? 0 : Ms;
    if (FMinOnTime == 0 && FMinOnTimer.isActive()) {
        FMinOnTimer.stop();
        MinOnTimeOver();
    }
}

void TComLed::SetRingDuration(std::int32_t Value) {
    FRingTimer.setInterval(Value < 0 ? 0 : Value);
}

void TComLed::LoadKind(TLedKind Kind) {
    if (Kind == lkCustom)
        return;
    for (TLedState S : {lsOff, lsOn})
        FGlyphs[S] = Transparent(QImage(QStringLiteral(":/leds/") + BuiltInNames[Kind][S]));
}

void TComLed::SetKind(TLedKind Value) {
    if (Value == FKind)
        return;
    FKind = Value;
    LoadKind(Value);
    update();
}

void TComLed::SetGlyph(TLedState Which, const QPixmap& Value) {
    if (FKind != lkCustom)
        return;
    FGlyphs[Which] = Transparent(Value.toImage());
    update();
}

void TComLed::SetGlyphOn(const QPixmap& Value) {
    SetGlyph(lsOn, Value);
}

void TComLed::SetGlyphOff(const QPixmap& Value) {
    SetGlyph(lsOff, Value);
}

void TComLed::Paint() {
    if (FGlyphs[lsOn].isNull() || FGlyphs[lsOff].isNull())
        LoadKind(FKind);
    const QPixmap& Shown = FGlyphs[isEnabled() ? FState : lsOff];
    const QSize Size = FGlyphs[FState].size();
    const QRect Client = rect();
    const int X = Client.left() + std::max(0, (Client.width() - Size.width()) / 2);
    const int Y = Client.top() + std::max(0, (Client.height() - Size.height()) / 2);
    QPainter Painter(this);
    if (!Shown.isNull())
        Painter.drawPixmap(X, Y, Shown);
    if (hasFocus()) {
        QStyleOptionFocusRect Option;
        Option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &Option, &Painter, this);
    }
}

void TComLed::paintEvent(QPaintEvent*) {
    Paint();
}

void TComLed::changeEvent(QEvent* Event) {
    if (Event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(Event);
}

bool TComLed::event(QEvent* Event) {
    if (Event->type() == QEvent::ToolTipChange) {
        HintToAccessibleName(*this, FHint);
    }
    return QWidget::event(Event);
}

void TComLed::mouseReleaseEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()) &&
        OnClick)
        OnClick(this);
    QWidget::mouseReleaseEvent(Event);
}

void TComLed::mouseDoubleClickEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
    QWidget::mouseDoubleClickEvent(Event);
}
