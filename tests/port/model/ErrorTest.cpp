#include <gtest/gtest.h>

#include <cerrno>

#include "port/CPort.h"

TEST(EComPortTest, CodeOnlyHasNoSuffixAndNoPlatformNumber) {
    EComPort E(CError_ConnChangeProp);
    EXPECT_EQ(E.GetCode(), 14);
    EXPECT_EQ(E.GetWinCode(), -1);
    EXPECT_EQ(E.Message(), "Cannot set property while connected");
    EXPECT_STREQ(E.what(), "Cannot set property while connected");
}

TEST(EComPortTest, PlatformNumberIsAppendedSigned) {
    EXPECT_EQ(EComPort(1, 2).Message(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(EComPort(7, 87).Message(), "SetCommState function failed (win error code: 87)");
    EComPort Neg(21, -5);
    EXPECT_EQ(Neg.GetWinCode(), -5);
    EXPECT_EQ(Neg.Message(), "WaitForEvent method failed (win error code: -5)");
}

TEST(EComPortTest, EveryCodeHasItsText) {
    const char* Expected[] = {"Unable to open com port",
                              "WriteFile function failed",
                              "ReadFile function failed",
                              "Invalid Async parameter",
                              "PurgeComm function failed",
                              "Unable to get async status",
                              "SetCommState function failed",
                              "SetCommTimeouts failed",
                              "SetupComm function failed",
                              "ClearCommError function failed",
                              "GetCommModemStatus function failed",
                              "EscapeCommFunction function failed",
                              "TransmitCommChar function failed",
                              "Cannot set property while connected",
                              "EnumPorts function failed",
                              "Failed to store settings",
                              "Failed to load settings",
                              "Link (un)registration failed",
                              "Cannot change led state if ComPort is selected",
                              "Cannot wait for event if event thread is created",
                              "WaitForEvent method failed",
                              "A component is linked to OnRxBuf event",
                              "Registry error"};
    for (int Code = 1; Code <= 23; ++Code) {
        EComPort E(Code);
        EXPECT_EQ(E.Message(), Expected[Code - 1]) << "code " << Code;
        EXPECT_EQ(E.GetCode(), Code);
    }
}

TEST(EComPortTest, OutOfRangeCodeDoesNotReadPastTable) {
    EXPECT_EQ(EComPort(0).Message(), "Unknown port error");
    EXPECT_EQ(EComPort(24).Message(), "Unknown port error");
}

TEST(EComPortTest, CaughtAsFrameworkException) {
    try {
        throw EComPort(3, 5);
    } catch (const Exception& E) {
        EXPECT_EQ(E.Message(), "ReadFile function failed (win error code: 5)");
    }
}

TEST(EComPortTest, PlatformNumberIsReadableBesideTheUnchangedText) {
    struct Case {
        EComPort E;
        std::int32_t Errno;
        const char* Text;
        const char* Message;
    };
    const Case Cases[] = {
        {EComPort(CError_OpenFailed, EBUSY), EBUSY, "Device or resource busy",
         "Unable to open com port (win error code: 16)"},
        {EComPort(CError_ConnChangeProp), 0, "", "Cannot set property while connected"},
        {EComPort::WithText("closing failed", ENXIO), ENXIO, "No such device or address",
         "closing failed"},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(C.E.GetErrno(), C.Errno) << C.Message;
        EXPECT_EQ(C.E.GetErrnoText(), C.Text) << C.Message;
        EXPECT_EQ(C.E.Message(), C.Message);
    }
}
