// SPDX-License-Identifier: GPL-3.0-or-later
// The unit model: a run of reports builds the picture a status query shows, and frames
// with indices outside the unit's tables cannot grow or break it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "protocol/frame_codec.h"
#include "unit/unit_state.h"

namespace kelvandor::unit {
namespace {

const UnitModel::WallClock::time_point Start{std::chrono::seconds(1'800'000'000)};

void take(UnitModel& model, CommandId id, std::vector<std::int32_t> params,
          UnitModel::WallClock::time_point at = Start) {
    params.resize(MaxParams);
    model.takeFrame(id, params.data(), at);
}

std::vector<std::int32_t> satellite(std::int32_t index, const char* name) {
    std::vector<std::int32_t> p = {index, 1920, 0, 0, 0, 0, 0, 0, 0};
    packWireName(name, p.data() + 7);
    return p;
}

TEST(UnitModelTest, ReportsBuildThePictureAndTheTrackedSatellite) {
    UnitModel model;
    take(model, cmd::Ni, {2, 247, 1, 16860, 2825, -825});
    take(model, cmd::NL, {9750, 10600, 0});
    take(model, cmd::NL, {10600, 0, 1});  // the frequency in use, not the bands
    take(model, cmd::NN, {2});
    take(model, cmd::NI, satellite(0, "ASTRA1"));
    take(model, cmd::NI, satellite(1, "HOTBIRD1"));  // eight characters, no terminator
    take(model, cmd::NP, {1, 0, 0, 0, 0});
    take(model, cmd::NS, {0});
    take(model, cmd::Nn, {0x4C454B, 0, 0, 0, 0});  // "KEL"
    take(model, cmd::NW, {312, 10, 200});
    take(model, cmd::NG, {959, 0, 5333, 3});

    const UnitState& u = model.state();
    ASSERT_TRUE(u.status);
    EXPECT_EQ(u.status->signalLevel(), 553);
    EXPECT_TRUE(u.status->locked());
    EXPECT_EQ(u.status->skew, -825);
    ASSERT_TRUE(u.lnb && u.frequencyInUse);
    EXPECT_EQ(u.lnb->low, 9750);
    EXPECT_EQ(u.lnb->high, 10600);
    EXPECT_EQ(*u.frequencyInUse, 10600);
    EXPECT_EQ(u.satellites.at(1).name, "HOTBIRD1");
    EXPECT_EQ(u.trackedSatellite(), 1);
    EXPECT_EQ(u.productName, "KEL");
    EXPECT_EQ(u.productSize(), 1);
    EXPECT_TRUE(u.complete());

    // A slot in use outside the five slots names no satellite; a satellite index outside
    // the table's twenty is not kept.
    take(model, cmd::NS, {5});
    EXPECT_EQ(model.state().trackedSatellite(), std::nullopt);
    take(model, cmd::NI, satellite(20, "X"));
    take(model, cmd::NI, satellite(-1, "Y"));
    EXPECT_EQ(model.state().satellites.size(), 2U);
}

TEST(UnitModelTest, CountsFramesAndErrorsAndKeepsTheLastReportTime) {
    UnitModel model;
    EXPECT_FALSE(model.lastReport());
    take(model, cmd::TC, {11, 1}, Start);
    model.noteDecodeError();
    take(model, cmd::NA, {0}, Start + std::chrono::seconds(3));
    EXPECT_EQ(model.framesReceived(), 2U);
    EXPECT_EQ(model.decodeErrors(), 1U);
    EXPECT_EQ(model.lastReport(), Start + std::chrono::seconds(3));
    EXPECT_TRUE(model.state().answered);
    EXPECT_FALSE(model.state().status);  // NA says the state only

    // The Comm indicator follows TC 11's on and off; other subjects leave it alone.
    EXPECT_EQ(model.state().comm, true);
    take(model, cmd::TC, {13, 0}, Start);
    EXPECT_EQ(model.state().comm, true);
    take(model, cmd::TC, {11, 0}, Start);
    EXPECT_EQ(model.state().comm, false);
}

}  // namespace
}  // namespace kelvandor::unit
