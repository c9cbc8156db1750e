// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/unit_views.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>

#include "agent/unit_link.h"
#include "geo/sky_geometry.h"
#include "protocol/unit_reports.h"
#include "report/local_time.h"
#include "report/signal_export.h"
#include "report/unit_json.h"

namespace kelvandor::agent {

namespace {

constexpr double HundredthsPerDegree = 100.0;

// The shortest text that reads back as the same number, with a decimal point whatever
// the locale (as QJsonDocument writes numbers).
void appendNumber(QByteArray& out, double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, static_cast<qsizetype>(end - text));
}

// One sample as a JSON object, written straight: a day's history is a large answer.
void appendSample(QByteArray& out, const SignalSample& s, LocalTimeWriter& times) {
    out.append("{\"time\":\"");
    times.append(out, s.msecsSinceEpoch);
    out.append("\",\"level\":");
    out.append(QByteArray::number(s.level));
    out.append(",\"lock\":");
    out.append(QByteArray::number(s.lock));
    out.append(",\"state\":");
    out.append(QByteArray::number(s.state));
    out.append(",\"azimuth\":");
    appendNumber(out, s.azimuth / HundredthsPerDegree);
    out.append(",\"elevation\":");
    appendNumber(out, s.elevation / HundredthsPerDegree);
    out.append(",\"skew\":");
    appendNumber(out, s.skew / HundredthsPerDegree);
    out.append('}');
}

double degrees(std::int32_t hundredths) {
    return hundredths / HundredthsPerDegree;
}

QJsonValue lastReportJson(const UnitLink& link) {
    const auto last = link.model().lastReport();
    if (!last) {
        return QJsonValue::Null;
    }
    return isoLocalTime(
        std::chrono::duration_cast<std::chrono::milliseconds>(last->time_since_epoch()).count());
}

sky::GpsPosition skyPosition(const unit::GpsPosition& gps) {
    return {degrees(gps.longitude), gps.eastWest == geo::FlagEast ? geo::FlagEast : geo::FlagWest,
            degrees(gps.latitude),
            gps.northSouth == geo::CodeNorth ? geo::CodeNorth : geo::CodeSouth};
}

// A name of the table without its padding blanks; its number when it has none.
QString satelliteName(const std::string& name, std::int32_t index) {
    const QString text =
        QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())).trimmed();
    return text.isEmpty() ? QStringLiteral("#%1").arg(index + 1) : text;
}

// A copy of the samples at or after `sinceSteadyMs`, in a ring just large enough.
SignalHistory recent(const SignalHistory& history, std::int64_t sinceSteadyMs) {
    const std::size_t first = history.firstAtOrAfter(sinceSteadyMs);
    SignalHistory copy(history.size() - first);
    for (std::size_t k = first; k < history.size(); ++k) {
        copy.append(history.at(k));
    }
    return copy;
}

}  // namespace

QJsonObject unitJson(const UnitLink& link) {
    QJsonObject json = unitStateJson(link.model().state(), link.port());
    json.insert("name", link.name());
    json.insert("connected", link.connected());
    json.insert("lastReport", lastReportJson(link));
    return json;
}

QJsonObject unitSummaryJson(const UnitLink& link) {
    const unit::UnitState& state = link.model().state();
    QJsonValue signal = QJsonValue::Null;
    if (state.status) {
        signal = QJsonObject{{"level", static_cast<qint64>(state.status->signalLevel())},
                             {"locked", state.status->locked()}};
    }
    return QJsonObject{{"name", link.name()},
                       {"port", link.port()},
                       {"connected", link.connected()},
                       {"lastReport", lastReportJson(link)},
                       {"stateName", state.state ? QJsonValue(antennaStateName(*state.state))
                                                 : QJsonValue(QJsonValue::Null)},
                       {"signal", signal}};
}

QJsonObject sampleJson(const SignalSample& s) {
    return QJsonObject{{"time", isoLocalTime(s.msecsSinceEpoch)},
                       {"level", s.level},
                       {"lock", s.lock},
                       {"state", s.state},
                       {"azimuth", degrees(s.azimuth)},
                       {"elevation", degrees(s.elevation)},
                       {"skew", degrees(s.skew)}};
}

QByteArray historyJson(const SignalHistory& history, std::int64_t sinceSteadyMs,
                       std::size_t maxSamples) {
    QByteArray out("{\"samples\":[");
    LocalTimeWriter times;
    const auto add = [&](std::size_t k) {
        if (out.back() == '}') {
            out.append(',');
        }
        appendSample(out, history.at(k), times);
    };
    const std::size_t first = history.firstAtOrAfter(sinceSteadyMs);
    const std::size_t count = history.size() - first;
    const std::size_t stretches = maxSamples / 2;
    if (maxSamples == 0 || count <= maxSamples || stretches == 0) {
        for (std::size_t k = first; k < history.size(); ++k) {
            add(k);
        }
    } else {
        std::size_t last = history.size();  // nothing added yet
        for (std::size_t s = 0; s < stretches; ++s) {
            const std::size_t begin = first + count * s / stretches;
            const std::size_t end = first + count * (s + 1) / stretches;
            std::size_t low = begin;
            std::size_t high = begin;
            for (std::size_t k = begin; k < end; ++k) {
                low = history.at(k).level < history.at(low).level ? k : low;
                high = history.at(k).level > history.at(high).level ? k : high;
            }
            for (const std::size_t k : {std::min(low, high), std::max(low, high)}) {
                if (k != last) {
                    add(k);
                    last = k;
                }
            }
        }
        if (last != history.size() - 1) {
            add(history.size() - 1);
        }
    }
    out.append("]}");
    return out;
}

QByteArray historyCsv(const SignalHistory& history, std::int64_t sinceSteadyMs) {
    QByteArray text;
    QBuffer buffer(&text);
    buffer.open(QIODevice::WriteOnly);
    writeSignalCsv(recent(history, sinceSteadyMs), buffer);
    return text;
}

QJsonObject skyJson(const unit::UnitState& state, const std::optional<AntennaPointing>& antenna) {
    QJsonValue position = QJsonValue::Null;
    QJsonArray arc;
    QJsonArray satellites;
    if (state.gps) {
        const sky::GpsPosition from = skyPosition(*state.gps);
        position = QJsonObject{{"longitude", sky::signedDecimalLongitude(from)},
                               {"latitude", sky::signedDecimalLatitude(from)}};
        for (const sky::SkyPoint& point : sky::geostationaryArc(from)) {
            arc.append(QJsonArray{point.azimuth, point.elevation});
        }
        const std::optional<std::int32_t> tracked = state.trackedSatellite();
        for (const auto& [index, satellite] : state.satellites) {
            if (state.satelliteCount && index >= *state.satelliteCount) {
                continue;  // left over from a longer table
            }
            const int eastWest =
                satellite.eastWest == geo::FlagEast ? geo::FlagEast : geo::FlagWest;
            const double longitude = degrees(satellite.longitude);
            const sky::SatelliteAngles angles = sky::satelliteAngles(from, longitude, eastWest);
            satellites.append(
                QJsonObject{{"index", index},
                            {"name", satelliteName(satellite.name, index)},
                            {"longitude", eastWest == geo::FlagWest ? -longitude : longitude},
                            {"azimuth", angles.azimuth},
                            {"elevation", angles.elevation},
                            {"skew", angles.skew},
                            {"tracked", tracked.has_value() && *tracked == index},
                            {"aboveHorizon", angles.elevation >= 0.0}});
        }
    }
    QJsonValue pointing = QJsonValue::Null;
    if (antenna) {
        pointing = QJsonObject{{"azimuth", degrees(antenna->azimuth)},
                               {"elevation", degrees(antenna->elevation)}};
    }
    return QJsonObject{
        {"position", position}, {"arc", arc}, {"satellites", satellites}, {"antenna", pointing}};
}

}  // namespace kelvandor::agent
