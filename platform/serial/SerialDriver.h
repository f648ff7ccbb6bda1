// The serial driver: device semantics the port component relies on, over termios (real
// devices and ptys) or an in-process virtual null-modem pair.
//
// Every operation returns false (or InvalidSerialHandle) on failure and leaves the platform
// error number (an errno value) in LastPlatformError(); nothing fails silently. Numbers used:
//   IO_PENDING     an overlapped operation was started and has not completed yet
//   IO_INCOMPLETE  OverlappedResult without waiting: still running
//   IO_ABORTED     the operation was ended by PurgeDevice with an abort flag, or by the close
//   EBADF          the handle is not open; EBUSY/EAGAIN the device is in use elsewhere;
//   ENOTTY         the path is not a terminal; EIO the device has vanished; EINVAL bad record
//
// Devices: a relative name is a device in /dev/ ("ttyUSB0", "pts/3"), an absolute path is used
// as given, names of virtual devices (VirtualNullModem.h) are resolved first;
// "rfc2217://HOST:PORT" and "socket://HOST:PORT" are serial lines on other machines
// (NetworkBackend.h says what they carry; a malformed one is EINVAL). An open is exclusive:
// an advisory lock on the device stops a second open even for root.
//
// Receive queue: bytes are moved from the device into a queue of the input queue size by the
// thread that waits on a pending operation of the device (its completion event carries the
// device as a wait source, see SyncEvent.h), or by any call that asks for the queue's state.
// When the queue is full, bytes are dropped and CE_RXOVER set (EV_ERR), unless input flow
// control (fInX, RTS or DTR handshake) is on; then XOFF is sent and the handshake lines drop
// when fewer than XoffLim bytes are free, XON and the lines return when XonLim or fewer are
// queued, and a full queue stops reading so that the device holds the sender back.
//
// Device events occur for what happened: EV_RXCHAR per chunk received, EV_RXFLAG when EvtChar
// was among it, EV_RX80FULL when the queue crosses 80 % (again after it fell below), EV_TXEMPTY
// when the device's own output queue has drained, EV_CTS/DSR/RLSD/RING per line change (the
// device's counters), EV_BREAK per break, EV_ERR per framing, parity or overrun error, input
// overflow, or loss of the device.
//
// Overlapped operations: pass an OVERLAPPED whose Event is a manual-reset event. A start either
// completes at once (true, the count in the out-parameter, Event set) or returns false with
// IO_PENDING (Event reset); completion sets Event. OverlappedResult gives the count or error.
// Without an OVERLAPPED a read, write or device event wait blocks until it completes. Reads and
// writes queue in start order; one device event wait may be pending at a time.
//
// Modem lines: a device without them (a pty, a three-wire cable) reads all inputs off and
// accepts line changes without effect; that is not an error.
//
// A vanished device (hang-up, a 0-byte read after readiness, EIO): bytes already received are
// still delivered, pending reads and writes end with EIO, the device event wait completes with
// EV_ERR once (CE_IOE set; without EV_ERR in the mask the wait fails with EIO, as does a wait
// started later that has no event left to report), the descriptor is no longer polled, and the
// name can be opened again. Once its bytes and CE_IOE have been taken, ClearDeviceError fails
// with EIO too. GetDeviceLoss tells whether it happened and by which error.
//
// Concurrency: every function may be called from any thread. SerialClose ends all pending
// operations (IO_ABORTED) and wakes the threads waiting on the device; it never waits for them.
// The descriptor is closed by whichever lets go of it last, so the name stays busy (EBUSY) until
// every such thread has run. Buffers handed to overlapped reads and writes must stay valid until
// the operation has completed.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sync/PlatformError.h"
#include "platform/sync/SyncEvent.h"

// ---- Device-control record ----------------------------------------------------------------

struct DCB {
    std::uint32_t DCBlength = sizeof(DCB);
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(DCB) == 28, "the device-control record is 28 bytes");

// Bits of DCB::Flags.
inline constexpr std::uint32_t DCB_fBinary = 0x0001;
inline constexpr std::uint32_t DCB_fParity = 0x0002;
inline constexpr std::uint32_t DCB_fOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t DCB_fOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t DCB_fDtrControlMask = 0x0030;
inline constexpr std::uint32_t DCB_fDtrControlShift = 4;
inline constexpr std::uint32_t DCB_fDsrSensitivity = 0x0040;
inline constexpr std::uint32_t DCB_fTXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t DCB_fOutX = 0x0100;
inline constexpr std::uint32_t DCB_fInX = 0x0200;
inline constexpr std::uint32_t DCB_fErrorChar = 0x0400;
inline constexpr std::uint32_t DCB_fNull = 0x0800;
inline constexpr std::uint32_t DCB_fRtsControlMask = 0x3000;
inline constexpr std::uint32_t DCB_fRtsControlShift = 12;
inline constexpr std::uint32_t DCB_fAbortOnError = 0x4000;

// Values of the two-bit fields, already shifted into place.
inline constexpr std::uint32_t DTR_CONTROL_DISABLE = 0x0000;
inline constexpr std::uint32_t DTR_CONTROL_ENABLE = 0x0010;
inline constexpr std::uint32_t DTR_CONTROL_HANDSHAKE = 0x0020;
inline constexpr std::uint32_t RTS_CONTROL_DISABLE = 0x0000;
inline constexpr std::uint32_t RTS_CONTROL_ENABLE = 0x1000;
inline constexpr std::uint32_t RTS_CONTROL_HANDSHAKE = 0x2000;
inline constexpr std::uint32_t RTS_CONTROL_TOGGLE = 0x3000;

// DCB::Parity and DCB::StopBits codes.
inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;
inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;
inline constexpr std::uint8_t TWOSTOPBITS = 2;

// ---- Time-out record (milliseconds; 0xFFFFFFFF is the maximum) -----------------------------

struct COMMTIMEOUTS {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};
inline constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;

// ---- Status record --------------------------------------------------------------------------

struct COMSTAT {
    std::uint32_t Flags = 0; // COMSTAT_* bits, member n of the status flags at bit n
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};
inline constexpr std::uint32_t COMSTAT_fCtsHold = 0x01;
inline constexpr std::uint32_t COMSTAT_fDsrHold = 0x02;
inline constexpr std::uint32_t COMSTAT_fRlsdHold = 0x04;
inline constexpr std::uint32_t COMSTAT_fXoffHold = 0x08;
inline constexpr std::uint32_t COMSTAT_fXoffSent = 0x10;
inline constexpr std::uint32_t COMSTAT_fEof = 0x20;
inline constexpr std::uint32_t COMSTAT_fTxim = 0x40;

// ---- Constants ------------------------------------------------------------------------------

// Device event mask.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;
inline constexpr std::uint32_t EV_ALL = 0x05FF;

// Modem status.
inline constexpr std::uint32_t MS_CTS_ON = 0x10;
inline constexpr std::uint32_t MS_DSR_ON = 0x20;
inline constexpr std::uint32_t MS_RING_ON = 0x40;
inline constexpr std::uint32_t MS_RLSD_ON = 0x80;

// Communications errors.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;
inline constexpr std::uint32_t CE_TXFULL = 0x0100;
inline constexpr std::uint32_t CE_IOE = 0x0400;
inline constexpr std::uint32_t CE_MODE = 0x8000;

// Purge flags.
inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// Escape function codes.
inline constexpr std::uint32_t ESC_SETXOFF = 1; // act as if XOFF was received
inline constexpr std::uint32_t ESC_SETXON = 2;  // act as if XON was received
inline constexpr std::uint32_t ESC_SETRTS = 3;
inline constexpr std::uint32_t ESC_CLRRTS = 4;
inline constexpr std::uint32_t ESC_SETDTR = 5;
inline constexpr std::uint32_t ESC_CLRDTR = 6;
inline constexpr std::uint32_t ESC_SETBREAK = 8;
inline constexpr std::uint32_t ESC_CLRBREAK = 9;

// Error numbers of overlapped operations (errno values).
inline constexpr std::int32_t IO_PENDING = EINPROGRESS;
inline constexpr std::int32_t IO_INCOMPLETE = EALREADY;
inline constexpr std::int32_t IO_ABORTED = ECANCELED;

// ---- Overlapped record ----------------------------------------------------------------------

// Zero it (OVERLAPPED{}) and give it a manual-reset Event before the first start. One record
// carries one operation at a time; starting another while one is pending fails with EBUSY.
// Status and Transferred are written by OverlappedResult in the caller's thread only.
struct OVERLAPPED {
    std::uint32_t Status = 0;      // errno of the collected result, 0 for success
    std::uint32_t Transferred = 0; // bytes of the collected result
    std::uint32_t Offset = 0;      // unused by serial devices
    std::uint32_t OffsetHigh = 0;
    TEventHandle Event;
    std::uint64_t Operation = 0; // the driver's operation, 0 when none is outstanding
};

// ---- Operations -----------------------------------------------------------------------------

using TSerialHandle = std::int64_t;
inline constexpr TSerialHandle InvalidSerialHandle = -1;

// Opens for exclusive use. The queue sizes start at 4096 bytes, the time-outs at zero
// (reads wait for all bytes), the event mask at 0; the line state is taken from the device.
// A name holding a NUL character names no device (EINVAL).
TSerialHandle SerialOpen(const std::string& Name);
bool SerialClose(TSerialHandle Handle);

// Fastest line a device is asked to run; a rate above it is a negative or garbage number.
inline constexpr std::uint32_t MaxBaudRate = 100000000;

// Set device state / get device state. Refused (EINVAL) when a field is out of range (a rate of
// 0 or above MaxBaudRate, a byte size outside 5..8, parity above 4, stop bits above 2), for
// stop bits the line cannot carry (1.5 needs 5 data bits, 2 needs 6 to 8), or when the device
// does not keep what it was given (a pty forces 8 data bits without parity); the previous state
// then stays in force.
bool SetDeviceState(TSerialHandle Handle, const DCB& State);
bool GetDeviceState(TSerialHandle Handle, DCB& State);

// Set time-outs / get time-outs.
bool SetDeviceTimeouts(TSerialHandle Handle, const COMMTIMEOUTS& Timeouts);
bool GetDeviceTimeouts(TSerialHandle Handle, COMMTIMEOUTS& Timeouts);

// Set up queue sizes (recommended receive and transmit queue sizes in bytes; 0 keeps the
// current size). Bytes already queued are kept up to the new size. A receive queue above
// 16 MiB fails with ENOMEM.
bool SetupQueueSizes(TSerialHandle Handle, std::uint32_t InputSize, std::uint32_t OutputSize);
bool GetQueueSizes(TSerialHandle Handle, std::uint32_t& InputSize, std::uint32_t& OutputSize);

// Read / write. Overlapped may be null (synchronous). Transferred may be null.
bool SerialRead(TSerialHandle Handle, void* Buffer, std::uint32_t Count, std::uint32_t* Transferred,
                OVERLAPPED* Overlapped);
bool SerialWrite(TSerialHandle Handle, const void* Buffer, std::uint32_t Count,
                 std::uint32_t* Transferred, OVERLAPPED* Overlapped);

// Overlapped result: with Wait, blocks until the operation has completed. Without an
// outstanding operation it gives the record's last collected result (0 bytes for a fresh one).
// After the device was closed, an operation the record still names reports IO_ABORTED; a record
// naming none reports EBADF.
bool OverlappedResult(TSerialHandle Handle, OVERLAPPED* Overlapped, std::uint32_t* Transferred,
                      bool Wait);

// Set event mask / get event mask. Setting the mask completes a pending device event wait with
// an empty mask and forgets events that occurred while no wait was pending.
bool SetDeviceEventMask(TSerialHandle Handle, std::uint32_t Mask);
bool GetDeviceEventMask(TSerialHandle Handle, std::uint32_t& Mask);

// Wait for device event: Mask receives the EV_* bits that occurred. Events that occur while no
// wait is pending are remembered and end the next wait at once. Fails with EINVAL when the
// mask is 0, EBUSY when a wait is already pending.
bool WaitForDeviceEvent(TSerialHandle Handle, std::uint32_t* Mask, OVERLAPPED* Overlapped);

// Purge (PURGE_* flags; 0 is accepted and does nothing).
bool PurgeDevice(TSerialHandle Handle, std::uint32_t Flags);

// Clear error: returns the CE_* bits gathered up to the call and clears them (bytes the call
// itself takes in may raise more, kept for the next call); Stat (may be null) receives the
// status flags and the queue counts. On a vanished device whose bytes and errors have all been
// taken it fails with EIO. fXoffHold follows a received XOFF where
// the device tells (the virtual null-modem); a tty's kernel obeys XOFF silently, so there it
// shows only the escape function's hold. Without WithOutput the device's own output queue is not
// asked (a system call on a tty): cbOutQue counts only the driver's pending output, and the
// hold flags, which tell why output waits, are left out.
bool ClearDeviceError(TSerialHandle Handle, std::uint32_t* Errors, COMSTAT* Stat,
                      bool WithOutput = true);

// Bytes in the receive queue, without taking in what the device holds meanwhile and without
// touching the errors: for the thread whose device event wait has just completed, whose service
// took in what had arrived (a second look at the device would find it empty).
bool GetDeviceInputCount(TSerialHandle Handle, std::uint32_t& Count);

// Modem status (MS_* bits).
bool GetDeviceModemStatus(TSerialHandle Handle, std::uint32_t& ModemStatus);

// Escape function (ESC_* codes; others fail with EINVAL).
bool EscapeFunction(TSerialHandle Handle, std::uint32_t Function);

// Transmit char: one byte ahead of any pending output. EBUSY while an earlier one waits.
bool TransmitChar(TSerialHandle Handle, std::uint8_t Ch);

// The errors that mean the device has vanished (hang-up, unplugged adapter, closed pty master;
// for a network port a connection reset, broken or timed out).
inline constexpr bool IsDeviceLostError(std::int32_t Errno) {
    return Errno == EIO || Errno == ENXIO || Errno == ENODEV || Errno == ECONNRESET ||
           Errno == EPIPE || Errno == ETIMEDOUT || Errno == ECONNABORTED || Errno == ENETDOWN ||
           Errno == ENETUNREACH || Errno == EHOSTUNREACH;
}

// Whether the device has vanished: Errno receives the error that told of it (EIO for a hang-up
// or a read at end of file), 0 while the device is there. Takes in nothing and clears nothing.
bool GetDeviceLoss(TSerialHandle Handle, std::int32_t& Errno);
