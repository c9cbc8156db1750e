// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "codec_test_util.h"
#include "protocol/frame_codec.h"

namespace kelvandor {
namespace {

using testing::encoded;
using testing::Untouched;
using testing::withChecksum;

std::array<std::int32_t, MaxParams> untouchedParams() {
    std::array<std::int32_t, MaxParams> p{};
    p.fill(Untouched);
    return p;
}

TEST(FrameCodec, WorkedFramesEncodeToTheirExactBytes) {
    EXPECT_EQ(encoded(cmd::QV), std::string("{QV}\x22"));
    EXPECT_EQ(encoded(cmd::OR), std::string("{OR}{"));
    const std::int32_t one[] = {1};
    EXPECT_EQ(encoded(cmd::SQ, one), std::string("{SQ 1}0"));
    const std::int32_t move[] = {1234, -56};
    EXPECT_EQ(encoded(cmd::MO, move), std::string("{MO 1234 -56}:"));
    const std::int32_t four[] = {4};
    EXPECT_EQ(encoded(cmd::NA, four), std::string("{NA 4}}"));
}

TEST(FrameCodec, EncodeWritesZeroAfterFrameAndReturnsLength) {
    char frame[FrameAreaSize];
    std::memset(frame, 'x', sizeof frame);
    const int length = encodeFrame(frame, cmd::QV, nullptr);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(frame[5], '\0');
}

TEST(FrameCodec, LongestFrameFitsItsArea) {
    std::int32_t params[MaxParams];
    for (auto& p : params) {
        p = std::numeric_limits<std::int32_t>::min();
    }
    char frame[FrameAreaSize + 8];
    std::memset(frame, 'x', sizeof frame);
    const int length = encodeFrame(frame, cmd::KT, params);
    EXPECT_EQ(length, MaxFrameLength);
    EXPECT_EQ(frame[MaxFrameLength], '\0');
    EXPECT_EQ(frame[MaxFrameLength + 1], 'x');  // nothing written past the area
}

TEST(FrameCodec, ChecksumStaysPrintableForEveryByte) {
    for (int b = 0; b < 256; ++b) {
        const char bytes[] = {'{', static_cast<char>(b), '}'};
        const char c = frameChecksum(bytes, 3);
        EXPECT_GE(c, 32);
        EXPECT_LE(c, 126);
    }
    EXPECT_EQ(frameChecksum("", 0), ' ');
}

TEST(FrameCodec, DecodeReturnsIdAndParameters) {
    auto p = untouchedParams();
    EXPECT_EQ(decodeFrame("{MO 1234 -56}:", p.data()), cmd::MO);
    EXPECT_EQ(p[0], 1234);
    EXPECT_EQ(p[1], -56);
    EXPECT_EQ(p[2], Untouched);
    EXPECT_EQ(decodeFrame("{QV}\x22", p.data()), cmd::QV);
}

TEST(FrameCodec, DecodeRejectsBadFrames) {
    auto p = untouchedParams();
    EXPECT_EQ(decodeFrame("{QV}\x23", p.data()), ErrChecksum);
    EXPECT_EQ(decodeFrame(withChecksum("xQV}").c_str(), p.data()), ErrNoStart);
    EXPECT_EQ(decodeFrame(withChecksum("{ZZ 1}").c_str(), p.data()), ErrNoSuchMnemonic);
    EXPECT_EQ(decodeFrame(withChecksum("{qv}").c_str(), p.data()), ErrNoSuchMnemonic);
    // Texts too short to carry a mnemonic are refused without reading past their end.
    EXPECT_EQ(decodeFrame("", p.data()), ErrChecksum);
    EXPECT_EQ(decodeFrame(withChecksum("{").c_str(), p.data()), ErrNoSuchMnemonic);
    for (const std::int32_t v : p) {
        EXPECT_EQ(v, Untouched);
    }
}

TEST(FrameCodec, MissingAndExtraParameters) {
    auto p = untouchedParams();
    // SG has four parameters; two are present.
    EXPECT_EQ(decodeFrame(withChecksum("{SG 10 20}").c_str(), p.data()), cmd::SG);
    EXPECT_EQ(p[0], 10);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], Untouched);
    EXPECT_EQ(p[3], Untouched);
    // NS has one; the extra ones are ignored and nothing beyond slot 0 is written.
    p = untouchedParams();
    EXPECT_EQ(decodeFrame(withChecksum("{NS 3 4 5}").c_str(), p.data()), cmd::NS);
    EXPECT_EQ(p[0], 3);
    EXPECT_EQ(p[1], Untouched);
    // A frame of a parameterised command without any field writes nothing.
    p = untouchedParams();
    EXPECT_EQ(decodeFrame(withChecksum("{NS}").c_str(), p.data()), cmd::NS);
    EXPECT_EQ(p[0], Untouched);
}

TEST(FrameCodec, FieldConversionRules) {
    struct Case {
        const char* body;
        std::int32_t expected;
    } cases[] = {
        {"{NS  5}", 0},                     // two blanks: the first field is empty
        {"{NS 12-3}", 12},                  // digits up to the first non-digit
        {"{NS --5}", 0},                    // a second "-" ends the number before any digit
        {"{NS -}", 0},                      // a lone "-"
        {"{NS 007}", 7},                    // leading zeros are accepted on receipt
        {"{NS -0}", 0},    {"{NS 5x}", 5},  // any other character ends the field
    };
    for (const Case& c : cases) {
        auto p = untouchedParams();
        EXPECT_EQ(decodeFrame(withChecksum(c.body).c_str(), p.data()), cmd::NS) << c.body;
        EXPECT_EQ(p[0], c.expected) << c.body;
    }
}

TEST(FrameCodec, OutOfRangeValuesSaturate) {
    struct Case {
        const char* body;
        std::int32_t expected;
    } cases[] = {
        {"{NS 2147483647}", 2147483647},
        {"{NS 2147483648}", 2147483647},
        {"{NS 99999999999}", 2147483647},
        {"{NS -2147483648}", std::numeric_limits<std::int32_t>::min()},
        {"{NS -2147483649}", std::numeric_limits<std::int32_t>::min()},
        {"{NS -99999999999999999}", std::numeric_limits<std::int32_t>::min()},
    };
    for (const Case& c : cases) {
        auto p = untouchedParams();
        EXPECT_EQ(decodeFrame(withChecksum(c.body).c_str(), p.data()), cmd::NS) << c.body;
        EXPECT_EQ(p[0], c.expected) << c.body;
    }
}

TEST(FrameCodec, OverlongFieldIsTruncatedNotOverrun) {
    // 40 characters of digits and "-" in the first field of a two-parameter command: the
    // field keeps its first 19 characters, and the next field is still read correctly.
    const std::string longField = "-" + std::string(16, '0') + "12" + std::string(21, '9');
    auto p = untouchedParams();
    const std::string frame = withChecksum("{LT " + longField + " 77}");
    EXPECT_EQ(decodeFrame(frame.c_str(), p.data()), cmd::LT);
    EXPECT_EQ(p[0], -12);  // the first 19 characters are "-", sixteen zeros and "12"
    EXPECT_EQ(p[1], 77);

    const std::string hyphens = withChecksum("{NS " + std::string(200, '-') + "}");
    p = untouchedParams();
    EXPECT_EQ(decodeFrame(hyphens.c_str(), p.data()), cmd::NS);
    EXPECT_EQ(p[0], 0);
}

}  // namespace
}  // namespace kelvandor
