// SPDX-License-Identifier: GPL-3.0-or-later
// A unit's state as one JSON object, with the field names a status query prints:
// "port", "answered", "state", "signal", "pointing", "product", "versions",
// "serialNumber", "gps", "lnb", "trackedSatellite", "satellites". A part the unit has not
// reported is null (the satellite table: an empty array). Texts from the line are taken
// as Latin-1, so any byte the unit sends stays a valid character.
#pragma once

#include <QJsonObject>
#include <QString>

#include "unit/unit_state.h"

namespace kelvandor {

QJsonObject unitStateJson(const unit::UnitState& state, const QString& port);

}  // namespace kelvandor
