// A terminal engine with a recording view and output, and helpers that feed bytes and read cells.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/TermEngine.h"

inline constexpr char ESC = 27;

// "\x1b" spelled out in every table would hide the sequences; "^" stands for ESC here.
inline std::string Esc(std::string Text) {
    for (char& Ch : Text)
        if (Ch == '^')
            Ch = ESC;
    return Text;
}

// Every call as one line, e.g. "caret 2,1", "draw 1,1 A", "invalidate 5,2-80,2", "scroll up".
class TRecordingView : public TTermView {
public:
    void InvalidatePortion(int Left, int Top, int Right, int Bottom) override {
        Log.push_back("invalidate " + std::to_string(Left) + "," + std::to_string(Top) + "-" +
                      std::to_string(Right) + "," + std::to_string(Bottom));
    }
    void InvalidateAll() override { Log.push_back("invalidate all"); }
    void ScrollScreen(bool Up) override { Log.push_back(Up ? "scroll up" : "scroll down"); }
    void DrawCell(int Column, int Row, const TComTermChar& Cell) override {
        Log.push_back("draw " + std::to_string(Column) + "," + std::to_string(Row) + " " +
                      std::string(1, Cell.Character));
    }
    void CaretMoved(int Column, int Row) override {
        Log.push_back("caret " + std::to_string(Column) + "," + std::to_string(Row));
    }
    void HideCaret() override { ++Hidden; }
    void ShowCaret() override { --Hidden; }
    void CaretShapeChanged() override { Log.push_back("caret shape"); }
    void ScreenSizeChanged() override { Log.push_back("size"); }

    // Entries that start with Prefix, in order.
    std::vector<std::string> Only(const std::string& Prefix) const {
        std::vector<std::string> R;
        for (const auto& L : Log)
            if (L.rfind(Prefix, 0) == 0)
                R.push_back(L);
        return R;
    }

    std::vector<std::string> Log;
    int Hidden = 0;
};

class TRecordingOutput : public TTermOutput {
public:
    bool CanSend() const override { return Connected; }
    void Send(const std::string& Text) override { Sent += Text; }

    bool Connected = true;
    std::string Sent;
};

class TEngineTest : public ::testing::Test {
protected:
    TEngineTest() {
        Engine.SetView(&View);
        Engine.SetOutput(&Output);
    }

    // The bytes as one block, or one call per byte.
    void Feed(const std::string& Bytes, bool ByteAtATime = false) {
        if (!ByteAtATime) {
            Engine.WriteStr(Bytes);
            return;
        }
        for (const char Ch : Bytes)
            Engine.Write(&Ch, 1);
    }

    // The characters of a row, empty cells as '.', trailing empty cells dropped.
    std::string RowText(int Row) const {
        const TComTermBuffer& B = Engine.GetScreenBuffer();
        std::string Text;
        for (int Column = 1; Column <= B.GetLineLength(Row); ++Column) {
            const char Ch = B.GetChar(Column, Row).Character;
            Text += Ch != 0 ? Ch : '.';
        }
        return Text;
    }

    std::string Caret() const {
        return std::to_string(Engine.GetCaretColumn()) + "," + std::to_string(Engine.GetCaretRow());
    }

    TTermEngine Engine;
    TRecordingView View;
    TRecordingOutput Output;
};
