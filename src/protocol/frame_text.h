// SPDX-License-Identifier: GPL-3.0-or-later
// Frames as one line of text, the format kelvandor-cli decode prints, the simulator logs
// and tests compare: the mnemonic and exactly the table's count of parameters, separated
// by single blanks ("MO 1234 -56"). For the tools and tests, not the receive path.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/command_table.h"

namespace kelvandor {

// The line of a decoded frame of valid `id`; `params` holds at least paramCount values.
std::string frameLine(CommandId id, const std::int32_t* params);

// The line of one cut chunk: frameLine on FrameOk, else "error CODE" ("error -4").
std::string chunkLine(int status, CommandId id, const std::int32_t* params);

}  // namespace kelvandor
