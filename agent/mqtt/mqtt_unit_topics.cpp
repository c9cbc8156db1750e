// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/mqtt/mqtt_unit_topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QStringList>
#include <array>

namespace kelvandor {

namespace {

// How an entity's availability is judged by Home Assistant.
enum class Availability {
    AgentAndLine,  // unavailable when the agent is gone or the unit's line is down
    AgentOnly,     // the line's own sensor: it shows the line down rather than vanishing
};

struct Entity {
    const char* component;  // sensor, binary_sensor, button
    const char* id;         // unique per unit; part of unique_id and of the config topic
    const char* name;
    const char* topic;  // state topic below PREFIX/UNIT/ (command topic for the button)
    const char* unit;   // unit_of_measurement, or nullptr
    const char* deviceClass;
    const char* icon;
    bool measurement;  // state_class: measurement
    const char* payloadOn;
    const char* payloadOff;
    Availability availability;
};

constexpr const char* Degrees = "\u00b0";
constexpr const char* ButtonId = "get_information";

constexpr std::array<Entity, 8> Entities{{
    {"sensor", "signal_level", "Signal level", "signal_level", nullptr, nullptr, "mdi:signal", true,
     nullptr, nullptr, Availability::AgentAndLine},
    {"sensor", "antenna_state", "Antenna state", "antenna_state", nullptr, nullptr,
     "mdi:satellite-uplink", false, nullptr, nullptr, Availability::AgentAndLine},
    {"sensor", "azimuth", "Azimuth", "azimuth", Degrees, nullptr, "mdi:compass-outline", true,
     nullptr, nullptr, Availability::AgentAndLine},
    {"sensor", "elevation", "Elevation", "elevation", Degrees, nullptr, "mdi:angle-acute", true,
     nullptr, nullptr, Availability::AgentAndLine},
    {"sensor", "skew", "Skew", "skew", Degrees, nullptr, "mdi:rotate-right", true, nullptr, nullptr,
     Availability::AgentAndLine},
    {"sensor", "tracked_satellite", "Tracked satellite", "tracked_satellite", nullptr, nullptr,
     "mdi:satellite-variant", false, nullptr, nullptr, Availability::AgentAndLine},
    {"binary_sensor", "locked", "Signal lock", "locked", nullptr, nullptr, "mdi:lock", false,
     "true", "false", Availability::AgentAndLine},
    {"binary_sensor", "line", "Line", "availability", nullptr, "connectivity", nullptr, false,
     "online", "offline", Availability::AgentOnly},
}};

QByteArray number(double value) {
    return QByteArray::number(value, 'f', QLocale::FloatingPointShortest);
}

// The value at `key` of `object` as a number payload; empty when missing or not a number.
QByteArray numberAt(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    return value.isDouble() ? number(value.toDouble()) : QByteArray();
}

// A name given either as a string or as an object with a "name" string.
QString nameOf(const QJsonValue& value) {
    if (value.isString()) {
        return value.toString();
    }
    return value.toObject().value(QLatin1String("name")).toString();
}

// "software 3.12, second 1.05" from an object of versions; a plain string as it is.
QString versionsText(const QJsonValue& versions) {
    if (versions.isString()) {
        return versions.toString();
    }
    if (versions.isDouble()) {
        return QString::fromLatin1(number(versions.toDouble()));
    }
    QStringList parts;
    const QJsonObject object = versions.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonValue v = it.value();
        const QString text =
            v.isDouble() ? QString::fromLatin1(number(v.toDouble())) : v.toString();
        if (!text.isEmpty()) {
            parts << it.key() + QLatin1Char(' ') + text;
        }
    }
    return parts.join(QLatin1String(", "));
}

// Unique across the broker: the prefix tells agents apart, the unit tells units apart.
QString nodeId(const MqttSettings& settings, const QString& unit) {
    QString node = settings.prefix + QLatin1Char('_') + unit;
    for (QChar& c : node) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('-');
        if (!plain) {
            c = QLatin1Char('_');
        }
    }
    return node;
}

QString unitTopic(const MqttSettings& settings, const QString& unit, const char* leaf) {
    return settings.prefix + QLatin1Char('/') + unit + QLatin1Char('/') + QLatin1String(leaf);
}

QString configTopic(const MqttSettings& settings, const QString& node, const char* component,
                    const char* id) {
    return settings.discoveryPrefix + QLatin1Char('/') + QLatin1String(component) +
           QLatin1Char('/') + node + QLatin1Char('/') + QLatin1String(id) +
           QLatin1String("/config");
}

QJsonObject deviceBlock(const QString& node, const QString& unit, const MqttDeviceInfo& device) {
    QJsonObject block{{QStringLiteral("identifiers"), QJsonArray{node}},
                      {QStringLiteral("name"), unit},
                      {QStringLiteral("manufacturer"), QStringLiteral("Kelvandor")}};
    if (!device.model.isEmpty()) {
        block.insert(QStringLiteral("model"), device.model);
    }
    if (!device.swVersion.isEmpty()) {
        block.insert(QStringLiteral("sw_version"), device.swVersion);
    }
    if (!device.serialNumber.isEmpty()) {
        block.insert(QStringLiteral("serial_number"), device.serialNumber);
    }
    return block;
}

QJsonArray availabilityList(const MqttSettings& settings, const QString& unit,
                            Availability availability) {
    QJsonArray list{QJsonObject{{QStringLiteral("topic"), mqttAgentAvailabilityTopic(settings)}}};
    if (availability == Availability::AgentAndLine) {
        list.append(
            QJsonObject{{QStringLiteral("topic"), unitTopic(settings, unit, "availability")}});
    }
    return list;
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

MqttUnitValues mqttUnitValues(const QJsonObject& state) {
    MqttUnitValues out;
    auto add = [&out](const char* topic, const QByteArray& payload) {
        if (!payload.isEmpty()) {
            out.values.emplace_back(QLatin1String(topic), payload);
        }
    };
    add("state", compact(state));

    const QJsonValue connected = state.value(QLatin1String("connected"));
    if (connected.isBool()) {
        add("availability", connected.toBool() ? "online" : "offline");
    }

    const QJsonObject signal = state.value(QLatin1String("signal")).toObject();
    add("signal_level", numberAt(signal, QStringLiteral("level")));
    const QJsonValue locked = signal.value(QLatin1String("locked"));
    if (locked.isBool()) {
        add("locked", locked.toBool() ? "true" : "false");
    }

    // The state's name when there is one; its code otherwise (also taken from a
    // {"code", "name"} object).
    const QJsonValue stateValue = state.value(QLatin1String("state"));
    QString stateName = state.value(QLatin1String("stateName")).toString();
    if (stateName.isEmpty()) {
        stateName = nameOf(stateValue);
    }
    if (!stateName.isEmpty()) {
        add("antenna_state", stateName.toUtf8());
    } else if (stateValue.isDouble()) {
        add("antenna_state", number(stateValue.toDouble()));
    } else {
        add("antenna_state", numberAt(stateValue.toObject(), QStringLiteral("code")));
    }

    const QJsonObject pointing = state.value(QLatin1String("pointing")).toObject();
    add("azimuth", numberAt(pointing, QStringLiteral("azimuth")));
    add("elevation", numberAt(pointing, QStringLiteral("elevation")));
    add("skew", numberAt(pointing, QStringLiteral("skew")));

    if (state.contains(QLatin1String("trackedSatellite"))) {
        const QString tracked = nameOf(state.value(QLatin1String("trackedSatellite")));
        add("tracked_satellite", tracked.isEmpty() ? QByteArray("none") : tracked.toUtf8());
    }

    const QJsonObject product = state.value(QLatin1String("product")).toObject();
    out.device.model = product.value(QLatin1String("name")).toString();
    out.device.swVersion = versionsText(product.contains(QLatin1String("versions"))
                                            ? product.value(QLatin1String("versions"))
                                            : state.value(QLatin1String("versions")));
    QJsonValue serial = product.value(QLatin1String("serialNumber"));
    if (serial.isUndefined()) {
        serial = state.value(QLatin1String("serialNumber"));
    }
    out.device.serialNumber = serial.toString();
    return out;
}

QString mqttAgentAvailabilityTopic(const MqttSettings& settings) {
    return settings.prefix + QLatin1String("/agent/availability");
}

std::vector<MqttMessage> homeAssistantDiscovery(const MqttSettings& settings, const QString& unit,
                                                const MqttDeviceInfo& device) {
    const QString node = nodeId(settings, unit);
    const QJsonObject deviceJson = deviceBlock(node, unit, device);
    std::vector<MqttMessage> out;
    for (const Entity& e : Entities) {
        QJsonObject config{
            {QStringLiteral("name"), QLatin1String(e.name)},
            {QStringLiteral("unique_id"), node + QLatin1Char('_') + QLatin1String(e.id)},
            {QStringLiteral("state_topic"), unitTopic(settings, unit, e.topic)},
            {QStringLiteral("availability"), availabilityList(settings, unit, e.availability)},
            {QStringLiteral("availability_mode"), QStringLiteral("all")},
            {QStringLiteral("device"), deviceJson},
        };
        if (e.unit != nullptr) {
            config.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(e.unit));
        }
        if (e.deviceClass != nullptr) {
            config.insert(QStringLiteral("device_class"), QLatin1String(e.deviceClass));
        }
        if (e.icon != nullptr) {
            config.insert(QStringLiteral("icon"), QLatin1String(e.icon));
        }
        if (e.measurement) {
            config.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        }
        if (e.payloadOn != nullptr) {
            config.insert(QStringLiteral("payload_on"), QLatin1String(e.payloadOn));
            config.insert(QStringLiteral("payload_off"), QLatin1String(e.payloadOff));
        }
        if (e.availability == Availability::AgentOnly) {
            config.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
        }
        out.push_back({configTopic(settings, node, e.component, e.id), compact(config)});
    }

    MqttMessage button{configTopic(settings, node, "button", ButtonId), {}};
    if (settings.controlAllowed) {
        button.payload = compact(QJsonObject{
            {QStringLiteral("name"), QStringLiteral("Get Antenna Information")},
            {QStringLiteral("unique_id"), node + QLatin1Char('_') + QLatin1String(ButtonId)},
            {QStringLiteral("command_topic"), unitTopic(settings, unit, "command")},
            {QStringLiteral("payload_press"), QStringLiteral("{\"command\":\"get-information\"}")},
            {QStringLiteral("availability"),
             availabilityList(settings, unit, Availability::AgentAndLine)},
            {QStringLiteral("availability_mode"), QStringLiteral("all")},
            {QStringLiteral("icon"), QStringLiteral("mdi:information-outline")},
            {QStringLiteral("device"), deviceJson},
        });
    }
    out.push_back(button);
    return out;
}

}  // namespace kelvandor
