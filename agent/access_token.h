// SPDX-License-Identifier: GPL-3.0-or-later
// The bearer token that commands over HTTP need: read from a file, or made at the first
// start (32 random bytes written as 64 hexadecimal digits, the file readable by its owner
// only), and compared in a time that does not depend on where the texts differ.
#pragma once

#include <optional>
#include <string>

namespace kelvandor::agent {

struct TokenResult {
    std::optional<std::string> token;
    bool made = false;  // the file did not exist and was made
    std::string error;  // why there is no token
};

// Reads the token from `path` (its first line, without surrounding blanks; an empty one is
// refused), or, when `path` does not exist, makes one and writes it there with mode 0600,
// making the folder (mode 0700) when missing.
TokenResult loadOrMakeToken(const std::string& path);

// $STATE_DIRECTORY/agent.token when systemd gives the service a state folder (the
// first, when it names several), else ${XDG_CONFIG_HOME:-$HOME/.config}/kelvandor/agent.token.
std::string defaultTokenPath();

// Whether `given` equals `expected`, looking at every byte of both whatever they hold.
bool sameToken(const std::string& given, const std::string& expected);

}  // namespace kelvandor::agent
