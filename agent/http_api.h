// SPDX-License-Identifier: GPL-3.0-or-later
// The agent's HTTP face: the units' state as JSON, the Prometheus metrics, and the
// commands a window's buttons send, which need the bearer token.
//
//   GET  /api/v1/units                  {"units": [{"name", "port", "connected", ...}]}
//   GET  /api/v1/units/NAME             the unit's state, "connected" and "lastReport"
//   GET  /api/v1/units/NAME/history?minutes=N   the signal history of the last N minutes
//                                       (1..1440, 60 when not given) as {"samples": [...]},
//                                       or as CSV with Accept: text/csv
//   GET  /api/v1/units/NAME/sky         the arc, the satellites and the antenna's pointing
//                                       seen from the unit's GPS position
//   GET  /api/v1/events                 the live stream of all units (event_stream.h)
//   GET  /metrics                       Prometheus text format
//   POST /api/v1/units/NAME/commands    {"command": "get-information" | "restart" |
//                                        "setup" | "select-satellite", "satellite": "A"|"B"}
//        401 without a token, 403 with a wrong one (checked before anything else), 409
//        while a share client is sending, 503 while the line is down, 202 once sent.
//
// Reads (GET) are open on a loopback address; on any other they need the token too, as
// "Authorization: Bearer TOKEN" or "?token=TOKEN" (for clients that cannot set headers),
// unless reads are opened on purpose. The limits on connections and requests are kept in
// front of the HTTP server (GuardedServer).
//
// Errors are {"error": "..."} and say nothing of the host. Everything is rendered from the
// units' models; nothing here waits for a unit.
#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/guarded_server.h"

namespace kelvandor::agent {

class EventStream;
class UnitLink;

// Whether reads on a server listening on `address` need the token: on any address but a
// loopback one (the wildcard addresses included), unless `openReads`.
bool readsNeedToken(const QHostAddress& address, bool openReads);

class HttpApi : public QObject {
    Q_OBJECT
  public:
    HttpApi(std::vector<UnitLink*> units, std::string token, QObject* parent = nullptr);
    ~HttpApi() override;

    // Serves HTTPS with the PEM certificate and key when both are given, keeping
    // `limits`; reads need the token as readsNeedToken(address, openReads) says. Returns
    // the port it listens on, 0 when it cannot (with `error` set).
    quint16 listen(const QHostAddress& address, quint16 port, const QString& tlsCert,
                   const QString& tlsKey, const ConnectionLimits& limits, bool openReads,
                   QString& error);

    // The metrics page as /metrics serves it.
    QByteArray renderMetrics() const;

  private:
    // Every GET route asks this first: the refusal (401, 403) when reads need the token
    // and the request does not carry it, nothing when the read may go on.
    std::optional<QHttpServerResponse> refuseRead(const QHttpServerRequest& request) const;
    // A GET route's first question: 405 for another method, then refuseRead.
    std::optional<QHttpServerResponse> refuseGet(const QHttpServerRequest& request) const;
    // refuseGet, then 404 when no unit has `name`; nothing, with `link` set, when the read
    // may go on.
    std::optional<QHttpServerResponse> refuseUnitRead(const QString& name,
                                                      const QHttpServerRequest& request,
                                                      const UnitLink*& link) const;
    // 401 without a bearer token, 403 with a wrong one, nothing with the right one. The
    // query's "token" counts only when `queryToo`.
    std::optional<QHttpServerResponse> refuseToken(const QHttpServerRequest& request,
                                                   bool queryToo) const;
    QHttpServerResponse unitList(const QHttpServerRequest& request) const;
    QHttpServerResponse unitState(const QString& name, const QHttpServerRequest& request) const;
    QHttpServerResponse history(const QString& name, const QHttpServerRequest& request) const;
    QHttpServerResponse sky(const QString& name, const QHttpServerRequest& request) const;
    void events(const QHttpServerRequest& request, QHttpServerResponder&& responder);
    QHttpServerResponse metrics(const QHttpServerRequest& request) const;
    QHttpServerResponse command(const QString& name, const QHttpServerRequest& request);
    UnitLink* find(const QString& name) const;

    std::vector<UnitLink*> units_;
    const std::string token_;
    std::unique_ptr<EventStream> events_;
    bool readsNeedToken_ = true;
    QHttpServer server_;
};

}  // namespace kelvandor::agent
