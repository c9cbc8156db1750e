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
// be opened, the unit does not answer, or it is not in set-up mode; for write-default
// also a run that sent nothing, for status a picture the unit did not complete.
inline constexpr int ExitUnit = 3;
// write-default interrupted (Ctrl-C) before anything was sent: 128 + SIGINT, as a shell
// reports a program that SIGINT ended.
inline constexpr int ExitInterrupted = 130;
inline constexpr const char* DefaultUnitPort = "COM2";

// Whether standard input and output are terminals (a person is there to answer and watch).
struct Console {
    bool inputIsTerminal = false;
    bool outputIsTerminal = false;
    // Set while a question waits for its answer: the program's interrupt handler then
    // ends the program at once (a blocking read of the answer would not see a flag).
    std::atomic<bool>* asking = nullptr;
};

// write-default FILE [--port NAME] [--size N] [--yes]: reads the default set FILE (a
// refused file: the reason on `err`, ExitUsage, nothing sent), asks the unit for its state
// and product size (--size, an index 0..6 or a name such as T6, replaces the reported
// size), requires set-up mode, asks for a yes on `in` unless --yes is given (without
// --yes, input that is no terminal is refused), then runs Update Default's steps. Progress
// goes to `out`: one line that is rewritten on a terminal, else one line per step; the run
// ends with a summary (steps answered, steps missing by name, time taken; for a run that
// ended early the last step sent and the steps not sent). A frame that cannot be written
// whole, or a line that hangs up, ends the run at once. Returns ExitOk when every awaited
// step was answered, ExitFailed when some were not, `stop` ended the run after the step
// under way, or the run ended early after sending something, ExitUnit when it sent
// nothing, the port cannot be opened or the unit is silent or not in set-up mode, and
// ExitInterrupted when `stop` came before anything was sent.
int runWriteDefault(const Args& args, std::istream& in, std::ostream& out, std::ostream& err,
                    const Console& console, const std::atomic<bool>& stop);

// status [--port NAME] [--json] [--wait MS]: sends QS and QI, collects the replies until
// the line has been quiet for a moment or MS milliseconds (default 5000) have passed, and
// prints the unit's state, signal level and lock, pointing, product, versions, GPS
// position, tracked satellite and satellite table; with --json one JSON object (UTF-8,
// with "complete" saying whether every part came). A picture that is not complete (the
// line hung up, the unit fell quiet, the wait ran out) is said in the output. Returns
// ExitOk when the picture is complete, ExitUnit when it is not, the unit did not answer
// or the port cannot be opened.
int runStatus(const Args& args, std::ostream& out, std::ostream& err,
              const std::atomic<bool>& stop);

}  // namespace kelvandor::cli
