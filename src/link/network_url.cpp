// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/network_url.h"

#include <array>
#include <charconv>

namespace kelvandor {

namespace {

struct SchemeName {
    std::string_view prefix;
    NetworkScheme scheme;
};

constexpr std::array<SchemeName, 2> Schemes = {{
    {"tcp://", NetworkScheme::RawTcp},
    {"rfc2217://", NetworkScheme::Rfc2217},
}};

constexpr int HighestPort = 65535;
constexpr std::size_t MaxPortDigits = 5;

bool isValidPort(std::string_view digits) {
    if (digits.empty() || digits.size() > MaxPortDigits) {
        return false;
    }
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return error == std::errc{} && end == digits.data() + digits.size() && number >= 1 &&
           number <= HighestPort;
}

}  // namespace

bool isNetworkUrl(std::string_view name) {
    for (const SchemeName& entry : Schemes) {
        if (name.starts_with(entry.prefix)) {
            return true;
        }
    }
    return false;
}

std::optional<NetworkUrl> parseNetworkUrl(std::string_view text) {
    for (const SchemeName& entry : Schemes) {
        if (!text.starts_with(entry.prefix)) {
            continue;
        }
        std::string_view rest = text.substr(entry.prefix.size());
        std::string_view host;
        if (rest.starts_with('[')) {
            const std::size_t close = rest.find(']');
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            host = rest.substr(1, close - 1);
            rest = rest.substr(close + 1);
            if (!rest.starts_with(':')) {
                return std::nullopt;
            }
        } else {
            const std::size_t colon = rest.find(':');
            if (colon == std::string_view::npos) {
                return std::nullopt;
            }
            host = rest.substr(0, colon);
            rest = rest.substr(colon);
        }
        const std::string_view port = rest.substr(1);
        if (host.empty() || host.find_first_of("/ \t[]") != std::string_view::npos ||
            !isValidPort(port)) {
            return std::nullopt;
        }
        return NetworkUrl{entry.scheme, std::string(host), std::string(port)};
    }
    return std::nullopt;
}

}  // namespace kelvandor
