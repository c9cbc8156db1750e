// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/guarded_server.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <string_view>

#include <sys/socket.h>
#include <unistd.h>

namespace kelvandor::agent {

namespace {

// How long a refused or timed-out connection may take to read our last answer and close
// its side before it is cut.
constexpr auto LingerAfterClose = std::chrono::seconds(2);

QByteArray errorReply(int status, const char* reason, const char* text) {
    const QByteArray body = QByteArray(R"({"error":")") + text + "\"}";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray refusalReply(Refusal refusal) {
    switch (refusal) {
        case Refusal::BadRequest:
            return errorReply(400, "Bad Request", "malformed request");
        case Refusal::LengthRequired:
            return errorReply(411, "Length Required", "a body needs a Content-Length");
        case Refusal::BodyTooLarge:
            return errorReply(413, "Content Too Large", "request body too large");
        case Refusal::HeadTooLarge:
            return errorReply(431, "Request Header Fields Too Large", "request head too large");
        case Refusal::None:
            break;
    }
    return {};
}

}  // namespace

class ConnectionGuard;

// The HTTP server reads a socket's bytes with readAll(), which ends in readData() once the
// socket's buffer is empty: that tells the guard which bytes it has scanned are gone.
template <class Socket>
class GuardedSocket : public Socket {
  public:
    using Socket::Socket;
    void setGuard(ConnectionGuard* guard) { guard_ = guard; }

  protected:
    qint64 readData(char* data, qint64 maxSize) override;

  private:
    ConnectionGuard* guard_ = nullptr;
};

// One connection's limits. A child of its socket: it goes when the socket goes.
class ConnectionGuard : public QObject {
  public:
    ConnectionGuard(QTcpSocket* socket, GuardedServer* server, bool counted)
        : QObject(socket),
          socket_(socket),
          server_(server),
          counted_(counted),
          limits_(server->limits_),
          scanner_(limits_.request) {
        if (counted_) {
            ++server_->open_;
        }
        timer_.setSingleShot(true);
        // Connected before the HTTP server's own handler: the guard sees every byte first.
        connect(socket_, &QIODevice::readyRead, this, [this] { scan(); });
        // A TLS socket tells of its bytes once they are encrypted, before they are on
        // their way: only its encrypted bytes say that a last answer has left.
        auto* ssl = qobject_cast<QSslSocket*>(socket_);
        connect(socket_, &QIODevice::bytesWritten, this,
                [this, onWire = ssl == nullptr] { wrote(onWire); });
        if (ssl != nullptr) {
            connect(ssl, &QSslSocket::encryptedBytesWritten, this, [this] { wrote(true); });
        }
        connect(socket_, &QAbstractSocket::disconnected, &timer_, &QTimer::stop);
        connect(&timer_, &QTimer::timeout, this, [this] { timedOut(); });
        arm(Mode::Request, limits_.requestTimeout);
    }
    ~ConnectionGuard() override {
        if (counted_ && server_) {
            --server_->open_;
        }
    }
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    // The socket's buffer was read to its end.
    void drained() {
        if (!peeking_) {
            scanned_ = 0;
        }
    }

    // Answers `reply` (nothing when empty), lets the HTTP server see no more of the
    // connection, and closes it once the reply is out.
    void close(const QByteArray& reply) {
        if (mode_ == Mode::Closing) {
            return;
        }
        QObject::disconnect(socket_, &QIODevice::readyRead, nullptr, nullptr);
        connect(socket_, &QIODevice::readyRead, this, [this] { discardInput(); });
        discardInput();
        if (!reply.isEmpty()) {
            socket_->write(reply);
        }
        arm(Mode::Closing, LingerAfterClose);
        shutDownWhenFlushed();
    }

  private:
    enum class Mode { Request, Idle, Closing, Off };

    void arm(Mode mode, std::chrono::milliseconds after) {
        mode_ = mode;
        timer_.start(after);
    }

    void scan() {
        const qint64 available = socket_->bytesAvailable();
        const qint64 fresh = available - scanned_;
        if (fresh > 0) {
            peeking_ = true;
            const QByteArray bytes = socket_->peek(available);
            peeking_ = false;
            const qint64 from = bytes.size() - fresh;
            if (from >= 0) {
                scanner_.feed(
                    std::string_view(bytes.constData() + from, static_cast<std::size_t>(fresh)));
            }
        }
        scanned_ = available;
        if (scanner_.refusal() != Refusal::None) {
            close(refusalReply(scanner_.refusal()));
        } else if (scanner_.upgraded()) {
            mode_ = Mode::Off;  // a WebSocket now: its own server keeps it
            timer_.stop();
        } else if (!scanner_.midRequest()) {
            arm(Mode::Idle, limits_.idleTimeout);
        } else if (mode_ != Mode::Request) {
            // The request's time runs from its first byte, however slowly the rest comes.
            arm(Mode::Request, limits_.requestTimeout);
        }
    }

    void wrote(bool onWire) {
        if (mode_ == Mode::Closing) {
            if (onWire) {
                shutDownWhenFlushed();
            }
        } else if (mode_ == Mode::Idle) {
            arm(Mode::Idle, limits_.idleTimeout);  // a response still going out
        }
    }

    void timedOut() {
        const auto* ssl = qobject_cast<QSslSocket*>(socket_);
        if (mode_ == Mode::Closing || (ssl != nullptr && !ssl->isEncrypted())) {
            socket_->abort();
        } else if (mode_ == Mode::Request) {
            close(errorReply(408, "Request Timeout", "request too slow"));
        } else if (mode_ == Mode::Idle) {
            close({});
        }
    }

    void discardInput() {
        if (socket_->isTransactionStarted()) {
            socket_->commitTransaction();
        }
        socket_->readAll();
    }

    // Once the last answer is written, the sending side is shut: the client reads it
    // and the end of the connection, and closes; until then what it sends is discarded
    // rather than answered with a reset that could lose the answer.
    void shutDownWhenFlushed() {
        const auto* ssl = qobject_cast<QSslSocket*>(socket_);
        const qint64 pending =
            socket_->bytesToWrite() + (ssl != nullptr ? ssl->encryptedBytesToWrite() : 0);
        if (pending == 0 && !shutDown_ && socket_->socketDescriptor() >= 0) {
            shutDown_ = true;
            ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR);
        }
    }

    QTcpSocket* socket_;
    QPointer<GuardedServer> server_;
    const bool counted_;
    const ConnectionLimits limits_;
    RequestScanner scanner_;
    QTimer timer_;
    Mode mode_ = Mode::Request;
    qint64 scanned_ = 0;  // bytes at the end of the socket's buffer the scanner has had
    bool peeking_ = false;
    bool shutDown_ = false;
};

template <class Socket>
qint64 GuardedSocket<Socket>::readData(char* data, qint64 maxSize) {
    if (guard_ != nullptr) {
        guard_->drained();
    }
    return Socket::readData(data, maxSize);
}

GuardedServer::GuardedServer(ConnectionLimits limits, std::optional<QSslConfiguration> tls,
                             QObject* parent)
    : QTcpServer(parent), limits_(limits), tls_(std::move(tls)) {}

void GuardedServer::incomingConnection(qintptr descriptor) {
    if (open_ >= limits_.maxConnections) {
        refuseConnection(descriptor);
        return;
    }
    if (!tls_) {
        auto* socket = new GuardedSocket<QTcpSocket>(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(static_cast<int>(descriptor));
            delete socket;
            return;
        }
        socket->setGuard(new ConnectionGuard(socket, this, true));
        addPendingConnection(socket);
        return;
    }
    auto* socket = new GuardedSocket<QSslSocket>(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        delete socket;
        return;
    }
    socket->setSslConfiguration(*tls_);
    socket->setGuard(new ConnectionGuard(socket, this, true));
    // Until the handshake is done the socket is ours; then the HTTP server's, which
    // deletes it when it closes.
    auto handedOver = std::make_shared<bool>(false);
    connect(socket, &QSslSocket::encrypted, this, [this, socket, handedOver] {
        *handedOver = true;
        addPendingConnection(socket);
        if (socket->bytesAvailable() > 0) {
            // Bytes that came with the handshake's end, before the HTTP server was there.
            QMetaObject::invokeMethod(socket, &QIODevice::readyRead, Qt::QueuedConnection);
        }
    });
    const auto dropUnlessHandedOver = [socket, handedOver] {
        if (!*handedOver) {
            socket->deleteLater();
        }
    };
    connect(socket, &QAbstractSocket::errorOccurred, this, dropUnlessHandedOver);
    connect(socket, &QAbstractSocket::disconnected, this, dropUnlessHandedOver);
    socket->startServerEncryption();
}

void GuardedServer::refuseConnection(qintptr descriptor) {
    if (tls_) {
        ::close(static_cast<int>(descriptor));  // no answer can be read before a handshake
        return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        delete socket;
        return;
    }
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    auto* guard = new ConnectionGuard(socket, this, false);
    guard->close(errorReply(503, "Service Unavailable", "too many connections"));
}

}  // namespace kelvandor::agent
