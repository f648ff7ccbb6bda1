// The backend of serial lines on other machines (NetworkName.h): a non-blocking TCP socket,
// polled by the driver like a tty. rfc2217:// speaks telnet com port control: the line state is
// set by the server and each setting waits for its answer (up to NetworkAnswerTimeout), modem
// lines and line errors come as the server's notifications. socket:// carries the bytes alone:
// line states and modem line changes are accepted and do nothing, the modem inputs read all off,
// and no line error or line event is ever reported.
//
// A server that never answers DTR or RTS changes (one serving a pty, which has no such lines)
// is waited for by nobody: after NetworkAnswerTimeout its modem lines count as not there, read
// all off and further changes do nothing, as on a pty.
//
// The connection keeps itself alive with short TCP keep-alive probes and a limit on unanswered
// output: a server that vanished without closing is found within about NetworkDeadAfter, and
// the device is then lost (ETIMEDOUT); a closed connection is lost with EIO, a reset one with
// ECONNRESET or EPIPE.
#pragma once

#include <chrono>
#include <memory>

#include "platform/serial/NetworkName.h"
#include "platform/serial/SerialBackend.h"

inline constexpr std::chrono::milliseconds NetworkConnectTimeout{5000};
inline constexpr std::chrono::milliseconds NetworkAnswerTimeout{3000};
inline constexpr std::chrono::seconds NetworkDeadAfter{12};

// Connects and, for rfc2217://, agrees on com port control and reads the line state. Null with
// errno on failure: ENXIO the host name does not resolve, ECONNREFUSED nobody listens there,
// ETIMEDOUT no answer to the connect, EPROTONOSUPPORT the server does not speak com port
// control, EPROTO it did not report the line state.
std::unique_ptr<TSerialBackend> OpenNetworkBackend(const TNetworkAddress& Address);

// Whether a connection to Address is accepted now (the connection is closed again at once).
// Readiness of CancelFd (-1: none) ends the wait for an answer early, with false. The name is
// resolved first, which no descriptor can cut short.
bool NetworkServerThere(const TNetworkAddress& Address, int CancelFd = -1);
