// SPDX-License-Identifier: GPL-3.0-or-later
// A unit's state as one JSON object, with the field names a status query prints:
// "port", "answered", "state", "signal", "pointing", "product", "versions",
// "serialNumber", "gps", "lnb", "trackedSatellite", "satellites". A part the unit has not
// reported is null (the satellite table: an empty array). Texts from the line go through
// textFromBytes, so any byte the unit sends stays a valid character.
#pragma once

#include <QJsonObject>
#include <QString>
#include <string>

#include "unit/unit_state.h"

namespace kelvandor {

QJsonObject unitStateJson(const unit::UnitState& state, const QString& port);

// Bytes from the line, a file or the command line as text: each well-formed UTF-8
// sequence as the character it encodes, and every other byte as the Latin-1 character it
// stands for, so the result never holds a replacement character and nothing is lost.
QString textFromBytes(const std::string& bytes);

}  // namespace kelvandor
