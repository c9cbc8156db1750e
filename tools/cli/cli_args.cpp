// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_args.h"

#include <charconv>

namespace kelvandor::cli {

std::optional<std::int32_t> parseInt32(std::string_view text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> parseIntInRange(std::string_view text, int min, int max) {
    const std::optional<std::int32_t> value = parseInt32(text);
    if (!value || *value < min || *value > max) {
        return std::nullopt;
    }
    return *value;
}

std::optional<std::string> takeOption(Args& args, std::string_view name, bool* missing) {
    *missing = false;
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == name) {
            if (it + 1 == args.end()) {
                *missing = true;
                args.erase(it);
                return std::nullopt;
            }
            std::string value = *(it + 1);
            args.erase(it, it + 2);
            return value;
        }
        const std::string prefix = std::string(name) + "=";
        if (it->starts_with(prefix)) {
            std::string value = it->substr(prefix.size());
            args.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace kelvandor::cli
