// SPDX-License-Identifier: GPL-3.0-or-later
// COM port names on Linux. "COMn" resolves to a link or device named COMn in the port
// directory when one exists there, else to the n-th platform serial device
// (/dev/ttyS<n-1>). Any other name is taken as a device path as it stands.
#pragma once

#include <string>

namespace kelvandor {

struct ComPortNaming {
    // Where users (and kelvandor-sim) link their adapters as COM1, COM2, ...
    std::string portDir;
    // COMn falls back to fallbackPrefix + (n - 1).
    std::string fallbackPrefix = "/dev/ttyS";

    // $KELVANDOR_PORT_DIR when set, else ~/.config/kelvandor/ports; fallback /dev/ttyS.
    static ComPortNaming fromEnvironment();
    // Only the links in `dir`: the platform serial devices are out of reach (tests, the
    // screenshot tool and benchmarks, which must never open a real port by accident).
    static ComPortNaming linksOnlyIn(const std::string& dir);
};

// The device path for `name` under `naming`.
std::string resolveComPort(const std::string& name, const ComPortNaming& naming);

}  // namespace kelvandor
