// SPDX-License-Identifier: GPL-3.0-or-later
// COM port names on Linux. "COMn" resolves to a link or device named COMn in the port
// directory when one exists there, else to the n-th platform serial device
// (/dev/ttyS<n-1>). A COMn in the port directory may also be a small text file holding
// one network URL (tcp://HOST:PORT or rfc2217://HOST:PORT, see network_url.h): the name
// then resolves to that URL. Any other name is taken as a device path (or URL) as it
// stands.
#pragma once

#include <string>

namespace kelvandor {

struct ComPortNaming {
    // Where users (and kelvandor-sim) link their adapters as COM1, COM2, ...
    std::string portDir;
    // COMn falls back to fallbackPrefix + (n - 1).
    std::string fallbackPrefix = "/dev/ttyS";
    // The port chosen on a command line (kelvandor-controller --port): the COM number the
    // automatic connection tries alone (0: COM2..COM9 in turn) and, when the name given was
    // a device path or URL, where that COM number leads instead of its usual place.
    int startNumber = 0;
    std::string startTarget;
    // The highest COM number a start port may name directly (the page's COM1..COM8).
    static constexpr int MaxStartNumber = 8;

    // This naming with `name` (COMn, a device path or a URL) as the start port: COMn is
    // tried alone; anything else is reached as COM2.
    ComPortNaming withStartPort(const std::string& name) const;

    // $KELVANDOR_PORT_DIR when set, else ~/.config/kelvandor/ports; fallback /dev/ttyS.
    static ComPortNaming fromEnvironment();
    // Only the links in `dir`: the platform serial devices are out of reach (tests, the
    // screenshot tool and benchmarks, which must never open a real port by accident).
    static ComPortNaming linksOnlyIn(const std::string& dir);
};

// The device path (or network URL) for `name` under `naming`.
std::string resolveComPort(const std::string& name, const ComPortNaming& naming);

// The number n of a name "COMn" (n >= 1, no sign or leading zero), 0 for any other name.
int comPortNumber(const std::string& name);

}  // namespace kelvandor
