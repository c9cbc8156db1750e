// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the codec tests: frames written by hand with a correct checksum.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "protocol/frame_codec.h"

namespace kelvandor::testing {

// `body` runs from "{" through "}"; the checksum character is appended.
inline std::string withChecksum(const std::string& body) {
    return body + frameChecksum(body.data(), static_cast<int>(body.size()));
}

inline std::string encoded(CommandId id, const std::int32_t* params = nullptr) {
    char frame[FrameAreaSize];
    const int length = encodeFrame(frame, id, params);
    return std::string(frame, static_cast<std::size_t>(length));
}

// A slot value that no decoder writes by accident.
inline constexpr std::int32_t Untouched = std::numeric_limits<std::int32_t>::min() + 7;

}  // namespace kelvandor::testing
