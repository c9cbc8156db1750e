// SPDX-License-Identifier: GPL-3.0-or-later
// What a link driver reports of its traffic to one observer (the traffic log): every frame
// it sends, every frame it decodes and every chunk that failed to decode. The calls come
// on the driver's thread, in the order of the line, and must return quickly.
#pragma once

#include <cstdint>

#include "protocol/command_table.h"

namespace kelvandor {

class LinkObserver {
  public:
    virtual ~LinkObserver() = default;

    // A frame of `id` was encoded; `written` says whether the port took all of its bytes
    // (false with no port or a closed one). `params` holds the command's parameters, or is
    // null for a command that has none.
    virtual void onFrameSent(CommandId id, const std::int32_t* params, bool written) = 0;

    // A frame of `id` was decoded, before any listener sees it. `params` holds at least
    // the command's parameters.
    virtual void onFrameReceived(CommandId id, const std::int32_t* params) = 0;

    // A chunk cut from the received bytes failed to decode with `status` (a negative
    // FrameStatus); `bytes` are its `length` bytes as they arrived.
    virtual void onChunkFailed(int status, const char* bytes, int length) = 0;
};

}  // namespace kelvandor
