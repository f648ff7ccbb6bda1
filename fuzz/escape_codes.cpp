// The VT52, VT100 and VT102 parsers on arbitrary bytes (the first byte picks the family by its
// remainder of 3). Every code found can be written by the same family, and what it writes parses
// back to the same code; a sequence's text never grows past its limit, and VT102 parameters stay
// within their count and range.
#include "fuzz/FuzzSupport.h"
#include "terminal/CPortEsc.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace {

enum TFamily { fVT100, fVT52, fVT102 };

std::unique_ptr<TEscapeCodes> MakeParser(TFamily Family) {
    switch (Family) {
    case fVT52:
        return std::make_unique<TEscapeCodesVT52>();
    case fVT102:
        return std::make_unique<TEscapeCodesVT102>();
    default:
        return std::make_unique<TEscapeCodesVT100>();
    }
}

void CheckVt102Params(const TControlParams& P) {
    FUZZ_CHECK(P.Count >= 0 && P.Count <= TControlParams::MaxCount);
    for (int I = 0; I < P.Count; ++I)
        FUZZ_CHECK(P.Values[I] == TControlParams::Missing ||
                   (P.Values[I] >= 0 && P.Values[I] <= TControlParams::MaxValue));
}

void CheckRoundTrip(TFamily Family, TEscapeCode Code, const TStrings& Params) {
    const std::unique_ptr<TEscapeCodes> Writer = MakeParser(Family);
    const std::string Text = Writer->EscCodeToStr(Code, &Params);
    if (Text.empty())
        return;
    const std::unique_ptr<TEscapeCodes> Reader = MakeParser(Family);
    TEscapeResult Result = erNothing;
    for (const char Ch : Text) {
        FUZZ_CHECK(Result == erNothing);
        Result = Reader->ProcessChar(Ch);
    }
    FUZZ_CHECK(Result == erCode);
    FUZZ_CHECK(Reader->GetFoundCode() == Code);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    const auto Family = static_cast<TFamily>(Data[0] % 3);
    const std::unique_ptr<TEscapeCodes> Parser = MakeParser(Family);
    for (std::size_t I = 1; I < Size; ++I) {
        const TEscapeResult Result = Parser->ProcessChar(static_cast<char>(Data[I]));
        if (Family != fVT52)
            FUZZ_CHECK(Parser->GetSequenceText().size() <= TEscapeCodesVT100::MaxSequenceLength);
        if (Family == fVT102) {
            CheckVt102Params(static_cast<TEscapeCodesVT102&>(*Parser).GetParams());
            // Outside a sequence every byte but ESC is a character of its own.
            if (!Parser->GetCollectingSequence() && Result == erNothing)
                FUZZ_CHECK(Data[I] == 27 || Data[I] == 0x7f || Data[I] == '\\' || Data[I] == 7 ||
                           Data[I] == 0x18 || Data[I] == 0x1a);
        }
        if (Result != erCode)
            continue;
        const TEscapeCode Code = Parser->GetFoundCode();
        FUZZ_CHECK(Code != ecNotCompleted);
        TStringList& Params = Parser->GetCodeParams();
        for (int Index = 0; Index <= Params.GetCount() + 1; ++Index)
            TEscapeCodes::GetParam(Index, &Params);
        if (Code != ecUnknown)
            CheckRoundTrip(Family, Code, Params);
        Params.Clear();
    }
    return 0;
}
