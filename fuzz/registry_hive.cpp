// The registry hive reader on arbitrary text: it either reads the hive or reports it damaged,
// and what it reads is written back in a form that reads to the same hive.
#include "fuzz/FuzzSupport.h"
#include "platform/registry/Hive.h"

#include <cstdint>
#include <string_view>

namespace {

// Every key found by path, its values by name, and the tree walk agreeing with the key list.
void Walk(THive& Hive, const std::string& Path, int Depth) {
    TRegKeyData* Key = Hive.FindKey(Path);
    FUZZ_CHECK(Key != nullptr);
    for (const TRegValue& Value : Key->Values)
        FUZZ_CHECK(THive::FindValue(*Key, Value.Name) != nullptr);
    if (Depth > 64)
        return;
    for (const std::string& Name : Hive.SubKeyNames(Path)) {
        FUZZ_CHECK(!Name.empty());
        Walk(Hive, Path.empty() ? Name : Path + "\\" + Name, Depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    THive Hive;
    try {
        Hive = THive::Parse(Text, "fuzz");
    } catch (const EHiveDamaged&) {
        return 0;
    }
    const std::string Written = Hive.Format();
    THive Again;
    try {
        Again = THive::Parse(Written, "fuzz");
    } catch (const EHiveDamaged& Error) {
        std::fprintf(stderr, "%s\n", Error.what());
        FUZZ_CHECK(!"a written hive reads again");
    }
    FUZZ_CHECK(Again.Format() == Written);

    Walk(Hive, "", 0);
    // Deleting the first key below the root removes it and everything under it.
    const std::vector<std::string> Top = Hive.SubKeyNames("");
    if (!Top.empty()) {
        FUZZ_CHECK(Hive.DeleteKey(Top.front()));
        FUZZ_CHECK(Hive.FindKey(Top.front()) == nullptr);
        FUZZ_CHECK(THive::Parse(Hive.Format(), "fuzz").Format() == Hive.Format());
    }
    return 0;
}
