// SPDX-License-Identifier: GPL-3.0-or-later
#include "defaults/rif_reader.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>

namespace kelvandor {

namespace {

constexpr std::size_t ShownTokenLength = 32;

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A token for a message: at most ShownTokenLength characters, control and non-ASCII bytes
// escaped.
std::string shown(std::string_view token) {
    std::string text = "\"";
    for (std::size_t k = 0; k < token.size() && k < ShownTokenLength; ++k) {
        const auto c = static_cast<unsigned char>(token[k]);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    if (token.size() > ShownTokenLength) {
        text += "...";
    }
    return text + "\"";
}

// An optional sign and at least one digit, nothing else.
bool isDigits(std::string_view token) {
    const std::size_t pos = !token.empty() && (token[0] == '+' || token[0] == '-') ? 1 : 0;
    return pos < token.size() &&
           token.find_first_not_of("0123456789", pos) == std::string_view::npos;
}

std::optional<std::int32_t> wholeInt32(std::string_view token) {
    if (!isDigits(token)) {
        return std::nullopt;
    }
    const std::size_t pos = token[0] == '+' || token[0] == '-' ? 1 : 0;
    std::int64_t magnitude = 0;
    for (std::size_t k = pos; k < token.size(); ++k) {
        magnitude = magnitude * 10 + (token[k] - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
            return std::nullopt;
        }
    }
    const std::int64_t value = token[0] == '-' ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// The tokens of a default-set file, taken one at a time, with the position of each for
// messages. The first failure is kept; every later take fails at once.
class TokenReader {
  public:
    explicit TokenReader(std::string_view text) : text_(text) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

    bool word(std::string& out, const char* what) {
        std::string_view token;
        if (!next(token, what)) {
            return false;
        }
        if (token.size() > static_cast<std::size_t>(RifWordLength)) {
            return fail(token, "a word longer than 24 characters", what);
        }
        out.assign(token);
        return true;
    }

    bool skipWords(int count, const char* what) {
        std::string ignored;
        for (int k = 0; k < count; ++k) {
            if (!word(ignored, what)) {
                return false;
            }
        }
        return true;
    }

    bool integer(std::int32_t& out, const char* what) {
        std::string_view token;
        if (!next(token, what)) {
            return false;
        }
        const std::optional<std::int32_t> value = wholeInt32(token);
        if (!value) {
            return fail(token,
                        isDigits(token) ? "a number beyond the 32-bit range" : "not a whole number",
                        what);
        }
        out = *value;
        return true;
    }

    template <std::size_t N>
    bool integers(std::array<std::int32_t, N>& out, const char* what) {
        for (std::int32_t& value : out) {
            if (!integer(value, what)) {
                return false;
            }
        }
        return true;
    }

    bool version(double& out, const char* what) {
        std::string_view token;
        if (!next(token, what)) {
            return false;
        }
        double value = 0.0;
        const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(),
                                                  value, std::chars_format::fixed);
        if (error != std::errc{} || end != token.data() + token.size() || !std::isfinite(value)) {
            return fail(token, "not a decimal number", what);
        }
        out = value;
        return true;
    }

    // Fails at the token just taken.
    bool failLast(const char* reason, const char* what) { return fail(last_, reason, what); }

  private:
    bool next(std::string_view& token, const char* what) {
        if (failed()) {
            return false;
        }
        while (pos_ < text_.size() && isSeparator(text_[pos_])) {
            if (text_[pos_] == '\n') {
                ++line_;
            }
            ++pos_;
        }
        if (pos_ >= text_.size()) {
            error_ = "the file ends after token " + std::to_string(count_) + " (line " +
                     std::to_string(line_) + "); " + what + " is missing";
            return false;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isSeparator(text_[pos_])) {
            ++pos_;
        }
        token = text_.substr(start, pos_ - start);
        last_ = token;
        ++count_;
        return true;
    }

    bool fail(std::string_view token, const char* reason, const char* what) {
        error_ = "line " + std::to_string(line_) + ", token " + std::to_string(count_) + " " +
                 shown(token) + ": " + reason + " (" + what + ")";
        return false;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int count_ = 0;
    std::string_view last_;
    std::string error_;
};

// One satellite block: a word, the name, an integer, then 6 + 6 + 10 + 10 values and the
// skew adjustment.
bool readSatellite(TokenReader& in, RifSatellite& satellite, std::int32_t& skewAdjust,
                   std::vector<std::string>& notes, int index) {
    std::string name;
    std::int32_t ignored = 0;
    if (!in.skipWords(1, "the word before a satellite name") ||
        !in.word(name, "a satellite name") ||
        !in.integer(ignored, "the number after a satellite name") ||
        !in.integers(satellite.primarySat, "the primary satellite values") ||
        !in.integers(satellite.secondarySat, "the secondary satellite values") ||
        !in.integers(satellite.primaryTracking, "the primary tracking values") ||
        !in.integers(satellite.secondaryTracking, "the secondary tracking values") ||
        !in.integer(skewAdjust, "a skew adjustment")) {
        return false;
    }
    // The adjustment travels multiplied by 10.
    if (skewAdjust > std::numeric_limits<std::int32_t>::max() / 10 ||
        skewAdjust < std::numeric_limits<std::int32_t>::min() / 10) {
        return in.failLast("a skew adjustment too large to send", "a skew adjustment");
    }
    if (name.size() > static_cast<std::size_t>(RifNameLength)) {
        notes.push_back("satellite " + std::to_string(index) + ": the name \"" + name +
                        "\" is cut to its first 8 characters, \"" + name.substr(0, 8) + "\"");
        name.resize(RifNameLength);
    }
    satellite.satName = name;
    return true;
}

}  // namespace

LnbPair lnbPair(const ProductProfile& p) {
    if (p[profile::LnbChoice] == 0) {
        return {9750, 10600};
    }
    return {p[profile::LnbFrequency], p[profile::LnbFrequency]};
}

RifReadResult parseRif(std::string_view text, DefaultSet& out) {
    RifReadResult result;
    TokenReader in(text);
    DefaultSet set;  // read whole before anything of `out` changes

    double version = 0.0;
    if (in.skipWords(3, "the three words before the format version") &&
        in.version(version, "the format version") && version > RifLatestVersion) {
        result.status = RifReadResult::Status::LaterVersion;
        result.message = RifLaterVersionMessage;
        return result;
    }

    std::int32_t ignored = 0;
    std::array<std::int32_t, 4> four{};
    std::array<std::int32_t, 8> eight{};
    ProductProfile common{};
    in.skipWords(3, "the three words before the region version") &&
        in.integer(set.regionVersion, "the region version") &&
        in.skipWords(4, "the four words of the third header line") &&
        in.skipWords(2, "the two words of the fourth header line") &&
        in.skipWords(2, "the two words before the header number") &&
        in.integer(ignored, "the header number") &&
        in.skipWords(1, "the word before the region name") &&
        in.word(set.regionName, "the region name");
    for (int i = 0; i < RifSatelliteCount && !in.failed(); ++i) {
        readSatellite(in, set.satellites[static_cast<std::size_t>(i)],
                      set.skewAdjust[static_cast<std::size_t>(i)], result.notes, i);
    }
    in.integer(ignored, "the number after the satellites") &&
        in.skipWords(2, "the two words before the first common value") &&
        in.integer(common[profile::Common0], "the first common value") &&
        in.integers(four, "the GPS position");
    common[profile::GpsLongitude] = four[0];
    common[profile::GpsEastWest] = four[1];
    common[profile::GpsLatitude] = four[2];
    common[profile::GpsNorthSouth] = four[3];
    in.integers(four, "the LNB setting");
    common[profile::LnbChoice] = four[0];
    common[profile::LnbFrequency] = four[1];
    in.integers(eight, "the common control values");
    constexpr int EightFields[] = {profile::SatVerifyTime,    profile::TrackingStableCount,
                                   profile::InitialSatCount,  profile::VoltageThreshold,
                                   profile::DiseqcThreshold,  profile::UseOffsetDifference,
                                   profile::TripleMode,       profile::DiseqcMode};
    for (std::size_t k = 0; k < eight.size(); ++k) {
        common[static_cast<std::size_t>(EightFields[k])] = eight[k];
    }
    // The skew slots arrive in slot order: SAT A, SAT B, SAT A / 22kHz, SAT B / 22kHz, SAT C.
    for (int k = 0; k < RifSlotCount && !in.failed(); ++k) {
        std::int32_t satellite = 0;
        if (in.integer(satellite, "the satellite of a skew slot") &&
            (satellite < 0 || satellite >= RifSatelliteCount)) {
            in.failLast("a satellite index outside 0..12", "the satellite of a skew slot");
        }
        common[static_cast<std::size_t>(profile::SlotFields[k])] = satellite;
    }
    set.productProfiles.fill(common);
    for (int k = 0; k < ProductSizeCount && !in.failed(); ++k) {
        ProductProfile& p = set.productProfiles[static_cast<std::size_t>(k)];
        std::array<std::int32_t, 3> three{};
        std::array<std::int32_t, 2> two{};
        in.integer(ignored, "the number that opens a product-size block") &&
            in.integers(three, "the scan values of a product size") &&
            in.integers(two, "the offset differences of a product size") &&
            in.integers(four, "the tracking values of a product size");
        p[profile::ScanOffset] = three[0];
        p[profile::TrackingScale] = three[1];
        p[profile::DetectLevelOffset] = three[2];
        p[profile::OffsetDiffAzEl] = two[0];
        p[profile::OffsetDiffRhLh] = two[1];
        p[profile::WrsDetectLevel] = four[0];
        p[profile::TrackingLevelOffset] = four[1];
        p[profile::SearchLockCount] = four[2];
        p[profile::UseWrsMethod] = four[3];
    }

    if (in.failed()) {
        result.status = RifReadResult::Status::Refused;
        result.message = in.error();
        result.notes.clear();
        return result;
    }
    out = std::move(set);
    result.status = RifReadResult::Status::Read;
    return result;
}

RifReadResult readRifFile(const std::string& path, DefaultSet& out) {
    RifReadResult result;
    result.status = RifReadResult::Status::CannotOpen;
    if (path.empty()) {
        result.message = "no file was named";
        return result;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.message = "the file cannot be opened";
        return result;
    }
    std::string text;
    char block[4096];
    while (file.read(block, sizeof block) || file.gcount() > 0) {
        text.append(block, static_cast<std::size_t>(file.gcount()));
        if (static_cast<long>(text.size()) > RifMaxFileBytes) {
            result.message = "the file is larger than a default set can be";
            return result;
        }
    }
    if (file.bad()) {
        result.message = "the file cannot be read";
        return result;
    }
    return parseRif(text, out);
}

}  // namespace kelvandor
