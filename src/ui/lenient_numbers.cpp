// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/lenient_numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kelvandor::ui {

namespace {

constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isBlank(text[pos])) {
        ++pos;
    }
    return pos;
}

// Reads an optional sign at `pos`; returns whether it was a minus.
bool readSign(std::string_view text, std::size_t& pos) {
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        return text[pos++] == '-';
    }
    return false;
}

// Digits from `pos` on, accumulated with saturation; `end` gets the position after them.
std::int32_t saturatedDigits(std::string_view text, std::size_t pos, bool negative,
                             std::size_t& end) {
    // Accumulated as a magnitude in 64 bits, stopped just past the 32-bit range.
    constexpr std::int64_t Limit = std::int64_t{Int32Max} + 1;
    std::int64_t magnitude = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        if (magnitude <= Limit) {
            magnitude = magnitude * 10 + (text[pos] - '0');
        }
        ++pos;
    }
    end = pos;
    if (negative) {
        return magnitude >= Limit ? Int32Min : static_cast<std::int32_t>(-magnitude);
    }
    return magnitude >= Limit ? Int32Max : static_cast<std::int32_t>(magnitude);
}

// The length of the decimal number that starts at `pos` (after blanks and sign): digits,
// an optional point and fraction, an optional exponent. 0 when there is no digit.
std::size_t decimalLength(std::string_view text, std::size_t pos) {
    std::size_t p = pos;
    std::size_t digits = 0;
    while (p < text.size() && isDigit(text[p])) {
        ++p;
        ++digits;
    }
    if (p < text.size() && text[p] == '.') {
        ++p;
        while (p < text.size() && isDigit(text[p])) {
            ++p;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < text.size() && (text[q] == '+' || text[q] == '-')) {
            ++q;
        }
        if (q < text.size() && isDigit(text[q])) {
            while (q < text.size() && isDigit(text[q])) {
                ++q;
            }
            p = q;
        }
    }
    return p - pos;
}

// For a decimal number (digits, point, fraction, exponent) too far from 1 for a double:
// whether it is too large rather than too small. Its decimal magnitude is the count of
// its integer digits (or minus the zeros that open its fraction) plus its exponent.
bool beyondLargest(std::string_view number) {
    const std::size_t e = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, e);
    std::int64_t exponent = 0;
    if (e != std::string_view::npos) {
        std::size_t pos = e + 1;
        const bool negative = readSign(number, pos);
        std::size_t end = pos;
        exponent = saturatedDigits(number, pos, negative, end);
    }
    const std::size_t point = mantissa.find('.');
    const std::string_view whole = mantissa.substr(0, point);
    const std::size_t firstWhole = whole.find_first_not_of('0');
    std::int64_t magnitude = 0;
    if (firstWhole != std::string_view::npos) {
        magnitude = static_cast<std::int64_t>(whole.size() - firstWhole);
    } else {
        const std::string_view fraction =
            point == std::string_view::npos ? std::string_view() : mantissa.substr(point + 1);
        const std::size_t firstFraction = fraction.find_first_not_of('0');
        if (firstFraction == std::string_view::npos) {
            return false;  // zero
        }
        magnitude = -static_cast<std::int64_t>(firstFraction);
    }
    return magnitude + exponent > 0;
}

}  // namespace

std::int32_t leadingInteger(std::string_view text) {
    std::size_t pos = skipBlanks(text, 0);
    const bool negative = readSign(text, pos);
    std::size_t end = pos;
    return saturatedDigits(text, pos, negative, end);
}

double leadingDecimal(std::string_view text) {
    std::size_t pos = skipBlanks(text, 0);
    const bool negative = readSign(text, pos);
    const std::size_t length = decimalLength(text, pos);
    if (length == 0) {
        return 0.0;
    }
    double value = 0.0;
    const char* first = text.data() + pos;
    const auto [ptr, error] = std::from_chars(first, first + length, value);
    if (error == std::errc::result_out_of_range) {
        // Too large gives infinity; too small (1e-999, or 0.000...2 with hundreds of
        // zeros) gives zero.
        value = beyondLargest(std::string_view(first, length))
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    } else if (error != std::errc{}) {
        return 0.0;
    }
    return negative ? -value : value;
}

std::int32_t truncateToInt32(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    const double t = std::trunc(v);
    if (t <= static_cast<double>(Int32Min)) {
        return Int32Min;
    }
    if (t >= static_cast<double>(Int32Max)) {
        return Int32Max;
    }
    return static_cast<std::int32_t>(t);
}

std::int32_t scaledDecimal(std::string_view text, double factor) {
    return truncateToInt32(leadingDecimal(text) * factor);
}

std::optional<std::int32_t> wholeInteger(std::string_view text) {
    std::size_t pos = skipBlanks(text, 0);
    const bool negative = readSign(text, pos);
    if (pos >= text.size() || !isDigit(text[pos])) {
        return std::nullopt;
    }
    std::size_t end = pos;
    const std::int32_t value = saturatedDigits(text, pos, negative, end);
    if (skipBlanks(text, end) != text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> hexNumber(std::string_view text) {
    std::size_t pos = skipBlanks(text, 0);
    const std::string_view prefix = text.substr(pos, 2);
    if ((prefix == "0x" || prefix == "0X") && pos + 2 < text.size() &&
        hexDigit(text[pos + 2]) >= 0) {
        pos += 2;
    }
    if (pos >= text.size() || hexDigit(text[pos]) < 0) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    while (pos < text.size() && hexDigit(text[pos]) >= 0) {
        if (value <= Int32Max) {
            value = value * 16 + hexDigit(text[pos]);
        }
        ++pos;
    }
    return value > Int32Max ? Int32Max : static_cast<std::int32_t>(value);
}

}  // namespace kelvandor::ui
