// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/agent.h"

#include <QHostAddress>

#include "agent/access_token.h"
#include "agent/http_api.h"
#include "agent/share_server.h"
#include "agent/unit_api.h"
#include "agent/unit_link.h"
#include "agent/unit_views.h"

#if KELVANDOR_AGENT_MQTT
#include "agent/mqtt/mqtt_publisher.h"
#include "agent/mqtt/mqtt_settings.h"
#endif

namespace kelvandor::agent {

#if KELVANDOR_AGENT_MQTT
class UnitPublisher : public MqttPublisher {
  public:
    using MqttPublisher::MqttPublisher;
};
#else
class UnitPublisher {};
#endif

namespace {

constexpr int MillisecondsPerSecond = 1000;
// How long changes of the units are gathered before they go to the MQTT publisher.
constexpr int PublishGatherMs = 200;

QHostAddress hostAddress(const std::string& host) {
    if (host == "localhost") {
        return QHostAddress(QHostAddress::LocalHost);
    }
    return QHostAddress(QString::fromStdString(host));
}

}  // namespace

Agent::Agent(AgentConfig config, QObject* parent) : QObject(parent), config_(std::move(config)) {
    publishTimer_.setSingleShot(true);
    publishTimer_.setInterval(PublishGatherMs);
    connect(&publishTimer_, &QTimer::timeout, this, &Agent::publishChangedUnits);
}

Agent::~Agent() {
#if KELVANDOR_AGENT_MQTT
    if (mqtt_) {
        mqtt_->stop();  // "offline" said by the agent itself, not left to the broker's will
    }
#endif
}

quint16 Agent::sharePort(const std::string& unit) const {
    for (const auto& [name, share] : shares_) {
        if (name == unit) {
            return share->port();
        }
    }
    return 0;
}

bool Agent::start(std::ostream& out, std::ostream& err) {
    const std::string tokenPath =
        config_.tokenFile.empty() ? defaultTokenPath() : config_.tokenFile;
    const TokenResult token = loadOrMakeToken(tokenPath);
    if (!token.token) {
        err << "kelvandor-agent: " << token.error << '\n';
        return false;
    }
    token_ = *token.token;
    if (token.made) {
        out << "kelvandor-agent: made a new token in " << tokenPath << '\n';
    }

    LinkTiming timing;
    timing.queryAfterMs = config_.queryAfterSeconds * MillisecondsPerSecond;
    std::vector<UnitLink*> links;
    for (const UnitOption& option : config_.units) {
        units_.push_back(std::make_unique<UnitLink>(QString::fromStdString(option.name),
                                                    QString::fromStdString(option.port), timing));
        links.push_back(units_.back().get());
    }
    for (const ShareOption& option : config_.shares) {
        UnitLink* link = nullptr;
        for (UnitLink* candidate : links) {
            if (candidate->name().toStdString() == option.unit) {
                link = candidate;
            }
        }
        const QHostAddress address = hostAddress(option.endpoint.host);
        auto share = std::make_unique<ShareServer>(*link);
        if (address.isNull() || !share->listen(address, static_cast<quint16>(option.endpoint.port))) {
            err << "kelvandor-agent: cannot share " << option.unit << " on " << option.endpoint.host
                << ':' << option.endpoint.port << '\n';
            return false;
        }
        out << "kelvandor-agent: sharing " << option.unit << " on " << option.endpoint.host << ':'
            << share->port() << '\n';
        shares_.emplace_back(option.unit, std::move(share));
    }

    http_ = std::make_unique<HttpApi>(links, token_);
    const QHostAddress address = hostAddress(config_.http.host);
    QString error;
    ConnectionLimits limits;
    limits.maxConnections = config_.maxConnections;
    httpPort_ = address.isNull() ? 0
                                 : http_->listen(address, static_cast<quint16>(config_.http.port),
                                                 QString::fromStdString(config_.tlsCert),
                                                 QString::fromStdString(config_.tlsKey), limits,
                                                 config_.openReads, error);
    if (httpPort_ == 0) {
        err << "kelvandor-agent: cannot serve HTTP on " << config_.http.host << ':'
            << config_.http.port << (error.isEmpty() ? "" : ": ") << error.toStdString() << '\n';
        return false;
    }
    out << "kelvandor-agent: " << (config_.tlsCert.empty() ? "HTTP" : "HTTPS") << " on "
        << config_.http.host << ':' << httpPort_ << '\n';
    if (!startMqtt(out, err)) {
        return false;
    }
    out.flush();

    for (const auto& link : units_) {
        link->start();
    }
    return true;
}

bool Agent::startMqtt(std::ostream& out, std::ostream& err) {
    const MqttOptions& options = config_.mqtt;
    if (options.url.empty()) {
        return true;
    }
#if KELVANDOR_AGENT_MQTT
    MqttSettings settings;
    QString problem = parseMqttUrl(QString::fromStdString(options.url), settings);
    if (problem.isEmpty() && !options.authFile.empty()) {
        problem = readMqttAuthFile(QString::fromStdString(options.authFile), settings);
    }
    if (problem.isEmpty() && !options.prefix.empty()) {
        settings.prefix = QString::fromStdString(options.prefix);
        problem = checkMqttTopicPrefix(settings.prefix, QStringLiteral("--mqtt-prefix"));
    }
    if (problem.isEmpty() && !options.discoveryPrefix.empty()) {
        settings.discoveryPrefix = QString::fromStdString(options.discoveryPrefix);
        problem = checkMqttTopicPrefix(settings.discoveryPrefix,
                                       QStringLiteral("--mqtt-discovery-prefix"));
    }
    settings.caFile = QString::fromStdString(options.caFile);
    settings.clientId = QString::fromStdString(options.clientId);
    settings.controlAllowed = options.control;
    if (problem.isEmpty()) {
        mqtt_ = std::make_unique<UnitPublisher>(settings);
        QStringList names;
        for (const auto& link : units_) {
            names.append(link->name());
        }
        mqtt_->setUnits(names);
        for (const auto& link : units_) {
            UnitLink* unit = link.get();
            connect(unit, &UnitLink::changed, this, [this, unit] { onUnitChanged(unit); });
            mqtt_->unitChanged(unit->name(), unitJson(*unit));
        }
        connect(mqtt_.get(), &MqttPublisher::commandReceived, this, &Agent::onMqttCommand);
        problem = mqtt_->start();
    }
    if (!problem.isEmpty()) {
        err << "kelvandor-agent: MQTT: " << problem.toStdString() << '\n';
        return false;
    }
    out << "kelvandor-agent: publishing to " << options.url
        << (options.control ? ", taking commands" : "") << '\n';
    return true;
#else
    (void)out;
    err << "kelvandor-agent: this kelvandor-agent was built without MQTT (libmosquitto)\n";
    return false;
#endif
}

void Agent::onUnitChanged(UnitLink* link) {
    changed_.insert(link);
    if (!publishTimer_.isActive()) {
        publishTimer_.start();
    }
}

void Agent::publishChangedUnits() {
#if KELVANDOR_AGENT_MQTT
    for (UnitLink* link : changed_) {
        mqtt_->unitChanged(link->name(), unitJson(*link));
    }
#endif
    changed_.clear();
}

void Agent::onMqttCommand(const QString& unit, const QJsonObject& command) {
    UnitLink* link = nullptr;
    for (const auto& candidate : units_) {
        if (candidate->name() == unit) {
            link = candidate.get();
        }
    }
    const std::optional<CommandFrames> frames =
        link != nullptr ? commandFrames(command) : std::nullopt;
    if (!frames) {
        qWarning("kelvandor-agent: MQTT: no such unit or command: %s",
                 qPrintable(unit));
        return;
    }
    QJsonArray sent;
    switch (sendCommandFrames(*link, *frames, sent)) {
        case CommandOutcome::Sent:
            qInfo("kelvandor-agent: MQTT: %s for %s sent",
                  qPrintable(command.value(QStringLiteral("command")).toString()),
                  qPrintable(unit));
            break;
        case CommandOutcome::ClientSending:
            qWarning("kelvandor-agent: MQTT: %s not sent: a share client is sending to %s",
                     qPrintable(command.value(QStringLiteral("command")).toString()),
                     qPrintable(unit));
            break;
        case CommandOutcome::LineDown:
            qWarning("kelvandor-agent: MQTT: %s not sent: the line of %s is down",
                     qPrintable(command.value(QStringLiteral("command")).toString()),
                     qPrintable(unit));
            break;
    }
}

}  // namespace kelvandor::agent
