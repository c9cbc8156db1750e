// SPDX-License-Identifier: GPL-3.0-or-later
// The live stream of all units as Server-Sent Events (GET /api/v1/events):
//
//   event: unit     data: {"name", "state": <as GET /api/v1/units/NAME>}
//                   one per unit on connect, then whenever the unit changes: at most one
//                   each UnitGapMs per unit, the latest state, a change never lost
//   event: sample   data: {"name", "sample": <one history sample>}, each new sample
//   : keepalive     every KeepaliveMs
//
// Each event is rendered once and written to every client. A client that does not read,
// so that more than the output bound waits for it (beside as much in the kernel's send
// buffer), is dropped; it is never buffered without bound and never holds up the others.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <list>
#include <memory>
#include <vector>

class QHttpServerResponder;
class QAbstractSocket;

namespace kelvandor::agent {

class UnitLink;

class EventStream : public QObject {
    Q_OBJECT
  public:
    static constexpr qint64 DefaultOutputBound = 128 * 1024;
    static constexpr int UnitGapMs = 200;  // five unit events a second per unit at most
    static constexpr int KeepaliveMs = 15000;

    explicit EventStream(std::vector<UnitLink*> units, qint64 outputBound = DefaultOutputBound,
                         QObject* parent = nullptr);
    ~EventStream() override;

    // Answers the request with the stream's headers, sends each unit's state and keeps
    // the connection as a client.
    void open(QHttpServerResponder&& responder);
    int clientCount() const { return static_cast<int>(clients_.size()); }

  private:
    using Clock = std::chrono::steady_clock;
    struct Feed {
        UnitLink* link = nullptr;
        QTimer timer;  // runs while a change waits for its turn
        Clock::time_point lastSent{};
    };

    void onUnitChanged(Feed& feed);
    void sendUnit(Feed& feed);
    void onSample(const UnitLink& link);
    // Writes `event` to every client, dropping those that are too far behind.
    void broadcast(const QByteArray& text);
    // False, with the client dropped, when the bytes would exceed the output bound.
    bool writeTo(QAbstractSocket* socket, const QByteArray& text);
    void drop(QAbstractSocket* socket);
    // Takes a client that has gone off the list. Called from the socket's disconnected
    // signal, which a socket also sends while it is being destroyed (at shutdown): only
    // pointers are compared then, nothing is asked of the socket.
    void forget(const QAbstractSocket* socket);

    std::list<Feed> feeds_;
    std::vector<QPointer<QAbstractSocket>> clients_;
    const qint64 outputBound_;
    QTimer keepalive_;
};

}  // namespace kelvandor::agent
