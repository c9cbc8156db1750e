// SPDX-License-Identifier: GPL-3.0-or-later
#include "geo/sky_geometry.h"

#include <algorithm>
#include <cmath>

namespace kelvandor::sky {

namespace {

constexpr double FullCircle = 360.0;
constexpr double HalfCircle = 180.0;
constexpr double Zenith = 90.0;
constexpr int ArcSteps = static_cast<int>(FullCircle / ArcStepDegrees);

// A signed longitude brought into (-180, 180].
double normalised(double longitude) {
    double l = std::fmod(longitude, FullCircle);
    if (l <= -HalfCircle) {
        l += FullCircle;
    } else if (l > HalfCircle) {
        l -= FullCircle;
    }
    return l;
}

}  // namespace

double signedDecimalLongitude(const GpsPosition& position) {
    const double degrees = geo::toDecimalDegrees(position.longitude);
    return position.ewFlag == geo::FlagWest ? -degrees : degrees;
}

double signedDecimalLatitude(const GpsPosition& position) {
    const double degrees = geo::toDecimalDegrees(position.latitude);
    return position.nsCode == geo::CodeNorth ? degrees : -degrees;
}

SatelliteAngles satelliteAngles(const GpsPosition& position, double longitude, int eastWest) {
    const geo::AzimuthElevation ae =
        geo::computeAzimuthElevation(longitude, eastWest, position.ewFlag, position.nsCode,
                                     position.longitude, position.latitude);
    const double skew = geo::computeSkew(longitude, eastWest, position.ewFlag, position.nsCode,
                                         position.longitude, position.latitude);
    return {ae.azimuth, ae.elevation, skew};
}

std::vector<SkyPoint> geostationaryArc(const GpsPosition& position) {
    std::vector<SkyPoint> arc;
    const double antenna = signedDecimalLongitude(position);
    if (!std::isfinite(antenna)) {
        return arc;
    }
    // Start on the grid at the antenna's antimeridian, which is never visible, so the
    // visible part comes out as one run whatever the antenna's longitude.
    const double start = std::floor((antenna - HalfCircle) / ArcStepDegrees) * ArcStepDegrees;
    for (int k = 0; k < ArcSteps; ++k) {
        const double longitude = normalised(start + k * ArcStepDegrees);
        const int west = longitude < 0.0 ? geo::FlagWest : geo::FlagEast;
        const geo::AzimuthElevation ae =
            geo::computeAzimuthElevation(std::fabs(longitude), west, position.ewFlag,
                                         position.nsCode, position.longitude, position.latitude);
        if (ae.elevation >= 0.0) {
            arc.push_back({longitude, ae.azimuth, ae.elevation});
        }
    }
    return arc;
}

PlotPoint toPlot(double azimuth, double elevation, double centreX, double centreY, double radius) {
    const double r = (Zenith - std::min(elevation, Zenith)) / Zenith * radius;
    const double a = azimuth * geo::DegreeToRadian;
    return {centreX + r * std::sin(a), centreY - r * std::cos(a)};
}

}  // namespace kelvandor::sky
