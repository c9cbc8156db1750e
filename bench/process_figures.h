// SPDX-License-Identifier: GPL-3.0-or-later
// What a benchmark reads of its own process: its resident memory.
#pragma once

#include <fstream>
#include <string>

namespace kelvandor::bench {

// The resident set size of this process in KiB, from /proc; 0 when it cannot be read.
inline long residentKiB() {
    std::ifstream status("/proc/self/status");
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

}  // namespace kelvandor::bench
