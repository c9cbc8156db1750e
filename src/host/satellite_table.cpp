#include "host/satellite_table.h"

#include "protocol/frame_codec.h"

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

}  // namespace kelvandor
