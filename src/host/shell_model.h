// SPDX-License-Identifier: GPL-3.0-or-later
// The state the main window keeps for all windows. The status panel fills it from the
// antenna's reports; pages read it in the same dispatch, after the main window.
#pragma once

#include <array>
#include <string>

#include "host/satellite_table.h"

namespace kelvandor {

inline constexpr int SkewAdjustCount = 13;

struct ShellModel {
    SatelliteTable satellites;
    int antennaState = -1;  // last NA state; 0 is set-up mode
    int commIndicator = 1;  // last TC 11 value
    int productSize = -1;   // product-size index 0..6; -1 none known
    int regionVersion = 0;  // of the loaded default set, in hundredths
    std::string regionName;
    std::string rifPath;
    std::array<int, SkewAdjustCount> skewAdjust{};
};

}  // namespace kelvandor
