// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's answers through a real pty, decoded with the project's codec: reply
// pairs that store what they were told, set-up-mode gating, and the QS / QI picture.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sim/sim_client.h"

namespace kelvandor::sim {
namespace {

using testing::countOf;
using testing::quietOptions;
using testing::Received;
using testing::SimClient;
using testing::unpackName;

class SimReplies : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.start()) << simulator.lastError();
        client.emplace(simulator.slavePath());
        ASSERT_TRUE(client->open());
    }
    void enterSetup() {
        ASSERT_TRUE(client->send(cmd::OS));
        // Earlier state reports (a search after LT) may still be on their way.
        std::optional<Received> state;
        do {
            state = client->next(cmd::NA);
            ASSERT_TRUE(state);
        } while (state->p[0] != StateSetup);
        EXPECT_EQ(simulator.state().antennaState, StateSetup);
    }
    // Sends `id` and returns the reply `reply`; the test fails when none comes.
    Received exchange(CommandId id, std::initializer_list<std::int32_t> params, CommandId reply) {
        EXPECT_TRUE(client->send(id, params));
        const std::optional<Received> answer = client->next(reply);
        EXPECT_TRUE(answer) << "no " << CommandTable[reply].first << CommandTable[reply].second;
        return answer.value_or(Received{});
    }

    Simulator simulator{quietOptions()};
    std::optional<SimClient> client;
};

void expectParams(const Received& frame, std::initializer_list<std::int32_t> expected) {
    int k = 0;
    for (const std::int32_t value : expected) {
        EXPECT_EQ(frame.p[static_cast<std::size_t>(k)], value)
            << CommandTable[frame.id].first << CommandTable[frame.id].second << " parameter " << k;
        ++k;
    }
}

TEST_F(SimReplies, ReplyPairsEchoAndStoreWhatTheyWereTold) {
    enterSetup();
    std::int32_t name[2] = {};
    packText("KVTEST", name);

    expectParams(exchange(cmd::EI, {3, 7250, 1, 11, 12, 13, 14, name[0], name[1]}, cmd::NI),
                 {3, 7250, 1, 11, 12, 13, 14, name[0], name[1]});
    expectParams(exchange(cmd::Eu, {3, 1920, 0, 21, 22, 23, 24, name[0], name[1]}, cmd::Nu),
                 {3, 1920, 0, 21, 22, 23, 24, name[0], name[1]});
    expectParams(exchange(cmd::ET, {3, 11000, 11100, 12000, 12100, 1, 2, 3, 4, 1, 6}, cmd::NT),
                 {3, 11000, 11100, 12000, 12100, 1, 2, 3, 4, 1, 6});
    expectParams(exchange(cmd::EU, {3, 10800, 10900, 11800, 11900, 5, 6, 7, 8, 4, 0}, cmd::NU),
                 {3, 10800, 10900, 11800, 11900, 5, 6, 7, 8, 4, 0});
    expectParams(exchange(cmd::SL, {10750, 10750}, cmd::NL), {10750, 10750, 0});
    expectParams(exchange(cmd::TR, {1}, cmd::TR), {1});
    expectParams(exchange(cmd::SP, {3, 4, 5, 6, 7}, cmd::NP), {3, 4, 5, 6, 7});
    expectParams(exchange(cmd::LT, {1, 4}, cmd::NS), {1});
    expectParams(exchange(cmd::SG, {12659, 0, 3733, 3}, cmd::NG), {12659, 0, 3733, 3});
    expectParams(exchange(cmd::SA, {-5, 20, 40}, cmd::NR), {-5, 20, 40});
    expectParams(exchange(cmd::FG, {1, 0, 1}, cmd::NF), {1, 0, 1});
    expectParams(exchange(cmd::SC, {1, 2, 3, 4, 5, 6, 7}, cmd::NC), {1, 2, 3, 4, 5, 6, 7});
    expectParams(exchange(cmd::SQ, {2}, cmd::NQ), {2});
    expectParams(exchange(cmd::Sa, {9, 8, 7}, cmd::Np), {9, 8, 7});
    expectParams(exchange(cmd::TL, {-15, 0, 0}, cmd::DL), {-15});
    ASSERT_TRUE(client->send(cmd::KO, {10, 20, 30, 40, 50}));
    for (std::int32_t slot = 0; slot < SlotCount; ++slot) {
        const auto skew = client->next(cmd::NK);
        ASSERT_TRUE(skew);
        EXPECT_EQ(skew->p[0], slot);
        EXPECT_EQ(skew->p[2], 10 * (slot + 1));
    }
    ASSERT_TRUE(client->send(cmd::KT, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));

    // Out-of-range values are refused and the stored ones reported instead.
    expectParams(exchange(cmd::SP, {0, 1, 2, 3, 20}, cmd::NP), {3, 4, 5, 6, 7});
    expectParams(exchange(cmd::SQ, {3}, cmd::NQ), {2});
    expectParams(exchange(cmd::LT, {5, 0}, cmd::NS), {1});

    // Later queries return what was stored.
    ASSERT_TRUE(client->send(cmd::QI));
    ASSERT_TRUE(
        client->readUntil([](const auto& frames) { return countOf(frames, cmd::NK) == 5; }));
    const std::vector<Received> table = client->drain(0);
    for (const Received& frame : table) {
        if (frame.id == cmd::NI && frame.p[0] == 3) {
            EXPECT_EQ(unpackName(&frame.p[7], 2), "KVTEST");
            EXPECT_EQ(frame.p[1], 7250);
        }
        if (frame.id == cmd::NP) {
            expectParams(frame, {3, 4, 5, 6, 7});
        }
        if (frame.id == cmd::NS) {
            expectParams(frame, {1});
        }
    }
    const UnitState stored = simulator.state();
    EXPECT_EQ(stored.satellites[3].secondary[0], 1920);
    EXPECT_EQ(stored.satellites[3].secondaryTracking[9], 0);
    EXPECT_EQ(stored.satellites[12].skewAdjust, 13);
    EXPECT_EQ(stored.tripleMode, 1);
    EXPECT_EQ(stored.elevationAdjust, -15);
}

TEST_F(SimReplies, StoredSettingsNeedSetupMode) {
    ASSERT_EQ(simulator.state().antennaState, StateTracking);
    const UnitState before = simulator.state();
    const CommandId gated[] = {cmd::EI, cmd::Eu, cmd::ET, cmd::EU, cmd::SL, cmd::SP,
                               cmd::SG, cmd::SA, cmd::SC, cmd::Sa, cmd::FG, cmd::SQ,
                               cmd::TR, cmd::KO, cmd::KT, cmd::TL};
    for (const CommandId id : gated) {
        ASSERT_TRUE(client->send(id, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
        const auto refusal = client->next(cmd::AC);
        ASSERT_TRUE(refusal) << CommandTable[id].first << CommandTable[id].second;
        EXPECT_EQ(refusal->p[0], -1);
    }
    // Nothing but the refusals came back, and nothing was stored.
    const std::vector<Received> rest = client->drain(300);
    EXPECT_TRUE(rest.empty());
    const UnitState after = simulator.state();
    EXPECT_EQ(after.satellites[1].primary, before.satellites[1].primary);
    EXPECT_EQ(after.lnb, before.lnb);
    EXPECT_EQ(after.slotMap, before.slotMap);
    EXPECT_EQ(after.controlParams, before.controlParams);
    EXPECT_EQ(after.tripleMode, before.tripleMode);

    // Selecting a satellite works in any state.
    expectParams(exchange(cmd::LT, {1, 0}, cmd::NS), {1});
    // After OS the same command is taken.
    enterSetup();
    expectParams(exchange(cmd::SL, {11300, 11300}, cmd::NL), {11300, 11300, 0});
}

TEST_F(SimReplies, StatusPictureDescribesTheUnit) {
    ASSERT_TRUE(client->send(cmd::QS));
    ASSERT_TRUE(client->readUntil([](const auto& frames) { return countOf(frames, cmd::Ni) > 0; }));
    const std::vector<Received> picture = client->drain(0);
    std::set<CommandId> seen;
    for (const Received& frame : picture) {
        seen.insert(frame.id);
    }
    for (const CommandId id :
         {cmd::NA, cmd::Nn, cmd::NW, cmd::EN, cmd::VL, cmd::NG, cmd::Nw, cmd::NL, cmd::NQ, cmd::TR,
          cmd::NR, cmd::NC, cmd::Np, cmd::NF, cmd::DL, cmd::Ni}) {
        EXPECT_TRUE(seen.count(id)) << CommandTable[id].first << CommandTable[id].second;
    }
    EXPECT_EQ(seen.count(-4), 0U) << "a frame failed its checksum";
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(picture.front().id, cmd::NA);
    EXPECT_EQ(picture.front().p[0], StateTracking);
    std::set<std::int32_t> lnbKinds;
    for (const Received& frame : picture) {
        if (frame.id == cmd::Nn) {
            const std::string name = unpackName(frame.p.data(), 5);
            EXPECT_EQ(name.size(), 20U);
            EXPECT_NE(name.find("PREMIUM"), std::string::npos) << name;
        } else if (frame.id == cmd::NW) {
            expectParams(frame, {312, 1, 200});
        } else if (frame.id == cmd::EN) {
            EXPECT_FALSE(unpackName(frame.p.data(), 3).empty());
        } else if (frame.id == cmd::NL) {
            lnbKinds.insert(frame.p[2]);
            EXPECT_EQ(frame.p[0], 9750);
        } else if (frame.id == cmd::Ni) {
            EXPECT_EQ(frame.p[0], StateTracking);
            EXPECT_EQ(frame.p[2], 1) << "a tracking unit is locked";
            EXPECT_GT(frame.p[4], 0) << "elevation";
        }
    }
    EXPECT_EQ(lnbKinds, (std::set<std::int32_t>{0, 1}));

    // A tracking unit reports a strong, locked signal (the controller shows 800 - level).
    const Received level = exchange(cmd::QV, {}, cmd::Nv);
    EXPECT_GT(level.p[0], 0);
    EXPECT_LT(level.p[0], 400);
    EXPECT_EQ(level.p[1], 1);
}

TEST_F(SimReplies, TablePictureListsEverySatelliteBeforeTheSlots) {
    ASSERT_TRUE(client->send(cmd::QI));
    ASSERT_TRUE(
        client->readUntil([](const auto& frames) { return countOf(frames, cmd::NK) == 5; }));
    const std::vector<Received> picture = client->drain(0);
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(picture.front().id, cmd::NN);
    EXPECT_EQ(picture.front().p[0], DefaultSatelliteCount);
    for (const CommandId id : {cmd::NI, cmd::Nu, cmd::NT, cmd::NU}) {
        EXPECT_EQ(countOf(picture, id), DefaultSatelliteCount);
    }
    std::set<std::string> names;
    std::size_t lastSatellite = 0;
    std::size_t slots = 0;
    for (std::size_t k = 0; k < picture.size(); ++k) {
        const Received& frame = picture[k];
        if (frame.id == cmd::NI) {
            lastSatellite = k;
            const std::string name = unpackName(&frame.p[7], 2);
            EXPECT_GE(name.size(), 3U);
            EXPECT_LE(name.size(), 8U);
            names.insert(name);
            EXPECT_GT(frame.p[1], 0);
            EXPECT_LT(frame.p[1], 18000);
            EXPECT_TRUE(frame.p[2] == 0 || frame.p[2] == 1);
        } else if (frame.id == cmd::NT) {
            EXPECT_GE(frame.p[1], 10700) << "a Ku-band frequency";
            EXPECT_LE(frame.p[4], 12750);
            EXPECT_GE(frame.p[5], 1000) << "a symbol rate";
        } else if (frame.id == cmd::NP) {
            slots = k;
        } else if (frame.id == cmd::NS) {
            EXPECT_GT(k, slots) << "NS is read through the slot map, so NP comes first";
        }
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(DefaultSatelliteCount));
    EXPECT_GT(slots, lastSatellite) << "NP names satellites the table must already hold";
}

TEST_F(SimReplies, TransponderSelectionReportsBandNidAndFrequency) {
    expectParams(exchange(cmd::SW, {2}, cmd::Nw), {2});
    const std::int32_t nid = simulator.state().satellites[0].primary[BlockFirstNid + 2];
    expectParams(client->next(cmd::ID).value_or(Received{}), {nid});
    expectParams(client->next(cmd::NL).value_or(Received{}), {10600, 10600, 1});
    expectParams(exchange(cmd::SW, {7}, cmd::Nw), {2});
}

TEST(SimIdentity, NoPremiumLeavesPremiumOutOfTheName) {
    SimOptions options = quietOptions();
    options.premium = false;
    Simulator simulator(options);
    ASSERT_TRUE(simulator.start());
    SimClient client(simulator.slavePath());
    ASSERT_TRUE(client.send(cmd::QS));
    const auto name = client.next(cmd::Nn);
    ASSERT_TRUE(name);
    const std::string text = unpackName(name->p.data(), 5);
    EXPECT_EQ(text.find("PREMIUM"), std::string::npos) << text;
    EXPECT_EQ(text.find("Premium"), std::string::npos) << text;
    EXPECT_FALSE(text.empty());
}

}  // namespace
}  // namespace kelvandor::sim
