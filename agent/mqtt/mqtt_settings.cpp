// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/mqtt/mqtt_settings.h"

#include <QFile>
#include <QSysInfo>

namespace kelvandor {

namespace {

constexpr qint64 MaxAuthFileBytes = 4096;

// The port given after the colon: digits only, 1 to 65535; 0 when it is not one.
std::uint16_t portNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 5) {
        return 0;
    }
    std::uint32_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return 0;
        }
        value = value * 10 + static_cast<std::uint32_t>(c.unicode() - '0');
    }
    return value <= 65535 ? static_cast<std::uint16_t>(value) : 0;
}

}  // namespace

QString parseMqttUrl(const QString& url, MqttSettings& settings) {
    const QString mqtt = QStringLiteral("mqtt://");
    const QString mqtts = QStringLiteral("mqtts://");
    bool tls = false;
    QString rest;
    if (url.startsWith(mqtts, Qt::CaseInsensitive)) {
        tls = true;
        rest = url.mid(mqtts.size());
    } else if (url.startsWith(mqtt, Qt::CaseInsensitive)) {
        rest = url.mid(mqtt.size());
    } else {
        return QStringLiteral("MQTT URL \"%1\": expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")
            .arg(url);
    }
    if (rest.contains(QLatin1Char('@'))) {
        return QStringLiteral(
                   "MQTT URL \"%1\": credentials do not belong in the URL; give them in a file "
                   "with --mqtt-auth")
            .arg(url);
    }
    if (rest.endsWith(QLatin1Char('/'))) {
        rest.chop(1);
    }
    if (rest.contains(QLatin1Char('/')) || rest.contains(QLatin1Char('?')) ||
        rest.contains(QLatin1Char('#'))) {
        return QStringLiteral("MQTT URL \"%1\": a path or query is not allowed, only HOST[:PORT]")
            .arg(url);
    }

    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return QStringLiteral("MQTT URL \"%1\": an IPv6 address needs its closing ']'")
                .arg(url);
        }
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':'))) {
                return QStringLiteral("MQTT URL \"%1\": unexpected text after the address")
                    .arg(url);
            }
            portText = after.mid(1);
            if (portText.isEmpty()) {
                return QStringLiteral("MQTT URL \"%1\": the port after ':' is missing").arg(url);
            }
        }
    } else {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        host = colon < 0 ? rest : rest.left(colon);
        if (colon >= 0) {
            portText = rest.mid(colon + 1);
            if (portText.isEmpty()) {
                return QStringLiteral("MQTT URL \"%1\": the port after ':' is missing").arg(url);
            }
        }
    }
    if (host.isEmpty()) {
        return QStringLiteral("MQTT URL \"%1\": the host is missing").arg(url);
    }
    std::uint16_t port = tls ? MqttSettings::DefaultTlsPort : MqttSettings::DefaultPort;
    if (!portText.isEmpty()) {
        port = portNumber(portText);
        if (port == 0) {
            return QStringLiteral("MQTT URL \"%1\": the port must be a number from 1 to 65535")
                .arg(url);
        }
    }
    settings.host = host;
    settings.port = port;
    settings.tls = tls;
    return {};
}

QString readMqttAuthFile(const QString& path, MqttSettings& settings) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("MQTT credentials file %1: cannot be read (%2)")
            .arg(path, file.errorString());
    }
    const QByteArray content = file.read(MaxAuthFileBytes + 1);
    if (content.size() > MaxAuthFileBytes) {
        return QStringLiteral("MQTT credentials file %1: too long for one USER:PASSWORD line")
            .arg(path);
    }
    QByteArray line = content;
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (line.contains('\n')) {
        return QStringLiteral(
                   "MQTT credentials file %1: expected one line USER:PASSWORD, found "
                   "several lines")
            .arg(path);
    }
    const qsizetype colon = line.indexOf(':');
    if (colon < 0) {
        return QStringLiteral("MQTT credentials file %1: expected USER:PASSWORD, found no ':'")
            .arg(path);
    }
    if (colon == 0) {
        return QStringLiteral("MQTT credentials file %1: the user name before ':' is empty")
            .arg(path);
    }
    settings.username = QString::fromUtf8(line.left(colon));
    settings.password = QString::fromUtf8(line.mid(colon + 1));
    return {};
}

QString checkMqttTopicPrefix(const QString& prefix, const QString& what) {
    if (prefix.isEmpty()) {
        return QStringLiteral("%1: the topic prefix is empty").arg(what);
    }
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#'))) {
        return QStringLiteral("%1 \"%2\": '+' and '#' are MQTT wildcards, not allowed in a prefix")
            .arg(what, prefix);
    }
    if (prefix.startsWith(QLatin1Char('/')) || prefix.endsWith(QLatin1Char('/')) ||
        prefix.contains(QStringLiteral("//"))) {
        return QStringLiteral("%1 \"%2\": a prefix has no leading, trailing or double '/'")
            .arg(what, prefix);
    }
    if (prefix.contains(QChar(0))) {
        return QStringLiteral("%1: a prefix cannot hold a NUL character").arg(what);
    }
    return {};
}

QString defaultMqttClientId() {
    return QStringLiteral("kelvandor-agent-") + QSysInfo::machineHostName();
}

}  // namespace kelvandor
