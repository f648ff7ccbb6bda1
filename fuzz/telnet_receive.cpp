// The receive side of a network port's telnet com port control: the server's bytes fed in
// chunks whose sizes the first bytes choose (so commands split anywhere), in place, and once
// more whole into a separate buffer. Both feeds must agree on the data, the replies and the
// state; data never outgrows its input, and replies never outgrow the commands they answer.
#include "fuzz/FuzzSupport.h"
#include "platform/serial/ComPortControl.h"

#include <cstring>
#include <vector>

namespace {

bool SameCounters(const TLineCounters& A, const TLineCounters& B) {
    return A.Cts == B.Cts && A.Dsr == B.Dsr && A.Rlsd == B.Rlsd && A.Ring == B.Ring &&
           A.Frame == B.Frame && A.Parity == B.Parity && A.Overrun == B.Overrun &&
           A.Break == B.Break;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 2)
        return 0;
    const std::uint8_t Pattern[2] = {Data[0], Data[1]};
    Data += 2;
    Size -= 2;

    TComPortControl Split, Whole;
    std::string SplitOut, WholeOut, Reply;
    Split.Start(SplitOut);
    Whole.Start(WholeOut);
    std::vector<std::uint8_t> Buffer(Data, Data + Size);
    std::string SplitData;
    for (std::size_t At = 0, Round = 0; At < Size; ++Round) {
        const std::size_t Chunk = std::min<std::size_t>(Size - At, 1 + Pattern[Round % 2] % 37);
        Reply.clear();
        const std::size_t N = Split.Receive(Buffer.data() + At, Chunk, Buffer.data() + At, Reply);
        FUZZ_CHECK(N <= Chunk);
        FUZZ_CHECK(Reply.size() <= Chunk + 2); // three bytes answer a three-byte command
        SplitData.append(reinterpret_cast<const char*>(Buffer.data() + At), N);
        SplitOut += Reply;
        At += Chunk;
    }
    std::vector<std::uint8_t> Out(Size + 1);
    const std::size_t N = Whole.Receive(Data, Size, Out.data(), WholeOut);
    FUZZ_CHECK(N == SplitData.size());
    FUZZ_CHECK(std::memcmp(Out.data(), SplitData.data(), N) == 0);
    FUZZ_CHECK(WholeOut == SplitOut);
    FUZZ_CHECK(Split.ModemStatus() == Whole.ModemStatus());
    FUZZ_CHECK((Split.ModemStatus() & ~0xF0u) == 0);
    FUZZ_CHECK(SameCounters(Split.Counters(), Whole.Counters()));
    FUZZ_CHECK(Split.Counts() == Whole.Counts());
    FUZZ_CHECK(Split.Suspended() == Whole.Suspended());
    FUZZ_CHECK(Split.Accepted() == Whole.Accepted() && Split.Refused() == Whole.Refused());
    return 0;
}
