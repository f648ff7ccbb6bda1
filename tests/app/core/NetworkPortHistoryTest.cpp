#include <gtest/gtest.h>

#include "app/core/NetworkPortHistory.h"
#include "platform/registry/Registry.h"
#include "tests/common/TempDir.h"

// Newest first, each once, network port names only, at most MaxPorts; kept across instances.
TEST(NetworkPortHistoryTest, RemembersNetworkPortsNewestFirst) {
    TTempRegistry Temp;
    const std::string Key = "\\Software\\Tessal\\NetworkPorts";
    {
        TNetworkPortHistory H(Key);
        const struct {
            std::string Name;
            bool Changes;
        } Steps[] = {{"rfc2217://a:1", true},  {"socket://b:2", true},  {"ttyUSB0", false},
                     {"rfc2217://bad", false}, {"socket://b:2", false}, {"rfc2217://a:1", true}};
        for (const auto& S : Steps)
            EXPECT_EQ(H.Remember(S.Name), S.Changes) << S.Name;
        EXPECT_EQ(H.Names(), (std::vector<std::string>{"rfc2217://a:1", "socket://b:2"}));
        for (int I = 0; I < 12; ++I)
            H.Remember("socket://h" + std::to_string(I) + ":1");
        ASSERT_EQ(H.Names().size(), TNetworkPortHistory::MaxPorts);
        EXPECT_EQ(H.Names().front(), "socket://h11:1");
        EXPECT_TRUE(H.Store());
    }
    // A value written by hand that names no network port is left out.
    TRegistry R(HKEY_CURRENT_USER);
    ASSERT_TRUE(R.OpenKey(Key, false));
    R.WriteString("Port3", "/dev/ttyS0");
    const TNetworkPortHistory Back(Key);
    ASSERT_EQ(Back.Names().size(), TNetworkPortHistory::MaxPorts - 1);
    EXPECT_EQ(Back.Names()[0], "socket://h11:1");
    EXPECT_EQ(Back.Names()[2], "socket://h8:1");
}
