// SPDX-License-Identifier: GPL-3.0-or-later
// The sky view's geometry against the pointing computation (both hemispheres, an arc
// across the date line, a satellite below the horizon, the plot's orientation), and the
// signal history ring (its bound, its order, its peak).
#include <gtest/gtest.h>

#include <cmath>

#include "geo/pointing.h"
#include "unit/signal_history.h"
#include "geo/sky_geometry.h"

namespace kelvandor {
namespace {

using geo::CodeNorth;
using geo::CodeSouth;
using geo::FlagEast;
using geo::FlagWest;

struct Place {
    const char* name;
    sky::GpsPosition position;
};

// DDD.MM positions: north-east, south-east near the date line, south-west, north-west.
const Place Places[] = {
    {"Hamburg", {9.59, FlagEast, 53.33, CodeNorth}},
    {"Auckland", {174.46, FlagEast, 36.51, CodeSouth}},
    {"Buenos Aires", {58.23, FlagWest, 34.36, CodeSouth}},
    {"Anchorage", {149.54, FlagWest, 61.13, CodeNorth}},
};

TEST(SkyArc, AgreesWithThePointingComputationAsOneRunAboveTheHorizon) {
    for (const Place& place : Places) {
        SCOPED_TRACE(place.name);
        const sky::GpsPosition& pos = place.position;
        const std::vector<sky::SkyPoint> arc = sky::geostationaryArc(pos);
        ASSERT_GT(arc.size(), 100U);
        double highest = -90.0;
        double highestLongitude = 0.0;
        for (std::size_t k = 0; k < arc.size(); ++k) {
            const sky::SkyPoint& p = arc[k];
            const geo::AzimuthElevation ae = geo::computeAzimuthElevation(
                std::fabs(p.satelliteLongitude), p.satelliteLongitude < 0 ? FlagWest : FlagEast,
                pos.ewFlag, pos.nsCode, pos.longitude, pos.latitude);
            EXPECT_DOUBLE_EQ(p.azimuth, ae.azimuth);
            EXPECT_DOUBLE_EQ(p.elevation, ae.elevation);
            EXPECT_GE(p.elevation, 0.0);
            EXPECT_DOUBLE_EQ(std::fmod(p.satelliteLongitude, sky::ArcStepDegrees), 0.0);
            if (k > 0) {
                // Consecutive grid longitudes, across the date line too: one run.
                const double step =
                    std::remainder(p.satelliteLongitude - arc[k - 1].satelliteLongitude, 360.0);
                EXPECT_DOUBLE_EQ(step, sky::ArcStepDegrees) << "at " << p.satelliteLongitude;
            }
            if (p.elevation > highest) {
                highest = p.elevation;
                highestLongitude = p.satelliteLongitude;
            }
        }
        // The arc culminates on the antenna's meridian, due south or due north.
        EXPECT_NEAR(highestLongitude, sky::signedDecimalLongitude(pos), 0.5);
        // The grid points just beyond both ends lie below the horizon.
        for (const double beyond : {arc.front().satelliteLongitude - sky::ArcStepDegrees,
                                    arc.back().satelliteLongitude + sky::ArcStepDegrees}) {
            const double l = std::remainder(beyond, 360.0);
            const geo::AzimuthElevation ae =
                geo::computeAzimuthElevation(std::fabs(l), l < 0 ? FlagWest : FlagEast, pos.ewFlag,
                                             pos.nsCode, pos.longitude, pos.latitude);
            EXPECT_LT(ae.elevation, 0.0) << "at " << l;
        }
    }
}

TEST(SkyArc, SatelliteAnglesMatchAndOneBelowTheHorizonIsNegative) {
    const sky::GpsPosition hamburg = Places[0].position;
    const sky::SatelliteAngles astra = sky::satelliteAngles(hamburg, 19.2, FlagEast);
    EXPECT_DOUBLE_EQ(
        astra.azimuth,
        geo::computeAzimuthElevation(19.2, FlagEast, FlagEast, CodeNorth, 9.59, 53.33).azimuth);
    EXPECT_DOUBLE_EQ(astra.skew,
                     geo::computeSkew(19.2, FlagEast, FlagEast, CodeNorth, 9.59, 53.33));
    EXPECT_GT(astra.elevation, 20.0);
    EXPECT_LT(sky::satelliteAngles(hamburg, 110.5, FlagEast).elevation, 0.0);
    EXPECT_LT(sky::satelliteAngles(hamburg, 100.0, FlagWest).elevation, 0.0);
}

TEST(SkyPlot, NorthUpAzimuthClockwiseZenithAtTheCentre) {
    const double cx = 100, cy = 80, r = 50;
    const sky::PlotPoint zenith = sky::toPlot(123.0, 90.0, cx, cy, r);
    EXPECT_NEAR(zenith.x, cx, 1e-9);
    EXPECT_NEAR(zenith.y, cy, 1e-9);
    const sky::PlotPoint north = sky::toPlot(0.0, 0.0, cx, cy, r);
    EXPECT_NEAR(north.x, cx, 1e-6);
    EXPECT_NEAR(north.y, cy - r, 1e-6);
    const sky::PlotPoint east = sky::toPlot(90.0, 0.0, cx, cy, r);
    EXPECT_NEAR(east.x, cx + r, 1e-6);
    EXPECT_NEAR(east.y, cy, 1e-4);
    const sky::PlotPoint south45 = sky::toPlot(180.0, 45.0, cx, cy, r);
    EXPECT_NEAR(south45.x, cx, 1e-4);
    EXPECT_NEAR(south45.y, cy + r / 2, 1e-6);
}

// A sample that arrived at monotonic time `ms`, its wall clock running backwards: the
// ring keeps and searches arrival order, whatever the wall clock says.
SignalSample sampleAt(std::int64_t ms, std::int32_t level) {
    constexpr std::int64_t WallStart = 1'800'000'000'000;
    return {ms, WallStart - ms, level, 0, 0, 0, 2, 1};
}

TEST(SignalHistoryRing, KeepsItsBoundAndOrderAndItsPeakUntilCleared) {
    SignalHistory ring(5);
    EXPECT_TRUE(ring.empty());
    for (int k = 0; k < 12; ++k) {
        ring.append(sampleAt(1000 * k, k == 3 ? 900 : 100 + k));
    }
    const std::size_t bytes = ring.memoryBytes();
    EXPECT_EQ(bytes, 5 * sizeof(SignalSample));
    ASSERT_EQ(ring.size(), 5U);
    for (std::size_t k = 0; k < ring.size(); ++k) {
        EXPECT_EQ(ring.at(k).msecs, 1000 * static_cast<std::int64_t>(k + 7));
    }
    EXPECT_EQ(ring.newest().level, 111);
    // The peak is since the last clear, not of what the ring still holds.
    EXPECT_EQ(ring.peak(), 900);
    EXPECT_EQ(ring.firstAtOrAfter(0), 0U);
    EXPECT_EQ(ring.firstAtOrAfter(8500), 2U);
    EXPECT_EQ(ring.firstAtOrAfter(11000), 4U);
    EXPECT_EQ(ring.firstAtOrAfter(11001), 5U);
    for (int k = 0; k < 1000; ++k) {
        ring.append(sampleAt(20000 + k, 50));
    }
    EXPECT_EQ(ring.size(), 5U);
    EXPECT_EQ(ring.memoryBytes(), bytes);
    ring.clear();
    EXPECT_TRUE(ring.empty());
    EXPECT_FALSE(ring.hasPeak());
    ring.append(sampleAt(50000, 40));
    EXPECT_EQ(ring.peak(), 40);
    EXPECT_EQ(ring.at(0).level, 40);
}

}  // namespace
}  // namespace kelvandor
