// SPDX-License-Identifier: GPL-3.0-or-later
// What some of the antenna's reports mean, shared by the controller's window and
// kelvandor-cli: the product size in NW, the signal level in Ni / NV / Nv, the state in
// NA / Ni.
#pragma once

#include <cstdint>

namespace kelvandor {

// Characters of the product name (Nn) and the serial number (EN), packed.
inline constexpr int ProductNameInts = 5;
inline constexpr int SerialNumberInts = 3;

// The product-size index (0..6, T4 T6 T3 T1 T9 T2 T6R) of NW's product-size code: codes
// 9..15 stand for 0..6, 16 and above for 0; anything lower is taken as it is (and may be
// no index at all).
int productSizeOf(std::int32_t code);

// The signal level the window shows: the antenna reports 800 minus the level. In 64 bits,
// so a raw value near the 32-bit limits cannot overflow.
long long signalLevelOf(std::int32_t raw);

// The antenna state of NA / Ni in words: "set-up", "search", "tracking", "unwrap",
// "initialise", "sleep", or "unknown".
const char* antennaStateName(std::int32_t state);

}  // namespace kelvandor
