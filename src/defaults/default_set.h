// SPDX-License-Identifier: GPL-3.0-or-later
// A default set: a complete configuration for the antenna read from a ".rif" file:
// thirteen satellites with their tracking data and skew adjustments, and seven product
// profiles (one per product size) holding the GPS position, the LNB setting, the control
// parameters and the satellites of the five skew slots. Plain records, no Qt.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kelvandor {

inline constexpr int RifSatelliteCount = 13;
inline constexpr int ProductSizeCount = 7;
inline constexpr int ProductProfileFieldCount = 31;
inline constexpr int RifSatelliteValues = 6;  // longitude x 100, east/west, four NIDs
inline constexpr int RifTrackingValues = 10;
inline constexpr int RifSlotCount = 5;

struct RifSatellite {
    std::string satName;  // at most 8 characters
    std::array<std::int32_t, RifSatelliteValues> primarySat{};
    std::array<std::int32_t, RifSatelliteValues> secondarySat{};
    std::array<std::int32_t, RifTrackingValues> primaryTracking{};
    std::array<std::int32_t, RifTrackingValues> secondaryTracking{};
};

using RifSatelliteTables = std::array<RifSatellite, RifSatelliteCount>;
using ProductProfile = std::array<std::int32_t, ProductProfileFieldCount>;

// The fields of a ProductProfile. Fields 1 and 2 are never used.
namespace profile {
inline constexpr int Common0 = 0;  // read, not used
inline constexpr int GpsLongitude = 3;  // hundredths of DDD.MM
inline constexpr int GpsEastWest = 4;   // 0 E, 1 W
inline constexpr int GpsLatitude = 5;   // hundredths of DDD.MM
inline constexpr int GpsNorthSouth = 6;  // 3 N, 2 S
inline constexpr int LnbChoice = 7;     // 0: universal 9750 / 10600; else field 8 twice
inline constexpr int LnbFrequency = 8;
inline constexpr int ScanOffset = 9;  // 9..11: NR / SA
inline constexpr int TrackingScale = 10;
inline constexpr int DetectLevelOffset = 11;
inline constexpr int OffsetDiffAzEl = 12;  // 12, 13, 21: Np / Sa
inline constexpr int OffsetDiffRhLh = 13;
inline constexpr int SatVerifyTime = 14;  // 14..20: NC / SC
inline constexpr int WrsDetectLevel = 15;
inline constexpr int TrackingLevelOffset = 16;
inline constexpr int TrackingStableCount = 17;
inline constexpr int InitialSatCount = 18;
inline constexpr int VoltageThreshold = 19;
inline constexpr int DiseqcThreshold = 20;
inline constexpr int SearchLockCount = 21;
inline constexpr int UseOffsetDifference = 22;  // third value of NF / FG
inline constexpr int UseWrsMethod = 23;         // second value of NF / FG
inline constexpr int TripleMode = 24;           // TR
inline constexpr int DiseqcMode = 25;           // NQ / SQ
inline constexpr int SkewSatA = 26;             // satellite index 0..12 of each skew slot
inline constexpr int SkewSatB = 27;
inline constexpr int SkewSatC = 28;
inline constexpr int SkewSatA22k = 29;
inline constexpr int SkewSatB22k = 30;
// The skew slots in the order NP, SP, NK and KO carry them: SAT A, SAT B, SAT A / 22kHz,
// SAT B / 22kHz, SAT C.
inline constexpr int SlotFields[RifSlotCount] = {SkewSatA, SkewSatB, SkewSatA22k, SkewSatB22k,
                                                 SkewSatC};
}  // namespace profile

// The captions of the product sizes, by product-size index.
inline constexpr const char* ProductSizeNames[ProductSizeCount] = {"T4", "T6", "T3", "T1",
                                                                   "T9", "T2", "T6R"};

struct DefaultSet {
    RifSatelliteTables satellites{};
    std::array<std::int32_t, RifSatelliteCount> skewAdjust{};  // whole units; x 10 on the wire
    std::array<ProductProfile, ProductSizeCount> productProfiles{};
    std::int32_t regionVersion = 0;  // hundredths
    std::string regionName;
};

// The satellite index of skew slot `slot` (0..4) in `p`.
inline std::int32_t slotSatellite(const ProductProfile& p, int slot) {
    return p[static_cast<std::size_t>(profile::SlotFields[slot])];
}

struct LnbPair {
    std::int32_t low;
    std::int32_t high;
};
// The LNB local-oscillator pair of `p`: 9750 / 10600 (universal) when its choice is 0,
// else its frequency for both bands.
LnbPair lnbPair(const ProductProfile& p);

}  // namespace kelvandor
