// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/signal_export.h"

#include <QSaveFile>
#include <cstdio>
#include <cstdlib>

#include "report/local_time.h"

namespace kelvandor {

namespace {

constexpr char Header[] = "time,level,lock,state,az,el,skew\r\n";

// Hundredths of a degree as degrees with two decimals; every 32-bit value has its text.
void appendHundredths(QByteArray& out, std::int32_t hundredths) {
    const long long v = hundredths;
    const long long magnitude = std::llabs(v);
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%02lld", v < 0 ? "-" : "", magnitude / 100,
                  magnitude % 100);
    out.append(text);
}

}  // namespace

QString csvField(const QString& text) {
    const bool quoted = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                        text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!quoted) {
        return text;
    }
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

bool writeSignalCsv(const SignalHistory& history, QIODevice& device, const QTimeZone& zone) {
    if (device.write(Header) < 0) {
        return false;
    }
    QByteArray row;
    LocalTimeWriter times(zone);
    for (std::size_t k = 0; k < history.size(); ++k) {
        const SignalSample& s = history.at(k);
        row.clear();
        times.append(row, s.msecsSinceEpoch);  // digits and signs only: never quoted
        row.append(',');
        row.append(QByteArray::number(s.level));
        row.append(',');
        row.append(QByteArray::number(s.lock));
        row.append(',');
        row.append(QByteArray::number(s.state));
        row.append(',');
        appendHundredths(row, s.azimuth);
        row.append(',');
        appendHundredths(row, s.elevation);
        row.append(',');
        appendHundredths(row, s.skew);
        row.append("\r\n");
        if (device.write(row) != row.size()) {
            return false;
        }
    }
    return true;
}

bool saveAtomically(const QString& path, const std::function<bool(QIODevice&)>& write,
                    QString* error) {
    QSaveFile file(path);
    // Never write into the old file in place, even where a rename is not possible.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    if (!write(file)) {
        if (error != nullptr) {
            *error = file.error() != QFileDevice::NoError
                         ? file.errorString()
                         : QStringLiteral("the data could not be written");
        }
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

}  // namespace kelvandor
