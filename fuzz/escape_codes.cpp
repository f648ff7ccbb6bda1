// The VT52 and VT100 parsers on arbitrary bytes (the first byte picks the family: even VT100,
// odd VT52). Every code found can be written by the same family, and what it writes parses
// back to the same code; a VT100 sequence never grows past its limit.
#include "fuzz/FuzzSupport.h"
#include "terminal/CPortEsc.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace {

std::unique_ptr<TEscapeCodes> MakeParser(bool Vt52) {
    if (Vt52)
        return std::make_unique<TEscapeCodesVT52>();
    return std::make_unique<TEscapeCodesVT100>();
}

void CheckRoundTrip(bool Vt52, TEscapeCode Code, const TStrings& Params) {
    const std::unique_ptr<TEscapeCodes> Writer = MakeParser(Vt52);
    const std::string Text = Writer->EscCodeToStr(Code, &Params);
    if (Text.empty())
        return;
    const std::unique_ptr<TEscapeCodes> Reader = MakeParser(Vt52);
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
    const bool Vt52 = (Data[0] & 1) != 0;
    const std::unique_ptr<TEscapeCodes> Parser = MakeParser(Vt52);
    for (std::size_t I = 1; I < Size; ++I) {
        const TEscapeResult Result = Parser->ProcessChar(static_cast<char>(Data[I]));
        if (!Vt52)
            FUZZ_CHECK(Parser->GetSequenceText().size() <= TEscapeCodesVT100::MaxSequenceLength);
        if (Result != erCode)
            continue;
        const TEscapeCode Code = Parser->GetFoundCode();
        FUZZ_CHECK(Code != ecNotCompleted);
        TStringList& Params = Parser->GetCodeParams();
        for (int Index = 0; Index <= Params.GetCount() + 1; ++Index)
            TEscapeCodes::GetParam(Index, &Params);
        if (Code != ecUnknown)
            CheckRoundTrip(Vt52, Code, Params);
        Params.Clear();
    }
    return 0;
}
