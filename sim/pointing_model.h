// SPDX-License-Identifier: GPL-3.0-or-later
// Where a unit's antenna points for a satellite: azimuth, elevation and feed skew from
// the unit's GPS position. A plain spherical model, good enough for believable reports.
#pragma once

#include <cstdint>

#include "sim/unit_state.h"

namespace kelvandor::sim {

struct Pointing {
    std::int32_t azimuth = 0;    // hundredths of a degree, 0..36000 from north
    std::int32_t elevation = 0;  // hundredths of a degree, 0..9000
    std::int32_t skew = 0;       // hundredths of a degree, -9000..9000
};

// The pointing for satellite `index` of `state` from its GPS position, or the antenna's
// present pointing when `index` names no stored satellite.
Pointing pointingFor(const UnitState& state, int index);

}  // namespace kelvandor::sim
