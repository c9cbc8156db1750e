// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli write-default and status against an in-process simulator.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

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

// An output stream's buffer that keeps what is written and hands each whole line to
// `onLine` as it is written, so a test can act at a given point of a run.
class LineWatch : public std::streambuf {
  public:
    explicit LineWatch(std::function<void(const std::string&)> onLine)
        : onLine_(std::move(onLine)) {}
    const std::string& text() const { return text_; }

  protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) {
            return 0;
        }
        text_ += static_cast<char>(c);
        if (c == '\n') {
            onLine_(line_);
            line_.clear();
        } else {
            line_ += static_cast<char>(c);
        }
        return c;
    }

  private:
    std::function<void(const std::string&)> onLine_;
    std::string text_;
    std::string line_;
};

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
    EXPECT_NE(r.out.find("61 of 61 awaited steps answered. 64 of 64 steps sent"), std::string::npos)
        << r.out;
    DefaultSet set;
    ASSERT_TRUE(readRifFile(KELVANDOR_SAMPLE_RIF, set).ok());
    // The unit has taken the last frame, KO, before write-default returned.
    EXPECT_EQ(
        testing::defaultSetMismatch(set, set.productProfiles[UnitProductSize], simulator.state())
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

// The line is pulled at a given point of the run: right after SQ's echo (only KT and KO
// are left, and neither waits for a reply), or before the first step.
TEST(CliWriteDefault, HangUpEndsTheRunAndSaysWhatWasNotSent) {
    struct Case {
        const char* pullAfter;  // the output line after which the line is pulled
        int status;
        const char* summary;
        const char* notSent;
    };
    const Case cases[] = {
        {"SQ (DiSEqC mode)  answered", ExitFailed, "62 of 64 steps sent in",
         "Not sent: 2 of 64 steps, from KT (skew adjustments) on."},
        {"Writing default set", ExitUnit, "0 of 64 steps sent in",
         "Not sent: 64 of 64 steps, from EI (satellite 0) on."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pullAfter);
        Simulator simulator(sim::testing::quietOptions());
        ASSERT_TRUE(simulator.start());
        enterSetupMode(simulator.slavePath());
        LineWatch watch([&simulator, &c](const std::string& line) {
            if (line.find(c.pullAfter) != std::string::npos) {
                simulator.setFault(sim::Fault::HangUp, true);  // returns once the line is down
            }
        });
        std::ostream out(&watch);
        std::istringstream in;
        std::ostringstream err;
        const std::atomic<bool> stop{false};
        const int result =
            runWriteDefault({KELVANDOR_SAMPLE_RIF, "--port", simulator.slavePath(), "--yes"}, in,
                            out, err, Console{}, stop);
        EXPECT_EQ(result, c.status) << watch.text();
        EXPECT_NE(watch.text().find(c.summary), std::string::npos) << watch.text();
        EXPECT_NE(watch.text().find(c.notSent), std::string::npos) << watch.text();
        EXPECT_EQ(watch.text().find("step 63/64"), std::string::npos) << watch.text();
    }
}

// Ctrl-C at the question ends the program at once; only QS went to the unit.
TEST(CliWriteDefault, InterruptAtTheQuestionEndsTheProgramSendingNothing) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    const std::string port = simulator.slavePath();
    enterSetupMode(port);
    simulator.clearReceivedLines();
    const char* argv[] = {KELVANDOR_CLI, "write-default", KELVANDOR_SAMPLE_RIF,
                          "--port",      port.c_str(),    nullptr};
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execv(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    std::string shown;
    char bytes[256];
    pollfd readable{terminal, POLLIN, 0};
    while (shown.find("[y/N] ") == std::string::npos && poll(&readable, 1, 5000) > 0) {
        const ssize_t got = read(terminal, bytes, sizeof bytes);
        if (got <= 0) {
            break;
        }
        shown.append(bytes, static_cast<std::size_t>(got));
    }
    EXPECT_NE(shown.find("[y/N] "), std::string::npos) << shown;
    ASSERT_EQ(write(terminal, "\x03", 1), 1);  // the terminal's interrupt character
    int status = 0;
    pid_t ended = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    close(terminal);
    ASSERT_EQ(ended, child) << "still asking after Ctrl-C";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_EQ(simulator.receivedLines(), std::vector<std::string>{"QS"});
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
    // A port name beyond ASCII comes back as the same characters; a byte that is no UTF-8
    // (a Latin-1 e acute) as the character it stands for in Latin-1.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("cli-unit-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string name = "Mastfu\xc3\x9f-\xe2\x86\x92-";
    const std::string link = (dir / (name + "\xe9")).string();
    std::filesystem::create_symlink(simulator.slavePath(), link);
    const Result r = status({"--port", link, "--json"});
    std::filesystem::remove_all(dir);
    ASSERT_EQ(r.status, ExitOk) << r.err;
    QJsonParseError error{};
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    EXPECT_EQ(json["port"].toString().toStdString(), (dir / (name + "\xc3\xa9")).string());
    EXPECT_TRUE(json["complete"].isBool() && json["complete"].toBool()) << r.out;
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

// The table never comes: the picture is said to be incomplete, once because the unit
// fell quiet, once because the line hung up while the unit was still to answer.
TEST(CliStatus, AnIncompletePictureIsSaidAndFails) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    const std::string port = simulator.slavePath();
    simulator.setCommandDelay(cmd::QI, Simulator::NeverTaken);
    const Result quiet = status({"--port", port});
    EXPECT_EQ(quiet.status, ExitUnit);
    EXPECT_NE(quiet.out.find("state: "), std::string::npos) << quiet.out;
    EXPECT_NE(quiet.out.find("incomplete"), std::string::npos) << quiet.out;

    simulator.clearReceivedLines();
    std::jthread pull([&simulator] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (simulator.receivedLines().size() < 2 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        simulator.setFault(sim::Fault::HangUp, true);
    });
    const Result hungUp = status({"--port", port, "--json"});
    pull.join();
    EXPECT_EQ(hungUp.status, ExitUnit);
    QJsonParseError error{};
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(hungUp.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << hungUp.out;
    EXPECT_TRUE(json["complete"].isBool() && !json["complete"].toBool()) << hungUp.out;
    EXPECT_NE(hungUp.err.find("hung up"), std::string::npos) << hungUp.err;
}

}  // namespace
}  // namespace kelvandor::cli
