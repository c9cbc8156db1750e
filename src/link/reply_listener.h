// SPDX-License-Identifier: GPL-3.0-or-later
// What the link driver calls for every decoded frame: the main window and each page.
#pragma once

#include <cstdint>

#include "protocol/command_table.h"

namespace kelvandor {

class ReplyListener {
  public:
    virtual ~ReplyListener() = default;
    // Called once per decoded frame. `params` holds at least MaxParams values; slots the
    // frame did not carry are 0.
    virtual void onReply(CommandId id, const std::int32_t* params) = 0;
};

}  // namespace kelvandor
