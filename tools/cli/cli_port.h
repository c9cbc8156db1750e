// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli send / monitor: talk to the antenna (or kelvandor-sim) over a serial port.
#pragma once

#include <atomic>
#include <iosfwd>

#include "cli/cli_args.h"
#include "link/serial_port.h"

namespace kelvandor::cli {

inline constexpr int DefaultWaitMs = 500;
inline constexpr int LineBaud = 19200;

// send --port PORT MNEMONIC [PARAM...] [--wait MS]: opens PORT ("COMn", a device path or a URL)
// at 19200 baud, discards what was pending, writes the frame, then prints every frame
// received within MS milliseconds (default 500) in the decode line format ("error CODE"
// for a chunk that does not decode). Ends early when `stop` becomes true. A wrong command
// line is ExitUsage; a port that cannot be opened or written, or that hangs up, is one
// line on `err` and ExitFailed.
int runSend(const Args& args, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop);

// monitor --port PORT: prints every frame received until `stop` becomes true (ExitOk) or
// the line hangs up (one line on `err`, ExitFailed).
int runMonitor(const Args& args, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& stop);

// One line on `err` saying why `port` could not open `name`: missing or busy, not
// permitted (naming the dialout group), or not a serial device.
void explainOpenFailure(const SerialPort& port, const std::string& name, const char* command,
                        std::ostream& err);

}  // namespace kelvandor::cli
