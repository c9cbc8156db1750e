// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/agent.h"

#include <QHostAddress>

#include "agent/access_token.h"
#include "agent/http_api.h"
#include "agent/share_server.h"
#include "agent/unit_link.h"

namespace kelvandor::agent {

namespace {

constexpr int MillisecondsPerSecond = 1000;

QHostAddress hostAddress(const std::string& host) {
    if (host == "localhost") {
        return QHostAddress(QHostAddress::LocalHost);
    }
    return QHostAddress(QString::fromStdString(host));
}

}  // namespace

Agent::Agent(AgentConfig config, QObject* parent) : QObject(parent), config_(std::move(config)) {}

Agent::~Agent() = default;

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
    for (const UnitSpec& spec : config_.units) {
        units_.push_back(std::make_unique<UnitLink>(QString::fromStdString(spec.name),
                                                    QString::fromStdString(spec.port), timing));
        links.push_back(units_.back().get());
    }
    for (const ShareSpec& spec : config_.shares) {
        UnitLink* link = nullptr;
        for (UnitLink* candidate : links) {
            if (candidate->name().toStdString() == spec.unit) {
                link = candidate;
            }
        }
        const QHostAddress address = hostAddress(spec.endpoint.host);
        auto share = std::make_unique<ShareServer>(*link);
        if (address.isNull() || !share->listen(address, static_cast<quint16>(spec.endpoint.port))) {
            err << "kelvandor-agent: cannot share " << spec.unit << " on " << spec.endpoint.host
                << ':' << spec.endpoint.port << '\n';
            return false;
        }
        out << "kelvandor-agent: sharing " << spec.unit << " on " << spec.endpoint.host << ':'
            << share->port() << '\n';
        shares_.emplace_back(spec.unit, std::move(share));
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
    out.flush();

    for (const auto& link : units_) {
        link->start();
    }
    return true;
}

}  // namespace kelvandor::agent
