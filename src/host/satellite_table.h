// SPDX-License-Identifier: GPL-3.0-or-later
// What the antenna stores about its satellites, as the main window keeps it for all
// pages, and the values that say which satellite is in use.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/frame_codec.h"

namespace kelvandor {

inline constexpr int SatelliteCapacity = 20;  // satellite indexes 0..19
inline constexpr int SlotCount = 5;           // Sat A, Sat B, Sat A DiSEqC, Sat B DiSEqC, Sat C
inline constexpr int NameCapacity = 20;       // 19 characters and a terminating zero
// currentSatellite and slotMap values that name no satellite.
inline constexpr int NoSatellite = -1;

// Transponders, in the order of NIDs, tracking values and bandState.
enum Transponder { VerticalLow = 0, HorizontalLow = 1, VerticalHigh = 2, HorizontalHigh = 3 };

struct SatelliteDefinition {
    double longitude = 0.0;     // decimal degrees
    std::int32_t eastWest = 0;  // 0 E, 1 W
    std::array<std::int32_t, 4> nids{};
    char name[NameCapacity] = "                   ";  // nineteen blanks until reported
};

// Ten values: frequencies (MHz) and symbol rates (kHz) of the four transponders, then
// verificationMode and polBandControl (pol + 4 * band).
struct TrackingBlock {
    std::array<std::int32_t, 10> values{};
};

struct SatelliteRecord {
    SatelliteDefinition primary;
    SatelliteDefinition secondary;
    TrackingBlock primaryTracking;
    TrackingBlock secondaryTracking;
};

struct SatelliteTable {
    std::array<SatelliteRecord, SatelliteCapacity> records{};

    // The record of `index`, or nullptr for an index that names no satellite.
    SatelliteRecord* at(int index) {
        return isSatelliteIndex(index) ? &records[static_cast<std::size_t>(index)] : nullptr;
    }
    const SatelliteRecord* at(int index) const {
        return isSatelliteIndex(index) ? &records[static_cast<std::size_t>(index)] : nullptr;
    }
    static bool isSatelliteIndex(int index) { return index >= 0 && index < SatelliteCapacity; }

    // Selection values, filled by the antenna's reports. Until then no satellite is in use.
    int satelliteCount = 0;
    std::array<int, SlotCount> slotMap{NoSatellite, NoSatellite, NoSatellite, NoSatellite,
                                       NoSatellite};
    int currentSlot = 0;
    int currentSatellite = NoSatellite;
    int bandState = 0;
};

// Stores a satellite definition received as NI / Nu parameters: index, longitude x 100,
// east/west flag, four NIDs, the name in two packed integers. An index outside 0..19
// changes nothing. Returns whether the record was stored.
bool storeDefinition(SatelliteTable& table, bool secondary, const std::int32_t* params);
// Stores a tracking block received as NT / NU parameters: index, ten values.
bool storeTracking(SatelliteTable& table, bool secondary, const std::int32_t* params);

// Parameter counts of the frames below.
inline constexpr int DefinitionParamCount = 9;  // EI, Eu
inline constexpr int TrackingParamCount = 11;   // ET, EU

// A longitude in decimal degrees as EI and Eu carry it: hundredths, cut toward zero and
// saturated to 32 bits; NaN gives 0. 101.0 gives 10100, 72.5 gives 7250, 19.2 gives 1920.
std::int32_t encodeLongitude(double degrees);

// Writes the EI / Eu parameters into `params` (DefinitionParamCount slots): index,
// encoded longitude, east/west flag, the four NIDs, the packed name.
void encodeDefinition(std::int32_t* params, int index, double longitude, std::int32_t eastWest,
                      const std::array<std::int32_t, 4>& nids, const char* name);
// Writes the ET / EU parameters into `params` (TrackingParamCount slots): index, the
// ten values of `block`.
void encodeTracking(std::int32_t* params, int index, const TrackingBlock& block);

}  // namespace kelvandor
