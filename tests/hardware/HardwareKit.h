// The hardware tier: tests on a real serial line, named by the environment.
//   TESSAL_HW_LOOPBACK=/dev/ttyUSB0            one adapter with a loopback plug: TX-RX, RTS-CTS,
//                                               DTR-DSR and DCD
//   TESSAL_HW_PAIR=/dev/ttyUSB0,/dev/ttyUSB1   two adapters cross-wired (null-modem): TX-RX both
//                                               ways, RTS-CTS both ways, DTR-DSR and DCD both ways
// With both set the pair is used. Without either, every test skips and says what to set. On a
// pseudo-terminal pair (socat) the parts a pty cannot carry skip and say so.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline constexpr const char* kWhatToSet =
    "needs a serial line: set TESSAL_HW_LOOPBACK=/dev/ttyUSB0 (an adapter with a loopback plug: "
    "TX-RX, RTS-CTS, DTR-DSR+DCD) or TESSAL_HW_PAIR=/dev/ttyUSB0,/dev/ttyUSB1 (two adapters "
    "cross-wired as a null-modem)";

// The two ends of the line under test; the same device twice for a loopback plug.
struct TWireEnds {
    std::string Sender, Receiver;
    bool Loopback = false;
    bool Pty = false; // a pseudo-terminal: no rate on the wire, no modem lines, no line errors

    static bool IsPty(const std::string& Path) {
        std::error_code ignored;
        const auto real = std::filesystem::canonical(Path, ignored).string();
        return real.starts_with("/dev/pts/") || real.starts_with("/dev/pty");
    }

    // False when the environment names no line.
    static bool FromEnvironment(TWireEnds& Ends) {
        if (const char* pair = std::getenv("TESSAL_HW_PAIR"); pair != nullptr && *pair != '\0') {
            const std::string both = pair;
            const auto comma = both.find(',');
            if (comma == std::string::npos)
                return false;
            Ends.Sender = both.substr(0, comma);
            Ends.Receiver = both.substr(comma + 1);
        } else if (const char* loop = std::getenv("TESSAL_HW_LOOPBACK");
                   loop != nullptr && *loop != '\0') {
            Ends.Sender = Ends.Receiver = loop;
            Ends.Loopback = true;
        } else {
            return false;
        }
        Ends.Pty = IsPty(Ends.Sender) || IsPty(Ends.Receiver);
        return true;
    }
};

// In a fixture's SetUp or a test body.
#define HW_REQUIRE_LINE(Ends)                                                                      \
    if (!TWireEnds::FromEnvironment(Ends))                                                         \
    GTEST_SKIP() << kWhatToSet

#define HW_REQUIRE_REAL_LINE(Ends, What)                                                           \
    if ((Ends).Pty)                                                                                \
    GTEST_SKIP() << What << " needs a real serial line, not a pseudo-terminal (" << (Ends).Sender  \
                 << ", " << (Ends).Receiver                                                        \
                 << "): set TESSAL_HW_LOOPBACK or TESSAL_HW_PAIR to real devices"

#define HW_REQUIRE_PAIR(Ends, What)                                                                \
    if ((Ends).Loopback)                                                                           \
    GTEST_SKIP() << What << " needs two devices (one UART sends and checks with the same "         \
                 << "settings): set TESSAL_HW_PAIR=/dev/ttyUSB0,/dev/ttyUSB1"
