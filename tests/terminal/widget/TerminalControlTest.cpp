// The control's own face of the terminal: state read through it, its overridable
// notifications, loading and the removal of its port.
#include <QImage>
#include <QPainter>
#include <stdexcept>
#include <vector>

#include "TermWidgetKit.h"
#include "framework/Application.h"

namespace {

// Records what reaches the overridable notifications, then lets the base raise the events.
class TRecordingTerminal : public TComTerminal {
public:
    void DoChar(char Ch) override {
        Calls.push_back("char " + std::string(1, Ch));
        TComTerminal::DoChar(Ch);
    }
    void DoGetEscapeCodes(TEscapeCodes*& EscapeCodes) override {
        Calls.push_back("parser");
        TComTerminal::DoGetEscapeCodes(EscapeCodes);
    }
    void DoStrRecieved(std::string& Str) override {
        Calls.push_back("text " + Str);
        Str += "!";
        TComTerminal::DoStrRecieved(Str);
    }
    void DoUnhandledCode(TEscapeCode Code, const std::string& Data) override {
        Calls.push_back("unhandled " + std::to_string(Code) + " " + Data);
        TComTerminal::DoUnhandledCode(Code, Data);
    }
    std::vector<std::string> Calls;
};

} // namespace

TEST(TerminalControl, StateReadsThroughTheControl) {
    struct TCase {
        const char* Received;
        bool Bold, Underline, Reverse, AppKeys;
        int SavedColumn, SavedRow;
    } cases[] = {
        {"", false, false, false, false, 1, 1},
        {"\x1b[1;4;7m", true, true, true, false, 1, 1},
        {"\x1b[1;4;7m\x1b[24m", true, false, true, false, 1, 1},
        {"\x1b[?1h", false, false, false, true, 1, 1},
        {"\x1b[?1h\x1b[?1l", false, false, false, false, 1, 1},
        {"\x1b[5;9H\x1b"
         "7\x1b[H",
         false, false, false, false, 9, 5},
        {"\x1b[5;9H\x1b[s\x1b[H", false, false, false, false, 9, 5},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.Received)));
        TComTerminal t;
        t.WriteStr(c.Received);
        EXPECT_EQ(t.GetBoldText(), c.Bold);
        EXPECT_EQ(t.GetUnderlineText(), c.Underline);
        EXPECT_EQ(t.GetReverseVideo(), c.Reverse);
        EXPECT_EQ(t.GetAppCursorKeys(), c.AppKeys);
        EXPECT_EQ(t.GetSavedCaretColumn(), c.SavedColumn);
        EXPECT_EQ(t.GetSavedCaretRow(), c.SavedRow);
    }
}

TEST(TerminalControl, ParserFollowsEmulation) {
    TComTerminal t;
    struct TCase {
        TTermEmulation Emulation;
        bool Vt100, Vt52;
    } cases[] = {{teVT52, false, true}, {teNone, false, false}, {teVT100orANSI, true, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Emulation));
        t.SetEmulation(c.Emulation);
        EXPECT_EQ(dynamic_cast<TEscapeCodesVT100*>(t.GetEscapeParser()) != nullptr, c.Vt100);
        EXPECT_EQ(dynamic_cast<TEscapeCodesVT52*>(t.GetEscapeParser()) != nullptr, c.Vt52);
    }
    // A handler of the control may supply the parser for teNone.
    t.OnGetEscapeCodes = [](TObject*, TEscapeCodes*& Codes) { Codes = new TEscapeCodesVT52; };
    t.SetEmulation(teNone);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT52*>(t.GetEscapeParser()), nullptr);
    t.GetScreenBuffer().SetChar(3, 2, TComTermChar{'q', 0, 0, false});
    EXPECT_EQ(t.GetScreenBuffer().GetChar(3, 2).Character, 'q');
}

TEST(TerminalControl, OverriddenNotificationsSeeEveryEvent) {
    struct TCase {
        const char* Name;
        std::function<void(TComTerminal&)> Act;
        std::vector<std::string> Calls;
    } cases[] = {
        {"character", [](TComTerminal& T) { T.PutChar('A'); }, {"char A"}},
        {"received block",
         [](TComTerminal& T) { T.RxBuf(&T, "ab", 2); },
         {"text ab", "char a", "char b", "char !"}},
        {"string received",
         [](TComTerminal& T) { T.StringReceived("z"); },
         {"text z", "char z", "char !"}},
        {"unhandled code",
         [](TComTerminal& T) { T.WriteStr("\x1bOB"); },
         {"unhandled " + std::to_string(ecAppCursorDown) + " OB"}},
        {"parser for teNone", [](TComTerminal& T) { T.SetEmulation(teNone); }, {"parser"}},
        {"parser again",
         [](TComTerminal& T) {
             T.SetEmulation(teNone);
             T.CreateEscapeCodes();
         },
         {"parser", "parser"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TRecordingTerminal t;
        std::vector<std::string> events;
        TObject* sender = nullptr;
        t.OnChar = [&](TObject* Sender, char Ch) {
            sender = Sender;
            events.push_back("char " + std::string(1, Ch));
        };
        c.Act(t);
        EXPECT_EQ(t.Calls, c.Calls);
        if (!events.empty()) {
            EXPECT_EQ(sender, static_cast<TComponent*>(&t));
        }
    }
}

TEST(TerminalControl, LoadingDefersParserUntilLoaded) {
    TComTerminal t;
    TEscapeCodes* before = t.GetEscapeParser();
    t.BeginLoading();
    t.SetEmulation(teVT52);
    t.SetColumns(100);
    EXPECT_EQ(t.GetEscapeParser(), before);
    t.Loaded();
    EXPECT_NE(dynamic_cast<TEscapeCodesVT52*>(t.GetEscapeParser()), nullptr);
    EXPECT_EQ(t.GetColumns(), 100);
    EXPECT_FALSE(t.GetComponentState().Contains(csLoading));
}

TEST(TerminalControl, RemovedPortIsDetached) {
    TComPort port;
    TComTerminal t;
    t.SetComPort(&port);
    ASSERT_EQ(t.GetComPort(), &port);
    t.Notification(&t, opRemove);
    EXPECT_EQ(t.GetComPort(), &port);
    t.Notification(&port, opRemove);
    EXPECT_EQ(t.GetComPort(), nullptr);
    EXPECT_FALSE(t.GetConnected());
}

TEST(TerminalControl, KeyErrorsAreReportedNotThrownIntoTheToolkit) {
    struct TCase {
        const char* Name;
        bool ThrowOnKeyDown;
        Qt::Key Key;
        const char* Message;
    } cases[] = {
        {"key-down handler", true, Qt::Key_Up, "down"},
        {"key-press handler", false, Qt::Key_X, "press"},
    };
    const TExceptionEvent previous = Application->OnException;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TComTerminal t;
        std::vector<std::string> reported;
        TObject* sender = nullptr;
        Application->OnException = [&](TObject* Sender, const std::exception_ptr& E) {
            sender = Sender;
            try {
                std::rethrow_exception(E);
            } catch (const std::exception& Error) {
                reported.push_back(Error.what());
            }
        };
        if (c.ThrowOnKeyDown)
            t.OnKeyDown = [&](TObject*, std::uint16_t&) { throw std::runtime_error(c.Message); };
        else
            t.OnKeyPress = [&](TObject*, char&) { throw std::runtime_error(c.Message); };
        QTest::keyClick(&t, c.Key);
        EXPECT_EQ(reported, std::vector<std::string>{c.Message});
        EXPECT_EQ(sender, static_cast<TComponent*>(&t));
    }
    Application->OnException = previous;
}

TEST(TerminalControl, PaintDrawsOnlyTheCellsOfTheClip) {
    struct TCase {
        const char* Name;
        int ClipColumns;
        bool First, Second;
    } cases[] = {{"first cell", 1, true, false}, {"both cells", 2, true, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TComTerminal t;
        // Reversed cells have the font colour (white) as background.
        t.WriteStr("\x1b[7mAB");
        const int w = t.GetCellWidth();
        const int h = t.GetCellHeight();
        QImage image(4 * w, 2 * h, QImage::Format_RGB32);
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            // A clip ending on a cell's edge takes the next cell too; one pixel less does not.
            t.Paint(painter, QRect(0, 0, c.ClipColumns * w - 1, h));
        }
        EXPECT_EQ(image.pixelColor(0, 0) == Qt::white, c.First);
        EXPECT_EQ(image.pixelColor(w, 0) == Qt::white, c.Second);
        EXPECT_EQ(image.pixelColor(2 * w, 0), QColor(Qt::black));
    }
}
