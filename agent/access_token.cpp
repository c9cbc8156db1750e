// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/access_token.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kelvandor::agent {

namespace {

constexpr std::size_t TokenBytes = 32;
constexpr mode_t TokenFileMode = 0600;

bool randomBytes(unsigned char* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::getrandom(out + done, count - done, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string defaultTokenPath() {
    // Run as a systemd service with a StateDirectory, the token lives there (the first
    // of the folders when there are several).
    if (const char* state = std::getenv("STATE_DIRECTORY"); state != nullptr && state[0] == '/') {
        const std::string folders = state;
        return folders.substr(0, folders.find(':')) + "/agent.token";
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr ? home : "") + "/.config";
    }
    return folder + "/kelvandor/agent.token";
}

TokenResult loadOrMakeToken(const std::string& path) {
    TokenResult result;
    std::ifstream existing(path);
    if (existing.is_open()) {
        std::string line;
        std::getline(existing, line);
        line = trimmed(line);
        if (line.empty()) {
            result.error = "the token file " + path + " holds no token";
        } else {
            result.token = line;
        }
        return result;
    }
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !std::filesystem::exists(folder, ignored)) {
        std::filesystem::create_directories(folder, ignored);
        ::chmod(folder.c_str(), 0700);
    }
    std::array<unsigned char, TokenBytes> bytes{};
    if (!randomBytes(bytes.data(), bytes.size())) {
        result.error = "no random bytes for a token";
        return result;
    }
    static constexpr char Hex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token += Hex[b >> 4];
        token += Hex[b & 0x0F];
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, TokenFileMode);
    if (fd < 0) {
        result.error = "cannot make the token file " + path + ": " + std::strerror(errno);
        return result;
    }
    const std::string text = token + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        result.error = "cannot write the token file " + path;
        return result;
    }
    result.token = token;
    result.made = true;
    return result;
}

bool sameToken(const std::string& given, const std::string& expected) {
    // Every byte of the longer text is looked at, and the lengths count as a difference.
    const std::size_t length = std::max(given.size(), expected.size());
    unsigned difference = given.size() == expected.size() ? 0U : 1U;
    for (std::size_t k = 0; k < length; ++k) {
        const auto a = static_cast<unsigned char>(k < given.size() ? given[k] : 0);
        const auto b = static_cast<unsigned char>(k < expected.size() ? expected[k] : 0);
        difference |= static_cast<unsigned>(a ^ b);
    }
    return difference == 0;
}

}  // namespace kelvandor::agent
