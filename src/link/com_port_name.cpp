// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/com_port_name.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <fstream>

#include "link/network_url.h"

namespace kelvandor {

namespace {

constexpr std::string_view ComPrefix = "COM";
constexpr const char* PortDirVariable = "KELVANDOR_PORT_DIR";
constexpr const char* DefaultPortDirUnderHome = "/.config/kelvandor/ports";
// A port-directory entry that holds a URL is a line of text; anything larger is no such file.
constexpr off_t MaxUrlFileBytes = 1024;
// The COM number a device path or URL given as the start port is reached as.
constexpr int StartTargetNumber = 2;

// The URL held by the regular file `path` (its first line, without a UTF-8 byte-order
// mark, which some editors write, and without surrounding blanks), or empty when it holds
// none.
std::string urlInFile(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    if (!std::getline(file, line)) {
        return {};
    }
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (line.starts_with(ByteOrderMark)) {
        line.erase(0, ByteOrderMark.size());
    }
    const std::size_t first = line.find_first_not_of(" \t\r");
    const std::size_t last = line.find_last_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    line = line.substr(first, last - first + 1);
    return isNetworkUrl(line) ? line : std::string{};
}

}  // namespace

int comPortNumber(const std::string& name) {
    if (!name.starts_with(ComPrefix) || name.size() == ComPrefix.size()) {
        return 0;
    }
    const char* first = name.data() + ComPrefix.size();
    const char* last = name.data() + name.size();
    if (*first < '1' || *first > '9') {
        return 0;
    }
    int number = 0;
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc{} || end != last) {
        return 0;
    }
    return number;
}

namespace {

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    if (entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

}  // namespace

ComPortNaming ComPortNaming::linksOnlyIn(const std::string& dir) {
    ComPortNaming naming;
    naming.portDir = dir;
    naming.fallbackPrefix = dir + "/ttyS";  // no such devices are made there
    return naming;
}

ComPortNaming ComPortNaming::fromEnvironment() {
    ComPortNaming naming;
    const char* dir = std::getenv(PortDirVariable);
    if (dir != nullptr && *dir != '\0') {
        naming.portDir = dir;
        return naming;
    }
    const std::string home = homeDirectory();
    if (!home.empty()) {
        naming.portDir = home + DefaultPortDirUnderHome;
    }
    return naming;
}

ComPortNaming ComPortNaming::withStartPort(const std::string& name) const {
    ComPortNaming naming = *this;
    const int number = comPortNumber(name);
    if (number >= 1 && number <= MaxStartNumber) {
        naming.startNumber = number;
        naming.startTarget.clear();
    } else {
        naming.startNumber = StartTargetNumber;
        naming.startTarget = number > 0 ? resolveComPort(name, *this) : name;
    }
    return naming;
}

std::string resolveComPort(const std::string& name, const ComPortNaming& naming) {
    const int number = comPortNumber(name);
    if (number == 0) {
        return name;
    }
    if (number == naming.startNumber && !naming.startTarget.empty()) {
        return naming.startTarget;
    }
    if (!naming.portDir.empty()) {
        const std::string linked = naming.portDir + "/" + name;
        struct stat target {};
        // stat follows links: a link whose device has gone does not count.
        if (::stat(linked.c_str(), &target) == 0) {
            if (S_ISREG(target.st_mode) && target.st_size <= MaxUrlFileBytes) {
                const std::string url = urlInFile(linked);
                if (!url.empty()) {
                    return url;
                }
            }
            return linked;
        }
    }
    return naming.fallbackPrefix + std::to_string(number - 1);
}

}  // namespace kelvandor
