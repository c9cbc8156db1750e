// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli angles: the pointing angles for a satellite from a position.
#pragma once

#include <iosfwd>

#include "cli/cli_args.h"

namespace kelvandor::cli {

// angles --sat LON{E|W} --lon DDD.MM{E|W} --lat DD.MM{N|S}: prints one line, azimuth,
// elevation and skew, each "%.2f", separated by single blanks ("202.30 44.25 17.45").
// The satellite longitude is in decimal degrees (0..180), the antenna position in
// degrees and minutes (longitude up to 180.00, latitude up to 90.00, minutes 00..59).
// A missing, repeated-without-value, malformed or out-of-range argument, or any other
// argument: one line on `err`, ExitUsage, nothing on `out`.
int runAngles(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace kelvandor::cli
