// SPDX-License-Identifier: GPL-3.0-or-later
// The traffic log: its line format, the escaping of failed chunks, and the writer thread,
// which appends, keeps the order, loses nothing, and never holds up the caller.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "link/traffic_log.h"
#include "protocol/command_table.h"

namespace kelvandor {
namespace {

using Direction = TrafficLog::Direction;
using namespace std::chrono_literals;

// A folder of the test's own, removed at the end.
struct ScratchFolder {
    ScratchFolder() {
        char name[] = "/tmp/traffic_log_test.XXXXXX";
        path = ::mkdtemp(name);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return path + "/" + name; }
    std::string path;
};

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The part of a log line after its time stamp ("-> QS").
std::string withoutTime(const std::string& line) {
    return line.size() > 24 ? line.substr(24) : line;
}

TEST(TrafficLine, TimeToTheMillisecondThenDirectionThenText) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2024-02-29 23:59:58 UTC, plus the milliseconds of each row.
    const TrafficLog::Clock::time_point base{std::chrono::seconds{1709251198}};
    struct Row {
        const char* name;
        std::chrono::milliseconds offset;
        Direction direction;
        const char* text;
        const char* expected;
    };
    const Row rows[] = {
        {"sent, whole second", 0ms, Direction::Sent, "QS", "2024-02-29 23:59:58.000 -> QS"},
        {"received, padded ms", 7ms, Direction::Received, "NA 2",
         "2024-02-29 23:59:58.007 <- NA 2"},
        {"note, across midnight", 2999ms, Direction::Note, "started",
         "2024-03-01 00:00:00.999 -- started"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(trafficLine(base + row.offset, row.direction, row.text), row.expected);
    }
}

TEST(QuotedBytes, PrintableAsItIsEverythingElseEscaped) {
    struct Row {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    const Row rows[] = {
        {"frame", "{NA 2}x", R"("{NA 2}x")"},
        {"quote and backslash", R"(a"b\c)", R"("a\"b\\c")"},
        {"line ends and tab", "\r\n\t", R"("\r\n\t")"},
        {"zero byte inside", std::string("{Q\0V}", 5), R"("{Q\x00V}")"},
        {"delete and high bytes", "\x7F\x80\xFF", R"("\x7F\x80\xFF")"},
        {"empty", "", R"("")"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(quotedBytes(row.bytes.data(), static_cast<int>(row.bytes.size())), row.expected);
    }
}

TEST(TrafficLog, WritesEachKindOfEntryAndAppendsToWhatTheFileHeld) {
    ScratchFolder folder;
    const std::string path = folder.file("traffic.log");
    std::ofstream(path) << "an earlier run\n";
    {
        TrafficLog log;
        std::string error;
        ASSERT_TRUE(log.open(path, error)) << error;
        const std::int32_t moveTo[] = {1234, -56};
        log.onFrameSent(cmd::MO, moveTo, true);
        log.onFrameSent(cmd::QS, nullptr, true);  // a command without parameters
        log.onFrameSent(cmd::QV, nullptr, false);
        const std::int32_t state[] = {2};
        log.onFrameReceived(cmd::NA, state);
        log.onChunkFailed(-4, "{NA 2}x", 7);
        log.note("started");
    }  // the destructor writes what is queued
    const std::vector<std::string> lines = linesOf(path);
    ASSERT_EQ(lines.size(), 7U);
    EXPECT_EQ(lines[0], "an earlier run");
    const std::vector<std::string> expected = {"-> MO 1234 -56",           "-> QS",
                                               "-> QV (not written)",      "<- NA 2",
                                               R"(<- error -4 "{NA 2}x")", "-- started"};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(lines[k + 1]);
        EXPECT_EQ(withoutTime(lines[k + 1]), expected[k]);
        EXPECT_EQ(lines[k + 1][4], '-');
        EXPECT_EQ(lines[k + 1][19], '.');
    }
}

TEST(TrafficLog, AFileThatCannotBeOpenedLeavesTheLogClosedAndHarmless) {
    ScratchFolder folder;
    TrafficLog log;
    std::string error;
    EXPECT_FALSE(log.open(folder.file("no-such-folder/traffic.log"), error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(log.isOpen());
    log.onFrameSent(cmd::QS, nullptr, true);
    log.flush();  // returns at once
    EXPECT_FALSE(std::filesystem::exists(folder.file("no-such-folder")));
}

TEST(TrafficLog, AFailedWriteIsReportedOnce) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    std::atomic<int> reports{0};
    std::string reason;
    TrafficLog log;
    log.setWriteFailureHandler([&](const std::string& why) {
        reason = why;
        ++reports;
    });
    std::string error;
    ASSERT_TRUE(log.open("/dev/full", error)) << error;
    for (int k = 0; k < 3; ++k) {
        log.onFrameSent(cmd::QS, nullptr, true);
        log.flush();
    }
    EXPECT_EQ(reports.load(), 1);
    EXPECT_NE(reason.find("No space"), std::string::npos) << reason;
}

// The file is a pipe nobody reads yet: the writer blocks as on a stalled disk. Logging
// still returns at once, and once the pipe is read every line comes out, in order.
TEST(TrafficLog, AStalledFileHoldsUpNoCallerAndLosesNoLine) {
    ScratchFolder folder;
    const std::string path = folder.file("fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    constexpr int Count = 20000;  // about 600 KB: far more than a pipe holds
    {
        TrafficLog log;
        std::string error;
        ASSERT_TRUE(log.open(path, error)) << error;
        auto producing = std::async(std::launch::async, [&log] {
            for (std::int32_t k = 0; k < Count; ++k) {
                log.onFrameReceived(cmd::NA, &k);
            }
        });
        ASSERT_EQ(producing.wait_for(10s), std::future_status::ready)
            << "logging waited for the stalled file";

        auto draining = std::async(std::launch::async, [&log] { log.flush(); });
        std::string text;
        char chunk[65536];
        while (draining.wait_for(0ms) != std::future_status::ready) {
            pollfd entry{reader, POLLIN, 0};
            if (::poll(&entry, 1, 50) > 0) {
                const ssize_t got = ::read(reader, chunk, sizeof chunk);
                if (got > 0) {
                    text.append(chunk, static_cast<std::size_t>(got));
                }
            }
        }
        for (ssize_t got; (got = ::read(reader, chunk, sizeof chunk)) > 0;) {
            text.append(chunk, static_cast<std::size_t>(got));
        }
        std::istringstream lines(text);
        int expected = 0;
        for (std::string line; std::getline(lines, line); ++expected) {
            ASSERT_EQ(withoutTime(line), "<- NA " + std::to_string(expected));
        }
        EXPECT_EQ(expected, Count);
    }
    ::close(reader);
}

}  // namespace
}  // namespace kelvandor
