// SPDX-License-Identifier: GPL-3.0-or-later
// What the simulated antenna control unit stores and where its antenna points. The
// arrays hold the values in exactly the order of the frames that set and report them,
// so an echo is the stored array as it stands.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kelvandor::sim {

inline constexpr int MaxSatellites = 20;  // table rows the unit has room for
inline constexpr int DefaultSatelliteCount = 13;
inline constexpr int SlotCount = 5;
inline constexpr int TransponderCount = 4;

// Antenna states as NA and Ni report them.
enum AntennaStateCode : std::int32_t {
    StateSetup = 0,
    StateSearch = 1,
    StateTracking = 2,
    StateUnwrap = 3,
    StateInitialise = 4,
};

// One satellite, as EI/NI (primary), Eu/Nu (secondary), ET/NT and EU/NU carry it, less
// the leading index: longitude x 100, east/west flag, four NIDs, name in two packed ints.
using SatelliteBlock = std::array<std::int32_t, 8>;
// Four frequencies (MHz), four symbol rates (kHz), verification mode, pol + 4 x band.
using TrackingBlock = std::array<std::int32_t, 10>;

inline constexpr int BlockLongitude = 0;
inline constexpr int BlockWestFlag = 1;
inline constexpr int BlockFirstNid = 2;
inline constexpr int BlockName = 6;

struct SatelliteEntry {
    SatelliteBlock primary{};
    SatelliteBlock secondary{};
    TrackingBlock primaryTracking{};
    TrackingBlock secondaryTracking{};
    std::int32_t skewAdjust = 0;  // tenths of a degree (KT, KO)
};

struct UnitState {
    std::int32_t antennaState = StateTracking;
    std::array<SatelliteEntry, MaxSatellites> satellites{};
    std::int32_t satelliteCount = DefaultSatelliteCount;
    std::array<std::int32_t, SlotCount> slotMap{};  // SP / NP
    std::int32_t currentSlot = 0;                   // LT / NS
    std::int32_t band = 0;                          // SW / Nw, transponder in use
    std::array<std::int32_t, 2> lnb{};              // SL / NL: low, high (MHz)
    std::int32_t tripleMode = 0;                    // TR
    std::int32_t diseqcMode = 0;                    // SQ / NQ
    std::array<std::int32_t, 4> gps{};         // SG / NG: lon x 100 (DDD.MM), E/W, lat x 100, N/S
    std::array<std::int32_t, 3> scanParams{};  // SA / NR
    std::array<std::int32_t, 7> controlParams{};  // SC / NC
    std::array<std::int32_t, 3> antennaParams{};  // Sa / Np
    std::array<std::int32_t, 3> flags{};          // FG / NF
    std::int32_t elevationAdjust = 0;             // TL / DL, tenths of a degree
    // Where the antenna points, hundredths of a degree.
    std::int32_t azimuth = 0;
    std::int32_t elevation = 0;
    std::int32_t skew = 0;
};

// The table a unit leaves the factory with: 13 satellites, a GPS position, a universal
// LNB and control parameters, pointing at the satellite of slot 0.
UnitState factoryState();

// The satellite index in use: the slot map entry of the current slot, or -1.
int currentSatellite(const UnitState& state);

// The primary name of satellite `index` (at most 8 characters).
std::string satelliteName(const UnitState& state, int index);

}  // namespace kelvandor::sim
