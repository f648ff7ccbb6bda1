// The terminal control: a character screen on a port. Received bytes arrive through the port's
// link on the GUI thread (the port must dispatch there: smThreadSync or smWindowSync), go
// through the escape-code parser and land in the screen buffer; typed keys go to the port.
// The logic lives in TTermEngine; this widget owns one, forwards its operations, and draws the
// buffer with the font's cell metrics, a caret of its own, and scroll bars when the window is
// smaller than the screen.
//
// Display geometry: the buffer cell (X, Y) is drawn at window cell (X - TopColumn + 1,
// Y - TopRow + 1); TopColumn and TopRow follow the scroll bars' positions plus one.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <cstdint>
#include <functional>
#include <memory>

#include "framework/Component.h"
#include "terminal/CPortTrmBuffer.h"
#include "terminal/TermEngine.h"
#include "terminal/TermPort.h"

class TSystemCaret;

// The font a terminal starts with, and the face that replaces a proportional font: a
// fixed-pitch face installed with the system (DejaVu Sans Mono), white, 9 points.
struct TTermFont {
    QFont Font;
    TColor Color = 0xFFFFFF;
};
const TTermFont& ComTerminalFont();

enum TTermBorderStyle : std::uint8_t { bsNone, bsSingle };
enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TScrollBarKind : std::uint8_t { sbHorizontal, sbVertical };
// Requests from a scroll bar: one line or page either way, the thumb released at a position or
// being dragged, the ends, and the end of a scrolling gesture.
enum TScrollCode : std::uint8_t {
    scLineUp,
    scLineDown,
    scPageUp,
    scPageDown,
    scPosition,
    scTrack,
    scTop,
    scBottom,
    scEndScroll
};

// Key is the virtual-key code (vkHome, vkLeft, ... ; 0 for keys without one); a handler that
// sets it to 0 keeps the terminal from acting on it.
using TTermKeyEvent = std::function<void(TObject* Sender, std::uint16_t& Key)>;
// Ch is the typed character; the handler may change it (0 is sent as well).
using TTermKeyPressEvent = std::function<void(TObject* Sender, char& Ch)>;

QColor TColorToQColor(TColor Color);
TColor QColorToTColor(const QColor& Color);

class TCustomComTerminal : public QAbstractScrollArea, public TComponent, private TTermView {
    Q_OBJECT
public:
    explicit TCustomComTerminal(QWidget* Parent = nullptr, TComponent* AOwner = nullptr);
    ~TCustomComTerminal() override;

    // --- the port ---
    TCustomComPort* GetComPort() const { return FPort->GetComPort(); }
    void SetComPort(TCustomComPort* Value) { FPort->SetComPort(Value); }
    bool GetConnected() const { return FPort->GetConnected(); }
    void SetConnected(bool Value) { FPort->SetConnected(Value); }

    // --- terminal properties ---
    int GetColumns() const { return FEngine.GetColumns(); }
    void SetColumns(int Value) { FEngine.SetColumns(Value); }
    int GetRows() const { return FEngine.GetRows(); }
    void SetRows(int Value) { FEngine.SetRows(Value); }
    TTermEmulation GetEmulation() const { return FEngine.GetEmulation(); }
    void SetEmulation(TTermEmulation Value) { FEngine.SetEmulation(Value); }
    TTermCaret GetCaret() const { return FEngine.GetCaret(); }
    void SetCaret(TTermCaret Value) { FEngine.SetCaret(Value); }
    TArrowKeys GetArrowKeys() const { return FEngine.GetArrowKeys(); }
    void SetArrowKeys(TArrowKeys Value) { FEngine.SetArrowKeys(Value); }
    bool GetLocalEcho() const { return FEngine.GetLocalEcho(); }
    void SetLocalEcho(bool Value) { FEngine.SetLocalEcho(Value); }
    bool GetSendLF() const { return FEngine.GetSendLF(); }
    void SetSendLF(bool Value) { FEngine.SetSendLF(Value); }
    bool GetAppendLF() const { return FEngine.GetAppendLF(); }
    void SetAppendLF(bool Value) { FEngine.SetAppendLF(Value); }
    bool GetForce7Bit() const { return FEngine.GetForce7Bit(); }
    void SetForce7Bit(bool Value) { FEngine.SetForce7Bit(Value); }
    bool GetWrapLines() const { return FEngine.GetWrapLines(); }
    void SetWrapLines(bool Value) { FEngine.SetWrapLines(Value); }
    TColor GetAltColor() const { return FEngine.GetAltColor(); }
    void SetAltColor(TColor Value) { FEngine.SetAltColor(Value); }
    // Background of the control and of unattributed characters.
    TColor GetColor() const { return FEngine.GetColor(); }
    void SetColor(TColor Value);
    TColor GetFontColor() const { return FEngine.GetFontColor(); }
    void SetFontColor(TColor Value);
    // The font's face and size; a proportional face gives way to ComTerminalFont's.
    QFont GetFont() const { return font(); }
    void SetFont(const QFont& Value) { setFont(Value); }

    // --- window properties ---
    bool GetSmoothScroll() const { return FSmoothScroll; }
    void SetSmoothScroll(bool Value);
    bool GetWantTab() const { return FWantTab; }
    void SetWantTab(bool Value) { FWantTab = Value; }
    TTermBorderStyle GetBorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TTermBorderStyle Value);
    TScrollStyle GetScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle Value);
    // Invalidate whole instead of moving pixels when scrolling.
    bool GetDoubleBuffered() const { return FDoubleBuffered; }
    void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }
    // The control takes the size that shows the whole screen (CanAutoSize).
    bool GetAutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    bool GetTabStop() const { return FTabStop; }
    void SetTabStop(bool Value);

    // --- state ---
    TTermEngine& Engine() { return FEngine; }
    const TTermEngine& Engine() const { return FEngine; }
    const TComTermBuffer& GetScreenBuffer() const { return FEngine.GetScreenBuffer(); }
    TComTermBuffer& GetScreenBuffer() { return FEngine.GetScreenBuffer(); }
    // Null for teNone unless OnGetEscapeCodes supplied one.
    TEscapeCodes* GetEscapeParser() const { return FEngine.GetEscapeParser(); }
    int GetCaretColumn() const { return FEngine.GetCaretColumn(); }
    int GetCaretRow() const { return FEngine.GetCaretRow(); }
    int GetSavedCaretColumn() const { return FEngine.GetSavedCaretColumn(); }
    int GetSavedCaretRow() const { return FEngine.GetSavedCaretRow(); }
    bool GetReverseVideo() const { return FEngine.GetReverseVideo(); }
    bool GetBoldText() const { return FEngine.GetBoldText(); }
    bool GetUnderlineText() const { return FEngine.GetUnderlineText(); }
    bool GetAppCursorKeys() const { return FEngine.GetAppCursorKeys(); }
    int GetTopColumn() const { return FTopColumn; }
    int GetTopRow() const { return FTopRow; }
    int GetCellWidth() const { return FCellWidth; }
    int GetCellHeight() const { return FCellHeight; }
    int GetCaretHeight() const { return FCaretHeight; }
    bool GetCaretCreated() const { return FCaretCreated; }
    // The caret's pixel rectangle in the client area (meaningful while it exists).
    QRect CaretRect() const;

    // --- terminal operations ---
    void ClearScreen() { FEngine.ClearScreen(); }
    void MoveCaret(int Column, int Row) { FEngine.MoveCaret(Column, Row); }
    void Write(const void* Buffer, std::int32_t Count) { FEngine.Write(Buffer, Count); }
    void WriteStr(const std::string& Str) { FEngine.WriteStr(Str); }
    void WriteEscCode(TEscapeCode Code, TStrings* AParams) { FEngine.WriteEscCode(Code, AParams); }
    void PutChar(char Ch) { FEngine.PutChar(Ch); }
    bool PutEscapeCode(TEscapeCode Code, TStrings* AParams) {
        return FEngine.PutEscapeCode(Code, AParams);
    }
    void SendChar(char Ch) { FEngine.SendChar(Ch); }
    void SendCode(TEscapeCode Code, TStrings* AParams) { FEngine.SendCode(Code, AParams); }
    void SendCodeNoEcho(TEscapeCode Code, TStrings* AParams) {
        FEngine.SendCodeNoEcho(Code, AParams);
    }
    void AdvanceCaret(TAdvanceCaret Kind) { FEngine.AdvanceCaret(Kind); }
    TComTermChar GetCharAttr() const { return FEngine.GetCharAttr(); }
    void SetAttributes(const TStrings* AParams) { FEngine.SetAttributes(AParams); }
    void SetMode(const TStrings* AParams, bool OnOff) { FEngine.SetMode(AParams, OnOff); }
    void SaveCaretPos() { FEngine.SaveCaretPos(); }
    void RestoreCaretPos() { FEngine.RestoreCaretPos(); }
    void SaveAttr() { FEngine.SaveAttr(); }
    void RestoreAttr() { FEngine.RestoreAttr(); }
    void PerformTest(char ACharacter) { FEngine.PerformTest(ACharacter); }
    void LoadFromStream(TStream& Stream) { FEngine.LoadFromStream(Stream); }
    void SaveToStream(TStream& Stream) const { FEngine.SaveToStream(Stream); }
    // A font dialog of fixed-pitch faces, preset with the terminal's font.
    void SelectFont();
    void ShowSetupDialog();
    void CreateEscapeCodes() { FEngine.CreateEscapeCodes(); }
    void StringReceived(const std::string& Str) { FEngine.StringReceived(Str); }
    void RxBuf(TObject* Sender, const void* Buffer, std::int32_t Count) {
        FEngine.RxBuf(Sender, Buffer, Count);
    }

    // Raise their event when a handler is assigned; a derived control may intercept them.
    virtual void DoChar(char Ch) { FEngine.RaiseChar(Ch); }
    virtual void DoGetEscapeCodes(TEscapeCodes*& EscapeCodes) {
        FEngine.RaiseGetEscapeCodes(EscapeCodes);
    }
    virtual void DoStrRecieved(std::string& Str) { FEngine.RaiseStrRecieved(Str); }
    virtual void DoUnhandledCode(TEscapeCode Code, const std::string& Data) {
        FEngine.RaiseUnhandledCode(Code, Data);
    }

    // --- display ---
    // Measures the font into CellWidth and CellHeight; true for a fixed-pitch font.
    bool CalculateMetrics();
    // Paints the pixels of Clip (client coordinates) on Painter; paint events come here.
    void Paint(QPainter& Painter, const QRect& Clip);
    // Paints the whole client area now (a hidden control has nothing to paint).
    void Paint() { viewport()->repaint(); }
    // Window cells Left..Right x Top..Bottom (1-based, inclusive).
    void PaintTerminal(QPainter& Painter, const QRect& Cells);
    void DrawChar(QPainter& Painter, int Column, int Row, const TComTermChar& Cell);
    void CreateTerminalCaret();
    void InitCaret();
    void HideCaret() override;
    void ShowCaret() override;
    void UpdateScrollRange();
    void UpdateScrollPos();
    void ModifyScrollBar(TScrollBarKind Kind, TScrollCode Code, int Pos);
    // Sets the size that shows the whole screen; sizing is always allowed.
    bool CanAutoSize(int& NewWidth, int& NewHeight) const;

    // Between these, size changes do not clear the screen and the emulation is only stored;
    // Loaded prepares the parser and the screen.
    void BeginLoading() {
        TComponent::BeginLoading();
        FEngine.BeginLoading();
    }
    void Loaded() override;
    // The removal of the attached port detaches it.
    void Notification(TComponent* AComponent, TOperation Operation) override;

    QSize sizeHint() const override;

    TTermKeyEvent OnKeyDown;
    TTermKeyPressEvent OnKeyPress;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    bool focusNextPrevChild(bool Next) override;
    // Scrolling moves TopColumn and TopRow only through ModifyScrollBar and UpdateScrollPos.
    void scrollContentsBy(int Dx, int Dy) override;

    // Buffer cells Left..Right x Top..Bottom (1-based, inclusive) are repainted.
    void InvalidatePortion(int Left, int Top, int Right, int Bottom) override;

private:
    // Routes the engine's notifications through the control's overridable ones.
    class TControlEngine final : public TTermEngine {
    public:
        explicit TControlEngine(TCustomComTerminal& Control) : FControl(Control) {}
        void RaiseChar(char Ch) { TTermEngine::DoChar(Ch); }
        void RaiseGetEscapeCodes(TEscapeCodes*& EscapeCodes) {
            TTermEngine::DoGetEscapeCodes(EscapeCodes);
        }
        void RaiseStrRecieved(std::string& Str) { TTermEngine::DoStrRecieved(Str); }
        void RaiseUnhandledCode(TEscapeCode Code, const std::string& Data) {
            TTermEngine::DoUnhandledCode(Code, Data);
        }

    protected:
        void DoChar(char Ch) override { FControl.DoChar(Ch); }
        void DoGetEscapeCodes(TEscapeCodes*& EscapeCodes) override {
            FControl.DoGetEscapeCodes(EscapeCodes);
        }
        void DoStrRecieved(std::string& Str) override { FControl.DoStrRecieved(Str); }
        void DoUnhandledCode(TEscapeCode Code, const std::string& Data) override {
            FControl.DoUnhandledCode(Code, Data);
        }

    private:
        TCustomComTerminal& FControl;
    };

    // TTermView
    void InvalidateAll() override;
    void ScrollScreen(bool Up) override;
    void ScrollRows(int Top, int Bottom, int Count) override;
    void DrawCell(int Column, int Row, const TComTermChar& Cell) override;
    void CaretMoved(int Column, int Row) override;
    void CaretShapeChanged() override;
    void ScreenSizeChanged() override;

    void HandleKey(const QKeyEvent& Event);
    void FontChanged();
    void ApplyAutoSize();
    void ApplyScrollBarPolicies();
    void DestroyTerminalCaret();
    void ScrollBarAction(TScrollBarKind Kind, int Action);
    QRect CellRect(int WindowColumn, int WindowRow) const;
    void PaintDesignSample(QPainter& Painter);

    TControlEngine FEngine{*this};
    std::unique_ptr<TComTermPort> FPort;
    TSystemCaret* FSystemCaret;

    bool FSmoothScroll = false;
    bool FWantTab = false;
    TTermBorderStyle FBorderStyle = bsSingle;
    TScrollStyle FScrollBars = ssBoth;
    bool FDoubleBuffered = false;
    bool FAutoSize = false;
    bool FTabStop = true;

    int FCellWidth = 1;
    int FCellHeight = 1;
    int FTopColumn = 1;
    int FTopRow = 1;
    int FCaretHeight = 0;
    bool FCaretCreated = false;
    // Pixels are moved for the first scroll between two paints; later ones repaint it all.
    bool FScrolledSincePaint = false;
    QFont FUnderlinedFont;

public:
    // The engine's handler slots (declared after it, which they refer to).
    TChScreenEvent& OnChar = FEngine.OnChar;
    TEscapeEvent& OnGetEscapeCodes = FEngine.OnGetEscapeCodes;
    TStrRecvEvent& OnStrRecieved = FEngine.OnStrRecieved;
    TUnhandledEvent& OnUnhandledCode = FEngine.OnUnhandledCode;
};

// The terminal control with its properties published.
class TComTerminal : public TCustomComTerminal {
    Q_OBJECT
public:
    using TCustomComTerminal::TCustomComTerminal;
};
