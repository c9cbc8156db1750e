// SPDX-License-Identifier: GPL-3.0-or-later
// The table a simulated unit leaves the factory with: thirteen European satellites as
// an installer in Hamburg would store them.
#include <array>

#include "protocol/frame_codec.h"
#include "sim/pointing_model.h"
#include "sim/unit_state.h"

namespace kelvandor::sim {

namespace {

struct FactorySatellite {
    const char* name;        // at most 8 characters travel
    std::int32_t longitude;  // hundredths of a degree
    std::int32_t west;       // 0 east, 1 west
    std::array<std::int32_t, TransponderCount> nids;
    std::array<std::int32_t, TransponderCount> frequencies;  // MHz, transponder order
    std::array<std::int32_t, TransponderCount> symbolRates;  // kHz
    std::int32_t skewAdjust;                                 // tenths of a degree
};

// clang-format off
constexpr std::array<FactorySatellite, DefaultSatelliteCount> FactorySatellites = {{
    {"ASTRA1",   1920, 0, {0x0001, 0x0085, 0x03EF, 0x0442}, {11494, 11836, 12188, 12603}, {22000, 27500, 27500, 22000},  15},
    {"HOTBIRD",  1300, 0, {0x013E, 0x0200, 0x1A2C, 0x3E80}, {11054, 11373, 12111, 12520}, {27500, 27500, 27500, 29900}, -10},
    {"ASTRA2",   2820, 0, {0x0002, 0x07D2, 0x0BB8, 0x0FA0}, {10773, 11224, 11954, 12422}, {22000, 27500, 27500, 27500},   0},
    {"EUTEL9B",   900, 0, {0x0064, 0x0136, 0x01F4, 0x2710}, {11219, 11334, 11900, 12015}, {27500, 27500, 29900, 27500},   0},
    {"ASTRA3",   2350, 0, {0x0003, 0x0C1C, 0x0C80, 0x0CE4}, {11739, 11856, 12070, 12525}, {27500, 29900, 27500, 27500},   5},
    {"THOR",       80, 1, {0x0046, 0x0047, 0x0048, 0x0049}, {10872, 11325, 12054, 12380}, {25000, 24500, 28000, 28000},   0},
    {"HISPASAT", 3000, 1, {0x0031, 0x0032, 0x0424, 0x0425}, {11471, 11811, 12092, 12522}, {27500, 27500, 27500, 30000},  -5},
    {"TURKSAT",  4200, 0, {0x0028, 0x0029, 0x002A, 0x002B}, {11054, 11794, 12015, 12605}, {30000, 30000, 27500, 30000},   0},
    {"BADR",     2600, 0, {0x0258, 0x0259, 0x025A, 0x025B}, {11843, 11919, 12073, 12188}, {27500, 27500, 27500, 27500},   0},
    {"EUTEL7",    700, 0, {0x0150, 0x0151, 0x0152, 0x0153}, {10721, 11492, 11596, 12520}, {22000, 30000, 30000, 22000},   0},
    {"AMOS",      400, 1, {0x0401, 0x0402, 0x0403, 0x0404}, {10722, 11139, 11732, 12130}, {27500, 27500, 27500, 30000},   0},
    {"EUTEL16",  1600, 0, {0x0190, 0x0191, 0x0192, 0x0193}, {10721, 11011, 11512, 12652}, {27500, 30000, 30000, 27500},   0},
    {"YAMAL",    4900, 0, {0x0310, 0x0311, 0x0312, 0x0313}, {10973, 11265, 11591, 12640}, {27500, 27500, 27500, 22000},   0},
}};
// clang-format on

constexpr std::int32_t DvbDecode = 2;       // verification mode
constexpr std::int32_t AutoPolAndBand = 0;  // pol 0 + 4 x band 0

// Hamburg: 9 deg 59 min E, 53 deg 33 min N.
constexpr std::array<std::int32_t, 4> FactoryGps = {959, 0, 5333, 3};
constexpr std::array<std::int32_t, 2> UniversalLnb = {9750, 10600};
// Sat A ASTRA1, Sat B HOTBIRD, the same two with DiSEqC, Sat C ASTRA2.
constexpr std::array<std::int32_t, SlotCount> FactorySlots = {0, 1, 0, 1, 2};
constexpr std::array<std::int32_t, 3> FactoryScanParams = {-5, 12, 30};
constexpr std::array<std::int32_t, 7> FactoryControlParams = {20, 150, 10, 5, 3, 105, 40};
constexpr std::array<std::int32_t, 3> FactoryAntennaParams = {0, 15, 8};
constexpr std::array<std::int32_t, 3> FactoryFlags = {0, 1, 0};

SatelliteBlock blockOf(const FactorySatellite& satellite, const char* name) {
    SatelliteBlock block{};
    block[BlockLongitude] = satellite.longitude;
    block[BlockWestFlag] = satellite.west;
    for (int k = 0; k < TransponderCount; ++k) {
        block[static_cast<std::size_t>(BlockFirstNid + k)] =
            satellite.nids[static_cast<std::size_t>(k)];
    }
    packText(name, &block[BlockName]);
    return block;
}

TrackingBlock trackingOf(const FactorySatellite& satellite) {
    TrackingBlock block{};
    for (std::size_t k = 0; k < TransponderCount; ++k) {
        block[k] = satellite.frequencies[k];
        block[k + TransponderCount] = satellite.symbolRates[k];
    }
    block[2 * TransponderCount] = DvbDecode;
    block[2 * TransponderCount + 1] = AutoPolAndBand;
    return block;
}

}  // namespace

UnitState factoryState() {
    UnitState state;
    for (std::size_t i = 0; i < FactorySatellites.size(); ++i) {
        const FactorySatellite& own = FactorySatellites[i];
        // The secondary definition is the neighbour that shares the slot in DiSEqC
        // "Change Satellite" mode; it keeps the primary's name.
        const FactorySatellite& partner = FactorySatellites[(i + 1) % FactorySatellites.size()];
        SatelliteEntry& entry = state.satellites[i];
        entry.primary = blockOf(own, own.name);
        entry.secondary = blockOf(partner, own.name);
        entry.primaryTracking = trackingOf(own);
        entry.secondaryTracking = trackingOf(partner);
        entry.skewAdjust = own.skewAdjust;
    }
    state.satelliteCount = DefaultSatelliteCount;
    state.slotMap = FactorySlots;
    state.lnb = UniversalLnb;
    state.gps = FactoryGps;
    state.scanParams = FactoryScanParams;
    state.controlParams = FactoryControlParams;
    state.antennaParams = FactoryAntennaParams;
    state.flags = FactoryFlags;
    const Pointing pointing = pointingFor(state, currentSatellite(state));
    state.azimuth = pointing.azimuth;
    state.elevation = pointing.elevation;
    state.skew = pointing.skew;
    return state;
}

int currentSatellite(const UnitState& state) {
    if (state.currentSlot < 0 || state.currentSlot >= SlotCount) {
        return -1;
    }
    const std::int32_t index = state.slotMap[static_cast<std::size_t>(state.currentSlot)];
    return index >= 0 && index < MaxSatellites ? index : -1;
}

std::string satelliteName(const UnitState& state, int index) {
    if (index < 0 || index >= MaxSatellites) {
        return {};
    }
    char text[2 * 4 + 1];
    unpackText(text, &state.satellites[static_cast<std::size_t>(index)].primary[BlockName], 2);
    return text;
}

}  // namespace kelvandor::sim
