// SPDX-License-Identifier: GPL-3.0-or-later
#include "geo/pointing.h"

#include <algorithm>
#include <cmath>

namespace kelvandor::geo {

namespace {

constexpr double FullCircle = 360.0;
constexpr double HalfCircle = 180.0;
constexpr double RightAngle = 90.0;

// Longitudes counted eastward 0..360: a west longitude l is 360 - l.
double eastward(double longitude, int westFlag) {
    return westFlag == FlagWest ? FullCircle - longitude : longitude;
}

// Rounding can put the argument of an arc cosine just outside -1..1 (a satellite due
// south gives 1 + 2e-16); the angle it stands for is 0 or 180 degrees, not a NaN.
double boundedArcCosine(double x) {
    return std::acos(std::clamp(x, -1.0, 1.0));
}

}  // namespace

double toDecimalDegrees(double v) {
    if (!std::isfinite(v)) {
        return v;
    }
    // The minute digits as an integer-valued double (-99..99); 2m/3 cut toward zero is
    // exact in double, since 2m/3 is never within rounding of the next whole number.
    const double minutes = std::fmod(std::trunc(v * 100.0), 100.0);
    const double hundredths = std::trunc(2.0 * minutes / 3.0);
    return v + hundredths * 0.01;
}

AzimuthElevation computeAzimuthElevation(double satelliteLongitude, int satelliteWest, int ewFlag,
                                         int nsCode, double longitude, double latitude) {
    const double phi = toDecimalDegrees(latitude);
    const double lambda = eastward(toDecimalDegrees(longitude), ewFlag);
    const double sigma = eastward(satelliteLongitude, satelliteWest);

    double delta = lambda - sigma;
    if (delta == 0.0) {
        delta = ZeroDifference;
    } else if (delta > HalfCircle) {
        delta -= FullCircle;
    } else if (delta < -HalfCircle) {
        delta += FullCircle;
    }

    // The latitude's magnitude; the hemisphere only chooses the azimuth's branch.
    const double psi = std::atan(LatitudeFactor * std::tan(phi * DegreeToRadian));
    const double beta = boundedArcCosine(std::cos(delta * DegreeToRadian) * std::cos(psi));
    const double sinPsi = std::sin(psi);
    const double k = OrbitRadiusKm / ((1.0 - Flattening * sinPsi * sinPsi) * EarthRadiusKm);
    const double a = boundedArcCosine(std::tan(psi) / std::tan(beta)) * RadianToDegree;

    AzimuthElevation result{};
    if (nsCode == CodeNorth) {
        result.azimuth = delta >= 0.0 ? HalfCircle + a : HalfCircle - a;
    } else {
        result.azimuth = delta >= 0.0 ? FullCircle - a : a;
    }
    result.elevation =
        std::atan((k * std::cos(beta) - 1.0) / (k * std::sin(beta))) * RadianToDegree;
    return result;
}

double computeSkew(double satelliteLongitude, int satelliteWest, int ewFlag, int nsCode,
                   double longitude, double latitude) {
    const double lambda = eastward(toDecimalDegrees(longitude), ewFlag);
    const double sigma = eastward(satelliteLongitude, satelliteWest);
    const double phi = toDecimalDegrees(latitude);

    // Satellite minus antenna, neither normalised nor replaced when it is 0.
    double s =
        std::atan2(std::tan(phi * DegreeToRadian), std::sin((sigma - lambda) * DegreeToRadian)) *
            RadianToDegree -
        RightAngle;
    if (nsCode == CodeSouth) {
        s = -s;
    }
    // The table is searched with the satellite's longitude as given, before it is made
    // eastward, and its flag must match too (19.2 W is not 19.2 E).
    for (const SkewOffset& row : SkewOffsetTable) {
        if (row.longitude == satelliteLongitude && row.eastWest == satelliteWest) {
            return s - row.offset;
        }
    }
    return s;
}

}  // namespace kelvandor::geo
