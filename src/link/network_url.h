// SPDX-License-Identifier: GPL-3.0-or-later
// Addresses of serial ports reached over the network, as a port-directory entry or a
// --port option writes them:
//
//   tcp://HOST:PORT       the line's bytes as they are (a serial server's raw mode)
//   rfc2217://HOST:PORT   Telnet with the COM-PORT-OPTION, which also sets the far line
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets ("[::1]"); PORT is a
// decimal number from 1 to 65535.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvandor {

enum class NetworkScheme {
    RawTcp,   // tcp://
    Rfc2217,  // rfc2217://
};

struct NetworkUrl {
    NetworkScheme scheme = NetworkScheme::RawTcp;
    std::string host;  // without the brackets of an IPv6 address
    std::string port;  // the decimal digits as written
};

// True when `name` starts with one of the two schemes: it is meant as a network port, even
// when the rest of it is malformed (parseNetworkUrl then tells).
bool isNetworkUrl(std::string_view name);

// The parts of a well-formed URL; nothing for anything else (unknown scheme, missing or
// empty host, a port that is not 1..65535, an unclosed bracket, a path after the port).
std::optional<NetworkUrl> parseNetworkUrl(std::string_view text);

}  // namespace kelvandor
