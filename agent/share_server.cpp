// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/share_server.h"

#include <QTcpSocket>
#include <algorithm>

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include "agent/unit_link.h"

namespace kelvandor::agent {

namespace {

constexpr int ReadPiece = 64;

// The bytes written for a client that it has not taken: those in the socket's own buffer
// and those the kernel holds unsent because the client's receive window is closed.
qint64 pendingOutput(QTcpSocket& socket) {
    int unsent = 0;
    if (::ioctl(static_cast<int>(socket.socketDescriptor()), SIOCOUTQ, &unsent) != 0) {
        unsent = 0;
    }
    return socket.bytesToWrite() + unsent;
}

}  // namespace

ShareServer::ShareServer(UnitLink& link, qint64 outputBound, QObject* parent)
    : QObject(parent), link_(link), outputBound_(outputBound) {
    connect(&server_, &QTcpServer::newConnection, this, &ShareServer::onNewConnection);
    connect(&link_, &UnitLink::chunkReceived, this, &ShareServer::onUnitChunk);
}

ShareServer::~ShareServer() {
    for (Client& client : clients_) {
        client.socket->disconnect(this);
        client.socket->abort();
        delete client.socket;
    }
}

bool ShareServer::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

void ShareServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(nullptr);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        clients_.push_back(Client{socket, {}, {}});
        Client& client = clients_.back();
        connect(socket, &QTcpSocket::readyRead, this, [this, &client] { onClientBytes(client); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void ShareServer::onClientBytes(Client& client) {
    char piece[ReadPiece];
    for (;;) {
        // Pieces the receive buffer can take whole; a client's bytes that hold no frame end
        // within the buffer's size are dropped as the window's receive buffer drops them.
        const int room = std::max(1, MaxHeldBytes - client.buffer.count);
        const qint64 got = client.socket->read(piece, std::min(room, ReadPiece));
        if (got <= 0) {
            return;
        }
        appendReceived(client.buffer, piece, static_cast<int>(got));
        forEachChunk(
            client.buffer, client.scratch, [this, &client](int, CommandId, const std::int32_t*) {
                link_.sendClientFrame(QByteArray(client.scratch.data, client.scratch.length));
            });
    }
}

void ShareServer::onUnitChunk(const QByteArray& chunk) {
    std::vector<QTcpSocket*> stalled;
    for (Client& client : clients_) {
        if (pendingOutput(*client.socket) + chunk.size() > outputBound_) {
            stalled.push_back(client.socket);
        } else {
            // Handed to the kernel at once: what waits in the socket is only what the
            // client has not taken.
            client.socket->write(chunk);
            client.socket->flush();
        }
    }
    for (QTcpSocket* socket : stalled) {
        drop(socket);
    }
}

void ShareServer::drop(QTcpSocket* socket) {
    const auto found = std::find_if(clients_.begin(), clients_.end(),
                                    [socket](const Client& c) { return c.socket == socket; });
    if (found == clients_.end()) {
        return;
    }
    clients_.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

}  // namespace kelvandor::agent
