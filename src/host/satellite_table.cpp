// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/satellite_table.h"

#include <algorithm>
#include <cstring>

#include "protocol/frame_codec.h"
#include "ui/lenient_numbers.h"

namespace kelvandor {

bool storeDefinition(SatelliteTable& table, bool secondary, const std::int32_t* params) {
    SatelliteRecord* record = table.at(params[0]);
    if (record == nullptr) {
        return false;
    }
    SatelliteDefinition& d = secondary ? record->secondary : record->primary;
    d.longitude = params[1] * 0.01;
    d.eastWest = params[2];
    for (std::size_t k = 0; k < d.nids.size(); ++k) {
        d.nids[k] = params[3 + k];
    }
    static_assert(NameCapacity > WireNameLength);
    unpackText(d.name, params + 7, 2);
    return true;
}

bool storeTracking(SatelliteTable& table, bool secondary, const std::int32_t* params) {
    SatelliteRecord* record = table.at(params[0]);
    if (record == nullptr) {
        return false;
    }
    TrackingBlock& block = secondary ? record->secondaryTracking : record->primaryTracking;
    for (std::size_t k = 0; k < block.values.size(); ++k) {
        block.values[k] = params[1 + k];
    }
    return true;
}

std::int32_t encodeLongitude(double degrees) {
    return ui::truncateToInt32(degrees * 100.0);
}

void encodeDefinition(std::int32_t* params, int index, double longitude, std::int32_t eastWest,
                      const std::array<std::int32_t, 4>& nids, const char* name) {
    params[0] = index;
    params[1] = encodeLongitude(longitude);
    params[2] = eastWest;
    std::copy(nids.begin(), nids.end(), params + 3);
    packWireName(name, params + 7);
}

void encodeTracking(std::int32_t* params, int index, const TrackingBlock& block) {
    params[0] = index;
    std::copy(block.values.begin(), block.values.end(), params + 1);
}

}  // namespace kelvandor
