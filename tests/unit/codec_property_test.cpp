// SPDX-License-Identifier: GPL-3.0-or-later
// Random frames of random commands, cut into random chunks, come back unchanged.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec_test_util.h"
#include "protocol/frame_codec.h"

namespace kelvandor {
namespace {

struct SentFrame {
    CommandId id;
    std::vector<std::int32_t> params;
};

std::int32_t randomValue(std::mt19937& rng) {
    // Mix small values, wide values and the extremes, which have the longest texts.
    switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
        case 0:
            return std::uniform_int_distribution<std::int32_t>(-100, 100)(rng);
        case 1:
            return std::numeric_limits<std::int32_t>::min();
        case 2:
            return std::numeric_limits<std::int32_t>::max();
        default:
            return std::uniform_int_distribution<std::int32_t>(
                std::numeric_limits<std::int32_t>::min(),
                std::numeric_limits<std::int32_t>::max())(rng);
    }
}

class CodecProperty : public ::testing::TestWithParam<unsigned> {};

TEST_P(CodecProperty, EncodeChunkExtractRoundTrip) {
    std::mt19937 rng(GetParam());
    std::vector<SentFrame> sent;
    std::string stream;
    for (int n = 0; n < 400; ++n) {
        SentFrame f;
        f.id = std::uniform_int_distribution<CommandId>(0, CommandCount - 1)(rng);
        for (int k = 0; k < paramCount(f.id); ++k) {
            f.params.push_back(randomValue(rng));
        }
        stream += testing::encoded(f.id, f.params.data());
        sent.push_back(std::move(f));
    }

    ReceiveBuffer buffer;
    FrameScratch scratch;
    std::size_t next = 0;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        // Any chunk that fits beside what the buffer holds.
        const int room = MaxHeldBytes - buffer.count;
        const auto size = std::min<std::size_t>(std::uniform_int_distribution<int>(1, room)(rng),
                                                stream.size() - pos);
        appendReceived(buffer, stream.data() + pos, static_cast<int>(size));
        pos += size;
        for (;;) {
            CommandId id = -1;
            std::int32_t params[MaxParams] = {};
            const int status = extractFrame(buffer, scratch, &id, params);
            if (status == ErrBufferEmpty || status == ErrIncomplete) {
                break;
            }
            ASSERT_EQ(status, FrameOk) << "frame " << next;
            ASSERT_LT(next, sent.size());
            ASSERT_EQ(id, sent[next].id) << "frame " << next;
            for (std::size_t k = 0; k < sent[next].params.size(); ++k) {
                ASSERT_EQ(params[k], sent[next].params[k]) << "frame " << next << " slot " << k;
            }
            ++next;
        }
    }
    EXPECT_EQ(next, sent.size());
    EXPECT_EQ(buffer.count, 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, CodecProperty, ::testing::Values(1u, 2u, 3u, 42u, 2026u));

}  // namespace
}  // namespace kelvandor
