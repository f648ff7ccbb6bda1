#include "PortTestKit.h"

#include <pty.h>

// The same port over the tty backend: a pty pair, the port on the slave's path.
TEST(PortOnPtyTest, ReceivesAndSendsThroughTheSlave) {
    int Master = -1, Slave = -1;
    char Name[256];
    ASSERT_EQ(openpty(&Master, &Slave, Name, nullptr, nullptr), 0);
    TEventLog Log;
    std::string Received;
    {
        TComPort P;
        P.SetPort(Name);
        P.SetSyncMethod(smNone);
        P.SetTriggersOnRxChar(false);
        P.OnRxBuf = [&](TObject*, const void* B, std::int32_t N) {
            Log.Add(std::string(static_cast<const char*>(B), static_cast<std::size_t>(N)));
        };
        P.Open();
        ASSERT_EQ(write(Master, "ping", 4), 4);
        EXPECT_TRUE(WaitServing([&] {
            Received.clear();
            for (const auto& E : Log.Entries())
                Received += E;
            return Received.size() >= 4;
        }));
        EXPECT_EQ(Received, "ping");
        EXPECT_EQ(P.WriteStr("pong"), 4);
        char B[4];
        std::size_t Got = 0;
        while (Got < 4) {
            const ssize_t R = read(Master, B + Got, 4 - Got);
            ASSERT_GT(R, 0);
            Got += static_cast<std::size_t>(R);
        }
        EXPECT_EQ(std::string(B, 4), "pong");
        EXPECT_TRUE(P.Signals().Empty()) << "a pty has no modem lines";
        P.Close();
    }
    close(Slave);
    close(Master);
}
