// SPDX-License-Identifier: GPL-3.0-or-later
// Pointing angles as the GPS page shows them ("%6.2lf"): the worked examples and the
// cases where a slip in the steps shows (the meridian, a difference of 180 degrees, the
// equator, the minute digits, the exact match of the skew offsets).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "geo/pointing.h"

namespace kelvandor::geo {
namespace {

std::string shown(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%6.2lf", v);
    return text;
}

struct AngleCase {
    const char* name;
    double satellite;
    int satelliteWest;
    int ewFlag;
    int nsCode;
    double longitude;
    double latitude;
    // Expected texts; nullptr where the row does not look at that angle.
    const char* azimuth;
    const char* elevation;
    const char* skew;
};

constexpr int E = FlagEast, W = FlagWest, N = CodeNorth, S = CodeSouth;

const AngleCase AngleCases[] = {
    {"worked example 126.59 E 37.33 N, 113.0 E", 113.0, E, E, N, 126.59, 37.33, "202.30", " 44.25",
     " 17.45"},
    {"worked example 80.15 W 25.46 N, 101.0 W", 101.0, W, W, N, 80.15, 25.46, "221.24", " 52.17",
     " 36.29"},
    {"worked example 10.00 E 50.00 S, 19.2 E with offset", 19.2, E, E, S, 10.00, 50.00, " 11.97",
     " 32.23", " 19.64"},
    {"worked example 151.12 E 33.52 S, 160.0 E with offset", 160.0, E, E, S, 151.12, 33.52,
     " 15.60", " 49.71", "-37.16"},
    // 1.12 converts to 1.2 only up to rounding: the difference is about 2e-16, not 0.
    {"satellite due south up to rounding", 1.2, E, E, N, 1.12, 25.46, "180.00", nullptr, nullptr},
    {"satellite on the meridian exactly", 10.0, E, E, N, 10.00, 45.00, "180.00", nullptr, nullptr},
    {"satellite on the meridian, south", 10.0, E, E, S, 10.00, 45.00, "360.00", nullptr, nullptr},
    {"difference of exactly 180 stays positive", 0.0, E, E, N, 180.00, 0.00, "270.00", nullptr,
     nullptr},
    {"difference of exactly -180 stays negative", 180.0, E, E, N, 0.00, 0.00, " 90.00", nullptr,
     nullptr},
    {"difference of -180.01 becomes 179.99", 179.99, W, E, N, 0.00, 0.00, "270.00", nullptr,
     nullptr},
    {"difference of 180.01 becomes -179.99", 179.99, W, W, N, 0.02, 0.00, "270.00", nullptr,
     nullptr},
    {"equator, satellite east of the antenna", 20.0, E, E, N, 10.00, 0.00, " 90.00", nullptr,
     "-90.00"},
    {"equator, satellite west of the antenna", 0.0, E, E, N, 10.00, 0.00, "270.00", nullptr,
     " 90.00"},
    {"equator south, satellite east of the antenna", 20.0, E, E, S, 10.00, 0.00, " 90.00", nullptr,
     " 90.00"},
    {"origin below the satellite", 0.0, E, E, N, 0.00, 0.00, "270.00", " 90.00", "-90.00"},
    // 355 - 5 = 350 is -10: the satellite lies east, south-east of the antenna.
    {"difference above 180 wraps to the east", 5.0, E, W, N, 5.00, 40.00, "164.60", nullptr,
     nullptr},
    {"19.2 W takes no offset of row 19.2 E", 19.2, W, E, S, 10.00, 50.00, nullptr, nullptr,
     "-22.26"},
};

TEST(PointingAngles, ShowTheExpectedDigits) {
    for (const AngleCase& c : AngleCases) {
        SCOPED_TRACE(c.name);
        const AzimuthElevation ae = computeAzimuthElevation(c.satellite, c.satelliteWest, c.ewFlag,
                                                            c.nsCode, c.longitude, c.latitude);
        const double skew =
            computeSkew(c.satellite, c.satelliteWest, c.ewFlag, c.nsCode, c.longitude, c.latitude);
        if (c.azimuth != nullptr) {
            EXPECT_EQ(shown(ae.azimuth), c.azimuth);
        }
        if (c.elevation != nullptr) {
            EXPECT_EQ(shown(ae.elevation), c.elevation);
        }
        if (c.skew != nullptr) {
            EXPECT_EQ(shown(skew), c.skew);
        }
        EXPECT_FALSE(std::isnan(ae.azimuth));
        EXPECT_FALSE(std::isnan(ae.elevation));
    }
}

TEST(PointingAngles, MinuteDigitsComeFromTheDoubleProduct) {
    const struct {
        double v;
        double expected;
    } cases[] = {
        {37.33, 37.55}, {126.59, 126.98},
        {0.30, 0.50},   {35.30, 35.49},  // 35.30 x 100 is just below 3530: 29 minutes
        {10.75, 11.25},                  // minute digits above 59 are taken as they are
        {0.00, 0.00},   {180.00, 180.00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        EXPECT_NEAR(toDecimalDegrees(c.v), c.expected, 1e-9);
    }
    EXPECT_TRUE(std::isnan(toDecimalDegrees(std::nan(""))));
    EXPECT_EQ(toDecimalDegrees(HUGE_VAL), HUGE_VAL);
}

// A satellite of a table row takes that row's offset; one a hair away, or on the other
// side of Greenwich, takes none. Compared against the neighbour, so the offset shows
// by itself.
TEST(PointingAngles, SkewOffsetsMatchLongitudeAndFlagExactly) {
    for (const SkewOffset& row : SkewOffsetTable) {
        SCOPED_TRACE(row.longitude);
        const double matched =
            computeSkew(row.longitude, row.eastWest, FlagEast, CodeNorth, 10.30, 48.20);
        const double near =
            computeSkew(row.longitude + 1e-9, row.eastWest, FlagEast, CodeNorth, 10.30, 48.20);
        EXPECT_NEAR(matched - near, -row.offset, 1e-6);
    }
    const double west = computeSkew(19.2, FlagWest, FlagEast, CodeNorth, 10.30, 48.20);
    const double westNear = computeSkew(19.2 + 1e-9, FlagWest, FlagEast, CodeNorth, 10.30, 48.20);
    EXPECT_NEAR(west - westNear, 0.0, 1e-6);
    // A longitude typed as 19.20 and one received as 1920 hundredths both match.
    const double typed = computeSkew(19.20, FlagEast, FlagEast, CodeNorth, 10.30, 48.20);
    const double received = computeSkew(1920 * 0.01, FlagEast, FlagEast, CodeNorth, 10.30, 48.20);
    EXPECT_EQ(typed, received);
    EXPECT_NEAR(typed - computeSkew(19.2 + 1e-9, FlagEast, FlagEast, CodeNorth, 10.30, 48.20), 12,
                1e-6);
}

}  // namespace
}  // namespace kelvandor::geo
