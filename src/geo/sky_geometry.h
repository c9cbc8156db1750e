// SPDX-License-Identifier: GPL-3.0-or-later
// The sky as the antenna sees it: where the geostationary arc and each satellite stand
// from a GPS position, with the pointing computation of src/geo, and the polar plot's
// mapping of azimuth and elevation to a point. Pure functions; nothing here keeps state.
#pragma once

#include <vector>

#include "geo/pointing.h"

namespace kelvandor::sky {

// A position as the antenna reports it in NG: longitude and latitude in DDD.MM
// notation, the east/west flag and the north/south code of src/geo.
struct GpsPosition {
    double longitude = 0.0;
    int ewFlag = geo::FlagEast;
    double latitude = 0.0;
    int nsCode = geo::CodeNorth;
};

// Satellite longitudes of the arc are taken on this grid, in decimal degrees.
inline constexpr double ArcStepDegrees = 0.5;

// One point of the sky.
struct SkyPoint {
    double satelliteLongitude;  // signed decimal degrees, east positive, -180 < l <= 180
    double azimuth;
    double elevation;
};

// The geostationary arc above the horizon from `position`: satellite longitudes every
// ArcStepDegrees, ordered west to east along the arc (one run, never split at the date
// line), each with the azimuth and elevation that computeAzimuthElevation gives. Points
// with a negative elevation are left out; empty when no part of the arc is visible.
std::vector<SkyPoint> geostationaryArc(const GpsPosition& position);

// The angles to a satellite at `longitude` (decimal degrees, west when `eastWest` is 1).
struct SatelliteAngles {
    double azimuth;
    double elevation;  // negative below the horizon
    double skew;
};
SatelliteAngles satelliteAngles(const GpsPosition& position, double longitude, int eastWest);

// The polar plot: north up, azimuth clockwise, elevation 90 at the centre and 0 on the
// rim of radius `radius` around (centreX, centreY). Elevations below 0 lie outside the
// rim; above 90 they are taken as 90.
struct PlotPoint {
    double x;
    double y;
};
PlotPoint toPlot(double azimuth, double elevation, double centreX, double centreY, double radius);

// The GPS position as decimal degrees, east and north positive (for the plot's text).
double signedDecimalLongitude(const GpsPosition& position);
double signedDecimalLatitude(const GpsPosition& position);

}  // namespace kelvandor::sky
