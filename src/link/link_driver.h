// SPDX-License-Identifier: GPL-3.0-or-later
// Moves frames between the windows and the serial port: one send operation, a receive
// tick every 50 ms that cuts the arrived bytes into frames and hands each to every
// listener in a fixed order, and a wait for one named reply with a time-out.
//
// Single-threaded: everything runs on the user-interface thread. waitForReply and the
// message boxes of reply handlers dispatch events, so ticks can run inside them.
#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "link/link_observer.h"
#include "link/reply_listener.h"
#include "protocol/command_table.h"

namespace kelvandor {

class SerialPort;

class LinkDriver : public QObject {
    Q_OBJECT
  public:
    static constexpr int ReplyTimeoutTimerId = 1;
    static constexpr int ReceiveTimerId = 2;
    static constexpr int ReceivePeriodMs = 50;
    static constexpr int ReadBudget = 255;  // bytes read per tick at most
    static constexpr int ListenerCount = 8;
    static constexpr int ParamSlots = 15;
    // awaitedReplyId before any caller sets it: matches no CommandId.
    static constexpr CommandId NoReply = -1000;

    enum ReplyWaitState { Waiting = 0, Arrived = 1, TimedOut = 2 };

    explicit LinkDriver(QObject* parent = nullptr);

    // The port sendCommand writes through and the receive tick reads from; null until the
    // main window has initialised.
    void setPort(SerialPort* port) { port_ = port; }
    SerialPort* port() const { return port_; }

    // The listeners in dispatch order; a null entry is skipped.
    void setListeners(const std::array<ReplyListener*, ListenerCount>& listeners) {
        listeners_ = listeners;
    }

    // The observer told of every frame sent and received and every failed chunk; null for
    // none. It must outlive the driver or be replaced first.
    void setObserver(LinkObserver* observer) { observer_ = observer; }

    // Encodes one frame and writes it to the port. True when the whole frame was handed to
    // the port; with no port, or a port that refuses the bytes, the frame is lost (the
    // observer is told) and the result is false.
    bool sendCommand(CommandId id, const std::int32_t* params);

    void startReceiveTimer();
    void stopReceiveTimer();
    bool isReceiving() const { return receiveTimer_.isActive(); }

    // One receive tick: reads up to ReadBudget bytes in pieces the receive buffer can take
    // whole (at most max(1, 239 - held) bytes each), and after each piece dispatches every
    // complete frame until the buffer has none or a chunk fails. A tick that reads nothing
    // dispatches nothing. A tick that finds the open port's device gone empties the receive
    // buffer (a closed and reopened port keeps it) and emits lineLost.
    void onReceiveTick();

    // Called by the main window's reply handler for every frame: the awaited reply ends
    // the current wait. With awaitedReplyIndex set, only a frame whose first parameter is
    // that index counts (the echo of one satellite, not another's report). During a wait, a
    // frame dispatched once the wait's time is up does not count, whichever of it and the
    // time-out the event loop takes first.
    void noteReply(CommandId id, const std::int32_t* params = nullptr);

    // Arms the next wait: awaitedReplyId and awaitedReplyIndex name the reply, and
    // replyWaitState goes back to Waiting, so a reply noted before this call (a late echo
    // of an earlier command) cannot end the wait. Call it before sending the command whose
    // reply is awaited. NoReply as `id` disarms it: no frame is noted.
    void expectReply(CommandId id, std::optional<std::int32_t> index);

    // Dispatches events until the reply named by awaitedReplyId has arrived, `timeoutMs`
    // have passed, or the program is shutting down; then sets replyWaitState back to 0.
    // Always returns 1; lastWaitAnswered() tells whether the reply came.
    int waitForReply(int timeoutMs);
    bool lastWaitAnswered() const { return lastWaitAnswered_; }

    // The main window is closing: ends any wait at once and stops the receive tick. A
    // waiting operation checks isShuttingDown() and gives up.
    void shutDown();
    bool isShuttingDown() const { return shuttingDown_; }

    CommandId awaitedReplyId = NoReply;
    std::optional<std::int32_t> awaitedReplyIndex;
    int replyWaitState = Waiting;

  Q_SIGNALS:
    // A receive tick found the open port's device gone (hang-up, EIO, a pulled adapter);
    // the bytes held of an unfinished frame have been dropped. Emitted at every such tick
    // until someone closes the port.
    void lineLost();

  private:
    void onReplyTimeout();
    void dispatchFrames();

    SerialPort* port_ = nullptr;
    std::array<ReplyListener*, ListenerCount> listeners_{};
    LinkObserver* observer_ = nullptr;
    QTimer receiveTimer_;
    QTimer replyTimeoutTimer_;
    bool shuttingDown_ = false;
    bool lastWaitAnswered_ = false;
    std::optional<std::chrono::steady_clock::time_point> waitDeadline_;  // during a wait
};

}  // namespace kelvandor
