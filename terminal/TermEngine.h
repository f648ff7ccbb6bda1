// The terminal's logic without a window: properties, the screen buffer, the caret, attributes,
// modes, escape-code handling, the answers to the remote side, keys and save/load. The widget
// (TCustomComTerminal) owns one, forwards its operations of the same names, and implements
// TTermView; bytes the terminal sends go to a TTermOutput (the port link, TComTermPort).
//
// The caret is moved in one place, MoveCaret, which clamps it into the screen; every other
// step goes through it. Without a view or an output the engine still works (nothing is drawn,
// nothing is sent). Used on one thread; no locks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Stream.h"
#include "framework/Strings.h"
#include "terminal/CPortEsc.h"
#include "terminal/CPortTrmBuffer.h"
#include "terminal/TermView.h"

// teVT102 comes after the others, so stored values keep their meaning.
enum TTermEmulation : std::uint8_t { teVT100orANSI, teVT52, teNone, teVT102 };
enum TTermCaret : std::uint8_t { tcBlock, tcUnderline, tcNone };
enum TArrowKeys : std::uint8_t { akTerminal, akWindows };
enum TAdvanceCaret : std::uint8_t {
    acChar,
    acReturn,
    acLineFeed,
    acReverseLineFeed,
    acTab,
    acBackspace
};

// Key codes KeyDown looks at (the platform's virtual-key numbers); the widget maps its keys.
inline constexpr std::uint16_t vkHome = 0x24;
inline constexpr std::uint16_t vkLeft = 0x25;
inline constexpr std::uint16_t vkUp = 0x26;
inline constexpr std::uint16_t vkRight = 0x27;
inline constexpr std::uint16_t vkDown = 0x28;

using TChScreenEvent = std::function<void(TObject* Sender, char Ch)>;
// The handler may supply a parser of its own (allocated with new); the terminal then owns it.
using TEscapeEvent = std::function<void(TObject* Sender, TEscapeCodes*& EscapeCodes)>;
// The handler may replace the received text.
using TStrRecvEvent = std::function<void(TObject* Sender, std::string& Str)>;
using TUnhandledEvent =
    std::function<void(TObject* Sender, TEscapeCode Code, const std::string& Data)>;

class TTermEngine : public TObject {
public:
    static constexpr int MinColumns = 2, MaxColumns = 256, MinRows = 2, MaxRows = 100;

    // Ready at once: parser for the emulation created, screen initialised (80 x 24, empty).
    TTermEngine();
    ~TTermEngine() override;
    TTermEngine(const TTermEngine&) = delete;
    TTermEngine& operator=(const TTermEngine&) = delete;

    // Not owned; null detaches. The sender is what handlers receive (the widget); default this.
    void SetView(TTermView* View) { FView = View; }
    void SetOutput(TTermOutput* Output) { FOutput = Output; }
    void SetSender(TObject* Sender) { FSender = Sender ? Sender : this; }
    TTermView* GetView() const { return FView; }
    // The view, or one that ignores every call when none is attached.
    TTermView& Display() const;

    // Between BeginLoading and Loaded, size changes do not clear the screen and an emulation
    // change does not replace the parser; Loaded creates the parser and initialises the screen.
    void BeginLoading() { FLoading = true; }
    void Loaded();
    bool GetLoading() const { return FLoading; }

    // Properties. Setters compare first; Columns is kept within 2..256, Rows within 2..100.
    int GetColumns() const { return FColumns; }
    void SetColumns(int Value);
    int GetRows() const { return FRows; }
    void SetRows(int Value);
    TTermEmulation GetEmulation() const { return FEmulation; }
    // Choosing teVT102 turns WrapLines on: that emulation wraps as a VT102 does, the caret
    // waiting in the last column until the next printable character.
    void SetEmulation(TTermEmulation Value);
    TTermCaret GetCaret() const { return FCaret; }
    void SetCaret(TTermCaret Value);
    TArrowKeys GetArrowKeys() const { return FArrowKeys; }
    void SetArrowKeys(TArrowKeys Value) { FArrowKeys = Value; }
    bool GetLocalEcho() const { return FLocalEcho; }
    void SetLocalEcho(bool Value) { FLocalEcho = Value; }
    bool GetSendLF() const { return FSendLF; }
    void SetSendLF(bool Value) { FSendLF = Value; }
    bool GetAppendLF() const { return FAppendLF; }
    void SetAppendLF(bool Value) { FAppendLF = Value; }
    bool GetForce7Bit() const { return FForce7Bit; }
    void SetForce7Bit(bool Value) { FForce7Bit = Value; }
    bool GetWrapLines() const { return FWrapLines; }
    void SetWrapLines(bool Value) { FWrapLines = Value; }
    // Text colour of bold characters.
    TColor GetAltColor() const { return FAltColor; }
    void SetAltColor(TColor Value) { FAltColor = Value; }
    // The control's background colour and its font's colour, which the widget keeps current.
    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value) { FColor = Value; }
    TColor GetFontColor() const { return FFontColor; }
    void SetFontColor(TColor Value) { FFontColor = Value; }

    // State.
    int GetCaretColumn() const { return FCaretColumn; }
    int GetCaretRow() const { return FCaretRow; }
    int GetSavedCaretColumn() const { return FSavedCaretColumn; }
    int GetSavedCaretRow() const { return FSavedCaretRow; }
    bool GetReverseVideo() const { return FAttr.ReverseVideo; }
    bool GetBoldText() const { return FAttr.BoldText; }
    bool GetUnderlineText() const { return FAttr.UnderlineText; }
    bool GetAppCursorKeys() const { return FAppCursorKeys; }
    // teVT102 only (outside it: the whole screen, every mode off).
    int GetTopMargin() const { return FVT.Top; }
    int GetBottomMargin() const { return FVT.Bottom; }
    bool GetOriginMode() const { return FVT.OriginMode; }
    // A printable character has filled the last column; the next one wraps first.
    bool GetWrapPending() const { return FVT.WrapPending; }
    bool GetInsertMode() const { return FVT.InsertMode; }
    bool GetNewLineMode() const { return FVT.NewLineMode; }
    // The whole screen is shown with text and background colours swapped.
    bool GetReverseScreen() const { return FVT.ReverseScreen; }
    const TComTermBuffer& GetScreenBuffer() const { return FScreenBuffer; }
    TComTermBuffer& GetScreenBuffer() { return FScreenBuffer; }
    // Null for teNone unless OnGetEscapeCodes supplied one.
    TEscapeCodes* GetEscapeParser() const { return FEscapeParser.get(); }

    // Operations of the terminal control.
    void ClearScreen();
    void MoveCaret(int Column, int Row);
    void Write(const void* Buffer, std::int32_t Count);
    void WriteStr(const std::string& Str);
    void WriteEscCode(TEscapeCode Code, TStrings* AParams);
    void PutChar(char Ch);
    // True when the terminal handles Code. ecIdentify, ecQueryCursorPos and ecReset empty and
    // refill AParams when it is given.
    bool PutEscapeCode(TEscapeCode Code, TStrings* AParams);
    void SendChar(char Ch);
    void SendCode(TEscapeCode Code, TStrings* AParams);
    void SendCodeNoEcho(TEscapeCode Code, TStrings* AParams);
    void AdvanceCaret(TAdvanceCaret Kind);
    TComTermChar GetCharAttr() const;
    void SetAttributes(const TStrings* AParams);
    // One rendition code; BoldOff is the code that ends bold (21 on the VT100, 22 on the VT102).
    void ApplyRendition(int Code, int BoldOff);
    void SetMode(const TStrings* AParams, bool OnOff);
    void SaveCaretPos();
    void RestoreCaretPos();
    void SaveAttr();
    void RestoreAttr();
    void PerformTest(char ACharacter);
    // Bytes of the stream from its position, each through PutChar (no escape codes).
    void LoadFromStream(TStream& Stream);
    // The screen as text: rows 1..last non-empty, empty cells as spaces, rows joined by CR LF.
    void SaveToStream(TStream& Stream) const;
    void CreateEscapeCodes();
    void StringReceived(const std::string& Str);
    // The link's received-data handler: AppendLF, Force7Bit (clears the eighth bit), then
    // StringReceived.
    void RxBuf(TObject* Sender, const void* Buffer, std::int32_t Count);

    // Keys, after the widget's own key events ran (a key or character the handler set to 0 for
    // KeyDown is not passed on). KeyDown takes a vk... code; KeyPress a typed character.
    void KeyDown(std::uint16_t Key);
    void KeyPress(char Key);

    TChScreenEvent OnChar;
    TEscapeEvent OnGetEscapeCodes;
    TStrRecvEvent OnStrRecieved;
    TUnhandledEvent OnUnhandledCode;

protected:
    virtual void DoChar(char Ch);
    virtual void DoGetEscapeCodes(TEscapeCodes*& EscapeCodes);
    virtual void DoStrRecieved(std::string& Str);
    virtual void DoUnhandledCode(TEscapeCode Code, const std::string& Data);

private:
    struct TAttributes {
        bool ReverseVideo = false;
        bool BoldText = false;
        bool UnderlineText = false;
    };
    // The system caret stays hidden while the screen changes, and comes back also on an
    // exception.
    class TCaretHider {
    public:
        explicit TCaretHider(TTermView& View) : FView(View) { FView.HideCaret(); }
        ~TCaretHider() { FView.ShowCaret(); }
        TCaretHider(const TCaretHider&) = delete;
        TCaretHider& operator=(const TCaretHider&) = delete;

    private:
        TTermView& FView;
    };

    // The VT102 emulation's state beyond the common one.
    struct TVT102State {
        int Top = 1;
        int Bottom = 24;
        bool OriginMode = false;
        bool WrapPending = false;
        bool InsertMode = false;
        bool NewLineMode = false;
        bool ReverseScreen = false;
        // The final characters designating G0 and G1, and which of them is in use.
        char Charsets[2] = {'B', 'B'};
        int Shift = 0;
        // What DECSC keeps besides the caret and the attributes.
        char SavedCharsets[2] = {'B', 'B'};
        int SavedShift = 0;
        bool SavedOriginMode = false;
        bool SavedWrapPending = false;
    };

    void ScreenResized();
    void ProcessByte(char Ch);
    void MoveCaretBy(std::int64_t Columns, std::int64_t Rows);

    // The VT102 emulation (TermVT102.cpp).
    void ProcessVT102(char Ch);
    void WriteVT102(const char* Bytes, std::int32_t Count);
    // Count printable characters outside any sequence, written a row's stretch at a time.
    void PrintRunVT102(const char* Text, std::int32_t Count);
    void PutCharVT102(char Ch);
    void PrintVT102(char Ch);
    void AdvanceVT102(TAdvanceCaret Kind);
    bool PerformVT102(TEscapeCode Code, const TControlParams& P);
    void GotoVT102(int Column, int Row);
    void GotoOrigin(int Column, int Row);
    void IndexVT102();
    void ReverseIndexVT102();
    void SetModesVT102(const TControlParams& P, bool OnOff);
    void SetAttributesVT102(const TControlParams& P);
    void AnswerVT102(TEscapeCode Code);
    void ResetVT102();
    void ResetMargins();

    TTermView* FView = nullptr;
    TTermOutput* FOutput = nullptr;
    TObject* FSender = this;
    bool FLoading = false;

    int FColumns = 80;
    int FRows = 24;
    TTermEmulation FEmulation = teVT100orANSI;
    TTermCaret FCaret = tcBlock;
    TArrowKeys FArrowKeys = akTerminal;
    bool FLocalEcho = false;
    bool FSendLF = false;
    bool FAppendLF = false;
    bool FForce7Bit = false;
    bool FWrapLines = false;
    TColor FAltColor = 0xA6A6A6;
    TColor FColor = 0x000000;
    TColor FFontColor = 0xFFFFFF;

    TComTermBuffer FScreenBuffer{this};
    std::unique_ptr<TEscapeCodes> FEscapeParser;
    // FEscapeParser when it is the VT102 family's, else null.
    TEscapeCodesVT102* FVT102Parser = nullptr;
    TVT102State FVT;
    int FCaretColumn = 1;
    int FCaretRow = 1;
    int FSavedCaretColumn = 1;
    int FSavedCaretRow = 1;
    TAttributes FAttr;
    TAttributes FSavedAttr;
    bool FAppCursorKeys = false;
};
