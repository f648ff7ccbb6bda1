// Device-control record <-> kernel line settings (termios2), as pure functions.
// termios2 and BOTHER come from the kernel's own header, which clashes with the C library's
// <termios.h>: no file that includes this one may include <termios.h>.
#pragma once

#include <asm/termbits.h>

#include "platform/serial/SerialDriver.h"

// The kernel side of State, built on Current (flags the record does not speak of are kept).
// Fails with EINVAL for a zero baud rate, a byte size outside 5..8, parity above 4 or stop
// bits above 2. Raw mode always; input XON/XOFF (fInX) is left to the driver. With fParity, or
// MarkErrors for a device that can receive breaks and line errors, those are marked in the input
// (PARMRK) so that the driver sees them per byte; otherwise the marks stay off, which keeps the
// kernel on its fast raw path.
bool DcbToTermios(const DCB& State, const termios2& Current, bool MarkErrors, termios2& Out);

// The record a freshly opened device reports: its speed, size, parity, stop bits, flow flags.
DCB TermiosToDcb(const termios2& Current);
