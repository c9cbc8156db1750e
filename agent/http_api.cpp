// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/http_api.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QUrlQuery>
#include <array>
#include <charconv>
#include <chrono>
#include <cstring>

#include "agent/access_token.h"
#include "agent/event_stream.h"
#include "agent/unit_api.h"
#include "agent/unit_link.h"
#include "agent/unit_views.h"
#include "agent/web_assets.h"
#include "protocol/unit_reports.h"

namespace kelvandor::agent {

namespace {

using Status = QHttpServerResponse::StatusCode;
using Method = QHttpServerRequest::Method;

// A unit counts as up while its line is open and it reported within this time.
constexpr auto UpWithin = std::chrono::seconds(30);
constexpr double HundredthsPerDegree = 100.0;
constexpr int DefaultHistoryMinutes = 60;
constexpr int MaxHistoryMinutes = 1440;
constexpr int MaxHistorySamples = 100000;
constexpr std::int64_t MsPerMinute = 60000;

QHttpServerResponse error(Status status, const char* text) {
    return QHttpServerResponse(QJsonObject{{"error", text}}, status);
}

QHttpServerResponse methodNotAllowed(const char* allowed) {
    QHttpServerResponse response = error(Status::MethodNotAllowed, "method not allowed");
    response.setHeader("Allow", allowed);
    return response;
}

// A request header by name, whatever its case.
QByteArray header(const QHttpServerRequest& request, const char* name) {
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool unitUp(const UnitLink& link) {
    const auto last = link.model().lastReport();
    return link.connected() && last && unit::UnitModel::WallClock::now() - *last < UpWithin;
}

// One Prometheus family: its HELP and TYPE lines, then the samples `write` adds.
class MetricsPage {
  public:
    template <class Write>
    void family(const char* name, const char* type, const char* help, Write&& write) {
        text_ += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
        write([this, name](const QByteArray& labels, double value) {
            // The shortest text that reads back as the same number (168.6, not
            // 168.59999999999999), with a decimal point whatever the locale.
            char number[32];
            const auto end = std::to_chars(number, number + sizeof number, value).ptr;
            text_ += QByteArray(name) + '{' + labels + "} " +
                     QByteArray(number, static_cast<qsizetype>(end - number)) + '\n';
        });
    }
    const QByteArray& text() const { return text_; }

  private:
    QByteArray text_;
};

QByteArray unitLabel(const UnitLink& link) {
    // Unit names are [A-Za-z0-9_-]: nothing in them needs escaping.
    return "unit=\"" + link.name().toLatin1() + '"';
}

}  // namespace

HttpApi::HttpApi(std::vector<UnitLink*> units, std::string token, QObject* parent)
    : QObject(parent),
      units_(std::move(units)),
      token_(std::move(token)),
      events_(std::make_unique<EventStream>(units_)) {
    server_.route("/api/v1/units/<arg>/commands",
                  [this](const QString& name, const QHttpServerRequest& request) {
                      return command(name, request);
                  });
    server_.route("/api/v1/units/<arg>/history",
                  [this](const QString& name, const QHttpServerRequest& request) {
                      return history(name, request);
                  });
    server_.route("/api/v1/units/<arg>/sky",
                  [this](const QString& name, const QHttpServerRequest& request) {
                      return sky(name, request);
                  });
    server_.route("/api/v1/events",
                  [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                      events(request, std::move(responder));
                  });
    server_.route("/api/v1/units/<arg>",
                  [this](const QString& name, const QHttpServerRequest& request) {
                      return unitState(name, request);
                  });
    server_.route("/api/v1/units",
                  [this](const QHttpServerRequest& request) { return unitList(request); });
    server_.route("/metrics",
                  [this](const QHttpServerRequest& request) { return metrics(request); });
    addWebAssetRoutes(server_);
    server_.setMissingHandler([](const QHttpServerRequest&, QHttpServerResponder&& responder) {
        responder.write(
            QJsonDocument(QJsonObject{{"error", "not found"}}).toJson(QJsonDocument::Compact),
            "application/json", Status::NotFound);
    });
}

HttpApi::~HttpApi() = default;

bool readsNeedToken(const QHostAddress& address, bool openReads) {
    return !openReads && !address.isLoopback();
}

quint16 HttpApi::listen(const QHostAddress& address, quint16 port, const QString& tlsCert,
                        const QString& tlsKey, const ConnectionLimits& limits, bool openReads,
                        QString& errorText) {
    std::optional<QSslConfiguration> tls;
    if (!tlsCert.isEmpty()) {
        QFile certFile(tlsCert);
        QFile keyFile(tlsKey);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            errorText = QStringLiteral("cannot read the TLS certificate or key");
            return 0;
        }
        const QSslCertificate certificate(&certFile, QSsl::Pem);
        const QByteArray keyText = keyFile.readAll();
        QSslKey key(keyText, QSsl::Rsa, QSsl::Pem);
        if (key.isNull()) {
            key = QSslKey(keyText, QSsl::Ec, QSsl::Pem);
        }
        if (certificate.isNull() || key.isNull()) {
            errorText = QStringLiteral("the TLS certificate or key is not PEM");
            return 0;
        }
        tls = QSslConfiguration::defaultConfiguration();
        tls->setLocalCertificate(certificate);
        tls->setPrivateKey(key);
        tls->setPeerVerifyMode(QSslSocket::VerifyNone);  // no client certificates asked for
    }
    // The HTTP server's own listen() would make a plain server: it is given ours, which
    // keeps the limits and does the TLS handshakes.
    auto* guarded = new GuardedServer(limits, tls, this);
    if (!guarded->listen(address, port)) {
        delete guarded;
        errorText = QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(port);
        return 0;
    }
    server_.bind(guarded);
    readsNeedToken_ = readsNeedToken(address, openReads);
    return guarded->serverPort();
}

std::optional<QHttpServerResponse> HttpApi::refuseRead(const QHttpServerRequest& request) const {
    if (!readsNeedToken_) {
        return std::nullopt;
    }
    return refuseToken(request, true);
}

std::optional<QHttpServerResponse> HttpApi::refuseGet(const QHttpServerRequest& request) const {
    if (request.method() != Method::Get) {
        return methodNotAllowed("GET");
    }
    return refuseRead(request);
}

std::optional<QHttpServerResponse> HttpApi::refuseUnitRead(const QString& name,
                                                           const QHttpServerRequest& request,
                                                           const UnitLink*& link) const {
    if (auto refused = refuseGet(request)) {
        return refused;
    }
    link = find(name);
    if (link == nullptr) {
        return error(Status::NotFound, "no such unit");
    }
    return std::nullopt;
}

std::optional<QHttpServerResponse> HttpApi::refuseToken(const QHttpServerRequest& request,
                                                        bool queryToo) const {
    const QByteArray authorization = header(request, "Authorization");
    static constexpr char Bearer[] = "Bearer ";
    QByteArray given;
    if (authorization.startsWith(Bearer)) {
        given = authorization.mid(static_cast<qsizetype>(std::strlen(Bearer))).trimmed();
    } else if (queryToo && request.query().hasQueryItem(QStringLiteral("token"))) {
        given = request.query().queryItemValue(QStringLiteral("token")).toUtf8();
    } else {
        QHttpServerResponse response = error(Status::Unauthorized, "a bearer token is needed");
        response.setHeader("WWW-Authenticate", "Bearer");
        return response;
    }
    if (!sameToken(given.toStdString(), token_)) {
        return error(Status::Forbidden, "wrong token");
    }
    return std::nullopt;
}

UnitLink* HttpApi::find(const QString& name) const {
    for (UnitLink* link : units_) {
        if (link->name() == name) {
            return link;
        }
    }
    return nullptr;
}

QHttpServerResponse HttpApi::unitList(const QHttpServerRequest& request) const {
    if (auto refused = refuseGet(request)) {
        return std::move(*refused);
    }
    QJsonArray list;
    for (const UnitLink* link : units_) {
        list.append(unitSummaryJson(*link));
    }
    return QJsonObject{{"units", list}};
}

QHttpServerResponse HttpApi::unitState(const QString& name,
                                       const QHttpServerRequest& request) const {
    const UnitLink* link = nullptr;
    if (auto refused = refuseUnitRead(name, request, link)) {
        return std::move(*refused);
    }
    return unitJson(*link);
}

QHttpServerResponse HttpApi::history(const QString& name, const QHttpServerRequest& request) const {
    const UnitLink* link = nullptr;
    if (auto refused = refuseUnitRead(name, request, link)) {
        return std::move(*refused);
    }
    int minutes = DefaultHistoryMinutes;
    const QUrlQuery query(request.url());
    if (query.hasQueryItem(QStringLiteral("minutes"))) {
        bool number = false;
        minutes = query.queryItemValue(QStringLiteral("minutes")).toInt(&number);
        if (!number || minutes < 1 || minutes > MaxHistoryMinutes) {
            return error(Status::BadRequest, "minutes is a whole number from 1 to 1440");
        }
    }
    // At most this many samples (a chart's width of them), when asked.
    std::size_t maxSamples = 0;
    if (query.hasQueryItem(QStringLiteral("max"))) {
        bool number = false;
        const int max = query.queryItemValue(QStringLiteral("max")).toInt(&number);
        if (!number || max < 2 || max > MaxHistorySamples) {
            return error(Status::BadRequest, "max is a whole number from 2 to 100000");
        }
        maxSamples = static_cast<std::size_t>(max);
    }
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    const std::int64_t since = now - minutes * MsPerMinute;
    const SignalHistory& samples = link->history();
    if (header(request, "Accept").contains("text/csv")) {
        return QHttpServerResponse("text/csv; charset=utf-8", historyCsv(samples, since));
    }
    return QHttpServerResponse("application/json", historyJson(samples, since, maxSamples));
}

QHttpServerResponse HttpApi::sky(const QString& name, const QHttpServerRequest& request) const {
    const UnitLink* link = nullptr;
    if (auto refused = refuseUnitRead(name, request, link)) {
        return std::move(*refused);
    }
    return skyJson(link->model().state(), link->pointing());
}

void HttpApi::events(const QHttpServerRequest& request, QHttpServerResponder&& responder) {
    if (auto refused = refuseGet(request)) {
        refused->write(std::move(responder));
        return;
    }
    events_->open(std::move(responder));
}

QHttpServerResponse HttpApi::metrics(const QHttpServerRequest& request) const {
    if (auto refused = refuseGet(request)) {
        return std::move(*refused);
    }
    return QHttpServerResponse("text/plain; version=0.0.4; charset=utf-8", renderMetrics());
}

QByteArray HttpApi::renderMetrics() const {
    MetricsPage page;
    page.family("kelvandor_unit_up", "gauge",
                "Whether the unit's line is open and the unit reported in the last 30 seconds.",
                [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        sample(unitLabel(*link), unitUp(*link) ? 1 : 0);
                    }
                });
    page.family("kelvandor_signal_level", "gauge", "The signal level the unit last reported.",
                [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        if (const auto& s = link->model().state().status) {
                            sample(unitLabel(*link), static_cast<double>(s->signalLevel()));
                        }
                    }
                });
    page.family("kelvandor_signal_locked", "gauge",
                "Whether the unit last reported a lock on the carrier.", [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        if (const auto& s = link->model().state().status) {
                            sample(unitLabel(*link), s->locked() ? 1 : 0);
                        }
                    }
                });
    page.family("kelvandor_antenna_state", "gauge",
                "1 for the antenna state the unit last reported, 0 for the others.",
                [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        const auto& code = link->model().state().state;
                        const char* current = code ? antennaStateName(*code) : nullptr;
                        for (const char* name : unit::StateNames) {
                            const bool on = current != nullptr && std::strcmp(current, name) == 0;
                            sample(unitLabel(*link) + ",state=\"" + name + '"', on ? 1 : 0);
                        }
                    }
                });
    page.family(
        "kelvandor_pointing_degrees", "gauge",
        "The antenna's azimuth, elevation and skew as the unit last reported them.",
        [this](auto sample) {
            for (const UnitLink* link : units_) {
                if (const auto& s = link->model().state().status) {
                    const std::array<std::pair<const char*, std::int32_t>, 3> axes = {
                        {{"azimuth", s->azimuth}, {"elevation", s->elevation}, {"skew", s->skew}}};
                    for (const auto& [axis, hundredths] : axes) {
                        sample(unitLabel(*link) + ",axis=\"" + axis + '"',
                               hundredths / HundredthsPerDegree);
                    }
                }
            }
        });
    page.family("kelvandor_frames_received_total", "counter",
                "Frames received from the unit that decoded.", [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        sample(unitLabel(*link),
                               static_cast<double>(link->model().framesReceived()));
                    }
                });
    page.family("kelvandor_frames_sent_total", "counter",
                "Frames sent to the unit, the agent's own and its clients'.", [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        sample(unitLabel(*link), static_cast<double>(link->framesSent()));
                    }
                });
    page.family("kelvandor_decode_errors_total", "counter",
                "Chunks received from the unit that did not decode.", [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        sample(unitLabel(*link), static_cast<double>(link->model().decodeErrors()));
                    }
                });
    page.family("kelvandor_line_reconnects_total", "counter",
                "Times the unit's line was opened again after it had been lost.",
                [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        sample(unitLabel(*link), static_cast<double>(link->reconnects()));
                    }
                });
    page.family("kelvandor_last_report_timestamp_seconds", "gauge",
                "When the unit last sent a frame, in seconds since the epoch.",
                [this](auto sample) {
                    for (const UnitLink* link : units_) {
                        if (const auto last = link->model().lastReport()) {
                            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                last->time_since_epoch())
                                                .count();
                            sample(unitLabel(*link), static_cast<double>(ms) / 1000.0);
                        }
                    }
                });
    return page.text();
}

QHttpServerResponse HttpApi::command(const QString& name, const QHttpServerRequest& request) {
    if (request.method() != Method::Post) {
        return methodNotAllowed("POST");
    }
    // The token first: nothing else is told to a caller without it. Only in the header:
    // a token in a URL ends up in logs.
    if (auto refused = refuseToken(request, false)) {
        return std::move(*refused);
    }
    UnitLink* link = find(name);
    if (link == nullptr) {
        return error(Status::NotFound, "no such unit");
    }
    QJsonParseError parseError{};
    const QJsonDocument body = QJsonDocument::fromJson(request.body(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !body.isObject()) {
        return error(Status::BadRequest, "the body is no JSON object");
    }
    const std::optional<CommandFrames> frames = commandFrames(body.object());
    if (!frames) {
        return error(Status::BadRequest,
                     "command is get-information, restart, setup or select-satellite with "
                     "satellite A or B");
    }
    QJsonArray sent;
    switch (sendCommandFrames(*link, *frames, sent)) {
        case CommandOutcome::ClientSending:
            return error(Status::Conflict, "a share client is sending to the unit");
        case CommandOutcome::LineDown:
            return error(Status::ServiceUnavailable, "the unit's line is down");
        case CommandOutcome::Sent:
            break;
    }
    return QHttpServerResponse(QJsonObject{{"sent", sent}}, Status::Accepted);
}

}  // namespace kelvandor::agent
