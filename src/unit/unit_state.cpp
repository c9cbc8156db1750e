// SPDX-License-Identifier: GPL-3.0-or-later
#include "unit/unit_state.h"

#include <algorithm>

#include "protocol/frame_codec.h"
#include "protocol/unit_reports.h"

namespace kelvandor::unit {

namespace {

// Characters of the satellite name in NI, packed in its last two parameters.
constexpr int SatelliteNameInts = 2;
constexpr int SatelliteNameAt = 7;
constexpr std::int32_t LnbKindBands = 0;
// The subject of TC that carries the Comm indicator.
constexpr std::int32_t CommSubject = 11;

std::string unpacked(const std::int32_t* p, int count) {
    char text[4 * ProductNameInts + 1];  // the longest packed text a report carries
    unpackText(text, p, std::min(count, ProductNameInts));
    return text;
}

}  // namespace

long long StatusReport::signalLevel() const {
    return signalLevelOf(rawLevel);
}

std::optional<int> UnitState::productSize() const {
    if (!versions) {
        return std::nullopt;
    }
    return productSizeOf(versions->sizeCode);
}

std::optional<std::int32_t> UnitState::trackedSatellite() const {
    if (!slotTable || !currentSlot || *currentSlot < 0 ||
        *currentSlot >= static_cast<std::int32_t>(slotTable->size())) {
        return std::nullopt;
    }
    return (*slotTable)[static_cast<std::size_t>(*currentSlot)];
}

bool UnitState::complete() const {
    return state && status && productName && versions && gps && slotTable && currentSlot &&
           satelliteCount &&
           static_cast<std::int32_t>(satellites.size()) >=
               std::min<std::int32_t>(*satelliteCount, MaxSatellites);
}

void UnitModel::takeFrame(CommandId id, const std::int32_t* p, WallClock::time_point now) {
    ++framesReceived_;
    lastReport_ = now;
    UnitState& u = state_;
    switch (id) {
        case cmd::NA:
            u.answered = true;
            u.state = p[0];
            break;
        case cmd::Ni:
            u.answered = true;
            u.state = p[0];
            u.status = StatusReport{p[0], p[1], p[2], p[3], p[4], p[5]};
            break;
        case cmd::Nn:
            u.productName = unpacked(p, ProductNameInts);
            break;
        case cmd::NW:
            u.versions = Versions{p[0], p[1], p[2]};
            break;
        case cmd::EN:
            u.serialNumber = unpacked(p, SerialNumberInts);
            break;
        case cmd::NG:
            u.gps = GpsPosition{p[0], p[1], p[2], p[3]};
            break;
        case cmd::NL:
            if (p[2] == LnbKindBands) {
                u.lnb = LnbFrequencies{p[0], p[1]};
            } else {
                u.frequencyInUse = p[0];
            }
            break;
        case cmd::NN:
            u.satelliteCount = p[0];
            break;
        case cmd::NI:
            // A table holds satellites 0..19; an index outside it is no satellite of it,
            // and keeping it would let a faulty line grow the table without bound.
            if (p[0] >= 0 && p[0] < MaxSatellites) {
                u.satellites[p[0]] = {unpacked(p + SatelliteNameAt, SatelliteNameInts), p[1], p[2]};
            }
            break;
        case cmd::NP:
            u.slotTable = SlotTable{p[0], p[1], p[2], p[3], p[4]};
            break;
        case cmd::NS:
            u.currentSlot = p[0];
            break;
        case cmd::TC:
            // Only the Comm subject's on (1) and off (0) say what the indicator shows.
            if (p[0] == CommSubject && (p[1] == 0 || p[1] == 1)) {
                u.comm = p[1] == 1;
            }
            break;
        default:
            break;
    }
}

}  // namespace kelvandor::unit
