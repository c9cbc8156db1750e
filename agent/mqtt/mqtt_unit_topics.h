// SPDX-License-Identifier: GPL-3.0-or-later
// What one unit's state becomes on the broker: the retained values under PREFIX/UNIT/ and
// the unit's Home Assistant discovery configs. Pure functions over the agent's JSON state,
// so that a renamed field of the agent is mended here and nowhere else.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <vector>

#include "agent/mqtt/mqtt_settings.h"

namespace kelvandor {

// One retained message: its full topic and its payload (empty: delete the retained one).
struct MqttMessage {
    QString topic;
    QByteArray payload;
};

// The device facts of a unit that its discovery configs carry; empty when not known.
struct MqttDeviceInfo {
    QString model;
    QString swVersion;
    QString serialNumber;

    bool operator==(const MqttDeviceInfo&) const = default;
};

struct MqttUnitValues {
    // Each value the state holds, by its topic below PREFIX/UNIT/: "state" (the whole
    // object), "availability" ("online"/"offline": the line), "signal_level", "locked"
    // ("true"/"false"), "antenna_state", "azimuth", "elevation", "skew" (degrees), and
    // "tracked_satellite" ("none" when none is tracked). A field missing or null in the
    // state gives no entry, so the broker keeps the last known value.
    std::vector<std::pair<QString, QByteArray>> values;
    MqttDeviceInfo device;
};

// The values of one unit's state object (the agent's GET /api/v1/units/NAME object).
MqttUnitValues mqttUnitValues(const QJsonObject& state);

// The topic of the agent's own availability: "online" while connected, "offline" as the
// broker's last will.
QString mqttAgentAvailabilityTopic(const MqttSettings& settings);

// The retained discovery configs of one unit: sensors for the signal level, the antenna
// state, azimuth, elevation, skew and the tracked satellite; binary sensors for the lock
// and the line; the Get Antenna Information button when control is allowed, and an empty
// payload on the button's topic when it is not (which removes a button published before).
std::vector<MqttMessage> homeAssistantDiscovery(const MqttSettings& settings, const QString& unit,
                                                const MqttDeviceInfo& device);

}  // namespace kelvandor
