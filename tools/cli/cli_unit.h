// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli write-default and status: the two things a script or a production line
// does with a unit without the window. Both open the unit's port (a COM name or a device
// path; COM2 when none is given), ask what Get Antenna Information asks, and read the
// replies with the controller's own codec.
#pragma once

#include <atomic>
#include <iosfwd>

#include "cli/cli_args.h"

namespace kelvandor::cli {

// Exit statuses of write-default and status beyond those of cli_args.h: the port cannot
// be opened, the unit does not answer, or it is not in set-up mode.
inline constexpr int ExitUnit = 3;
inline constexpr const char* DefaultUnitPort = "COM2";

// Whether standard input and output are terminals (a person is there to answer and watch).
struct Console {
    bool inputIsTerminal = false;
    bool outputIsTerminal = false;
};

// write-default FILE [--port NAME] [--size N] [--yes]: reads the default set FILE (a
// refused file: the reason on `err`, ExitUsage, nothing sent), asks the unit for its state
// and product size (--size, an index 0..6 or a name such as T6, replaces the reported
// size), requires set-up mode, asks for a yes on `in` unless --yes is given (without
// --yes, input that is no terminal is refused), then runs Update Default's steps. Progress
// goes to `out`: one line that is rewritten on a terminal, else one line per step; the run
// ends with a summary (steps answered, steps missing by name, time taken). Returns ExitOk
// when every awaited step was answered, ExitFailed when some were not or `stop` ended the
// run after the step under way, ExitUnit when the port cannot be opened or the unit is
// silent or not in set-up mode.
int runWriteDefault(const Args& args, std::istream& in, std::ostream& out, std::ostream& err,
                    const Console& console, const std::atomic<bool>& stop);

// status [--port NAME] [--json] [--wait MS]: sends QS and QI, collects the replies until
// the line has been quiet for a moment or MS milliseconds (default 5000) have passed, and
// prints the unit's state, signal level and lock, pointing, product, versions, GPS
// position, tracked satellite and satellite table; with --json one JSON object. Returns
// ExitOk when the unit answered, ExitUnit when it did not or the port cannot be opened.
int runStatus(const Args& args, std::ostream& out, std::ostream& err,
              const std::atomic<bool>& stop);

}  // namespace kelvandor::cli
