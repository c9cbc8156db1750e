// SPDX-License-Identifier: GPL-3.0-or-later
// The tracking pattern the simulated unit streams on request: records that open with
// TC 0 and go on with numbered PT rows describing the antenna, one after another when
// asked to repeat, until stopped; and the kelvandor-sim options that ask for it.
#include <gtest/gtest.h>

#include "sim/sim_client.h"
#include "sim/sim_command_line.h"

namespace kelvandor::sim {
namespace {

using testing::quietOptions;
using testing::Received;
using testing::SimClient;

class SimPattern : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.start()) << simulator.lastError();
        client.emplace(simulator.slavePath());
        ASSERT_TRUE(client->open());
    }
    // The pattern frames (TC 0 and PT) among `frames`.
    static std::vector<Received> patternOf(const std::vector<Received>& frames) {
        std::vector<Received> pattern;
        for (const Received& frame : frames) {
            if (frame.id == cmd::PT || (frame.id == cmd::TC && frame.p[0] == 0)) {
                pattern.push_back(frame);
            }
        }
        return pattern;
    }
    // Reads until `count` pattern frames have come; the test fails when they do not.
    std::vector<Received> readPattern(std::size_t count) {
        EXPECT_TRUE(client->readUntil(
            [count](const auto& frames) { return patternOf(frames).size() >= count; }));
        return patternOf(client->drain(0));
    }

    Simulator simulator{quietOptions()};
    std::optional<SimClient> client;
};

TEST_F(SimPattern, RecordOpensWithTcZeroThenNumberedRowsOfTheAntenna) {
    const UnitState unit = simulator.state();
    simulator.streamPattern({3, 40, false});
    const std::vector<Received> record = readPattern(4);
    ASSERT_EQ(record.size(), 4U);
    EXPECT_EQ(record[0].id, cmd::TC);
    EXPECT_EQ(record[0].p[1], 0);
    for (std::int32_t row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        const Received& frame = record[static_cast<std::size_t>(row)];
        ASSERT_EQ(frame.id, cmd::PT);
        EXPECT_EQ(frame.p[0], row);
        EXPECT_EQ(frame.p[1], unit.azimuth);
        EXPECT_EQ(frame.p[2], unit.elevation);
        EXPECT_EQ(frame.p[3], unit.skew);
        EXPECT_GT(frame.p[4], 0) << "signal level";
        EXPECT_EQ(frame.p[5], 1) << "a tracking unit is locked";
        EXPECT_EQ(frame.p[6], unit.antennaState);
    }
    // One record was asked for: nothing follows it.
    EXPECT_TRUE(patternOf(client->drain(400)).empty());
}

TEST_F(SimPattern, RepeatedRecordsRunUntilStoppedAndRepliesGoOnMeanwhile) {
    simulator.streamPattern({2, 30, true});
    const std::vector<Received> frames = readPattern(6);
    ASSERT_GE(frames.size(), 6U);
    const std::vector<std::pair<CommandId, std::int32_t>> expected = {
        {cmd::TC, 0}, {cmd::PT, 1}, {cmd::PT, 2}, {cmd::TC, 0}, {cmd::PT, 1}, {cmd::PT, 2}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(frames[k].id, expected[k].first);
        EXPECT_EQ(frames[k].p[0], expected[k].second);
    }
    // The unit still answers while it streams.
    ASSERT_TRUE(client->send(cmd::QV));
    EXPECT_TRUE(client->next(cmd::Nv));

    simulator.streamPattern({});
    client->drain(200);  // what was on its way when the stream stopped
    EXPECT_TRUE(patternOf(client->drain(400)).empty());
}

TEST(SimPatternCommandLine, RowsAndPeriodAskForARepeatingStream) {
    std::string error;
    const auto none = parseSimCommandLine({}, error);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->pattern.rows, 0);

    const auto line =
        parseSimCommandLine({"--pattern-rows", "25", "--pattern-period", "200"}, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->pattern.rows, 25);
    EXPECT_EQ(line->pattern.periodMs, 200);
    EXPECT_TRUE(line->pattern.repeat);
    for (const char* option : {"--pattern-rows", "--pattern-period"}) {
        EXPECT_NE(std::string(SimUsage).find(option), std::string::npos) << option;
    }

    const std::vector<std::vector<std::string>> bad = {
        {"--pattern-rows", "0"},
        {"--pattern-rows", "many"},
        {"--pattern-period", "200"},
        {"--pattern-rows", "5", "--pattern-period", "0"}};
    for (const auto& args : bad) {
        SCOPED_TRACE(args.back());
        std::string why;
        EXPECT_FALSE(parseSimCommandLine(args, why));
        EXPECT_FALSE(why.empty());
    }
}

}  // namespace
}  // namespace kelvandor::sim
