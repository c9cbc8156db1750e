// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/unit_json.h"

#include <QJsonArray>
#include <cmath>
#include <string>

#include "defaults/default_set.h"
#include "geo/pointing.h"
#include "protocol/c_format.h"
#include "protocol/unit_reports.h"

namespace kelvandor {

namespace {

constexpr double HundredthsPerUnit = 100.0;

// The length of the well-formed UTF-8 sequence that starts at text[k], or 0 when the
// bytes there are none (a stray continuation byte, an overlong form, a surrogate, a code
// point beyond U+10FFFF, a sequence cut short).
std::size_t utf8SequenceAt(const std::string& text, std::size_t k) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(k);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the byte after the lead
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (k + length > text.size() || byte(k + 1) < low || byte(k + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(k + i) < 0x80 || byte(k + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// A value the line carries in hundredths. Divided rather than multiplied by 0.01, so the
// number written is the one with two decimals (12345 gives 123.45, not 123.45000000000002).
double fromHundredths(std::int32_t hundredths) {
    return hundredths / HundredthsPerUnit;
}

double roundedToHundredths(double value) {
    return std::round(value * HundredthsPerUnit) / HundredthsPerUnit;
}

// "9.59 E" for 959 hundredths east; the decimal point whatever the locale.
QString position(std::int32_t hundredths, bool positive, char plus, char minus) {
    return QString::fromStdString(
        formatCString("%.2f %c", fromHundredths(hundredths), positive ? plus : minus));
}

const char* sizeName(int size) {
    return size >= 0 && size < ProductSizeCount ? ProductSizeNames[size] : "?";
}

QJsonValue orNull(bool present, const QJsonValue& value) {
    return present ? value : QJsonValue(QJsonValue::Null);
}

}  // namespace

QString textFromBytes(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t k = 0; k < bytes.size();) {
        const std::size_t sequence = utf8SequenceAt(bytes, k);
        if (sequence > 0) {
            text += QString::fromUtf8(bytes.data() + k, static_cast<qsizetype>(sequence));
            k += sequence;
        } else {
            text += QChar(static_cast<unsigned char>(bytes[k]));
            ++k;
        }
    }
    return text;
}

QJsonObject unitStateJson(const unit::UnitState& u, const QString& port) {
    QJsonObject json{{"port", port}, {"answered", u.answered}};
    json.insert("state", orNull(u.state.has_value(),
                                u.state ? QJsonObject{{"code", *u.state},
                                                      {"name", antennaStateName(*u.state)}}
                                        : QJsonObject{}));
    if (u.status) {
        const unit::StatusReport& s = *u.status;
        json.insert("signal", QJsonObject{{"level", static_cast<qint64>(s.signalLevel())},
                                          {"locked", s.locked()}});
        json.insert("pointing", QJsonObject{{"azimuth", fromHundredths(s.azimuth)},
                                            {"elevation", fromHundredths(s.elevation)},
                                            {"skew", fromHundredths(s.skew)}});
    } else {
        json.insert("signal", QJsonValue::Null);
        json.insert("pointing", QJsonValue::Null);
    }
    if (u.productName) {
        const std::optional<int> size = u.productSize();
        json.insert("product", QJsonObject{{"name", textFromBytes(*u.productName)},
                                           {"size", size ? QJsonValue(sizeName(*size))
                                                         : QJsonValue(QJsonValue::Null)}});
    } else {
        json.insert("product", QJsonValue::Null);
    }
    json.insert("versions",
                orNull(u.versions.has_value(),
                       u.versions ? QJsonObject{{"software", fromHundredths(u.versions->software)},
                                                {"second", fromHundredths(u.versions->second)}}
                                  : QJsonObject{}));
    json.insert("serialNumber",
                orNull(u.serialNumber.has_value(), textFromBytes(u.serialNumber.value_or(""))));
    if (u.gps) {
        const unit::GpsPosition& g = *u.gps;
        const bool east = g.eastWest == geo::FlagEast;
        const bool north = g.northSouth == geo::CodeNorth;
        const double longitude = geo::toDecimalDegrees(fromHundredths(g.longitude));
        const double latitude = geo::toDecimalDegrees(fromHundredths(g.latitude));
        json.insert(
            "gps",
            QJsonObject{{"longitude", position(g.longitude, east, 'E', 'W')},
                        {"latitude", position(g.latitude, north, 'N', 'S')},
                        {"longitudeDegrees", roundedToHundredths(east ? longitude : -longitude)},
                        {"latitudeDegrees", roundedToHundredths(north ? latitude : -latitude)}});
    } else {
        json.insert("gps", QJsonValue::Null);
    }
    if (u.lnb) {
        json.insert("lnb", QJsonObject{{"low", u.lnb->low},
                                       {"high", u.lnb->high},
                                       {"inUse", u.frequencyInUse ? QJsonValue(*u.frequencyInUse)
                                                                  : QJsonValue(QJsonValue::Null)}});
    } else {
        json.insert("lnb", QJsonValue::Null);
    }
    if (const std::optional<std::int32_t> tracked = u.trackedSatellite()) {
        const auto found = u.satellites.find(*tracked);
        json.insert("trackedSatellite",
                    QJsonObject{{"index", *tracked},
                                {"name", found == u.satellites.end()
                                             ? QJsonValue(QJsonValue::Null)
                                             : QJsonValue(textFromBytes(found->second.name))}});
    } else {
        json.insert("trackedSatellite", QJsonValue::Null);
    }
    // Satellites A and B of the window's selector: the first two slots, A in use on an
    // even slot, B on an odd one.
    if (u.slotTable) {
        const auto slot = [&u](std::size_t k) {
            const std::int32_t index = (*u.slotTable)[k];
            const auto found = u.satellites.find(index);
            return QJsonObject{
                {"index", index},
                {"name", found == u.satellites.end() ? QJsonValue(QJsonValue::Null)
                                                     : QJsonValue(textFromBytes(found->second.name))}};
        };
        json.insert("slots",
                    QJsonObject{{"a", slot(0)},
                                {"b", slot(1)},
                                {"inUse", u.currentSlot ? QJsonValue(*u.currentSlot % 2 == 0
                                                                         ? QStringLiteral("A")
                                                                         : QStringLiteral("B"))
                                                        : QJsonValue(QJsonValue::Null)}});
    } else {
        json.insert("slots", QJsonValue::Null);
    }
    json.insert("comm", u.comm ? QJsonValue(*u.comm) : QJsonValue(QJsonValue::Null));
    QJsonArray satellites;
    for (const auto& [index, s] : u.satellites) {
        satellites.append(QJsonObject{{"index", index},
                                      {"name", textFromBytes(s.name)},
                                      {"longitude", fromHundredths(s.longitude)},
                                      {"eastWest", s.eastWest == geo::FlagEast ? "E" : "W"}});
    }
    json.insert("satellites", satellites);
    return json;
}

}  // namespace kelvandor
