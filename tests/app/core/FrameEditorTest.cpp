#include "StderrCapture.h"
#include "tests/common/TempDir.h"

#include "app/core/CommandDefinitions.h"
#include "app/core/Crc16.h"
#include "app/core/FrameEditor.h"
#include "app/core/HexText.h"
#include "app/core/ParameterParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<std::uint8_t>;

std::string Sevens(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "7 ";
    }
    return text;
}

class FrameEditorTest : public ::testing::Test {
protected:
    void SetUp() override { Editor.ComposeInitialFrame("ff"); }

    void Load(const std::string& content) {
        TStderrCapture quiet;
        ASSERT_EQ(Definitions.LoadCommandFile(Dir.Write("cmds.tsl", content)).Result, lrLoaded);
    }

    void LoadDefault() {
        Load("#define PING 00\n#define READ 10 // addr cnt\n#cmdcomment Reads\n");
    }

    TBytes Frame() const {
        const auto& frame = Editor.GetTxFrame();
        return TBytes(frame.begin(), frame.begin() + frame[1]);
    }

    TBytes Parameters() const {
        const TBytes frame = Frame();
        return TBytes(frame.begin() + 3, frame.end() - 2);
    }

    TTempDir Dir;
    TCommandDefinitions Definitions{Dir.Dir().string()};
    TFrameEditor Editor{Definitions};
};

} // namespace

TEST_F(FrameEditorTest, StartUpFrameCarriesCrc3096) {
    EXPECT_EQ(Frame(), (TBytes{0xFF, 0x05, 0x00, 0x30, 0x96}));
    EXPECT_EQ(Editor.GetLengthText(), "05");
    EXPECT_EQ(Editor.GetCrcHText(), "30");
    EXPECT_EQ(Editor.GetCrcLText(), "96");
}

TEST_F(FrameEditorTest, FrameCrcUpdateLeavesAnUncomposedFrameAlone) {
    TFrameEditor fresh(Definitions);
    fresh.FrameCrcUpdate();
    fresh.TAddrChanged("12");
    for (std::size_t i = 1; i < fresh.GetTxFrame().size(); ++i) {
        ASSERT_EQ(fresh.GetTxFrame()[i], 0) << i;
    }
    EXPECT_EQ(fresh.GetCrcHText(), "");
}

TEST_F(FrameEditorTest, AddressCommandAndParametersComposeTheWorkedFrame) {
    LoadDefault();
    Editor.TAddrChanged("01");
    const TEditorOutcome chosen = Editor.CommandChanged(1);
    EXPECT_EQ(chosen.CommandDescription, "Reads");
    EXPECT_EQ(chosen.ParamDescription, " addr cnt");
    EXPECT_FALSE(chosen.StatusText.has_value());
    const TEditorOutcome typed = Editor.ParametersChanged("00 05");
    EXPECT_EQ(typed.StatusText, " ");
    EXPECT_EQ(typed.SendEnabled, true);
    EXPECT_EQ(Frame(), (TBytes{0x01, 0x07, 0x10, 0x00, 0x05, 0xE8, 0xBA}));
    EXPECT_EQ(Editor.GetLengthText(), "07");
    EXPECT_EQ(Editor.GetCrcHText(), "E8");
    EXPECT_EQ(Editor.GetCrcLText(), "BA");

    // Another command changes only the code byte and the CRC.
    const TEditorOutcome ping = Editor.CommandChanged(0);
    EXPECT_EQ(ping.CommandDescription, "");
    EXPECT_EQ(Frame()[2], 0x00);
    EXPECT_EQ(Parameters(), (TBytes{0x00, 0x05}));
}

TEST_F(FrameEditorTest, CommandIndexOutsideTheListChangesNothing) {
    LoadDefault();
    const TBytes before = Frame();
    for (int index : {2, -1, 255}) {
        const TEditorOutcome outcome = Editor.CommandChanged(index);
        EXPECT_FALSE(outcome.CommandDescription.has_value()) << index;
        EXPECT_EQ(Frame(), before) << index;
    }
    // The index is taken as one byte.
    Editor.CommandChanged(256 + 1);
    EXPECT_EQ(Frame()[2], 0x10);
}

TEST_F(FrameEditorTest, WithoutConfigTheHandlersOnlyReport) {
    const TBytes before = Frame();
    EXPECT_EQ(Editor.CommandChanged(0).StatusText, kNoConfigText);
    const TEditorOutcome typed = Editor.ParametersChanged("01 02");
    EXPECT_EQ(typed.StatusText, kNoConfigText);
    EXPECT_EQ(typed.SendEnabled, true);
    EXPECT_EQ(Frame(), before);
}

TEST_F(FrameEditorTest, ParametersFieldTokens) {
    LoadDefault();
    struct Case {
        std::string Text;
        TBytes Bytes;
    };
    const Case cases[] = {
        {"", {}},
        {"1 2 3", {0x01, 0x02, 0x03}},
        {"1,2", {0x01, 0x02}},
        {"0x10 0X0a,0xff", {0x10, 0x0A, 0xFF}},
        {"a0 A0 fF", {0xA0, 0xA0, 0xFF}},
        {"01 a0 $ABC 0d", {0x01, 0xA0, 0x41, 0x42, 0x43, 0x0D}},
        {"$ ", {}},
        {"$", {}},
        {"\t7;8\r\n9", {0x07, 0x08, 0x09}},
        {"$a,b$", {'a', ',', 'b', '$'}},
        {"$\xE9\xFF 1", {0xE9, 0xFF, 0x01}},
        {"1\xE9"
         "2",
         {0x01, 0x02}},
        {"$" + std::string(63, 'Q'), TBytes(63, 'Q')},
        {Sevens(250), TBytes(250, 7)},
    };
    for (const Case& c : cases) {
        const TEditorOutcome outcome = Editor.ParametersChanged(c.Text);
        EXPECT_EQ(outcome.StatusText, " ") << c.Text;
        EXPECT_EQ(Parameters(), c.Bytes) << c.Text;
        EXPECT_EQ(Editor.GetLength(), 5 + c.Bytes.size()) << c.Text;
    }
    Editor.ParametersChanged("01 a0 $ABC 0d");
    EXPECT_EQ(Editor.GetLengthText(), "0B");
}

TEST_F(FrameEditorTest, ParseErrorsKeepLengthAndCrcAndDisableSending) {
    LoadDefault();
    Editor.TAddrChanged("01");
    Editor.CommandChanged(1);
    struct Case {
        std::string Text;
        std::string Status;
    };
    const Case cases[] = {
        {"zz", "Error: Parameters: 'zz' is not a hex byte"},
        {"10 1z 20", "Error: Parameters: '1z' is not a hex byte"},
        {"g", "Error: Parameters: 'g' is not a hex byte"},
        {"0x", "Error: Parameters: '0x' is not a hex byte"},
        {std::string(40, 'q'),
         "Error: Parameters: '" + std::string(24, 'q') + "...' is not a hex byte"},
        {"0x1FF", kTooLongHexText},
        {"33 0102", kTooLongHexText},
        {"$" + std::string(64, 'Q'), kTooLongAsciiText},
        {Sevens(250) + "8", kFrameTooLongText},
        {Sevens(248) + "$ABC", kFrameTooLongText},
        {std::string(20000, ' ') + Sevens(600), kFrameTooLongText},
    };
    for (const Case& c : cases) {
        Editor.ParametersChanged("00 05");
        const TEditorOutcome outcome = Editor.ParametersChanged(c.Text);
        EXPECT_EQ(outcome.StatusText, c.Status) << c.Text;
        EXPECT_EQ(outcome.SendEnabled, false) << c.Text;
        EXPECT_EQ(Editor.GetLength(), 7) << c.Text;
        EXPECT_EQ(Editor.GetCrcHText() + Editor.GetCrcLText(), "E8BA") << c.Text;
    }
    // Bytes parsed before the error do not reach the frame, which stays the last good one, and
    // the error is kept for the send routine until a parse succeeds.
    Editor.ParametersChanged("00 05");
    EXPECT_EQ(Editor.GetParseError(), "");
    Editor.ParametersChanged("33 0102");
    EXPECT_EQ(Frame(), (TBytes{0x01, 0x07, 0x10, 0x00, 0x05, 0xE8, 0xBA}));
    EXPECT_EQ(Editor.GetParseError(), kTooLongHexText);
    const TEditorOutcome next = Editor.ParametersChanged("33");
    EXPECT_EQ(next.StatusText, " ");
    EXPECT_EQ(next.SendEnabled, true);
    EXPECT_EQ(Editor.GetParseError(), "");
}

// A TAddr or hand-typed CRC that is not one hex byte keeps the frame's byte, marks the field and
// stops sending until it reads again.
TEST_F(FrameEditorTest, AddressAndCrcFieldsAreReadStrictly) {
    LoadDefault();
    Editor.AutoCrcClicked(false);
    struct Case {
        TEditorField Field;
        std::string Text;
        std::string Error; // "" when it reads
    };
    const Case cases[] = {
        {efTAddr, "zz", "Error: TAddr: 'zz' is not a hex byte"},
        {efTAddr, "", "Error: TAddr: '' is not a hex byte"},
        {efTAddr, "1g", "Error: TAddr: '1g' is not a hex byte"},
        {efTAddr, "a", ""},
        {efCrcH, "x", "Error: CRC: 'x' is not a hex byte"},
        {efCrcL, " 7 ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        const TBytes before = Frame();
        const TEditorOutcome outcome = c.Field == efTAddr  ? Editor.TAddrChanged(c.Text)
                                       : c.Field == efCrcH ? Editor.CrcHTextChanged(c.Text)
                                                           : Editor.CrcLTextChanged(c.Text);
        EXPECT_EQ(Editor.GetFieldError(c.Field), c.Error);
        if (!c.Error.empty()) {
            EXPECT_EQ(Frame(), before);
            EXPECT_EQ(outcome.FieldBad[c.Field], true);
            EXPECT_EQ(outcome.StatusText, c.Error);
            EXPECT_EQ(outcome.SendEnabled, false);
            // Fixed, the field is good again and sending comes back.
            const TEditorOutcome fixed = c.Field == efTAddr  ? Editor.TAddrChanged("01")
                                         : c.Field == efCrcH ? Editor.CrcHTextChanged("12")
                                                             : Editor.CrcLTextChanged("34");
            EXPECT_EQ(fixed.FieldBad[c.Field], false);
            EXPECT_EQ(fixed.SendEnabled, true);
        }
    }
    EXPECT_EQ(Frame(), (TBytes{0x0A, 0x05, 0x00, 0x12, 0x07}));
    Editor.CrcHTextChanged("zz");
    EXPECT_EQ(Editor.AutoCrcClicked(true).FieldBad[efCrcH], false);
    EXPECT_EQ(Editor.GetParseError(), "");
}

TEST_F(FrameEditorTest, ManualCrcTakesTheEditsUntilAutoComesBack) {
    LoadDefault();
    Editor.AutoCrcClicked(false);
    EXPECT_FALSE(Editor.GetAutoCrc());
    EXPECT_EQ(Frame(), (TBytes{0xFF, 0x05, 0x00, 0x30, 0x96}));
    Editor.CrcHTextChanged("12");
    Editor.CrcLTextChanged("ab");
    EXPECT_EQ(Frame(), (TBytes{0xFF, 0x05, 0x00, 0x12, 0xAB}));
    Editor.ParametersChanged("01 02");
    Editor.TAddrChanged("3");
    EXPECT_EQ(Frame(), (TBytes{0x03, 0x07, 0x00, 0x01, 0x02, 0x12, 0xAB}));
    EXPECT_EQ(Editor.GetCrcLText(), "ab");

    Editor.AutoCrcClicked(true);
    const TBytes frame = Frame();
    const std::uint16_t crc = Crc16(frame.data(), static_cast<std::uint8_t>(frame.size() - 2));
    EXPECT_EQ(frame[5], crc >> 8);
    EXPECT_EQ(frame[6], crc & 0xFF);
    EXPECT_EQ(Editor.GetCrcHText(), hex2(frame[5]));
}
