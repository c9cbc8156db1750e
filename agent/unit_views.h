// SPDX-License-Identifier: GPL-3.0-or-later
// What the HTTP API and the live stream show of a unit, rendered from its model and its
// signal history: the full state, the summary of the unit list, the history as JSON and
// as the window's CSV, and the sky seen from the unit's GPS position, computed with the
// window's own sky geometry so the browser and the window cannot disagree.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

#include "unit/signal_history.h"
#include "unit/unit_state.h"

namespace kelvandor::agent {

// The antenna's pointing as Ni or AP reported it last, in hundredths of a degree.
struct AntennaPointing {
    std::int32_t azimuth = 0;
    std::int32_t elevation = 0;
};

class UnitLink;

// The unit's state (unitStateJson) with "name", "connected" and "lastReport" (null before
// the first frame).
QJsonObject unitJson(const UnitLink& link);
// One row of the unit list: "name", "port", "connected", "lastReport", "stateName" and
// "signal" {"level", "locked"}, each null until reported.
QJsonObject unitSummaryJson(const UnitLink& link);

// One sample: "time", "level", "lock" (0/1), "state", and "azimuth", "elevation" and
// "skew" in degrees.
QJsonObject sampleJson(const SignalSample& sample);
// {"samples": [...]}: the samples of `history` whose monotonic time is at or after
// `sinceSteadyMs`, oldest first. With `maxSamples` (0: no limit) and more samples than
// that, the span is cut into maxSamples / 2 stretches and each gives its lowest and its
// highest level (in their order), and the newest sample always comes: a chart of at most
// that many points shows the same minimum, maximum, peak and current value.
QByteArray historyJson(const SignalHistory& history, std::int64_t sinceSteadyMs,
                       std::size_t maxSamples = 0);
// The same samples as the window's CSV.
QByteArray historyCsv(const SignalHistory& history, std::int64_t sinceSteadyMs);

// {"position", "arc", "satellites", "antenna"}: the geostationary arc above the horizon
// and each satellite of the unit's table (those below NN's count) from the unit's GPS
// position, with the one the slot in use names marked as tracked; "position" and
// "antenna" are null and the lists empty while the unit has not said them.
QJsonObject skyJson(const unit::UnitState& state, const std::optional<AntennaPointing>& antenna);

}  // namespace kelvandor::agent
