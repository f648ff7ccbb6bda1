// What goes in and out of the terminal besides escape codes: received blocks, keys and typed
// characters, saving and loading the screen, the choice of parser, and the port link.
#include <gtest/gtest.h>

#include <stdexcept>

#include "TermTestKit.h"
#include "framework/Stream.h"

namespace {

using IoTest = TEngineTest;

TEST_F(IoTest, ReceivedBlocksPassAppendLfAndForce7BitBeforeTheHandler) {
    struct TCase {
        bool AppendLF, Force7Bit;
        std::string Received, Handed;
    };
    const std::vector<TCase> Cases = {
        {false, false, "a\r\nb\xc1", "a\r\nb\xc1"},
        {true, false, "a\r\nb\r", "a\r\n\nb\r\n"},
        {false, true, "\xc1\x8d\x1b\x7f", "A\r\x1b\x7f"},
        {true, true, "\x8d", "\r"}, // a carriage return only after the 7-bit step
    };
    for (const auto& C : Cases) {
        Engine.SetAppendLF(C.AppendLF);
        Engine.SetForce7Bit(C.Force7Bit);
        std::string Handed;
        Engine.OnStrRecieved = [&](TObject*, std::string& Str) { Handed = Str; };
        Engine.RxBuf(nullptr, C.Received.data(), static_cast<std::int32_t>(C.Received.size()));
        EXPECT_EQ(Handed, C.Handed) << C.Received;
    }
    // The handler's text is what reaches the screen.
    Engine.SetAppendLF(false);
    Engine.ClearScreen();
    Engine.OnStrRecieved = [](TObject*, std::string& Str) { Str = "new"; };
    Engine.RxBuf(nullptr, "old", 3);
    EXPECT_EQ(RowText(1), "new");
    Engine.RxBuf(nullptr, nullptr, 5);
    EXPECT_EQ(Caret(), "4,1");
}

TEST_F(IoTest, AppendLfTurnsCrLfIntoCrLfLf) {
    Engine.SetAppendLF(true);
    Engine.RxBuf(nullptr, "A\r\nB", 4);
    EXPECT_EQ(RowText(1), "A");
    EXPECT_EQ(RowText(2), "");
    EXPECT_EQ(RowText(3), "B");
}

TEST_F(IoTest, KeysAreSentOrCarriedOutLocally) {
    struct TCase {
        bool AppCursorKeys;
        TArrowKeys ArrowKeys;
        std::uint16_t Key;
        std::string Sent;
        std::string Caret; // from 5,3
    };
    const std::vector<TCase> Cases = {
        {false, akTerminal, vkUp, "^[A", "5,3"},   {false, akTerminal, vkDown, "^[B", "5,3"},
        {false, akTerminal, vkLeft, "^[D", "5,3"}, {false, akTerminal, vkRight, "^[C", "5,3"},
        {false, akTerminal, vkHome, "^[H", "5,3"}, {false, akTerminal, 0x41, "", "5,3"},
        {false, akWindows, vkUp, "", "5,2"},       {false, akWindows, vkLeft, "", "4,3"},
        {false, akWindows, vkHome, "", "1,1"},     {true, akTerminal, vkUp, "^OA", "5,3"},
        {true, akWindows, vkDown, "^OB", "5,3"},   {true, akWindows, vkLeft, "^OD", "5,3"},
        {true, akTerminal, vkRight, "^OC", "5,3"}, {true, akWindows, vkHome, "", "5,3"},
    };
    for (const auto& C : Cases) {
        Feed(Esc(C.AppCursorKeys ? "^[?1h" : "^[?1l"));
        Engine.SetArrowKeys(C.ArrowKeys);
        Engine.MoveCaret(5, 3);
        Output.Sent.clear();
        Engine.KeyDown(C.Key);
        EXPECT_EQ(Output.Sent, Esc(C.Sent)) << C.AppCursorKeys << C.ArrowKeys << " " << C.Key;
        EXPECT_EQ(Caret(), C.Caret) << C.AppCursorKeys << C.ArrowKeys << " " << C.Key;
    }
}

TEST_F(IoTest, TypedCharactersWithSendLfAndLocalEcho) {
    struct TCase {
        bool Connected, SendLF, LocalEcho;
        std::string Typed, Sent, Row1, Row2;
        std::string Caret;
    };
    const std::vector<TCase> Cases = {
        {true, false, false, "ab\r", "ab\r", "", "", "1,1"},
        {true, true, false, "ab\r", "ab\r\n", "", "", "1,1"},
        {true, true, true, "ab\rc", "ab\r\nc", "ab", "c", "2,2"},
        {true, false, true, std::string("\0x", 2), std::string("\0x", 2), "x", "", "2,1"},
        {false, true, true, "ab\r", "", "", "", "1,1"},
    };
    for (const auto& C : Cases) {
        Engine.ClearScreen();
        Output.Sent.clear();
        Output.Connected = C.Connected;
        Engine.SetSendLF(C.SendLF);
        Engine.SetLocalEcho(C.LocalEcho);
        for (const char Ch : C.Typed)
            Engine.KeyPress(Ch);
        EXPECT_EQ(Output.Sent, C.Sent) << C.Typed;
        EXPECT_EQ(RowText(1), C.Row1) << C.Typed;
        EXPECT_EQ(RowText(2), C.Row2) << C.Typed;
        EXPECT_EQ(Caret(), C.Caret) << C.Typed;
    }
    // A sent code with the local echo is carried out here too.
    Output.Connected = true;
    Output.Sent.clear();
    Engine.SetLocalEcho(true);
    Engine.MoveCaret(5, 3);
    TStringList Params{"2", "7"};
    Engine.SendCode(ecCursorMove, &Params);
    EXPECT_EQ(Output.Sent, Esc("^[2;7f"));
    EXPECT_EQ(Caret(), "7,2");
    Engine.SendCodeNoEcho(ecCursorHome, nullptr);
    EXPECT_EQ(Caret(), "7,2");
    EXPECT_EQ(Output.Sent, Esc("^[2;7f^[H"));
}

// The port's write fails: the error reaches the caller, and the caret and the parser are left
// in order for what follows.
TEST_F(IoTest, AFailingAnswerLeavesCaretAndParserInOrder) {
    class TFailingOutput : public TTermOutput {
    public:
        bool CanSend() const override { return true; }
        void Send(const std::string&) override { throw std::runtime_error("write failed"); }
    } Failing;
    Engine.SetOutput(&Failing);
    EXPECT_THROW(Feed(Esc("^[6n")), std::runtime_error);
    EXPECT_EQ(View.Hidden, 0);
    EXPECT_EQ(Engine.GetEscapeParser()->GetCodeParams().GetCount(), 0);
    Engine.SetOutput(&Output);
    Feed(Esc("^[2;3H^[6n"));
    EXPECT_EQ(Output.Sent, Esc("^[2;3R"));
}

TEST_F(IoTest, SaveToStreamWritesRowsUpToTheLastNonEmptyOne) {
    std::string LastCellOnly;
    for (int Row = 1; Row < 24; ++Row)
        LastCellOnly += "\r\n";
    LastCellOnly += std::string(79, ' ') + "z";
    struct TCase {
        std::string Screen; // '^' is ESC
        std::string Saved;
    };
    const std::vector<TCase> Cases = {
        {"", ""},
        {"row1\r\n\r\nrow3", "row1\r\n\r\nrow3"},
        {"a^[1;4Hb^[3;2Hc", "a  b\r\n\r\n c"},
        {"^[24;80Hz", LastCellOnly},
    };
    for (const auto& C : Cases) {
        Engine.ClearScreen();
        Feed(Esc(C.Screen));
        TMemoryStream Stream;
        Engine.SaveToStream(Stream);
        std::string Saved(Stream.Bytes().begin(), Stream.Bytes().end());
        EXPECT_EQ(Saved, C.Saved) << C.Screen;
    }
}

TEST_F(IoTest, LoadFromStreamAppliesBytesWithoutEscapeCodes) {
    TMemoryStream Stream;
    const std::string Bytes = Esc("ab\r\n^[2Jc");
    Stream.WriteBuffer(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
    Stream.SetPosition(0);
    std::string Chars;
    Engine.OnChar = [&](TObject*, char Ch) { Chars += Ch; };
    Engine.LoadFromStream(Stream);
    EXPECT_EQ(RowText(1), "ab");
    EXPECT_EQ(RowText(2), "[2Jc");
    EXPECT_EQ(Chars, Bytes);
    EXPECT_EQ(View.Hidden, 0);
    // Read from the middle: only what is left, and no byte twice.
    Engine.ClearScreen();
    Stream.SetPosition(4);
    Engine.LoadFromStream(Stream);
    EXPECT_EQ(RowText(1), "[2Jc");
}

TEST_F(IoTest, EmulationChoosesTheParser) {
    Engine.SetEmulation(teNone);
    EXPECT_EQ(Engine.GetEscapeParser(), nullptr);
    Feed(Esc("^[A"));
    EXPECT_EQ(RowText(1), "[A") << "without a parser ESC is a control character";
    Engine.SetEmulation(teVT52);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT52*>(Engine.GetEscapeParser()), nullptr);
    // For no emulation a handler may supply a parser, which the terminal then owns.
    int Asked = 0;
    Engine.OnGetEscapeCodes = [&](TObject* Sender, TEscapeCodes*& Codes) {
        EXPECT_EQ(Sender, &Engine);
        EXPECT_EQ(Codes, nullptr) << "the parser is set to none before the handler runs";
        ++Asked;
        Codes = new TEscapeCodesVT100;
    };
    Engine.SetEmulation(teNone);
    EXPECT_EQ(Asked, 1);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT100*>(Engine.GetEscapeParser()), nullptr);
    Feed(Esc("^[B"));
    EXPECT_EQ(Caret(), "3,2") << "the supplied parser reads the codes";
    // While loading the parser stays until Loaded.
    Engine.BeginLoading();
    Engine.SetEmulation(teVT52);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT100*>(Engine.GetEscapeParser()), nullptr);
    Engine.Loaded();
    EXPECT_NE(dynamic_cast<TEscapeCodesVT52*>(Engine.GetEscapeParser()), nullptr);
}

// A handler that switches the emulation in the middle of a block: the rest of the block goes
// through the new parser and nothing refers to the old one.
TEST_F(IoTest, HandlersMayReplaceTheParserWhileABlockIsWritten) {
    Engine.OnUnhandledCode = [&](TObject*, TEscapeCode, const std::string& Data) {
        if (Data == "OB")
            Engine.SetEmulation(teVT52);
    };
    Engine.OnChar = [&](TObject*, char Ch) {
        if (Ch == '!')
            Engine.SetEmulation(teVT100orANSI);
    };
    Feed(Esc("^OB^B!^[B"));
    EXPECT_EQ(Caret(), "2,3");
}

} // namespace
