// SPDX-License-Identifier: GPL-3.0-or-later
// What a benchmark reads of its own process, or of a child process: resident memory and
// processor time.
#pragma once

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace kelvandor::bench {

// The resident set size of this process in KiB, from /proc; 0 when it cannot be read.
inline long residentKiB(const std::string& pid = "self") {
    std::ifstream status("/proc/" + pid + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// The processor time (user and system) process `pid` has used so far, in seconds; a
// negative value when it cannot be read.
inline double processorSeconds(const std::string& pid) {
    std::ifstream file("/proc/" + pid + "/stat");
    std::string stat;
    std::getline(file, stat);
    // The fields after the command name, which ends at the last ')': state, ppid, ...
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return -1.0;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string skipped;
    for (int k = 0; k < 11; ++k) {  // state .. cmajflt
        fields >> skipped;
    }
    long long user = 0;
    long long system = 0;
    if (!(fields >> user >> system)) {
        return -1.0;
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace kelvandor::bench
