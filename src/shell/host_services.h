// What the main window offers its pages: the one send operation, the link driver, and
// the shared state that the main window keeps from the antenna's reports.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocol/command_table.h"
#include "shell/satellite_table.h"

namespace kelvandor {

class LinkDriver;

inline constexpr int SkewAdjustCount = 13;

// State the main window keeps for all windows. The status panel fills it from the
// antenna's reports; pages read it in the same dispatch, after the main window.
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

class HostServices {
  public:
    // Encodes and writes one frame; nothing is reported (see LinkDriver::sendCommand).
    virtual void sendCommand(CommandId id, const std::int32_t* params) = 0;
    virtual LinkDriver& link() = 0;
    virtual ShellModel& model() = 0;

  protected:
    ~HostServices() = default;
};

}  // namespace kelvandor
