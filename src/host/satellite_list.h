// SPDX-License-Identifier: GPL-3.0-or-later
// The satellite drop-down lists of the pages: filled from the main window's satellite
// table, never beyond its 20 entries, whatever count the antenna reported.
#pragma once

#include "host/satellite_table.h"

class QComboBox;

namespace kelvandor {

// `count` as an index bound of the table: 0..20.
int clampedSatelliteCount(int count);

// Empties `list` and inserts the primary names of satellites 0 .. count - 1 in index
// order (count clamped to 0..20), then selects entry `selected`, or none when `selected`
// names no entry. Names are shown as they came from the antenna, as plain text.
void fillSatelliteList(QComboBox& list, const SatelliteTable& table, int count, int selected);

// Selects entry `satellite` of `list`, or none when the list has no such entry.
void selectSatelliteEntry(QComboBox& list, int satellite);

// The selected entry of `list` as a satellite index, or NoSatellite when nothing is
// selected or the entry names no satellite of the table.
int selectedSatellite(const QComboBox& list);

}  // namespace kelvandor
