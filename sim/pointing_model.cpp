// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pointing_model.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace kelvandor::sim {

namespace {

constexpr double EarthRadiusKm = 6378.14;
constexpr double OrbitRadiusKm = 42164.0;
constexpr double Hundredths = 100.0;
constexpr double MinutesPerDegree = 60.0;
constexpr double FullCircle = 360.0;
constexpr std::int32_t WestFlag = 1;
constexpr std::int32_t SouthCode = 2;
constexpr std::int32_t MaxElevation = 9000;
constexpr std::int32_t MaxSkew = 9000;

double radians(double degrees) {
    return degrees * std::numbers::pi / (FullCircle / 2);
}
double degrees(double radians) {
    return radians * (FullCircle / 2) / std::numbers::pi;
}

// DDD.MM x 100 (12659 = 126 deg 59 min) to decimal degrees.
double fromDegreesMinutes(std::int32_t hundredths) {
    const std::int32_t whole = hundredths / 100;
    const std::int32_t minutes = hundredths % 100;
    return whole + minutes / MinutesPerDegree;
}

// Stored values are kept as they were sent, however wild; what is computed from them
// stays in the 32-bit range.
std::int32_t toHundredths(double degreesValue) {
    constexpr double Low = std::numeric_limits<std::int32_t>::min();
    constexpr double High = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::lround(std::clamp(degreesValue * Hundredths, Low, High)));
}

}  // namespace

Pointing pointingFor(const UnitState& state, int index) {
    if (index < 0 || index >= MaxSatellites) {
        return {state.azimuth, state.elevation, state.skew};
    }
    const SatelliteBlock& satellite = state.satellites[static_cast<std::size_t>(index)].primary;
    double satelliteLongitude = satellite[BlockLongitude] / Hundredths;
    if (satellite[BlockWestFlag] == WestFlag) {
        satelliteLongitude = -satelliteLongitude;
    }
    double siteLongitude = fromDegreesMinutes(state.gps[0]);
    if (state.gps[1] == WestFlag) {
        siteLongitude = -siteLongitude;
    }
    double siteLatitude = fromDegreesMinutes(state.gps[2]);
    if (state.gps[3] == SouthCode) {
        siteLatitude = -siteLatitude;
    }

    // The satellite seen from the site in east/north/up coordinates.
    const double lat = radians(siteLatitude);
    const double lon = radians(siteLongitude);
    const double sat = radians(satelliteLongitude);
    const double dx = OrbitRadiusKm * std::cos(sat) - EarthRadiusKm * std::cos(lat) * std::cos(lon);
    const double dy = OrbitRadiusKm * std::sin(sat) - EarthRadiusKm * std::cos(lat) * std::sin(lon);
    const double dz = -EarthRadiusKm * std::sin(lat);
    const double east = -std::sin(lon) * dx + std::cos(lon) * dy;
    const double north = -std::sin(lat) * std::cos(lon) * dx - std::sin(lat) * std::sin(lon) * dy +
                         std::cos(lat) * dz;
    const double up = std::cos(lat) * std::cos(lon) * dx + std::cos(lat) * std::sin(lon) * dy +
                      std::sin(lat) * dz;

    double azimuth = degrees(std::atan2(east, north));
    if (azimuth < 0) {
        azimuth += FullCircle;
    }
    const double elevation = degrees(std::atan2(up, std::hypot(east, north)));
    const double skew = degrees(std::atan2(std::sin(sat - lon), std::tan(lat)));
    const double adjust =
        state.satellites[static_cast<std::size_t>(index)].skewAdjust / (Hundredths / 10);
    // The mechanics stop at the horizon, at the zenith and at a quarter turn of the feed.
    return {toHundredths(azimuth), std::clamp(toHundredths(elevation), 0, MaxElevation),
            std::clamp(toHundredths(skew + adjust), -MaxSkew, MaxSkew)};
}

}  // namespace kelvandor::sim
