// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/frame_text.h"

#include "protocol/frame_codec.h"

namespace kelvandor {

std::string frameLine(CommandId id, const std::int32_t* params) {
    const CommandEntry& entry = CommandTable[static_cast<std::size_t>(id)];
    std::string line{entry.first, entry.second};
    for (int k = 0; k < entry.paramCount; ++k) {
        line += ' ';
        line += std::to_string(params[k]);
    }
    return line;
}

std::string chunkLine(int status, CommandId id, const std::int32_t* params) {
    return status == FrameOk ? frameLine(id, params) : "error " + std::to_string(status);
}

}  // namespace kelvandor
