// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "codec_test_util.h"
#include "protocol/frame_codec.h"

namespace kelvandor {
namespace {

using testing::encoded;
using testing::Untouched;
using testing::withChecksum;

// Each test works on the program-wide buffer, as the controller does.
class ReceiveBufferTest : public ::testing::Test {
  protected:
    void SetUp() override { resetReceiveBufferForTest(); }
    void TearDown() override { resetReceiveBufferForTest(); }

    static void append(const std::string& bytes) {
        appendReceived(bytes.data(), static_cast<int>(bytes.size()));
    }
    int extract() {
        id = Untouched;
        return extractFrame(&id, params);
    }

    CommandId id = Untouched;
    std::int32_t params[MaxParams] = {};
};

TEST_F(ReceiveBufferTest, EmptyAndIncomplete) {
    EXPECT_EQ(extract(), ErrBufferEmpty);
    append("{QV}");
    EXPECT_EQ(extract(), ErrIncomplete);
    EXPECT_EQ(id, Untouched);
    EXPECT_EQ(receiveBufferHeld(), 4);  // the frame waits for its checksum byte
    append("\x22");
    EXPECT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::QV);
    EXPECT_EQ(receiveBufferHeld(), 0);
    EXPECT_EQ(extract(), ErrBufferEmpty);
}

TEST_F(ReceiveBufferTest, ChecksumThatIsABraceDoesNotSplitTheFrame) {
    const std::int32_t four[] = {4};
    append(encoded(cmd::NA, four) + encoded(cmd::QV));  // {NA 4}} then {QV}"
    ASSERT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::NA);
    EXPECT_EQ(params[0], 4);
    ASSERT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::QV);
    // {OR}{ : a checksum "{" does not start a new frame either.
    append(encoded(cmd::OR) + encoded(cmd::QV));
    ASSERT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::OR);
    ASSERT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::QV);
}

TEST_F(ReceiveBufferTest, JunkBeforeAFrameIsDropped) {
    append("ab{QV}\x22");
    EXPECT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::QV);
    EXPECT_EQ(receiveBufferHeld(), 0);
}

TEST_F(ReceiveBufferTest, FailedChunksAreConsumedWithTheirCode) {
    append("abc}x");  // no "{" before the "}"
    EXPECT_EQ(extract(), ErrTooShort);
    EXPECT_EQ(id, Untouched);
    EXPECT_EQ(receiveBufferHeld(), 0);

    append("{}x");  // a "{" but only three bytes from it
    EXPECT_EQ(extract(), ErrTooShort);

    append(withChecksum("{ZZ}"));
    EXPECT_EQ(extract(), ErrNoSuchMnemonic);
    EXPECT_EQ(id, ErrNoSuchMnemonic);  // the decoder ran, so its result is stored

    append("{QV}\x23");
    EXPECT_EQ(extract(), ErrChecksum);
    EXPECT_EQ(receiveBufferHeld(), 0);
}

TEST_F(ReceiveBufferTest, FrameThatLostItsEndTakesTheNextFrameWithIt) {
    append("{NA 3" + encoded(cmd::QV) + encoded(cmd::OR));
    EXPECT_EQ(extract(), ErrChecksum);  // "{NA 3{QV}" and its byte form one bad chunk
    EXPECT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::OR);
}

TEST_F(ReceiveBufferTest, OverflowRules) {
    append(std::string(238, 'a'));
    EXPECT_EQ(receiveBufferHeld(), 238);
    append("b");
    EXPECT_EQ(receiveBufferHeld(), 239);  // 238 + 1 is stored
    append("c");
    EXPECT_EQ(receiveBufferHeld(), 0);  // 239 + 1 empties everything

    append("{QV");
    append(std::string(240, '}'));  // a chunk of 240 is dropped, the held bytes stay
    EXPECT_EQ(receiveBufferHeld(), 3);
    append("}\x22");
    EXPECT_EQ(extract(), FrameOk);
    EXPECT_EQ(id, cmd::QV);
}

TEST_F(ReceiveBufferTest, HalfFrameSurvivesUntilTheRestArrives) {
    const std::int32_t move[] = {1234, -56};
    const std::string frame = encoded(cmd::MO, move);
    for (std::size_t k = 0; k + 1 < frame.size(); ++k) {
        append(frame.substr(k, 1));
        EXPECT_EQ(extract(), ErrIncomplete) << "after byte " << k;
    }
    append(frame.substr(frame.size() - 1));
    EXPECT_EQ(extract(), FrameOk);
    EXPECT_EQ(params[0], 1234);
    EXPECT_EQ(params[1], -56);
}

// After each cut, the scratch area holds the chunk exactly as it arrived, junk before its
// "{" included, whatever the chunk decoded to: the traffic log shows failed chunks so.
TEST_F(ReceiveBufferTest, TheCutChunkStaysWholeInTheScratchArea) {
    struct Row {
        const char* name;
        std::string chunk;
        int status;
    };
    const std::int32_t state[] = {2};
    const Row rows[] = {
        {"frame", encoded(cmd::NA, state), FrameOk},
        {"junk before a frame", "ab" + encoded(cmd::NA, state), FrameOk},
        {"junk before a wrong checksum", "zz{QV}#", ErrChecksum},
        {"no frame start", "xy}q", ErrTooShort},
        {"zero byte in the junk", std::string("\0{QV}#", 6), ErrChecksum},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        append(row.chunk + "{Q");  // the start of the next frame stays in the buffer
        EXPECT_EQ(extract(), row.status);
        const FrameScratch& cut = lastCutChunk();
        EXPECT_EQ(std::string(cut.data, static_cast<std::size_t>(cut.length)), row.chunk);
        EXPECT_EQ(receiveBufferHeld(), 2);
        resetReceiveBufferForTest();
    }
    const std::int32_t gps[] = {12659, 0, 3733, 3};
    append("ab" + encoded(cmd::SG, gps));
    ASSERT_EQ(extract(), FrameOk);  // junk or not, the frame decodes as before
    EXPECT_EQ(id, cmd::SG);
    EXPECT_EQ(params[0], 12659);
    EXPECT_EQ(params[3], 3);
}

TEST(ReceiveBufferInstance, SeparateBuffersDoNotShareBytes) {
    ReceiveBuffer a;
    ReceiveBuffer b;
    FrameScratch scratch;
    appendReceived(a, "{QV}", 4);
    appendReceived(b, "\x22", 1);
    CommandId id = Untouched;
    std::int32_t params[MaxParams];
    EXPECT_EQ(extractFrame(a, scratch, &id, params), ErrIncomplete);
    EXPECT_EQ(extractFrame(b, scratch, &id, params), ErrIncomplete);
    appendReceived(a, "\x22", 1);
    EXPECT_EQ(extractFrame(a, scratch, &id, params), FrameOk);
    EXPECT_EQ(id, cmd::QV);
}

}  // namespace
}  // namespace kelvandor
