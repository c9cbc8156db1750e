// SPDX-License-Identifier: GPL-3.0-or-later
// The lenient conversions on arbitrary bytes: none may crash or reach undefined
// behaviour (the sanitizer build catches a float-to-integer conversion out of range), and
// the results must agree with each other.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui/lenient_numbers.h"

using namespace kelvandor::ui;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::int32_t integer = leadingInteger(text);
    const double decimal = leadingDecimal(text);
    check(!std::isnan(decimal));

    // A whole integer is also the leading integer and the leading decimal's truncation.
    if (const auto whole = wholeInteger(text)) {
        check(*whole == integer);
        check(truncateToInt32(decimal) == integer);
    }
    // The leading decimal's integer part agrees with the leading integer wherever the
    // number has no exponent that could move its point; a long fraction may round the
    // double up to the next integer.
    if (text.find_first_of("eE") == std::string_view::npos) {
        const std::int64_t difference = std::int64_t{truncateToInt32(decimal)} - integer;
        check(difference >= -1 && difference <= 1);
    }

    // Scaling by any factor stays in range; NaN and infinite products saturate or give 0.
    for (const double factor : {10.0, 100.0, -100.0, 1e300, 0.0}) {
        const std::int32_t scaled = scaledDecimal(text, factor);
        check(scaled == truncateToInt32(decimal * factor));
    }

    if (const auto hex = hexNumber(text)) {
        check(*hex >= 0);
    }
    return 0;
}
