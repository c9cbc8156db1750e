// SPDX-License-Identifier: GPL-3.0-or-later
// What kelvandor-agent is told to do: the units it watches, the share ports, where HTTP
// listens and where the token lives. The command line and a configuration file say the
// same things; the file's lines are `key = value` with the option names as keys (no
// dashes), `#` starting a comment. Options on the command line win over the file's.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvandor::agent {

struct Endpoint {
    std::string host = "127.0.0.1";
    int port = 0;
};

struct UnitOption {
    std::string name;  // [A-Za-z0-9_-]{1,32}
    std::string port;  // a COM name, a device path or a tcp:// or rfc2217:// URL
};

struct ShareOption {
    std::string unit;  // the name of a --unit
    Endpoint endpoint;
};

inline constexpr int DefaultHttpPort = 8742;
inline constexpr int DefaultQueryAfterSeconds = 10;
inline constexpr int MaxQueryAfterSeconds = 3600;
inline constexpr int DefaultHttpConnections = 64;
inline constexpr int MaxHttpConnections = 4096;

// Publishing to an MQTT broker (none when `url` is empty).
struct MqttOptions {
    std::string url;              // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
    std::string authFile;         // one line USER:PASSWORD; empty: no credentials
    std::string caFile;           // for mqtts://; empty: the system's authorities
    std::string prefix;           // empty: "kelvandor"
    std::string discoveryPrefix;  // empty: "homeassistant"
    std::string clientId;         // empty: from the host name
    bool control = false;         // take commands on PREFIX/UNIT/command
};

struct AgentConfig {
    std::vector<UnitOption> units;
    std::vector<ShareOption> shares;
    Endpoint http{"127.0.0.1", DefaultHttpPort};
    std::string tokenFile;  // empty: the default path (see defaultTokenPath)
    std::string tlsCert;
    std::string tlsKey;
    int queryAfterSeconds = DefaultQueryAfterSeconds;  // QS after this long without a report
    MqttOptions mqtt;
    bool openReads = false;  // reads without the token on a non-loopback address too
    int maxConnections = DefaultHttpConnections;  // HTTP connections at once
};

struct CommandLine {
    bool help = false;
    bool version = false;
    AgentConfig config;
};

// Whether `name` may name a unit: 1 to 32 of A-Z, a-z, 0-9, '_' and '-'.
bool validUnitName(const std::string& name);

// "[HOST:]PORT" (an IPv6 host in brackets: "[::1]:8742"); a missing host is 127.0.0.1.
// PORT is 0..65535 (0: any free port). Empty when malformed.
std::optional<Endpoint> parseEndpoint(const std::string& text);

// Reads the command line (without the program name). A --config file is read first and
// the other options are laid over it: a --unit or --share of a name the file names
// replaces the file's; the rest are added. Returns nothing, with `error` set to one line,
// when an option, a value or the file is wrong; help and version need nothing else.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

// Takes the lines of a configuration file into `config`; false with `error` naming the
// line when one is wrong.
bool readConfigText(const std::string& text, AgentConfig& config, std::string& error);

extern const char* const AgentUsage;

}  // namespace kelvandor::agent
