// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/agent_config.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <utility>

namespace kelvandor::agent {

const char* const AgentUsage =
    "Usage: kelvandor-agent [--config FILE] [--unit NAME=PORT]... [--share NAME=[HOST:]PORT]...\n"
    "                       [--http [HOST:]PORT] [--token-file FILE]\n"
    "                       [--tls-cert FILE --tls-key FILE] [--query-after SECONDS]\n"
    "                       [--mqtt URL [--mqtt-auth FILE] [--mqtt-ca FILE] [--mqtt-prefix P]\n"
    "                        [--mqtt-discovery-prefix P] [--mqtt-client-id ID] [--mqtt-control]]\n"
    "                       [--open-reads true|false] [--max-connections N]\n"
    "Keeps the line of each antenna control unit open, learns its state from every frame\n"
    "it sends, and shares it: JSON and Prometheus metrics over HTTP, and the raw line\n"
    "to any number of clients on a share port.\n"
    "\n"
    "  --unit NAME=PORT       watch the unit on PORT (a COM name, a device path, tcp://HOST:PORT\n"
    "                         or rfc2217://HOST:PORT) under NAME (1 to 32 of A-Z a-z 0-9 _ -);\n"
    "                         repeatable\n"
    "  --share NAME=[HOST:]PORT\n"
    "                         share unit NAME's line on a raw TCP port (host 127.0.0.1 unless\n"
    "                         given); repeatable\n"
    "  --http [HOST:]PORT     serve HTTP there (default 127.0.0.1:8742)\n"
    "  --token-file FILE      the bearer token that commands need; made (32 random bytes, hex,\n"
    "                         mode 0600) when the file does not exist (default\n"
    "                         ~/.config/kelvandor/agent.token; as a service,\n"
    "                         /var/lib/kelvandor-agent/agent.token)\n"
    "  --tls-cert FILE, --tls-key FILE\n"
    "                         serve HTTPS with this certificate and key (PEM)\n"
    "  --query-after SECONDS  ask the unit's state (QS) when it has sent nothing this long\n"
    "                         (default 10)\n"
    "  --mqtt URL             publish each unit's state to the MQTT broker at URL\n"
    "                         (mqtt://HOST[:PORT], or mqtts://HOST[:PORT] for TLS), with Home\n"
    "                         Assistant discovery\n"
    "  --mqtt-auth FILE       the broker's user and password, one line USER:PASSWORD\n"
    "  --mqtt-ca FILE         the authorities (PEM) that mqtts:// checks the broker against\n"
    "  --mqtt-prefix P        the topics' prefix (default kelvandor): P/UNIT/state, ...\n"
    "  --mqtt-discovery-prefix P\n"
    "                         Home Assistant's discovery prefix (default homeassistant)\n"
    "  --mqtt-client-id ID    the MQTT client id (default from the host name)\n"
    "  --mqtt-control         take commands on P/UNIT/command (off unless given; in a\n"
    "                         configuration file: mqtt-control = true)\n"
    "  --open-reads true|false\n"
    "                         on an address other than loopback, let reads (GET) go without\n"
    "                         the token too (default false: they need it)\n"
    "  --max-connections N    HTTP connections at once, 1 to 4096 (default 64); one more is\n"
    "                         answered 503 and closed\n"
    "  --config FILE          read options from FILE: lines \"key = value\" with the option\n"
    "                         names as keys (unit = roof=COM2), '#' starts a comment;\n"
    "                         options on the command line win\n"
    "  -h, --help             show this text\n"
    "  --version              show the version\n"
    "\n"
    "HTTP: GET /api/v1/units, GET /api/v1/units/NAME, GET /metrics,\n"
    "POST /api/v1/units/NAME/commands with {\"command\": \"get-information\" | \"restart\" |\n"
    "\"setup\" | \"select-satellite\", \"satellite\": \"A\" | \"B\"} and\n"
    "\"Authorization: Bearer TOKEN\". Reads need the token too (the header or ?token=TOKEN)\n"
    "when HTTP listens on an address other than loopback, unless --open-reads true.\n"
    "Request heads over 8 KiB are answered 431, bodies over 64 KiB 413; a request must\n"
    "come whole within 10 s; idle connections are closed after 30 s.\n"
    "\n"
    "Exit status: 0 ended by a signal, 1 a port could not be served, 2 wrong command line.\n";

namespace {

constexpr std::size_t MaxUnitNameLength = 32;
constexpr int MaxPort = 65535;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<int> numberIn(const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// "NAME=REST" with a valid unit name.
std::optional<std::pair<std::string, std::string>> namedValue(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) {
        return std::nullopt;
    }
    std::string name = trimmed(text.substr(0, eq));
    std::string rest = trimmed(text.substr(eq + 1));
    if (!validUnitName(name) || rest.empty()) {
        return std::nullopt;
    }
    return std::make_pair(std::move(name), std::move(rest));
}

template <class Entry, class Key>
void putByName(std::vector<Entry>& list, Entry option, Key key) {
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const Entry& s) { return key(s) == key(option); });
    if (found != list.end()) {
        *found = std::move(option);
    } else {
        list.push_back(std::move(option));
    }
}

// Applies one option (its name without dashes) to `config`. False with `error` set when
// the option is unknown or its value wrong.
bool applyOption(const std::string& key, const std::string& value, AgentConfig& config,
                 std::string& error) {
    if (value.empty()) {
        error = "needs a value";
        return false;
    }
    if (key == "unit") {
        const auto named = namedValue(value);
        if (!named) {
            error = "takes NAME=PORT, NAME being 1 to 32 of A-Z a-z 0-9 _ -";
            return false;
        }
        putByName(config.units, UnitOption{named->first, named->second},
                  [](const UnitOption& u) { return u.name; });
    } else if (key == "share") {
        const auto named = namedValue(value);
        const std::optional<Endpoint> endpoint =
            named ? parseEndpoint(named->second) : std::nullopt;
        if (!endpoint) {
            error = "takes NAME=[HOST:]PORT";
            return false;
        }
        putByName(config.shares, ShareOption{named->first, *endpoint},
                  [](const ShareOption& s) { return s.unit; });
    } else if (key == "http") {
        const std::optional<Endpoint> endpoint = parseEndpoint(value);
        if (!endpoint) {
            error = "takes [HOST:]PORT";
            return false;
        }
        config.http = *endpoint;
    } else if (key == "token-file") {
        config.tokenFile = value;
    } else if (key == "tls-cert") {
        config.tlsCert = value;
    } else if (key == "tls-key") {
        config.tlsKey = value;
    } else if (key == "query-after") {
        const std::optional<int> seconds = numberIn(value, 1, MaxQueryAfterSeconds);
        if (!seconds) {
            error = "takes seconds, 1 to " + std::to_string(MaxQueryAfterSeconds);
            return false;
        }
        config.queryAfterSeconds = *seconds;
    } else if (key == "mqtt") {
        config.mqtt.url = value;
    } else if (key == "mqtt-auth") {
        config.mqtt.authFile = value;
    } else if (key == "mqtt-ca") {
        config.mqtt.caFile = value;
    } else if (key == "mqtt-prefix") {
        config.mqtt.prefix = value;
    } else if (key == "mqtt-discovery-prefix") {
        config.mqtt.discoveryPrefix = value;
    } else if (key == "mqtt-client-id") {
        config.mqtt.clientId = value;
    } else if (key == "mqtt-control") {
        if (value != "true" && value != "false") {
            error = "takes true or false";
            return false;
        }
        config.mqtt.control = value == "true";
    } else if (key == "open-reads") {
        if (value != "true" && value != "false") {
            error = "takes true or false";
            return false;
        }
        config.openReads = value == "true";
    } else if (key == "max-connections") {
        const std::optional<int> count = numberIn(value, 1, MaxHttpConnections);
        if (!count) {
            error = "takes a number, 1 to " + std::to_string(MaxHttpConnections);
            return false;
        }
        config.maxConnections = *count;
    } else {
        error = "is no option";
        return false;
    }
    return true;
}

// Options that take no value on the command line: their presence says "true".
bool isSwitch(const std::string& key) {
    return key == "mqtt-control";
}

}  // namespace

bool validUnitName(const std::string& name) {
    if (name.empty() || name.size() > MaxUnitNameLength) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
}

std::optional<Endpoint> parseEndpoint(const std::string& text) {
    Endpoint endpoint;
    std::string portText = text;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find("]:");
        if (close == std::string::npos || close == 1) {
            return std::nullopt;
        }
        endpoint.host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        endpoint.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (endpoint.host.empty() || endpoint.host.find(':') != std::string::npos) {
            return std::nullopt;
        }
    }
    const std::optional<int> port = numberIn(portText, 0, MaxPort);
    if (!port) {
        return std::nullopt;
    }
    endpoint.port = *port;
    return endpoint;
}

bool readConfigText(const std::string& text, AgentConfig& config, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const auto hash = line.find('#');
        line = trimmed(hash == std::string::npos ? line : line.substr(0, hash));
        if (line.empty()) {
            continue;
        }
        const auto eq = line.find('=');
        std::string reason;
        if (eq == std::string::npos) {
            reason = "not a \"key = value\" line";
        } else {
            const std::string key = trimmed(line.substr(0, eq));
            if (applyOption(key, trimmed(line.substr(eq + 1)), config, reason)) {
                continue;
            }
            reason = key + " " + reason;
        }
        error = "line " + std::to_string(number) + ": " + reason;
        return false;
    }
    return true;
}

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CommandLine line;
    std::vector<std::pair<std::string, std::string>> options;
    std::optional<std::string> configFile;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (arg == "-h" || arg == "--help") {
            line.help = true;
            return line;
        }
        if (arg == "--version") {
            line.version = true;
            return line;
        }
        if (!arg.starts_with("--")) {
            error = "unexpected argument \"" + arg + "\" (see kelvandor-agent --help)";
            return std::nullopt;
        }
        const std::string key = arg.substr(2);
        if (isSwitch(key)) {
            options.emplace_back(key, "true");
            continue;
        }
        if (k + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++k];
        if (key == "config") {
            configFile = value;
        } else {
            options.emplace_back(key, value);
        }
    }
    if (configFile) {
        std::ifstream file(*configFile);
        if (!file.is_open()) {
            error = "cannot read the configuration file " + *configFile;
            return std::nullopt;
        }
        std::stringstream text;
        text << file.rdbuf();
        if (!readConfigText(text.str(), line.config, error)) {
            error = *configFile + ": " + error;
            return std::nullopt;
        }
    }
    for (const auto& [key, value] : options) {
        if (!applyOption(key, value, line.config, error)) {
            error = "--" + key + " " + error;
            return std::nullopt;
        }
    }
    for (const ShareOption& share : line.config.shares) {
        const bool known = std::any_of(line.config.units.begin(), line.config.units.end(),
                                       [&](const UnitOption& u) { return u.name == share.unit; });
        if (!known) {
            error = "share names no unit: " + share.unit;
            return std::nullopt;
        }
    }
    if (line.config.tlsCert.empty() != line.config.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return std::nullopt;
    }
    return line;
}

}  // namespace kelvandor::agent
