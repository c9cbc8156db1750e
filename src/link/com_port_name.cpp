// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/com_port_name.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>

namespace kelvandor {

namespace {

constexpr std::string_view ComPrefix = "COM";
constexpr const char* PortDirVariable = "KELVANDOR_PORT_DIR";
constexpr const char* DefaultPortDirUnderHome = "/.config/kelvandor/ports";

// n of a name "COMn" with n >= 1 written without sign or leading zero, or 0 when the
// name is not of that form.
int comNumber(const std::string& name) {
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

std::string resolveComPort(const std::string& name, const ComPortNaming& naming) {
    const int number = comNumber(name);
    if (number == 0) {
        return name;
    }
    if (!naming.portDir.empty()) {
        const std::string linked = naming.portDir + "/" + name;
        struct stat target {};
        // stat follows links: a link whose device has gone does not count.
        if (::stat(linked.c_str(), &target) == 0) {
            return linked;
        }
    }
    return naming.fallbackPrefix + std::to_string(number - 1);
}

}  // namespace kelvandor
