// The whole boundary between the terminal's logic (TTermEngine) and whatever shows it or carries
// its bytes. The widget implements TTermView; the port link (or a test) implements TTermOutput.
// Columns and rows here are buffer cells, 1-based; the view maps them through its own TopColumn
// and TopRow. Every call comes from the thread that drives the engine (the GUI thread).
#pragma once

#include <string>

#include "terminal/CPortTrmBuffer.h"

class TTermView {
public:
    virtual ~TTermView() = default;

    // The cells Left..Right x Top..Bottom changed: repaint them with the background erased.
    virtual void InvalidatePortion(int Left, int Top, int Right, int Bottom) = 0;
    // Everything changed (clear screen, test pattern, new size).
    virtual void InvalidateAll() = 0;
    // The buffer content moved one row: Up true after ScrollDown (content up, bottom row empty),
    // false after ScrollUp (content down, top row empty).
    virtual void ScrollScreen(bool Up) = 0;
    // Rows Top..Bottom moved Count rows up (Count > 0) or down within themselves, the rows
    // vacated empty. A view that does not move a part of its picture repaints.
    virtual void ScrollRows(int Top, int Bottom, int Count) {
        (void)Top, (void)Bottom, (void)Count;
        InvalidateAll();
    }
    // One cell was written; draw it at once.
    virtual void DrawCell(int Column, int Row, const TComTermChar& Cell) = 0;
    // The caret cell changed (already clamped); move the system caret if one exists.
    virtual void CaretMoved(int Column, int Row) = 0;
    // Nest: every HideCaret is matched by one ShowCaret, also when an exception passes.
    virtual void HideCaret() = 0;
    virtual void ShowCaret() = 0;
    // Caret shape changed: re-create the system caret if the control has the focus.
    virtual void CaretShapeChanged() = 0;
    // Columns or Rows changed: automatic size and scroll ranges.
    virtual void ScreenSizeChanged() = 0;
};

class TTermOutput {
public:
    virtual ~TTermOutput() = default;
    // True when bytes can go out: a port is attached and connected.
    virtual bool CanSend() const = 0;
    // Errors of the port's write propagate to the caller.
    virtual void Send(const std::string& Text) = 0;
};
