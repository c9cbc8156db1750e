// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link_driver.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <thread>

#include "link/serial_port.h"
#include "protocol/frame_codec.h"

namespace kelvandor {

namespace {
constexpr int WaitSleepMs = 10;
}

LinkDriver::LinkDriver(QObject* parent) : QObject(parent) {
    receiveTimer_.setObjectName(QStringLiteral("ReceiveTimer"));
    receiveTimer_.setInterval(ReceivePeriodMs);
    connect(&receiveTimer_, &QTimer::timeout, this, &LinkDriver::onReceiveTick);
    replyTimeoutTimer_.setObjectName(QStringLiteral("ReplyTimeoutTimer"));
    connect(&replyTimeoutTimer_, &QTimer::timeout, this, &LinkDriver::onReplyTimeout);
}

bool LinkDriver::sendCommand(CommandId id, const std::int32_t* params) {
    char frame[FrameAreaSize];
    const int length = encodeFrame(frame, id, params);
    const bool written = port_ != nullptr && port_->Write(frame, length) == 1;
    if (observer_ != nullptr) {
        observer_->onFrameSent(id, params, written);
    }
    return written;
}

void LinkDriver::startReceiveTimer() {
    if (!shuttingDown_) {
        receiveTimer_.start();
    }
}

void LinkDriver::stopReceiveTimer() {
    receiveTimer_.stop();
}

void LinkDriver::onReceiveTick() {
    if (port_ == nullptr) {
        return;
    }
    char bytes[ReadBudget];
    int budget = ReadBudget;
    while (budget > 0) {
        // Never hand the buffer more than it can hold beside what it has: a chunk that
        // would overflow it drops everything held. With 239 bytes of junk held, the
        // one-byte piece lets that rule clear the junk, so the link cannot stall.
        const int piece = std::min(budget, std::max(1, MaxHeldBytes - receiveBufferHeld()));
        const int count = port_->Read(bytes, piece);
        if (count <= 0) {
            if (port_->lineLost() && port_->isOpen != 0) {
                // The device has gone. The rest of a frame it was sending never comes:
                // joined to the next line's first bytes, the remains would spoil its first
                // frame, or be completed by it into a frame the antenna never sent.
                discardReceived();
                Q_EMIT lineLost();
            }
            return;
        }
        budget -= count;
        appendReceived(bytes, count);
        dispatchFrames();
        if (count < piece) {
            return;  // the port had no more for now
        }
    }
}

void LinkDriver::dispatchFrames() {
    std::int32_t params[ParamSlots];
    for (;;) {
        std::fill(std::begin(params), std::end(params), 0);
        CommandId id = 0;
        const int status = extractFrame(&id, params);
        if (status != FrameOk) {
            if (observer_ != nullptr && status != ErrBufferEmpty && status != ErrIncomplete) {
                const FrameScratch& chunk = lastCutChunk();
                observer_->onChunkFailed(status, chunk.data, chunk.length);
            }
            return;
        }
        if (observer_ != nullptr) {
            observer_->onFrameReceived(id, params);
        }
        for (ReplyListener* listener : listeners_) {
            if (listener != nullptr) {
                listener->onReply(id, params);
            }
        }
    }
}

void LinkDriver::noteReply(CommandId id, const std::int32_t* params) {
    if (id != awaitedReplyId) {
        return;
    }
    if (awaitedReplyIndex && (params == nullptr || params[0] != *awaitedReplyIndex)) {
        return;
    }
    if (waitDeadline_ && std::chrono::steady_clock::now() >= *waitDeadline_) {
        return;  // dispatched after the wait's time: late, even if its timer has not run yet
    }
    replyWaitState = Arrived;
}

void LinkDriver::expectReply(CommandId id, std::optional<std::int32_t> index) {
    awaitedReplyId = id;
    awaitedReplyIndex = index;
    replyWaitState = Waiting;
}

int LinkDriver::waitForReply(int timeoutMs) {
    waitDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    replyTimeoutTimer_.start(timeoutMs);
    while (replyWaitState == Waiting && !shuttingDown_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(WaitSleepMs));
    }
    replyTimeoutTimer_.stop();
    waitDeadline_.reset();
    lastWaitAnswered_ = replyWaitState == Arrived;
    replyWaitState = Waiting;
    return 1;
}

void LinkDriver::onReplyTimeout() {
    replyWaitState = TimedOut;
    replyTimeoutTimer_.stop();
}

void LinkDriver::shutDown() {
    shuttingDown_ = true;
    receiveTimer_.stop();
    replyTimeoutTimer_.stop();
}

}  // namespace kelvandor
