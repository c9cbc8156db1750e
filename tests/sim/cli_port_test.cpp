// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli send and monitor against an in-process simulator.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <thread>

#include "cli/cli_port.h"
#include "sim/sim_client.h"
#include "sim/tcp_listener.h"

namespace kelvandor::cli {
namespace {

using sim::Fault;
using sim::Simulator;

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result send(const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    const std::atomic<bool> stop{false};
    const int status = runSend(args, out, err, stop);
    return {status, out.str(), err.str()};
}

bool isOneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

TEST(CliSend, PrintsTheRepliesInTheDecodeFormat) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    const Result r = send({"--port", simulator.slavePath(), "SQ", "1", "--wait", "1500"});
    EXPECT_EQ(r.status, ExitOk) << r.err;
    EXPECT_EQ(r.out, "AC -1\n") << "the unit tracks, so it refuses a setting";
    EXPECT_EQ(simulator.receivedLines(), std::vector<std::string>{"SQ 1"});

    const Result status = send({"--port", simulator.slavePath(), "QS", "--wait", "3000"});
    EXPECT_EQ(status.status, ExitOk);
    EXPECT_TRUE(status.out.starts_with("NA 2\nNn ")) << status.out;
    EXPECT_NE(status.out.find("\nNW 312 1 200\n"), std::string::npos) << status.out;

    simulator.setFault(Fault::CorruptChecksums, true);
    const Result broken = send({"--port", simulator.slavePath(), "QV", "--wait", "1500"});
    EXPECT_EQ(broken.out, "error -4\n");
}

TEST(CliSend, ReachesTheUnitOverTheNetworkOrSaysWhyNot) {
    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    std::string url;
    {
        sim::TcpListener listener(simulator);
        ASSERT_TRUE(listener.listen(*sim::parseListenAddress("127.0.0.1:0"))) << listener.error();
        std::atomic<bool> stop{false};
        std::thread serving([&] { listener.run(stop); });
        url = "tcp://127.0.0.1:" + std::to_string(listener.port());
        const Result r = send({"--port", url, "QV", "--wait", "1500"});
        stop = true;
        serving.join();
        EXPECT_EQ(r.status, ExitOk) << r.err;
        EXPECT_EQ(r.out, "Nv 232 1\n");
    }

    // Nothing listens there now.
    const Result refused = send({"--port", url, "QV"});
    EXPECT_EQ(refused.status, ExitFailed);
    EXPECT_EQ(refused.err, "send: cannot open " + url +
                               ": the connection was refused (is the serial server running?)\n");
}

TEST(CliSend, RejectsBadCommandLinesBeforeTouchingAPort) {
    const Args bad[] = {{"QV"},
                        {"--port"},
                        {"--port", "/dev/null", "XX"},
                        {"--port", "/dev/null", "MO", "1"},
                        {"--port", "/dev/null", "QV", "--wait", "soon"},
                        {"--port", "/dev/null", "QV", "--wait"}};
    for (const Args& args : bad) {
        const Result r = send(args);
        EXPECT_EQ(r.status, ExitUsage) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_TRUE(isOneLine(r.err)) << r.err;
    }
}

TEST(CliSend, PortsThatCannotBeOpenedSayWhy) {
    const Result missing = send({"--port", "/nonexistent/ttyKV9", "QV"});
    EXPECT_EQ(missing.status, ExitFailed);
    EXPECT_TRUE(isOneLine(missing.err)) << missing.err;
    EXPECT_NE(missing.err.find("/nonexistent/ttyKV9"), std::string::npos);

    Simulator simulator(sim::testing::quietOptions());
    ASSERT_TRUE(simulator.start());
    sim::testing::SimClient holder(simulator.slavePath());
    ASSERT_TRUE(holder.open());
    const Result busy = send({"--port", simulator.slavePath(), "QV"});
    EXPECT_EQ(busy.status, ExitFailed);
    EXPECT_NE(busy.err.find("another program"), std::string::npos) << busy.err;

    // Permission is reported through the port's failure, whatever the user is.
    class Refusing : public SystemCalls {
      public:
        int open(const char*, int) override {
            errno = EACCES;
            return -1;
        }
    } refusing;
    SerialPort port;
    port.setSystemCalls(refusing);
    ASSERT_EQ(port.Open("/dev/ttyUSB0", LineBaud, 1), 0);
    std::ostringstream err;
    explainOpenFailure(port, "COM2", "send", err);
    EXPECT_TRUE(isOneLine(err.str())) << err.str();
    EXPECT_NE(err.str().find("dialout"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("COM2 (/dev/ttyUSB0)"), std::string::npos) << err.str();
}

// An output stream that one thread writes and another reads while it runs.
class SharedText : public std::streambuf {
  public:
    std::string text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }
    // Waits until the text contains `part`; false after `timeoutMs`.
    bool waitFor(const std::string& part, int timeoutMs = sim::testing::LongWaitMs) const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (text().find(part) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            std::lock_guard lock(mutex_);
            text_.push_back(traits_type::to_char_type(c));
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard lock(mutex_);
        text_.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    mutable std::mutex mutex_;
    std::string text_;
};

TEST(CliMonitor, PrintsUntilStoppedAndReportsAHangUp) {
    Simulator simulator;
    ASSERT_TRUE(simulator.start());
    SharedText outText;
    std::ostream out(&outText);
    std::ostringstream err;
    std::atomic<bool> stop{false};
    int status = -1;
    std::thread monitor([&] {
        status = runMonitor({"--port", simulator.slavePath()}, out, err, stop);
    });
    // Unasked reports arrive about once a second.
    const bool printed = outText.waitFor("Ni 2 ");
    stop = true;
    monitor.join();
    EXPECT_EQ(status, ExitOk) << err.str();
    EXPECT_TRUE(printed) << outText.text();

    // A second monitor, once it prints (so it has the port), loses the line.
    SharedText outText2;
    std::ostream out2(&outText2);
    std::ostringstream err2;
    std::atomic<bool> never{false};
    std::thread unplugged([&] {
        status = runMonitor({"--port", simulator.slavePath()}, out2, err2, never);
    });
    EXPECT_TRUE(outText2.waitFor("\n"));
    simulator.setFault(Fault::HangUp, true);
    unplugged.join();
    EXPECT_EQ(status, ExitFailed);
    EXPECT_NE(err2.str().find("hung up"), std::string::npos) << err2.str();
}

}  // namespace
}  // namespace kelvandor::cli
