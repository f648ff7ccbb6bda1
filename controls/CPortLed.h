// The port status lamp: shows one bit of a port's state (connection, a modem input line, the
// ring indicator, receive or transmit activity) as one of two pictures.
//
// The lamp follows its port through a TComLink, so it takes none of the port's handlers. Link
// notifications are expected on the GUI thread (the port's smThreadSync and smWindowSync
// dispatch); one arriving on another thread (smNone) is handed to the GUI thread, and dropped
// if the lamp is gone by then.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "framework/Component.h"
#include "port/CPortTypes.h"

class TComLink;
class TComPort;

enum TLedKind : std::uint8_t {
    lkRedLight,
    lkGreenLight,
    lkBlueLight,
    lkYellowLight,
    lkPurpleLight,
    lkBulb,
    lkCustom
};
enum TComLedSignal : std::uint8_t { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };
enum TLedState : std::uint8_t { lsOff, lsOn };

using TLedStateEvent = std::function<void(TObject* Sender, TLedState AState)>;

class TComLed : public QWidget, public TComponent {
    Q_OBJECT

public:
    explicit TComLed(QWidget* Parent = nullptr, TComponent* AOwner = nullptr);
    ~TComLed() override;

    TComPort* GetComPort() const { return FComPort; }
    void SetComPort(TComPort* Value);
    TComLedSignal GetLedSignal() const { return FLedSignal; }
    void SetLedSignal(TComLedSignal Value);
    TLedKind GetKind() const { return FKind; }
    void SetKind(TLedKind Value);
    // Written only while Kind is lkCustom; the bottom-left pixel's colour is transparent.
    const QPixmap& GetGlyphOn() const { return FGlyphs[lsOn]; }
    void SetGlyphOn(const QPixmap& Value);
    const QPixmap& GetGlyphOff() const { return FGlyphs[lsOff]; }
    void SetGlyphOff(const QPixmap& Value);
    TLedState GetState() const { return FState; }
    // Raises EComPort code 19 while a port is attached: the port owns the state then.
    void SetState(TLedState Value);
    std::int32_t GetRingDuration() const { return FRingTimer.interval(); }
    void SetRingDuration(std::int32_t Value);
    // Milliseconds a lamp lit by its port's signal stays lit at least, however short the signal,
    // so that a person can see it; 0 (the default) shows the signal as it is.
    int GetMinOnTime() const { return FMinOnTime; }
    void SetMinOnTime(int Ms);

    TLedStateEvent OnChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    QSize sizeHint() const override { return {25, 25}; }

protected:
    virtual void DoChange(TLedState AState);
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual void Paint();

    void paintEvent(QPaintEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    bool event(QEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    void SetStateInternal(TLedState Value);
    TLedState GetLedState() const;
    void SignalChange(TObject* Sender, bool OnOff);
    void RingDetect(TObject* Sender);
    void DoTimer();
    void MinOnTimeOver();
    // Shows Value at once, ending the least lit time: not a signal of the port.
    void ShowNow(TLedState Value);
    void LoadKind(TLedKind Kind);
    void SetGlyph(TLedState Which, const QPixmap& Value);
    void FillLinkSlot();
    // Runs Call now on the lamp's thread, or later there when called from another thread.
    void OnOwnThread(std::function<void()> Call);

    TComPort* FComPort = nullptr;
    TComLedSignal FLedSignal = lsConn;
    TLedKind FKind = lkRedLight;
    TLedState FState = lsOff;
    QPixmap FGlyphs[2];
    std::unique_ptr<TComLink> FLink;
    QTimer FRingTimer;
    int FMinOnTime = 0;
    QTimer FMinOnTimer;
    bool FSignalOn = false; // the port's signal, which the lamp may still show lit after it
    QString FHint;
};
