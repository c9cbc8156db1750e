// SPDX-License-Identifier: GPL-3.0-or-later
// The angles an antenna must take for a geostationary satellite: azimuth, elevation and
// the feed's skew, from the antenna's position in degrees-and-minutes notation (DDD.MM,
// 126.59 is 126 deg 59 min) and the satellite's longitude in decimal degrees. Pure
// functions over fixed constants; nothing here keeps state. Hemispheres are never signs:
// they travel as the east/west flag and the north/south code below.
#pragma once

#include <array>

namespace kelvandor::geo {

// East/west flag and north/south code, as on the wire and in city files.
inline constexpr int FlagEast = 0;
inline constexpr int FlagWest = 1;
inline constexpr int CodeNorth = 3;
inline constexpr int CodeSouth = 2;

// The conversion factors are built on 3.141593, not on the exact pi; the angles the
// technicians compare against were computed with these very values.
inline constexpr double DegreeToRadian = 0.017453294444444444;  // 3.141593 / 180
inline constexpr double RadianToDegree = 57.29577319531843;     // 180 / 3.141593
// (1 - 1/298.25)^2: geodetic to geocentric latitude.
inline constexpr double LatitudeFactor = 0.9933054581454123;
inline constexpr double Flattening = 0.003352891869237217;  // 1/298.25
inline constexpr double EarthRadiusKm = 6378.14;
inline constexpr double OrbitRadiusKm = 42164.0;
// Replaces a longitude difference of exactly 0 degrees.
inline constexpr double ZeroDifference = 0.0001;

// The skew offset of a satellite whose longitude (decimal degrees) and east/west flag
// match a row exactly; the first matching row counts.
struct SkewOffset {
    double longitude;
    int eastWest;
    double offset;  // degrees, subtracted from the computed skew
};

inline constexpr std::array<SkewOffset, 26> SkewOffsetTable = {{
    {30.0, FlagWest, -7},  {12.5, FlagWest, -10}, {8.0, FlagWest, 15},    {5.0, FlagWest, -7},
    {0.8, FlagWest, -5},   {5.0, FlagEast, -10},  {7.0, FlagEast, -5},    {13.0, FlagEast, -3},
    {19.2, FlagEast, -12}, {23.5, FlagEast, -10}, {28.2, FlagEast, -12},  {42.0, FlagEast, -1},
    {68.5, FlagEast, 5},   {76.5, FlagEast, -5},  {108.0, FlagEast, -8},  {110.5, FlagEast, -10},
    {124.0, FlagEast, -5}, {128.0, FlagEast, -5}, {138.0, FlagEast, -10}, {146.0, FlagEast, -7},
    {148.0, FlagEast, -3}, {152.0, FlagEast, 38}, {154.0, FlagEast, 0},   {156.0, FlagEast, 38},
    {160.0, FlagEast, 50}, {166.0, FlagEast, -2},
}};

// DDD.MM to decimal degrees, cut to hundredths: the minute digits m of v (taken from the
// double product v x 100, so 35.30 has 29 of them) add trunc(2m/3) hundredths. 37.33 gives
// 37.55, 126.59 gives 126.98; minute digits of 60 or more are taken as they are (10.75
// gives 11.25). A value that is not finite is returned as it is.
double toDecimalDegrees(double v);

struct AzimuthElevation {
    double azimuth;    // degrees from north, 0..360
    double elevation;  // degrees; negative when the satellite is below the horizon
};

// The azimuth and elevation towards a satellite at `satelliteLongitude` (decimal
// degrees, west when `satelliteWest` is 1) from an antenna at `longitude`, `latitude`
// (DDD.MM, non-negative; west when `ewFlag` is 1, north when `nsCode` is 3, south for any
// other code). A satellite on the antenna's meridian lies due south (north of the
// equator) or due north; values out of range are computed through as they are.
AzimuthElevation computeAzimuthElevation(double satelliteLongitude, int satelliteWest, int ewFlag,
                                         int nsCode, double longitude, double latitude);

// The feed's skew in degrees (-90..90 before the offset) for the same arguments, less the
// SkewOffsetTable offset of the satellite when a row matches it exactly.
double computeSkew(double satelliteLongitude, int satelliteWest, int ewFlag, int nsCode,
                   double longitude, double latitude);

}  // namespace kelvandor::geo
