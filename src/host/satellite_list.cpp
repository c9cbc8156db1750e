// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/satellite_list.h"

#include <QComboBox>
#include <algorithm>

namespace kelvandor {

int clampedSatelliteCount(int count) {
    return std::clamp(count, 0, SatelliteCapacity);
}

void fillSatelliteList(QComboBox& list, const SatelliteTable& table, int count, int selected) {
    list.clear();
    const int n = clampedSatelliteCount(count);
    for (int k = 0; k < n; ++k) {
        list.addItem(QString::fromLatin1(table.records[static_cast<std::size_t>(k)].primary.name));
    }
    list.setCurrentIndex(selected >= 0 && selected < n ? selected : -1);
}

void selectSatelliteEntry(QComboBox& list, int satellite) {
    list.setCurrentIndex(satellite >= 0 && satellite < list.count() ? satellite : -1);
}

int selectedSatellite(const QComboBox& list) {
    const int index = list.currentIndex();
    return SatelliteTable::isSatelliteIndex(index) ? index : NoSatellite;
}

}  // namespace kelvandor
