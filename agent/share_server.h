// SPDX-License-Identifier: GPL-3.0-or-later
// A unit's line shared on a raw TCP port: any number of clients; every chunk the unit
// sends goes to every client, and every frame a client sends goes to the unit whole
// (each client's bytes are cut into frames of their own, so two clients' frames never
// interleave). A client that stops reading, so that more than the output bound waits
// for it, is dropped; it never holds up the unit or the others.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <list>
#include <memory>

#include "protocol/frame_codec.h"

class QTcpSocket;

namespace kelvandor::agent {

class UnitLink;

class ShareServer : public QObject {
    Q_OBJECT
  public:
    static constexpr qint64 DefaultOutputBound = 64 * 1024;

    ShareServer(UnitLink& link, qint64 outputBound = DefaultOutputBound, QObject* parent = nullptr);
    ~ShareServer() override;

    // Listens on `address`:`port` (0: any free port). False when it cannot.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return server_.serverPort(); }
    QString errorString() const { return server_.errorString(); }
    int clientCount() const { return static_cast<int>(clients_.size()); }

  private:
    struct Client {
        QTcpSocket* socket = nullptr;
        ReceiveBuffer buffer;
        FrameScratch scratch;
    };

    void onNewConnection();
    void onClientBytes(Client& client);
    void onUnitChunk(const QByteArray& chunk);
    void drop(QTcpSocket* socket);

    UnitLink& link_;
    const qint64 outputBound_;
    QTcpServer server_;
    std::list<Client> clients_;
};

}  // namespace kelvandor::agent
