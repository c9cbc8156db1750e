// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/event_stream.h"

#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>

#include "agent/unit_link.h"
#include "agent/unit_views.h"

namespace kelvandor::agent {

namespace {

QByteArray eventText(const char* name, const QJsonObject& data) {
    return QByteArray("event: ") + name +
           "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact) + "\n\n";
}

QByteArray unitEvent(const UnitLink& link) {
    return eventText("unit", QJsonObject{{"name", link.name()}, {"state", unitJson(link)}});
}

// Bytes handed to the socket that the peer has not taken yet (before and after TLS).
qint64 unsent(const QAbstractSocket& socket) {
    qint64 bytes = socket.bytesToWrite();
    if (const auto* tls = qobject_cast<const QSslSocket*>(&socket)) {
        bytes += tls->encryptedBytesToWrite();
    }
    return bytes;
}

}  // namespace

EventStream::EventStream(std::vector<UnitLink*> units, qint64 outputBound, QObject* parent)
    : QObject(parent), outputBound_(outputBound) {
    for (UnitLink* link : units) {
        Feed& feed = feeds_.emplace_back();
        feed.link = link;
        feed.timer.setSingleShot(true);
        connect(&feed.timer, &QTimer::timeout, this, [this, &feed] { sendUnit(feed); });
        connect(link, &UnitLink::changed, this, [this, &feed] { onUnitChanged(feed); });
        connect(link, &UnitLink::sampleAdded, this, [this, link] { onSample(*link); });
    }
    keepalive_.setInterval(KeepaliveMs);
    connect(&keepalive_, &QTimer::timeout, this, [this] { broadcast(": keepalive\n\n"); });
    keepalive_.start();
}

EventStream::~EventStream() {
    for (const QPointer<QAbstractSocket>& socket : clients_) {
        if (socket) {
            socket->disconnect(this);
        }
    }
}

void EventStream::open(QHttpServerResponder&& responder) {
    responder.writeStatusLine();
    responder.writeHeaders({{"Content-Type", "text/event-stream"},
                            {"Cache-Control", "no-cache"},
                            {"Connection", "close"}});
    // The retry delay the browser waits before it connects again, then each unit's state.
    QByteArray first = "retry: 1000\n\n";
    for (const Feed& feed : feeds_) {
        first += unitEvent(*feed.link);
    }
    responder.writeBody(first);
    QAbstractSocket* socket = responder.socket();
    // The kernel's buffer no larger than the bound, so a client that stops reading is
    // found out after about twice the bound, not after megabytes the kernel took.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                            static_cast<int>(outputBound_));
    clients_.emplace_back(socket);
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { forget(socket); });
}

void EventStream::onUnitChanged(Feed& feed) {
    if (feed.timer.isActive()) {
        return;  // the latest state goes out when the timer ends
    }
    const auto gap = std::chrono::milliseconds(UnitGapMs);
    const auto since = Clock::now() - feed.lastSent;
    if (since >= gap) {
        sendUnit(feed);
        return;
    }
    feed.timer.start(std::max<int>(
        1, static_cast<int>(
               std::chrono::duration_cast<std::chrono::milliseconds>(gap - since).count())));
}

void EventStream::sendUnit(Feed& feed) {
    feed.lastSent = Clock::now();
    if (!clients_.empty()) {
        broadcast(unitEvent(*feed.link));
    }
}

void EventStream::onSample(const UnitLink& link) {
    const SignalHistory& history = link.history();
    if (clients_.empty() || history.empty()) {
        return;
    }
    broadcast(eventText(
        "sample", QJsonObject{{"name", link.name()}, {"sample", sampleJson(history.newest())}}));
}

void EventStream::broadcast(const QByteArray& text) {
    // A copy: dropping a client changes the list.
    const std::vector<QPointer<QAbstractSocket>> clients = clients_;
    for (const QPointer<QAbstractSocket>& socket : clients) {
        if (socket) {
            writeTo(socket, text);
        }
    }
}

bool EventStream::writeTo(QAbstractSocket* socket, const QByteArray& text) {
    if (unsent(*socket) + text.size() > outputBound_) {
        drop(socket);
        socket->abort();
        return false;
    }
    socket->write(text);
    return true;
}

void EventStream::drop(QAbstractSocket* socket) {
    socket->disconnect(this);
    forget(socket);
}

void EventStream::forget(const QAbstractSocket* socket) {
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [socket](const QPointer<QAbstractSocket>& client) {
                                      return client.isNull() || client.data() == socket;
                                  }),
                   clients_.end());
}

}  // namespace kelvandor::agent
