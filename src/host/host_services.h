// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window offers its pages: the one send operation, the link driver, and
// the shared state that the main window keeps from the antenna's reports.
#pragma once

#include <cstdint>

#include "host/shell_model.h"
#include "protocol/command_table.h"

namespace kelvandor {

class LinkDriver;

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
