// Device-control record <-> kernel line settings (termios2), as pure functions.
// termios2 and BOTHER come from the kernel's own header, which clashes with the C library's
// <termios.h>: no file that includes this one may include <termios.h>.
#pragma once

#include <asm/termbits.h>

#include "platform/serial/SerialDriver.h"

// The kernel side of State, built on Current (flags the record does not speak of are kept).
// State has passed the driver's check (SetDeviceState). Raw mode always; input XON/XOFF (fInX) is
// left to the driver. With fParity, or MarkErrors for a device that can receive breaks and line
// errors, those are marked in the input (PARMRK) so that the driver sees them per byte; otherwise
// the marks stay off, which keeps the kernel on its fast raw path.
void DcbToTermios(const DCB& State, const termios2& Current, bool MarkErrors, termios2& Out);

// The record a freshly opened device reports: its speed, size, parity, stop bits (CSTOPB is 1.5
// of them with 5 data bits), flow flags.
DCB TermiosToDcb(const termios2& Current);
