// SPDX-License-Identifier: GPL-3.0-or-later
// The unit's signal as a watcher sees it: the level peaks with the antenna on the
// satellite and falls off with the pointing error; with a status period the Ni reports
// come on the beat, busy or idle, and the antenna's AZ/EL move while it searches.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "sim/antenna_unit.h"

namespace kelvandor::sim {
namespace {

constexpr Millis SettleMs = 3000;

// The raw level QV reports at `now` (the controller shows 800 minus it).
std::int32_t levelAt(AntennaUnit& unit, Millis now) {
    const std::int32_t none[MaxParams] = {};
    unit.handle(cmd::QV, none, now);
    std::vector<OutFrame> out;
    unit.collectDue(now, out);
    for (const OutFrame& f : out) {
        if (f.frame.id == cmd::Nv) {
            return f.frame.params[0];
        }
    }
    ADD_FAILURE() << "no Nv";
    return 0;
}

// Moves the antenna to (azimuth, elevation) and lets the motion finish.
void pointAt(AntennaUnit& unit, std::int32_t azimuth, std::int32_t elevation, Millis& now) {
    const std::int32_t params[MaxParams] = {azimuth, elevation};
    unit.handle(cmd::GO, params, now);
    now += SettleMs;
    std::vector<OutFrame> out;
    unit.collectDue(now, out);
    ASSERT_EQ(unit.state().azimuth, azimuth);
    ASSERT_EQ(unit.state().elevation, elevation);
}

TEST(SimSignal, LevelPeaksOnTheSatelliteAndFallsOffWithThePointingError) {
    AntennaUnit::Settings settings;
    settings.periodicReports = false;
    AntennaUnit unit(settings);
    Millis now = 0;
    const std::int32_t az = unit.state().azimuth;
    const std::int32_t el = unit.state().elevation;
    const std::int32_t onTarget = levelAt(unit, now);
    pointAt(unit, az + 50, el, now);
    const std::int32_t halfDegree = levelAt(unit, now);
    pointAt(unit, az, el + 150, now);
    const std::int32_t degreeAndHalf = levelAt(unit, now);
    pointAt(unit, az - 500, el, now);
    const std::int32_t fiveDegrees = levelAt(unit, now);
    EXPECT_LE(onTarget, 250);
    EXPECT_LT(onTarget, halfDegree);
    EXPECT_LT(halfDegree, degreeAndHalf);
    EXPECT_LT(degreeAndHalf, fiveDegrees);
    EXPECT_GE(fiveDegrees, 690) << "no satellite in the beam";
    pointAt(unit, az, el, now);
    EXPECT_LE(levelAt(unit, now), 250) << "back on the satellite";
}

TEST(SimSignal, SteadyStatusComesOnTheBeatAndTheAntennaMovesWhileSearching) {
    constexpr Millis PeriodMs = 50;
    constexpr Millis RunMs = 5000;
    AntennaUnit::Settings settings;
    settings.statusPeriodMs = PeriodMs;
    AntennaUnit unit(settings);
    const std::int32_t none[MaxParams] = {};
    unit.handle(cmd::OR, none, 0);  // initialise, search, track: busy throughout
    std::vector<Millis> times;
    std::set<std::pair<std::int32_t, std::int32_t>> searchPositions;
    std::vector<std::int32_t> states;
    for (Millis now = 0; now <= RunMs; now += 10) {
        std::vector<OutFrame> out;
        unit.collectDue(now, out);
        for (const OutFrame& f : out) {
            if (f.frame.id == cmd::Ni && f.origin == Origin::Unasked) {
                times.push_back(now);
                states.push_back(f.frame.params[0]);
                if (f.frame.params[0] == StateSearch) {
                    searchPositions.insert({f.frame.params[3], f.frame.params[4]});
                }
            }
        }
    }
    ASSERT_GE(times.size(), static_cast<std::size_t>(RunMs / PeriodMs));
    for (std::size_t k = 1; k < times.size(); ++k) {
        EXPECT_EQ(times[k] - times[k - 1], PeriodMs) << "report " << k;
    }
    EXPECT_GE(searchPositions.size(), 5U) << "the antenna sweeps while it searches";
    EXPECT_EQ(states.back(), StateTracking);
}

}  // namespace
}  // namespace kelvandor::sim
