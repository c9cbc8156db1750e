// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli rif: checks a default-set file with the controller's own reader and
// prints what it holds.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/cli_args.h"
#include "defaults/rif_reader.h"

namespace kelvandor::cli {

// rif FILE: reads FILE as the controller's Load Default does and prints a summary (the
// region, each satellite, the common fields, the seven product profiles) to `out`;
// ExitOk. A file the reader refuses or cannot open: the reason on `err`, ExitFailed. No
// file or more than one: a usage line on `err`, ExitUsage.
int runRif(const Args& args, std::ostream& out, std::ostream& err);

// Why the reader refused a file, in the words rif prints after the file's name.
std::string refusalReason(const RifReadResult& result);

}  // namespace kelvandor::cli
