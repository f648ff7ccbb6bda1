#include "platform/serial/LineState.h"

void DcbToTermios(const DCB& State, const termios2& Current, bool MarkErrors, termios2& Out) {
    Out = Current;
    Out.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                     IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
    Out.c_oflag &= ~OPOST;
    Out.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    Out.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CBAUD | CIBAUD);

    if (State.Flags & DCB_fParity)
        Out.c_iflag |= INPCK | PARMRK;
    else if (MarkErrors)
        Out.c_iflag |= PARMRK;
    if (State.Flags & DCB_fOutX)
        Out.c_iflag |= IXON;
    // Input XON/XOFF is the driver's: it follows the receive queue and the record's limits,
    // which the kernel knows nothing of (and a pty never sends STOP at all).

    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    Out.c_cflag |= sizes[State.ByteSize - 5] | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    switch (State.Parity) {
    case ODDPARITY:
        Out.c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        Out.c_cflag |= PARENB;
        break;
    case MARKPARITY:
        Out.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case SPACEPARITY:
        Out.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // CSTOPB gives 1.5 stop bits with 5 data bits and 2 otherwise, as UARTs do; the driver
    // has refused the other pairings.
    if (State.StopBits != ONESTOPBIT)
        Out.c_cflag |= CSTOPB;
    // The kernel ties CTS output flow and RTS handshake together.
    if ((State.Flags & DCB_fOutxCtsFlow) ||
        (State.Flags & DCB_fRtsControlMask) == RTS_CONTROL_HANDSHAKE)
        Out.c_cflag |= CRTSCTS;

    Out.c_ispeed = State.BaudRate;
    Out.c_ospeed = State.BaudRate;
    Out.c_cc[VMIN] = 1;
    Out.c_cc[VTIME] = 0;
    Out.c_cc[VSTART] = State.XonChar;
    Out.c_cc[VSTOP] = State.XoffChar;
}

DCB TermiosToDcb(const termios2& Current) {
    DCB d;
    d.BaudRate = Current.c_ospeed;
    d.Flags = DCB_fBinary;
    switch (Current.c_cflag & CSIZE) {
    case CS5:
        d.ByteSize = 5;
        break;
    case CS6:
        d.ByteSize = 6;
        break;
    case CS7:
        d.ByteSize = 7;
        break;
    default:
        d.ByteSize = 8;
        break;
    }
    if (Current.c_cflag & PARENB) {
        const bool odd = Current.c_cflag & PARODD;
        if (Current.c_cflag & CMSPAR)
            d.Parity = odd ? MARKPARITY : SPACEPARITY;
        else
            d.Parity = odd ? ODDPARITY : EVENPARITY;
    }
    if (Current.c_cflag & CSTOPB)
        d.StopBits = d.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    if (Current.c_iflag & INPCK)
        d.Flags |= DCB_fParity;
    if (Current.c_cflag & CRTSCTS)
        d.Flags |= DCB_fOutxCtsFlow | RTS_CONTROL_HANDSHAKE;
    else
        d.Flags |= RTS_CONTROL_ENABLE;
    d.Flags |= DTR_CONTROL_ENABLE;
    if (Current.c_iflag & IXON)
        d.Flags |= DCB_fOutX;
    if (Current.c_iflag & IXOFF)
        d.Flags |= DCB_fInX;
    d.XonChar = Current.c_cc[VSTART];
    d.XoffChar = Current.c_cc[VSTOP];
    return d;
}
