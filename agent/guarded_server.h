// SPDX-License-Identifier: GPL-3.0-or-later
// The listening socket the HTTP server is given: it keeps the limits that the HTTP
// server itself does not, in front of it, on every connection.
//   - At most `maxConnections` at once (TLS handshakes included); one more is answered
//     503 and closed.
//   - Each request's bytes go through a RequestScanner before the HTTP server reads them:
//     a head or body beyond the limits is answered 431 or 413 (411 for a body without
//     Content-Length, 400 for a malformed one) with a short JSON error, and the connection
//     is closed without the HTTP server seeing the request.
//   - A request (head and body) must be whole within `requestTimeout` of its first byte,
//     the first one within `requestTimeout` of the connection (the TLS handshake
//     included); else 408 and closed.
//   - A connection with no request under way that neither reads nor writes for
//     `idleTimeout` is closed (a response that goes on writing, an event stream, is not
//     idle).
// With a TLS configuration each connection is a QSslSocket, handed to the HTTP server
// once encrypted.
#pragma once

#include <QSslConfiguration>
#include <QTcpServer>
#include <chrono>
#include <optional>

#include "agent/request_scanner.h"

namespace kelvandor::agent {

struct ConnectionLimits {
    int maxConnections = 64;
    RequestLimits request;
    std::chrono::milliseconds requestTimeout{10000};
    std::chrono::milliseconds idleTimeout{30000};
};

class GuardedServer : public QTcpServer {
    Q_OBJECT
  public:
    explicit GuardedServer(ConnectionLimits limits,
                           std::optional<QSslConfiguration> tls = std::nullopt,
                           QObject* parent = nullptr);

    // Connections open now (counted from accept until the socket is gone).
    int openConnections() const { return open_; }

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    friend class ConnectionGuard;
    void refuseConnection(qintptr descriptor);

    ConnectionLimits limits_;
    std::optional<QSslConfiguration> tls_;
    int open_ = 0;
};

}  // namespace kelvandor::agent
