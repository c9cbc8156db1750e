// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's output pacing, on a clock the test runs: what a 19200-baud line allows.
#include <gtest/gtest.h>

#include <string>

#include "sim/paced_line.h"

namespace kelvandor::sim {
namespace {

constexpr Micros Millisecond = 1000;

struct Sink {
    std::string bytes;
    std::size_t room = std::string::npos;  // bytes the device takes before it is full
    PacedLine::Writer writer() {
        return [this](const char* data, std::size_t count) -> long {
            const std::size_t taken = std::min(count, room - std::min(room, bytes.size()));
            bytes.append(data, taken);
            return static_cast<long>(taken);
        };
    }
};

TEST(PacedLine, CarriesTenBitTimesPerByte) {
    PacedLine line(19200);
    Sink sink;
    ASSERT_TRUE(line.push(std::string(5000, 'x')));
    for (Micros now = 0; now <= 1000 * Millisecond; now += Millisecond) {
        ASSERT_TRUE(line.flush(now, sink.writer()));
    }
    // 19200 baud / 10 bits = 1920 bytes in one second, give or take one burst.
    EXPECT_NEAR(static_cast<double>(sink.bytes.size()), 1920.0, PacedLine::BurstBytes);
    EXPECT_EQ(line.queuedBytes(), 5000 - sink.bytes.size());
}

TEST(PacedLine, WaitsForABurstAndHonoursPausesBetweenPieces) {
    PacedLine line(19200);
    Sink sink;
    line.push("{QV}\"");
    line.push("{NA 2}~", 30 * Millisecond);
    line.flush(0, sink.writer());
    EXPECT_EQ(sink.bytes, "");
    // Five bytes need about 2.6 ms of line time.
    const Micros first = line.nextWrite(0);
    EXPECT_GT(first, 2 * Millisecond);
    EXPECT_LT(first, 4 * Millisecond);
    line.flush(first, sink.writer());
    EXPECT_EQ(sink.bytes, "{QV}\"");
    line.flush(first + 29 * Millisecond, sink.writer());
    EXPECT_EQ(sink.bytes, "{QV}\"") << "the second piece waits for its pause";
    EXPECT_EQ(line.nextWrite(first + 29 * Millisecond), first + 30 * Millisecond);
    line.flush(first + 40 * Millisecond, sink.writer());
    EXPECT_EQ(sink.bytes, "{QV}\"{NA 2}~");
    EXPECT_EQ(line.nextWrite(first + 40 * Millisecond), -1);
}

TEST(PacedLine, UnpacedWritesWhatTheDeviceTakesAndKeepsTheRest) {
    PacedLine line(19200);
    line.setPaced(false);
    Sink sink;
    sink.room = 100;
    line.push(std::string(150, 'a'));
    line.push(std::string(50, 'b'));
    ASSERT_TRUE(line.flush(0, sink.writer()));
    EXPECT_EQ(sink.bytes, std::string(100, 'a'));
    EXPECT_EQ(line.queuedBytes(), 100U);
    sink.room = std::string::npos;
    ASSERT_TRUE(line.flush(0, sink.writer()));
    EXPECT_EQ(sink.bytes, std::string(150, 'a') + std::string(50, 'b'));

    line.push("lost");
    EXPECT_FALSE(line.flush(0, [](const char*, std::size_t) { return -1L; }));
}

TEST(PacedLine, RefusesPiecesBeyondItsQueueLimit) {
    PacedLine line(19200);
    ASSERT_TRUE(line.push(std::string(PacedLine::MaxQueuedBytes, 'x')));
    EXPECT_FALSE(line.push("more"));
    EXPECT_EQ(line.queuedBytes(), PacedLine::MaxQueuedBytes);
}

}  // namespace
}  // namespace kelvandor::sim
