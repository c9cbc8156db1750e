// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/local_time.h"

#include <QDateTime>
#include <cstdio>

namespace kelvandor {

namespace {

constexpr int SecondsPerMinute = 60;
constexpr int MinutesPerHour = 60;
constexpr std::int64_t MsPerSecond = 1000;
constexpr std::int64_t MsPerDay = 86400000;
// Time zones change their offset on a whole minute: within one the offset holds.
constexpr std::int64_t OffsetSpanMs = 60000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

int LocalTimeWriter::offsetAt(std::int64_t msecsSinceEpoch) const {
    const QDateTime t = zone_.isValid() ? QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, zone_)
                                        : QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    return t.offsetFromUtc();
}

void LocalTimeWriter::append(QByteArray& out, std::int64_t msecsSinceEpoch) {
    const std::int64_t span = floorDiv(msecsSinceEpoch, OffsetSpanMs);
    if (span != span_) {
        span_ = span;
        offsetSeconds_ = offsetAt(span * OffsetSpanMs);
    }
    const std::int64_t local = msecsSinceEpoch + offsetSeconds_ * MsPerSecond;
    const std::int64_t days = floorDiv(local, MsPerDay);
    const std::int64_t ms = local - days * MsPerDay;
    // The civil date of a day count since 1970-01-01 (proleptic Gregorian).
    const std::int64_t z = days + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const int offsetMinutes = offsetSeconds_ / SecondsPerMinute;
    const int absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    const int length = std::snprintf(
        text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lld%c%02d:%02d",
        static_cast<long long>(year), static_cast<long long>(month),
        static_cast<long long>(day), static_cast<long long>(ms / 3600000),
        static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
        static_cast<long long>(ms % 1000), offsetMinutes < 0 ? '-' : '+',
        absolute / MinutesPerHour, absolute % MinutesPerHour);
    out.append(text, length);
}

QString isoLocalTime(std::int64_t msecsSinceEpoch) {
    QByteArray text;
    LocalTimeWriter().append(text, msecsSinceEpoch);
    return QString::fromLatin1(text);
}

}  // namespace kelvandor
