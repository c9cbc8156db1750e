// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli encode / decode: frames to and from raw bytes.
#pragma once

#include <iosfwd>

#include "cli/cli_args.h"
#include "protocol/frame_codec.h"

namespace kelvandor::cli {

// encode MNEMONIC [PARAM...]: writes the exact frame bytes to `out`, nothing else.
// An unknown mnemonic, a wrong parameter count or a parameter that is not a 32-bit
// integer: one line on `err`, ExitUsage, nothing on `out`.
int runEncode(const Args& args, std::ostream& out, std::ostream& err);

// Checks MNEMONIC [PARAM...] and encodes the frame into `frame` (FrameAreaSize bytes).
// Returns the frame length, or 0 after one line on `err` naming `command` when the
// mnemonic is unknown, the count is wrong or a parameter is not a 32-bit integer.
int buildFrame(const Args& args, const char* command, char* frame, std::ostream& err);

// decode [--chunk N]: reads raw bytes from `in`, feeds them to a receive buffer N bytes
// at a time (default 64, 1..239) and prints one line per decoded frame ("MNEMONIC p0
// p1 ...", exactly the table's count of parameters) or per failed chunk ("error -4").
int runDecode(const Args& args, std::istream& in, std::ostream& out, std::ostream& err);

// Prints one decoded frame in the line format of decode: the mnemonic, then exactly
// the table's count of parameters, separated by single blanks, then a line end.
void printFrameLine(std::ostream& out, CommandId id, const std::int32_t* params);

// Drains every frame that `buffer` holds, printing each as decode does. Stops at -1 or
// -2; a failed chunk prints "error CODE" and the draining goes on.
void drainFrames(ReceiveBuffer& buffer, FrameScratch& scratch, std::ostream& out);

}  // namespace kelvandor::cli
