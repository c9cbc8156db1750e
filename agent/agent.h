// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-agent as a whole: a UnitLink for each configured unit, a ShareServer for each
// share, and the HTTP API over them.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <memory>
#include <ostream>
#include <set>
#include <vector>

#include "agent/agent_config.h"

namespace kelvandor::agent {

class HttpApi;
class ShareServer;
class UnitLink;
class UnitPublisher;

class Agent : public QObject {
    Q_OBJECT
  public:
    explicit Agent(AgentConfig config, QObject* parent = nullptr);
    ~Agent() override;

    // Reads or makes the token, starts the units and opens the share and HTTP ports,
    // saying on `out` where each listens (and where a new token was written). False with
    // a line on `err` when a port cannot be opened or no token can be had.
    bool start(std::ostream& out, std::ostream& err);

    quint16 httpPort() const { return httpPort_; }
    // The port of the share of `unit`, 0 when none.
    quint16 sharePort(const std::string& unit) const;
    const std::string& token() const { return token_; }

  private:
    // Starts publishing to the MQTT broker of the configuration, when it names one.
    bool startMqtt(std::ostream& out, std::ostream& err);
    void onUnitChanged(UnitLink* link);
    void publishChangedUnits();
    void onMqttCommand(const QString& unit, const QJsonObject& command);

    AgentConfig config_;
    std::vector<std::unique_ptr<UnitLink>> units_;
    std::vector<std::pair<std::string, std::unique_ptr<ShareServer>>> shares_;
    std::unique_ptr<HttpApi> http_;
    std::unique_ptr<UnitPublisher> mqtt_;
    // Units whose state changed since they were last handed to the publisher; handed on
    // together a little later, so a unit that reports twenty times a second costs the
    // publisher a few updates a second.
    std::set<UnitLink*> changed_;
    QTimer publishTimer_;
    std::string token_;
    quint16 httpPort_ = 0;
};

}  // namespace kelvandor::agent
