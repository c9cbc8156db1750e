// SPDX-License-Identifier: GPL-3.0-or-later
// Local times as ISO 8601 text with milliseconds and the UTC offset
// ("2026-10-25T02:30:00.000+01:00"), so the hour repeated when the clocks go back stays
// apart. The offset is looked up once a minute, not for every time: a day of twenty
// reports a second is written in a fraction of the time a QDateTime for each would take.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <limits>

namespace kelvandor {

class LocalTimeWriter {
  public:
    // The times of `zone` when it is valid, of the desktop's time zone otherwise.
    explicit LocalTimeWriter(QTimeZone zone = QTimeZone()) : zone_(std::move(zone)) {}

    // Appends the text of `msecsSinceEpoch`.
    void append(QByteArray& out, std::int64_t msecsSinceEpoch);

  private:
    int offsetAt(std::int64_t msecsSinceEpoch) const;

    QTimeZone zone_;
    std::int64_t span_ = std::numeric_limits<std::int64_t>::min();
    int offsetSeconds_ = 0;
};

// One time's text, as LocalTimeWriter writes it, in the desktop's time zone.
QString isoLocalTime(std::int64_t msecsSinceEpoch);

}  // namespace kelvandor
