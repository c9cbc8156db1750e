// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_angles.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <ostream>

#include "geo/pointing.h"

namespace kelvandor::cli {

namespace {

constexpr double MaxLongitude = 180.0;
constexpr double MaxLatitude = 90.0;
constexpr int MaxMinutes = 59;

enum class Notation { DecimalDegrees, DegreesMinutes };

struct Coordinate {
    double value = 0.0;
    int hemisphere = 0;  // flag or code of the letter
};

struct Option {
    const char* name;  // "--sat"
    Notation notation;
    double max;
    char first;  // the letter of flag/code `firstValue`
    int firstValue;
    char second;
    int secondValue;
    const char* shape;  // how the value is written, for the message
};

constexpr Option Satellite = {"--sat",       Notation::DecimalDegrees,
                              MaxLongitude,  'E',
                              geo::FlagEast, 'W',
                              geo::FlagWest, "LON{E|W} with LON in decimal degrees 0..180"};
constexpr Option Longitude = {"--lon",       Notation::DegreesMinutes,
                              MaxLongitude,  'E',
                              geo::FlagEast, 'W',
                              geo::FlagWest, "DDD.MM{E|W}, 0.00..180.00 with minutes 00..59"};
constexpr Option Latitude = {"--lat",        Notation::DegreesMinutes,
                             MaxLatitude,    'N',
                             geo::CodeNorth, 'S',
                             geo::CodeSouth, "DD.MM{N|S}, 0.00..90.00 with minutes 00..59"};

bool allDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// "126.59E": unsigned digits, an optional point with digits (at most two, the minutes,
// in degrees-and-minutes notation), then the hemisphere letter in either case.
std::optional<Coordinate> parseCoordinate(std::string_view text, const Option& option) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    const std::string_view number = text.substr(0, text.size() - 1);
    const std::size_t point = number.find('.');
    const std::string_view whole = number.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : number.substr(point + 1);
    if (whole.empty() || !allDigits(whole) || !allDigits(fraction) ||
        (point != std::string_view::npos && fraction.empty())) {
        return std::nullopt;
    }
    Coordinate c;
    if (letter == option.first) {
        c.hemisphere = option.firstValue;
    } else if (letter == option.second) {
        c.hemisphere = option.secondValue;
    } else {
        return std::nullopt;
    }
    if (option.notation == Notation::DegreesMinutes) {
        if (fraction.size() > 2) {
            return std::nullopt;
        }
        const int tens = fraction.empty() ? 0 : fraction[0] - '0';
        const int units = fraction.size() < 2 ? 0 : fraction[1] - '0';
        if (tens * 10 + units > MaxMinutes) {
            return std::nullopt;
        }
    }
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), c.value);
    if (error != std::errc{} || end != number.data() + number.size() || c.value > option.max) {
        return std::nullopt;
    }
    return c;
}

// Takes option `o` out of `args` into `c`; false after one line on `err`.
bool takeCoordinate(Args& args, const Option& o, Coordinate& c, std::ostream& err) {
    bool missing = false;
    const std::optional<std::string> text = takeOption(args, o.name, &missing);
    if (!text) {
        err << "angles: " << o.name << (missing ? " needs a value, " : " is required: ") << o.shape
            << "\n";
        return false;
    }
    const std::optional<Coordinate> parsed = parseCoordinate(*text, o);
    if (!parsed) {
        err << "angles: " << o.name << " \"" << *text << "\" is not " << o.shape << "\n";
        return false;
    }
    c = *parsed;
    return true;
}

}  // namespace

int runAngles(const Args& given, std::ostream& out, std::ostream& err) {
    Args args = given;
    Coordinate satellite;
    Coordinate longitude;
    Coordinate latitude;
    if (!takeCoordinate(args, Satellite, satellite, err) ||
        !takeCoordinate(args, Longitude, longitude, err) ||
        !takeCoordinate(args, Latitude, latitude, err)) {
        return ExitUsage;
    }
    if (!args.empty()) {
        err << "angles: unexpected argument \"" << args.front() << "\"\n";
        return ExitUsage;
    }
    const geo::AzimuthElevation ae =
        geo::computeAzimuthElevation(satellite.value, satellite.hemisphere, longitude.hemisphere,
                                     latitude.hemisphere, longitude.value, latitude.value);
    const double skew =
        geo::computeSkew(satellite.value, satellite.hemisphere, longitude.hemisphere,
                         latitude.hemisphere, longitude.value, latitude.value);
    char line[128];
    std::snprintf(line, sizeof line, "%.2f %.2f %.2f\n", ae.azimuth, ae.elevation, skew);
    out << line;
    return ExitOk;
}

}  // namespace kelvandor::cli
