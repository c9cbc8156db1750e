// SPDX-License-Identifier: GPL-3.0-or-later
// A unit's signal history, fed from its reports by the rules the window's sky view keeps:
// Ni, NV and Nv each add a sample (Ni with the state and the pointing it carries, NV with
// the level alone, Nv with the level and the lock); NA changes the state and AP the
// pointing that the next sample carries; a sample without a lock flag keeps the last one.
// Pure C++; the caller gives each report's monotonic and wall-clock times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/command_table.h"
#include "unit/signal_history.h"

namespace kelvandor::agent {

// The antenna's pointing as Ni or AP reported it last, in hundredths of a degree.
struct AntennaPointing {
    std::int32_t azimuth = 0;
    std::int32_t elevation = 0;
};

class SignalRecorder {
  public:
    explicit SignalRecorder(std::size_t capacity = SignalHistory::DefaultCapacity);

    // Takes one decoded frame from the unit (`params` holds paramCount(id) values),
    // received at `steadyMs` on a monotonic clock and `wallMs` since the epoch. True when
    // it added a sample to the history.
    bool takeFrame(CommandId id, const std::int32_t* params, std::int64_t steadyMs,
                   std::int64_t wallMs);

    const SignalHistory& history() const { return history_; }
    // Empty until Ni or AP has said where the antenna points.
    std::optional<AntennaPointing> pointing() const;

  private:
    void addLevel(std::int32_t raw, std::optional<std::int32_t> lock, std::int64_t steadyMs,
                  std::int64_t wallMs);

    SignalHistory history_;
    // The last values the reports carried; level-only reports take the rest from here.
    std::int32_t state_ = -1;
    std::uint8_t lock_ = 0;
    std::int32_t azimuth_ = 0;
    std::int32_t elevation_ = 0;
    std::int32_t skew_ = 0;
    bool hasPointing_ = false;
};

}  // namespace kelvandor::agent
