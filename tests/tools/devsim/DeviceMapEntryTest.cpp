#include <gtest/gtest.h>

#include <unistd.h>

#include "SimTestSupport.h"
#include "platform/registry/Registry.h"
#include "tests/common/TempDir.h"
#include "tools/devsim/DeviceMapEntry.h"

namespace {

TEST(DeviceMapEntry, PruneDropsOnlyWhatDeadSimulatorsLeft) {
    TTempRegistry registry;
    struct TValue {
        std::string Name;
        std::string Device;
        bool Kept;
    } const values[] = {
        {"\\Device\\Serial0", "/dev/pts/99999", true}, // not a simulator's: never touched
        {TDeviceMapEntry::ValueNameFor(::getpid()), "/dev/null", true},
        {TDeviceMapEntry::ValueNameFor(::getppid()), "/dev/pts/99999", false}, // device gone
        {TDeviceMapEntry::ValueNameFor(0x3FFFFFFF), "/dev/null", false},       // process ended
        {"\\Device\\DevSimX", "/dev/null", false},                             // no process
    };
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(kDeviceMapKey, true));
    for (const auto& v : values) {
        reg.WriteString(v.Name, v.Device);
    }
    int dropped = 0;
    for (const auto& v : values) {
        dropped += v.Kept ? 0 : 1;
    }
    EXPECT_EQ(TDeviceMapEntry::PruneStale(), dropped);
    for (const auto& v : values) {
        SCOPED_TRACE(v.Name);
        EXPECT_EQ(reg.ValueExists(v.Name), v.Kept);
    }
    EXPECT_EQ(TDeviceMapEntry::PruneStale(), 0);
}

} // namespace
