#include <gtest/gtest.h>

#include "platform/serial/LineState.h"

namespace {

DCB Base() {
    DCB d;
    d.BaudRate = 9600;
    d.Flags = DCB_fBinary;
    d.ByteSize = 8;
    d.XonChar = 17;
    d.XoffChar = 19;
    return d;
}

termios2 Apply(const DCB& d, bool markErrors = false) {
    termios2 cur{}, out{};
    cur.c_iflag = ICRNL | IXANY | IGNBRK;
    cur.c_oflag = OPOST | ONLCR;
    cur.c_lflag = ECHO | ICANON | ISIG;
    cur.c_cflag = CS7 | PARENB | HUPCL | B9600;
    DcbToTermios(d, cur, markErrors, out);
    return out;
}

} // namespace

TEST(LineState, RawModeAnyBaudAndSizes) {
    DCB d = Base();
    d.BaudRate = 250000;
    const termios2 t = Apply(d);
    EXPECT_EQ(t.c_ospeed, 250000u);
    EXPECT_EQ(t.c_ispeed, 250000u);
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXANY | IGNBRK | PARMRK | INPCK), 0u);
    EXPECT_TRUE(t.c_cflag & HUPCL) << "flags the record does not speak of are kept";
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (int bits = 5; bits <= 8; ++bits) {
        d.ByteSize = static_cast<std::uint8_t>(bits);
        EXPECT_EQ(Apply(d).c_cflag & CSIZE, sizes[bits - 5]) << bits;
    }
}

TEST(LineState, ParityAndStopBits) {
    const struct {
        std::uint8_t parity;
        tcflag_t flags;
    } parities[] = {{NOPARITY, 0},
                    {ODDPARITY, PARENB | PARODD},
                    {EVENPARITY, PARENB},
                    {MARKPARITY, PARENB | PARODD | CMSPAR},
                    {SPACEPARITY, PARENB | CMSPAR}};
    DCB d = Base();
    for (const auto& p : parities) {
        d.Parity = p.parity;
        EXPECT_EQ(Apply(d).c_cflag & (PARENB | PARODD | CMSPAR), p.flags) << int(p.parity);
        EXPECT_EQ(TermiosToDcb(Apply(d)).Parity, p.parity);
    }
    d.Parity = NOPARITY;
    EXPECT_FALSE(Apply(d).c_cflag & CSTOPB);
    d.StopBits = TWOSTOPBITS;
    EXPECT_TRUE(Apply(d).c_cflag & CSTOPB);
    EXPECT_EQ(TermiosToDcb(Apply(d)).StopBits, TWOSTOPBITS);
    // With 5 data bits the same flag is 1.5 stop bits on the wire, and reads back so.
    d.ByteSize = 5;
    d.StopBits = ONE5STOPBITS;
    EXPECT_TRUE(Apply(d).c_cflag & CSTOPB);
    EXPECT_EQ(TermiosToDcb(Apply(d)).StopBits, ONE5STOPBITS);
}

TEST(LineState, FlowControlAndErrorMarking) {
    DCB d = Base();
    EXPECT_FALSE(Apply(d).c_cflag & CRTSCTS);
    d.Flags |= DCB_fOutxCtsFlow;
    EXPECT_TRUE(Apply(d).c_cflag & CRTSCTS);
    d.Flags = DCB_fBinary | RTS_CONTROL_HANDSHAKE;
    EXPECT_TRUE(Apply(d).c_cflag & CRTSCTS);
    d.Flags = DCB_fBinary | RTS_CONTROL_TOGGLE;
    EXPECT_FALSE(Apply(d).c_cflag & CRTSCTS);

    d.Flags = DCB_fBinary | DCB_fOutX;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    termios2 t = Apply(d);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_FALSE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    d.Flags = DCB_fBinary | DCB_fInX;
    t = Apply(d);
    EXPECT_FALSE(t.c_iflag & IXON);
    EXPECT_FALSE(t.c_iflag & IXOFF) << "the driver sends XON/XOFF by its own queue";

    d.Flags = DCB_fBinary | DCB_fParity;
    EXPECT_EQ(Apply(d).c_iflag & (INPCK | PARMRK), static_cast<tcflag_t>(INPCK | PARMRK));
    d.Flags = DCB_fBinary;
    EXPECT_EQ(Apply(d, true).c_iflag & (INPCK | PARMRK), static_cast<tcflag_t>(PARMRK));
}
