// SPDX-License-Identifier: GPL-3.0-or-later
// Where and how the agent publishes to MQTT: the broker's address (from an mqtt:// or
// mqtts:// URL), the credentials (from a file, never from the command line), the topic
// prefixes, the client id and whether commands are taken from the broker.
#pragma once

#include <QString>
#include <cstdint>

namespace kelvandor {

struct MqttSettings {
    static constexpr std::uint16_t DefaultPort = 1883;
    static constexpr std::uint16_t DefaultTlsPort = 8883;

    QString host;
    std::uint16_t port = DefaultPort;
    bool tls = false;
    // PEM file of the certificate authorities the broker's certificate is checked against;
    // empty: the system's (/etc/ssl/certs).
    QString caFile;
    QString username;  // empty: connect without credentials
    QString password;
    QString prefix = QStringLiteral("kelvandor");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString clientId;  // empty: defaultMqttClientId()
    bool controlAllowed = false;
    int keepAliveSeconds = 30;
};

// Reads "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]" (an IPv6 address in brackets) into
// settings' host, port and tls. Returns an empty string on success; otherwise a message
// that names what is wrong, and settings is left as it was.
QString parseMqttUrl(const QString& url, MqttSettings& settings);

// Reads the credentials file: one line "USER:PASSWORD" (the password is everything after
// the first colon; a trailing newline is not part of it). Returns an empty string on
// success; otherwise a message naming the file and the fault, and settings is left as it
// was.
QString readMqttAuthFile(const QString& path, MqttSettings& settings);

// Checks a topic prefix (ours or the discovery prefix): not empty, no MQTT wildcard, no
// leading or trailing '/', no empty level. Returns an empty string when it is usable,
// otherwise a message that names `what` ("--mqtt-prefix" for instance).
QString checkMqttTopicPrefix(const QString& prefix, const QString& what);

// "kelvandor-agent-" followed by the host name: a client id that differs between boats.
QString defaultMqttClientId();

}  // namespace kelvandor
