// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the subcommands of kelvandor-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvandor::cli {

// Exit statuses: 0 done, 1 the operation failed (a port that cannot be opened), 2 the
// command line was wrong.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

using Args = std::vector<std::string>;

// A whole-text signed decimal integer in the 32-bit range, or nothing.
std::optional<std::int32_t> parseInt32(std::string_view text);

// A whole-text decimal integer in min..max, or nothing.
std::optional<int> parseIntInRange(std::string_view text, int min, int max);

// Takes "--name VALUE" or "--name=VALUE" out of args. Returns the value, nothing when the
// option is absent; *missing is set when the option is present without a value.
std::optional<std::string> takeOption(Args& args, std::string_view name, bool* missing);

}  // namespace kelvandor::cli
