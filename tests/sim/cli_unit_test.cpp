// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli write-default and status against an in-process simulator.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>

#include "cli/cli_port.h"
#include "cli/cli_unit.h"
#include "defaults/rif_reader.h"
#include "sim/sim_client.h"
#include "support/default_set_check.h"

namespace kelvandor::cli {
namespace {

using sim::Simulator;

// The unit's T6 profile: the simulated unit reports product size 1.
constexpr int UnitProductSize = 1;

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result writeDefault(const Args& args) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    const std::atomic<bool> stop{false};
    const int status = runWriteDefault(args, in, out, err, Console{}, stop);
    return {status, out.str(), err.str()};
}

Result status(const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    const std::atomic<bool> stop{false};
    const int result = runStatus(args, out, err, stop);
    return {result, out.str(), err.str()};
}

void enterSetupMode(const std::string& port) {
    std::ostringstream out;
    std::ostringstream err;
    const std::atomic<bool> stop{false};
    ASSERT_EQ(runSend({"--port", port, "OS", "--wait", "1000"}, out, err, stop), ExitOk);
    ASSERT_TRUE(out.str().ends_with("NA 0\n")) << out.str();
}

TEST(CliWriteDefault, WritesTheSetIntoTheUnitOnlyInSetupMode) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    const std::string port = simulator.slavePath();
    const Args args{KELVANDOR_SAMPLE_RIF, "--port", port, "--yes"};

    const Result tracking = writeDefault(args);
    EXPECT_EQ(tracking.status, ExitUnit);
    EXPECT_NE(tracking.err.find("not set-up mode"), std::string::npos) << tracking.err;
    EXPECT_EQ(simulator.receivedLines(), std::vector<std::string>{"QS"});

    enterSetupMode(port);
    const Result r = writeDefault(args);
    EXPECT_EQ(r.status, ExitOk) << r.out << r.err;
    EXPECT_NE(r.out.find("61 of 61 awaited steps answered. 64 of 64 steps sent"),
              std::string::npos)
        << r.out;
    DefaultSet set;
    ASSERT_TRUE(readRifFile(KELVANDOR_SAMPLE_RIF, set).ok());
    // The unit has taken the last frame, KO, before write-default returned.
    EXPECT_EQ(testing::defaultSetMismatch(set, set.productProfiles[UnitProductSize],
                                          simulator.state())
                  .toStdString(),
              "");
}

TEST(CliWriteDefault, NamesTheStepsThatGotNoReply) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    enterSetupMode(simulator.slavePath());
    simulator.setCommandDelay(cmd::SC, Simulator::NeverTaken);
    simulator.setCommandDelay(cmd::SQ, Simulator::NeverTaken);
    const Result r = writeDefault({KELVANDOR_SAMPLE_RIF, "--port", simulator.slavePath(), "--yes"});
    EXPECT_EQ(r.status, ExitFailed);
    EXPECT_NE(r.out.find("59 of 61 awaited steps answered; no reply to: SC (control parameters), "
                         "SQ (DiSEqC mode)."),
              std::string::npos)
        << r.out;
}

TEST(CliWriteDefault, RefusesBadInputBeforeSendingAnything) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    const std::string port = simulator.slavePath();
    const Result refused = writeDefault({"/nonexistent/set.rif", "--port", port, "--yes"});
    EXPECT_EQ(refused.status, ExitUsage);
    EXPECT_NE(refused.err.find("/nonexistent/set.rif"), std::string::npos) << refused.err;
    // Without --yes, and nobody at a terminal to answer.
    EXPECT_EQ(writeDefault({KELVANDOR_SAMPLE_RIF, "--port", port}).status, ExitUsage);
    EXPECT_EQ(writeDefault({KELVANDOR_SAMPLE_RIF, "--port", port, "--size", "T7"}).status,
              ExitUsage);
    EXPECT_TRUE(simulator.receivedLines().empty());
    EXPECT_EQ(writeDefault({KELVANDOR_SAMPLE_RIF, "--port", "/nonexistent/tty", "--yes"}).status,
              ExitUnit);
}

TEST(CliStatus, JsonMatchesTheUnit) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    const Result r = status({"--port", simulator.slavePath(), "--json"});
    ASSERT_EQ(r.status, ExitOk) << r.err;
    QJsonParseError error{};
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    const sim::UnitState unit = simulator.state();
    EXPECT_EQ(json["state"]["code"].toInt(), unit.antennaState);
    EXPECT_EQ(json["pointing"]["azimuth"].toDouble(), unit.azimuth / 100.0);
    EXPECT_EQ(json["product"]["size"].toString(), QStringLiteral("T6"));
    const QJsonArray satellites = json["satellites"].toArray();
    ASSERT_EQ(satellites.size(), unit.satelliteCount);
    for (int k = 0; k < unit.satelliteCount; ++k) {
        EXPECT_EQ(satellites[k]["name"].toString().toStdString(), sim::satelliteName(unit, k));
    }
    const int tracked = sim::currentSatellite(unit);
    EXPECT_EQ(json["trackedSatellite"]["index"].toInt(), tracked);

    // A unit that says nothing: exit 3, and the JSON says so.
    simulator.setFault(sim::Fault::Silent, true);
    const Result silent = status({"--port", simulator.slavePath(), "--json", "--wait", "800"});
    EXPECT_EQ(silent.status, ExitUnit);
    EXPECT_NE(silent.out.find("\"answered\":false"), std::string::npos) << silent.out;
}

}  // namespace
}  // namespace kelvandor::cli
