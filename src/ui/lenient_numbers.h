// SPDX-License-Identifier: GPL-3.0-or-later
// The lenient text-to-number conversions of every window: what the user types into an
// edit box becomes a number here and nowhere else. None of them fails: a text without a
// number gives 0, and a value outside the 32-bit range saturates to INT32_MIN or
// INT32_MAX, so nothing typed can reach undefined behaviour. Pure C++, no locale: a
// decimal point is always ".".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvandor::ui {

// The leading decimal integer of `text`: blanks, an optional sign, then digits up to the
// first character that cannot continue the number. No digits give 0. "12abc" is 12,
// " -7" is -7, "1.9" is 1, "abc" is 0.
std::int32_t leadingInteger(std::string_view text);

// The leading decimal number of `text`: blanks, an optional sign, digits with an
// optional decimal point and fraction, and an optional exponent ("1.5e3"). No number
// gives 0.0. "inf", "nan" and hexadecimal forms are not numbers here. A magnitude beyond
// the range of double gives an infinity of that sign.
double leadingDecimal(std::string_view text);

// trunc(v) as a 32-bit integer: cut toward zero, saturated to the 32-bit range; NaN
// gives 0.
std::int32_t truncateToInt32(double v);

// The leading decimal number of `text` multiplied by `factor` in double precision and cut
// toward zero, saturated: scaledDecimal("1.15", 100) is 114 (the product is
// 114.99999999999999), scaledDecimal("-1.57", 10) is -15.
std::int32_t scaledDecimal(std::string_view text, double factor);

// The text as a whole integer, blanks around it allowed ("  42 "), saturated; nullopt
// when anything else is in it ("4 2", "1.5", "", "-"). Integer-bound edit boxes use it.
std::optional<std::int32_t> wholeInteger(std::string_view text);

// The leading hexadecimal number of `text`: blanks, an optional "0x", then hexadecimal
// digits up to the first other character ("fff3" is 65523, "0x1A" is 26). nullopt when
// there is no hexadecimal digit: the caller keeps the value it had. Values above
// INT32_MAX saturate.
std::optional<std::int32_t> hexNumber(std::string_view text);

}  // namespace kelvandor::ui
