// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "ui/lenient_numbers.h"

namespace kelvandor::ui {
namespace {

constexpr std::int32_t Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();

struct IntegerRow {
    const char* text;
    std::int32_t leading;
    std::optional<std::int32_t> whole;
};

TEST(LenientNumbers, IntegersLeadingAndWhole) {
    const IntegerRow rows[] = {
        {"42", 42, 42},
        {"  -7 ", -7, -7},
        {"+5", 5, 5},
        {"12abc", 12, std::nullopt},
        {"1.9", 1, std::nullopt},
        {"abc", 0, std::nullopt},
        {"", 0, std::nullopt},
        {"-", 0, std::nullopt},
        {"4 2", 4, std::nullopt},
        {"--5", 0, std::nullopt},
        {"2147483647", Max, Max},
        {"2147483648", Max, Max},
        {"-2147483648", Min, Min},
        {"-2147483649", Min, Min},
        {"99999999999999999999999999", Max, Max},
        {"-000000000000000000000012", -12, -12},
    };
    for (const IntegerRow& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(leadingInteger(row.text), row.leading);
        EXPECT_EQ(wholeInteger(row.text), row.whole);
    }
}

struct ScaledRow {
    const char* text;
    double factor;
    std::int32_t expected;
};

TEST(LenientNumbers, DecimalsScaledAndCutTowardZero) {
    const ScaledRow rows[] = {
        {"1.15", 100, 114},  // the product is 114.99999999999999: cut, not rounded
        {"0.019", 100, 1},
        {"-1.57", 10, -15},
        {"90", 100, 9000},
        {"90.01", 100, 9001},
        {"-720", 100, -72000},
        {"37.3", 100, 3729},  // 3729.999... cut
        {"126.75", 100, 12675},
        {"abc", 10, 0},
        {".5", 10, 5},
        {"5.", 10, 50},
        {"1.5e2", 1, 150},
        {"2e", 1, 2},  // an exponent without digits is not part of the number
        {"  -0.4x", 1, 0},
        {"99999999", 100, Max},  // typed nonsense saturates
        {"-99999999", 100, Min},
        {"1e999", 1, Max},
        {"-1e999", 1, Min},
        {"1e-999", 100, 0},
        {"0.0000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000002",
         100, 0},  // beyond the smallest double without an exponent: zero, not infinity
        {"0.0000000002e400", 1, Max},
        {"123e-400", 1, 0},
        {"inf", 100, 0},
        {"nan", 100, 0},
        {"0x10", 1, 0},
    };
    for (const ScaledRow& row : rows) {
        SCOPED_TRACE(std::string(row.text) + " x " + std::to_string(row.factor));
        EXPECT_EQ(scaledDecimal(row.text, row.factor), row.expected);
    }
    EXPECT_DOUBLE_EQ(leadingDecimal("19.2E"), 19.2);
    EXPECT_DOUBLE_EQ(leadingDecimal(" 126.59"), 126.59);
}

TEST(LenientNumbers, TruncationSaturatesAndNaNIsZero) {
    EXPECT_EQ(truncateToInt32(std::nan("")), 0);
    EXPECT_EQ(truncateToInt32(std::numeric_limits<double>::infinity()), Max);
    EXPECT_EQ(truncateToInt32(-std::numeric_limits<double>::infinity()), Min);
    EXPECT_EQ(truncateToInt32(2147483647.9), Max);
    EXPECT_EQ(truncateToInt32(-2147483648.9), Min);
    EXPECT_EQ(truncateToInt32(-2.9), -2);
    EXPECT_EQ(truncateToInt32(1e300), Max);
}

TEST(LenientNumbers, HexadecimalOrNothing) {
    EXPECT_EQ(hexNumber("fff3"), 65523);
    EXPECT_EQ(hexNumber("FFF3"), 65523);
    EXPECT_EQ(hexNumber(" 0x1A"), 26);
    EXPECT_EQ(hexNumber("0"), 0);
    EXPECT_EQ(hexNumber("0x"), 0);  // the zero is a digit; the x ends the number
    EXPECT_EQ(hexNumber("12zz"), 0x12);
    EXPECT_EQ(hexNumber("FFFFFFFFFF"), Max);
    EXPECT_EQ(hexNumber("zz"), std::nullopt);
    EXPECT_EQ(hexNumber(""), std::nullopt);
    EXPECT_EQ(hexNumber("   "), std::nullopt);
    EXPECT_EQ(hexNumber("-5"), std::nullopt);
}

}  // namespace
}  // namespace kelvandor::ui
