// Helpers for the terminal widget tests: showing a terminal with the focus, reading rows back.
#pragma once

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

#include "terminal/widget/CPortTrm.h"

// The characters of a buffer row up to its line length, empty cells as blanks.
inline std::string RowText(const TCustomComTerminal& Terminal, int Row) {
    const TComTermBuffer& buffer = Terminal.GetScreenBuffer();
    std::string text;
    for (int column = 1; column <= buffer.GetLineLength(Row); ++column) {
        const char ch = buffer.GetChar(column, Row).Character;
        text += ch == 0 ? ' ' : ch;
    }
    return text;
}

// Shows the terminal as an active top-level window and waits until it has the focus.
inline bool ShowFocused(QWidget& Widget) {
    Widget.window()->show();
    QApplication::setActiveWindow(Widget.window());
    Widget.setFocus();
    return QTest::qWaitForWindowExposed(Widget.window()) &&
           QTest::qWaitFor([&] { return Widget.hasFocus(); }, 5000);
}
