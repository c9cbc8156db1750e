// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/frame_codec.h"

namespace kelvandor {
namespace {

TEST(TextPacking, WorkedExample) {
    std::int32_t packed[4] = {-1, -1, -1, -1};
    EXPECT_EQ(packText("DTV101", packed), 2);
    EXPECT_EQ(packed[0], 827741252);
    EXPECT_EQ(packed[1], 12592);
    EXPECT_EQ(packed[2], -1);  // nothing beyond the two integers is written
}

TEST(TextPacking, GroupCountsAndTerminators) {
    std::int32_t packed[6] = {-1, -1, -1, -1, -1, -1};
    EXPECT_EQ(packText("", packed), 1);
    EXPECT_EQ(packed[0], 0);
    EXPECT_EQ(packed[1], -1);
    EXPECT_EQ(packText("ABCD", packed), 1);  // a multiple of four travels without a zero
    EXPECT_EQ(packed[1], -1);
    EXPECT_EQ(packText("ABCDE", packed), 2);
    EXPECT_EQ(packed[1], 'E');
    EXPECT_EQ(packText("0123456789abcdefghij", packed), 5);  // a product name
}

TEST(TextPacking, HighBytesSurviveTheSignedIntegers) {
    const char text[] = "\xC4\xD6\xFF\x80";
    std::int32_t packed[1];
    packText(text, packed);
    EXPECT_LT(packed[0], 0);
    char back[5];
    unpackText(back, packed, 1);
    EXPECT_STREQ(back, text);
}

TEST(TextPacking, UnpackEndsAtFirstZero) {
    char text[9];
    std::memset(text, 'x', sizeof text);
    const std::int32_t empty[] = {0};
    unpackText(text, empty, 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(text[4], '\0');

    std::int32_t packed[2];
    packText("ASTRA", packed);
    unpackText(text, packed, 2);
    EXPECT_STREQ(text, "ASTRA");
    EXPECT_EQ(text[8], '\0');
}

TEST(TextPacking, RoundTripOfEveryLengthUpToTwenty) {
    const std::string source = "HOTBIRD EUTELSAT 13E";
    for (std::size_t n = 0; n <= source.size(); ++n) {
        const std::string text = source.substr(0, n);
        std::int32_t packed[5] = {};
        const int count = packText(text.c_str(), packed);
        char back[21];
        unpackText(back, packed, count);
        EXPECT_EQ(std::string(back), text) << n;
    }
}

}  // namespace
}  // namespace kelvandor
