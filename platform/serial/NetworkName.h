// Port names that reach a serial line on another machine: "rfc2217://HOST:PORT" (telnet with the
// com port control option: settings and modem lines travel too) and "socket://HOST:PORT" (the
// bytes alone). HOST is a name, an IPv4 address or an IPv6 address in brackets.
#pragma once

#include <cstdint>
#include <string>

enum TNetworkKind : std::uint8_t { nkNone, nkRfc2217, nkSocket };

struct TNetworkAddress {
    TNetworkKind Kind = nkNone;
    std::string Host; // without brackets
    std::uint16_t Port = 0;
};

// Whether Name starts like a network port name (it may still be malformed).
bool IsNetworkPortName(const std::string& Name);
// False for a name that is not a well-formed network port name.
bool ParseNetworkPortName(const std::string& Name, TNetworkAddress& Address);
// "HOST port PORT", for messages.
std::string NetworkEndpointText(const TNetworkAddress& Address);
