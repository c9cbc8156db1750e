// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's line: unasked reports, faults survived by a reader, junk from the
// controller, the COM link, and its independence from the program-wide receive buffer.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sim/sim_client.h"

namespace kelvandor::sim {
namespace {

namespace fs = std::filesystem;
using testing::countOf;
using testing::quietOptions;
using testing::Received;
using testing::SimClient;
using Clock = std::chrono::steady_clock;

// Frames of the QS picture, up to its closing Ni.
constexpr int StatusPictureFrames = 17;

int decodedCount(const std::vector<Received>& frames) {
    int n = 0;
    for (const Received& frame : frames) {
        n += frame.id >= 0 ? 1 : 0;
    }
    return n;
}

int failedCount(const std::vector<Received>& frames) {
    return static_cast<int>(frames.size()) - decodedCount(frames);
}

// Whether `condition` holds within `timeoutMs`, asked every few milliseconds.
template <class Condition>
bool eventually(Condition condition, int timeoutMs = testing::LongWaitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(SimLine, UnaskedReportsComeWhileIdleUnlessQuiet) {
    Simulator chatty;
    ASSERT_TRUE(chatty.start());
    SimClient client(chatty.slavePath());
    ASSERT_TRUE(client.readUntil([](const auto& frames) {
        return countOf(frames, cmd::Ni) >= 2 && countOf(frames, cmd::TC) >= 2;
    }));
    bool commLed = false;
    bool gpsFix = false;
    for (const Received& frame : client.pending()) {
        commLed |= frame.id == cmd::TC && frame.p[0] == 11 && frame.p[1] == 1;
        gpsFix |= frame.id == cmd::TC && frame.p[0] == 80;
    }
    EXPECT_TRUE(commLed);
    EXPECT_TRUE(gpsFix);

    // Once the reply to a query made after the switch has come, everything sent before
    // has come too; from then on nothing comes unasked.
    chatty.setPeriodicReports(false);
    ASSERT_TRUE(client.send(cmd::QV));
    ASSERT_TRUE(client.next(cmd::Nv));
    EXPECT_TRUE(client.drain(2500).empty());

    Simulator quiet(quietOptions());
    ASSERT_TRUE(quiet.start());
    SimClient quietClient(quiet.slavePath());
    EXPECT_TRUE(quietClient.drain(2500).empty());
}

TEST(SimLine, RunsOnTheCallersThreadUntilItsFlagOrStop) {
    Simulator simulator(quietOptions());
    std::atomic<bool> flag{false};
    bool ran = false;
    std::thread caller([&] { ran = simulator.run(flag); });
    const auto start = Clock::now();
    while (simulator.slavePath().empty() && Clock::now() - start < std::chrono::seconds(10)) {
        std::this_thread::yield();
    }
    {
        SimClient client(simulator.slavePath());
        ASSERT_TRUE(client.send(cmd::QV));
        EXPECT_TRUE(client.next(cmd::Nv));
    }
    flag = true;
    caller.join();
    EXPECT_TRUE(ran);

    // Again, ended by stop() from another thread once it answers.
    flag = false;
    std::thread again([&] { ran = simulator.run(flag); });
    {
        SimClient client(simulator.slavePath());
        ASSERT_TRUE(client.send(cmd::QV));
        EXPECT_TRUE(client.next(cmd::Nv));
    }
    simulator.stop();
    again.join();
    EXPECT_TRUE(simulator.slavePath().empty());
}

class SimFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.start()) << simulator.lastError();
        client.emplace(simulator.slavePath());
        ASSERT_TRUE(client->open());
    }
    // Asks for the status picture and returns what came within the wait.
    std::vector<Received> statusPicture() {
        EXPECT_TRUE(client->send(cmd::QS));
        client->readUntil([](const auto& frames) { return countOf(frames, cmd::Ni) > 0; });
        return client->drain(0);
    }
    // Whether the unit still answers normally.
    bool answers() {
        client->skipAll();
        return client->send(cmd::QV) && client->next(cmd::Nv).has_value();
    }

    Simulator simulator{quietOptions()};
    std::optional<SimClient> client;
};

TEST_F(SimFaults, DroppedAndSilencedRepliesNeverArrive) {
    simulator.setFault(Fault::DropReplies, true);
    simulator.setPeriodicReports(true);
    ASSERT_TRUE(client->send(cmd::QV));
    // Unasked reports still come; the reply does not.
    ASSERT_TRUE(client->readUntil([](const auto& frames) { return countOf(frames, cmd::Ni) > 0; }));
    EXPECT_EQ(countOf(client->drain(500), cmd::Nv), 0);
    simulator.setPeriodicReports(false);
    simulator.setFault(Fault::DropReplies, false);
    EXPECT_TRUE(answers());

    simulator.setFault(Fault::Silent, true);
    simulator.clearReceivedLines();
    ASSERT_TRUE(client->send(cmd::OS));
    EXPECT_TRUE(eventually([this] { return simulator.state().antennaState == StateSetup; }))
        << "a silent unit still acts";
    EXPECT_EQ(simulator.receivedLines(), std::vector<std::string>{"OS"});
    EXPECT_TRUE(client->drain(1000).empty());
    simulator.setFault(Fault::Silent, false);
    EXPECT_TRUE(answers());
}

TEST_F(SimFaults, CorruptChecksumsFailToDecode) {
    simulator.setFault(Fault::CorruptChecksums, true);
    ASSERT_TRUE(client->send(cmd::QS));
    ASSERT_TRUE(client->readUntil(
        [](const auto& frames) { return static_cast<int>(frames.size()) >= StatusPictureFrames; }));
    const std::vector<Received> frames = client->drain(300);
    EXPECT_EQ(decodedCount(frames), 0);
    for (const Received& frame : frames) {
        EXPECT_EQ(frame.id, ErrChecksum);
    }
    simulator.setFault(Fault::CorruptChecksums, false);
    EXPECT_TRUE(answers());
}

TEST_F(SimFaults, SplitGarbledAndFloodedFramesStillDecode) {
    for (const Fault fault : {Fault::SplitFrames, Fault::GarbageBursts, Fault::FloodUnpaced}) {
        simulator.setFault(fault, true);
        const std::vector<Received> picture = statusPicture();
        EXPECT_EQ(decodedCount(picture), StatusPictureFrames) << faultName(fault);
        EXPECT_EQ(failedCount(picture), 0) << faultName(fault);
        simulator.setFault(fault, false);
    }
    // All at once, on the whole table.
    simulator.setFault(Fault::SplitFrames, true);
    simulator.setFault(Fault::GarbageBursts, true);
    ASSERT_TRUE(client->send(cmd::QI));
    ASSERT_TRUE(
        client->readUntil([](const auto& frames) { return countOf(frames, cmd::NK) == 5; }));
    const std::vector<Received> table = client->drain(0);
    EXPECT_EQ(countOf(table, cmd::NT), DefaultSatelliteCount);
    EXPECT_EQ(failedCount(table), 0);
}

TEST_F(SimFaults, EchoDelayHoldsRepliesBack) {
    simulator.setFault(Fault::EchoDelay, true);
    const auto sent = Clock::now();
    ASSERT_TRUE(client->send(cmd::QV));
    ASSERT_TRUE(client->next(cmd::Nv));
    // The unit keeps time in whole milliseconds, so the delay may end up to one
    // millisecond early when measured from the send.
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(SimOptions{}.echoDelayMs - 1));
}

TEST_F(SimFaults, HangUpReadsZeroAndAReplugIsANewLine) {
    char dirPattern[] = "/tmp/kelvandor-hangup-XXXXXX";
    ASSERT_NE(::mkdtemp(dirPattern), nullptr);
    const fs::path dir = dirPattern;
    ASSERT_TRUE(simulator.linkAs(dir.string(), 3));
    const std::string before = simulator.slavePath();

    simulator.setFault(Fault::HangUp, true);
    EXPECT_TRUE(simulator.slavePath().empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM3"))) << "an unplugged port vanishes";
    char buffer[64];
    const auto start = Clock::now();
    while (!client->port().lineLost() && Clock::now() - start < std::chrono::seconds(5)) {
        EXPECT_EQ(client->port().Read(buffer, sizeof buffer), 0);
    }
    EXPECT_TRUE(client->port().lineLost());
    EXPECT_EQ(client->port().Write("{QV}\"", 5), 0);

    simulator.setFault(Fault::HangUp, false);
    const std::string after = simulator.slavePath();
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(fs::read_symlink(dir / "COM3").string(), after);
    // The controller reconnects by name and the unit, with its table, is still there.
    SerialPort port;
    ComPortNaming naming;
    naming.portDir = dir.string();
    port.setNaming(naming);
    ASSERT_EQ(port.Open("COM3", 19200, 10), 1);
    client.reset();
    client.emplace(after);
    EXPECT_FALSE(client->open()) << "the port is held by `port`";
    port.Close();
    client.reset();
    client.emplace(after);
    EXPECT_TRUE(answers());
    EXPECT_FALSE(before.empty());

    simulator.stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM3")));
    fs::remove_all(dir);
}

TEST_F(SimFaults, JunkFromTheControllerIsIgnored) {
    simulator.clearReceivedLines();
    std::string junk = "\x01\xff}}{{{Q";
    junk += "{ZZ}";
    junk += frameChecksum(junk.data() + junk.size() - 4, 4);
    junk += "{QV}#";  // wrong checksum
    junk += std::string(300, '7');
    ASSERT_TRUE(client->sendRaw(junk));
    EXPECT_TRUE(answers());
    const std::vector<std::string> lines = simulator.receivedLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "QV");
    int errors = 0;
    for (const std::string& line : lines) {
        errors += line.starts_with("error ") ? 1 : 0;
    }
    EXPECT_GE(errors, 2);
}

TEST_F(SimFaults, UsesItsOwnReceiveBufferNotTheProgramWideOne) {
    resetReceiveBufferForTest();
    ASSERT_TRUE(client->sendRaw("{QV"));  // half a frame stays in the simulator's buffer
    client->drain(200);
    EXPECT_EQ(receiveBufferHeld(), 0);
    ASSERT_TRUE(client->sendRaw("}\""));
    EXPECT_TRUE(client->next(cmd::Nv));
    EXPECT_EQ(receiveBufferHeld(), 0);
}

class SimLink : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvandor-link-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_TRUE(simulator.open());
    }
    void TearDown() override {
        simulator.stop();
        fs::remove_all(dir);
    }

    fs::path dir;
    Simulator simulator{quietOptions()};
};

TEST_F(SimLink, LinksReplacesStaleLinksAndLeavesOthersAlone) {
    std::string note;
    const fs::path portDir = dir / "ports" / "nested";
    ASSERT_TRUE(simulator.linkAs(portDir.string(), 2, &note)) << note;
    EXPECT_EQ(fs::read_symlink(portDir / "COM2").string(), simulator.slavePath());
    EXPECT_EQ(simulator.linkPath(), (portDir / "COM2").string());

    fs::create_symlink(dir / "unplugged", dir / "COM4");
    ASSERT_TRUE(simulator.linkAs(dir.string(), 4, &note)) << note;
    EXPECT_NE(note.find("dangling"), std::string::npos) << note;
    EXPECT_EQ(fs::read_symlink(dir / "COM4").string(), simulator.slavePath());

    fs::create_symlink("/dev/null", dir / "COM5");
    EXPECT_FALSE(simulator.linkAs(dir.string(), 5, &note));
    EXPECT_NE(note.find("/dev/null"), std::string::npos) << note;
    EXPECT_EQ(fs::read_symlink(dir / "COM5").string(), "/dev/null");
    EXPECT_TRUE(simulator.linkAs(dir.string(), 5, &note, true)) << note;

    std::ofstream(dir / "COM6").put('x');
    EXPECT_FALSE(simulator.linkAs(dir.string(), 6, &note));
    EXPECT_TRUE(fs::is_regular_file(dir / "COM6"));
    EXPECT_FALSE(simulator.linkAs(dir.string(), 0, &note));

    // Each new link moved the simulator's one link; stop() removes it.
    EXPECT_FALSE(fs::exists(fs::symlink_status(portDir / "COM2")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM4")));
    simulator.stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM5")));
}

TEST_F(SimLink, StopLeavesALinkSomeoneElseRepointed) {
    ASSERT_TRUE(simulator.linkAs(dir.string(), 2));
    fs::remove(dir / "COM2");
    fs::create_symlink("/dev/null", dir / "COM2");
    simulator.stop();
    EXPECT_EQ(fs::read_symlink(dir / "COM2").string(), "/dev/null");
}

}  // namespace
}  // namespace kelvandor::sim
