// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's long-running work, reported over time: motions, diagnosis, skew checks,
// factory reset and restart.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "sim/sim_client.h"

namespace kelvandor::sim {
namespace {

using testing::quietOptions;
using testing::Received;
using testing::SimClient;

class SimActivities : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.start()) << simulator.lastError();
        client.emplace(simulator.slavePath());
        ASSERT_TRUE(client->open());
    }
    // Collects frames `id` until one satisfies `last`.
    std::vector<Received> collect(CommandId id, const std::function<bool(const Received&)>& last) {
        std::vector<Received> frames;
        for (;;) {
            const std::optional<Received> frame = client->next(id);
            if (!frame) {
                ADD_FAILURE() << "ran out of " << CommandTable[id].first << CommandTable[id].second;
                return frames;
            }
            frames.push_back(*frame);
            if (last(*frame)) {
                return frames;
            }
        }
    }

    Simulator simulator{quietOptions()};
    std::optional<SimClient> client;
};

TEST_F(SimActivities, MotionsReportTheirWayToTheTarget) {
    ASSERT_TRUE(client->send(cmd::GO, {18000, 4500}));
    const auto positions =
        collect(cmd::AP, [](const Received& f) { return f.p[0] == 18000 && f.p[1] == 4500; });
    EXPECT_GE(positions.size(), 2U) << "the antenna moves in steps";
    const auto status = client->next(cmd::Ni);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->p[3], 18000);
    EXPECT_EQ(status->p[4], 4500);

    ASSERT_TRUE(client->send(cmd::MO, {0, 150}));  // EL up
    collect(cmd::AP, [](const Received& f) { return f.p[0] == 18000 && f.p[1] == 4650; });
    ASSERT_TRUE(client->send(cmd::MO, {3, 1000}));  // AZ left
    collect(cmd::AP, [](const Received& f) { return f.p[0] == 17000 && f.p[1] == 4650; });
    ASSERT_TRUE(client->send(cmd::MO, {1, 9999}));  // EL down, past the limit
    collect(cmd::AP, [](const Received& f) { return f.p[1] == 0; });

    const std::int32_t skew = simulator.state().skew;
    ASSERT_TRUE(client->send(cmd::MS, {5, 250}));
    collect(cmd::TK, [skew](const Received& f) { return f.p[0] == skew + 250; });
    const auto after = client->next(cmd::Ni);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->p[5], skew + 250);
    EXPECT_EQ(simulator.state().azimuth, 17000);
}

TEST_F(SimActivities, DiagnosisReportsTenItemsInOrder) {
    ASSERT_TRUE(client->send(cmd::QD, {0}));
    for (std::int32_t item = 101; item <= 110; ++item) {
        const auto result = client->next(cmd::ND);
        ASSERT_TRUE(result) << item;
        EXPECT_EQ(result->p[0], item);
        EXPECT_GE(result->p[1], 1);
        EXPECT_LE(result->p[1], 3);
    }
}

TEST_F(SimActivities, SkewChecksLightTheSkewLedWhileTheyRun) {
    for (const std::int32_t kind : {0, 1}) {
        ASSERT_TRUE(client->send(cmd::CK, {kind}));
        const auto on = client->next(cmd::TC);
        ASSERT_TRUE(on);
        EXPECT_EQ(on->p[0], 10);
        EXPECT_EQ(on->p[1], 1);
        ASSERT_TRUE(client->next(cmd::TK)) << "the skew moves during the check";
        const auto off = client->next(cmd::TC);
        ASSERT_TRUE(off);
        EXPECT_EQ(off->p[0], 10);
        EXPECT_EQ(off->p[1], 0);
    }
}

TEST_F(SimActivities, FactoryResetReportsProgressThenRestoresTheTable) {
    ASSERT_TRUE(client->send(cmd::OS));
    ASSERT_TRUE(client->next(cmd::NA));
    ASSERT_TRUE(client->send(cmd::SL, {11300, 11300}));
    ASSERT_TRUE(client->send(cmd::SP, {5, 6, 7, 8, 9}));
    ASSERT_TRUE(client->next(cmd::NP));
    ASSERT_EQ(simulator.state().lnb[0], 11300);

    ASSERT_TRUE(client->send(cmd::Sd));
    std::vector<std::int32_t> progress;
    for (const Received& frame :
         collect(cmd::TC, [](const Received& f) { return f.p[0] == 13 && f.p[1] == 100; })) {
        progress.push_back(frame.p[1]);
    }
    EXPECT_EQ(progress, (std::vector<std::int32_t>{2, 3, 4, 5, 100}));
    const UnitState reset = simulator.state();
    EXPECT_EQ(reset.lnb[0], 9750);
    EXPECT_EQ(reset.slotMap, factoryState().slotMap);
    EXPECT_EQ(reset.antennaState, StateSetup) << "a reset does not leave set-up mode";
}

TEST_F(SimActivities, RestartInitialisesSearchesThenTracks) {
    ASSERT_TRUE(client->send(cmd::OR));
    std::vector<std::int32_t> states;
    for (const Received& frame :
         collect(cmd::NA, [](const Received& f) { return f.p[0] == StateTracking; })) {
        states.push_back(frame.p[0]);
    }
    EXPECT_EQ(states, (std::vector<std::int32_t>{StateInitialise, StateSearch, StateTracking}));
    const auto status = client->next(cmd::Ni);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->p[0], StateTracking);
    EXPECT_EQ(status->p[2], 1);
}

TEST_F(SimActivities, SelectingASatelliteWhileTrackingSearchesForIt) {
    ASSERT_TRUE(client->send(cmd::LT, {1, 0}));
    const auto slot = client->next(cmd::NS);
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->p[0], 1);
    std::vector<std::int32_t> states;
    for (const Received& frame :
         collect(cmd::NA, [](const Received& f) { return f.p[0] == StateTracking; })) {
        states.push_back(frame.p[0]);
    }
    EXPECT_EQ(states, (std::vector<std::int32_t>{StateSearch, StateTracking}));
    const UnitState now = simulator.state();
    EXPECT_EQ(now.currentSlot, 1);
    EXPECT_NE(now.azimuth, factoryState().azimuth) << "it turned to the other satellite";
}

TEST_F(SimActivities, SkewMovesInSetupModeComeAsMo) {
    ASSERT_TRUE(client->send(cmd::OS));
    ASSERT_TRUE(client->next(cmd::NA));
    const std::int32_t skew = simulator.state().skew;
    ASSERT_TRUE(client->send(cmd::MO, {4, 150}));  // SKEW minus
    collect(cmd::TK, [skew](const Received& f) { return f.p[0] == skew - 150; });
    const auto status = client->next(cmd::Ni);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->p[5], skew - 150);
}

// What QD reports: the unit's own findings, or the results a test configures per item.
TEST(SimDiagnosis, ReportsOneResultPerItem) {
    struct Case {
        const char* name;
        bool premium;
        std::optional<DiagnosisResults> configured;
        DiagnosisResults expected;
    };
    const Case cases[] = {
        {"premium unit", true, std::nullopt, {2, 2, 2, 2, 2, 2, 2, 2, 2, 3}},
        {"no skew motor without PREMIUM", false, std::nullopt, {2, 2, 2, 2, 2, 2, 3, 2, 2, 3}},
        {"configured",
         false,
         DiagnosisResults{1, 2, 3, 0, 7, -1, 2, 2, 3, 1},
         {1, 2, 3, 0, 7, -1, 2, 2, 3, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimOptions options = quietOptions();
        options.premium = c.premium;
        options.diagnosisResults = c.configured;
        Simulator simulator(options);
        ASSERT_TRUE(simulator.start()) << simulator.lastError();
        SimClient client(simulator.slavePath());
        ASSERT_TRUE(client.open());
        ASSERT_TRUE(client.send(cmd::QD, {0}));
        for (std::size_t k = 0; k < c.expected.size(); ++k) {
            const auto result = client.next(cmd::ND);
            ASSERT_TRUE(result) << k;
            EXPECT_EQ(result->p[0], 101 + static_cast<std::int32_t>(k));
            EXPECT_EQ(result->p[1], c.expected[k]) << "item " << 101 + k;
        }
    }
}

TEST(SimDiagnosis, CanLeaveQdUnanswered) {
    SimOptions options = quietOptions();
    options.answerDiagnosis = false;
    Simulator simulator(options);
    ASSERT_TRUE(simulator.start()) << simulator.lastError();
    SimClient client(simulator.slavePath());
    ASSERT_TRUE(client.open());
    ASSERT_TRUE(client.send(cmd::QD, {0}));
    ASSERT_TRUE(client.send(cmd::QV));
    ASSERT_TRUE(client.next(cmd::Nv)) << "other commands are still answered";
    // An answering unit sends its first result 200 ms after QD.
    EXPECT_FALSE(client.next(cmd::ND, 2500));
    EXPECT_EQ(simulator.receivedLines().front(), "QD 0");
}

}  // namespace
}  // namespace kelvandor::sim
