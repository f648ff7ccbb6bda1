#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "SerialTestSupport.h"

using namespace std::chrono;

class PtyDriver : public ::testing::Test {
protected:
    void SetUp() override {
        h = SerialOpen(pty.SlavePath);
        ASSERT_NE(h, InvalidSerialHandle) << LastPlatformError();
        ASSERT_TRUE(SetDeviceState(h, PlainDcb()));
    }
    void TearDown() override {
        if (h != InvalidSerialHandle) {
            EXPECT_TRUE(SerialClose(h));
        }
    }
    TPtyPair pty;
    TSerialHandle h = InvalidSerialHandle;
};

TEST_F(PtyDriver, SynchronousRoundTrip) {
    ASSERT_TRUE(SetDeviceTimeouts(h, Timeouts(0, 0, 2000)));
    std::uint32_t n = 0;
    ASSERT_TRUE(SerialWrite(h, "hello", 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(pty.Receive(5), "hello");
    pty.Send("world", 5);
    char buf[8] = {};
    ASSERT_TRUE(SerialRead(h, buf, 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(std::string(buf, 5), "world");
}
