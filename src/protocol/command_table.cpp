// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/command_table.h"

namespace kelvandor {

CommandId findCommand(char first, char second) {
    for (CommandId id = 0; id < CommandCount; ++id) {
        const CommandEntry& e = CommandTable[static_cast<std::size_t>(id)];
        if (e.first == first && e.second == second) {
            return id;
        }
    }
    return -1;
}

}  // namespace kelvandor
