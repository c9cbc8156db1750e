// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/unit_link.h"

#include <algorithm>

namespace kelvandor::agent {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int LineBaud = 19200;
// Reads return at once: the notifier says when bytes are there.
constexpr int ReadTimeoutMs = 0;
constexpr int ReadPiece = 64;
// Bytes taken per wake-up at most, so a flooding unit cannot starve the other units and
// the HTTP clients; the rest is read on the next turn of the event loop.
constexpr int ReadBudget = 4096;

template <class TimePoint>
std::int64_t millisecondsOf(TimePoint t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

UnitLink::UnitLink(QString name, QString port, LinkTiming timing, QObject* parent)
    : QObject(parent),
      name_(std::move(name)),
      portName_(std::move(port)),
      timing_(timing),
      history_(timing.historySamples) {
    retryTimer_.setInterval(timing_.retryMs);
    connect(&retryTimer_, &QTimer::timeout, this, &UnitLink::tryOpen);
    openStepTimer_.setInterval(timing_.openStepMs);
    connect(&openStepTimer_, &QTimer::timeout, this, &UnitLink::onOpenStep);
    quietTimer_.setSingleShot(true);
    quietTimer_.setInterval(timing_.queryAfterMs);
    connect(&quietTimer_, &QTimer::timeout, this, &UnitLink::onQuiet);
    holdTimer_.setSingleShot(true);
    connect(&holdTimer_, &QTimer::timeout, this, &UnitLink::flushOwnQueries);
}

std::optional<AntennaPointing> UnitLink::pointing() const {
    if (!recorder_.hasPointing()) {
        return std::nullopt;
    }
    return AntennaPointing{recorder_.azimuth(), recorder_.elevation()};
}

UnitLink::~UnitLink() {
    notifier_.reset();
    port_.Close();  // gives an open under way up too
}

void UnitLink::start() {
    tryOpen();
    retryTimer_.start();
}

bool UnitLink::clientSending() const {
    return lastClientFrame_ &&
           SteadyClock::now() - *lastClientFrame_ < std::chrono::milliseconds(timing_.clientHoldMs);
}

void UnitLink::tryOpen() {
    // The last try may still be under way (a host that has not answered yet).
    if (connected() || port_.isOpening()) {
        return;
    }
    if (port_.isOpen != 0) {
        lineLost();
    }
    const QByteArray device = portName_.toLocal8Bit();
    if (port_.beginOpen(device.constData(), LineBaud, ReadTimeoutMs) ==
        SerialPort::OpenProgress::Pending) {
        openStepTimer_.start();
        return;
    }
    onOpenEnded();
}

void UnitLink::onOpenStep() {
    if (!port_.isOpening()) {
        openStepTimer_.stop();
        return;
    }
    if (port_.continueOpen() == SerialPort::OpenProgress::Pending) {
        return;
    }
    openStepTimer_.stop();
    onOpenEnded();
}

void UnitLink::onOpenEnded() {
    if (port_.isOpen == 0) {
        return;  // tried again on the next retry
    }
    port_.Purge();
    buffer_ = ReceiveBuffer{};
    if (everOpened_) {
        ++reconnects_;
    }
    everOpened_ = true;
    notifier_ = std::make_unique<QSocketNotifier>(port_.handle, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &UnitLink::onReadable);
    // What Get Antenna Information asks: the state and the whole picture.
    ownQueue_ = {cmd::QS, cmd::QI};
    flushOwnQueries();
    quietTimer_.start();
    Q_EMIT changed();
}

void UnitLink::lineLost() {
    notifier_.reset();
    port_.Close();
    buffer_ = ReceiveBuffer{};
    ownQueue_.clear();
    quietTimer_.stop();
    holdTimer_.stop();
    Q_EMIT changed();
}

void UnitLink::onReadable() {
    char piece[ReadPiece];
    int taken = 0;
    while (taken < ReadBudget) {
        // Pieces the receive buffer can take whole, as the window's receive tick reads.
        const int room = std::max(1, MaxHeldBytes - buffer_.count);
        const int got = port_.Read(piece, std::min(room, ReadPiece));
        if (got <= 0) {
            break;
        }
        taken += got;
        takeBytes(piece, got);
    }
    if (port_.lineLost()) {
        lineLost();
    } else if (taken >= ReadBudget) {
        QTimer::singleShot(0, this, &UnitLink::onReadable);
    }
}

void UnitLink::takeBytes(const char* bytes, int count) {
    appendReceived(buffer_, bytes, count);
    forEachChunk(buffer_, scratch_, [this](int status, CommandId id, const std::int32_t* p) {
        if (status == FrameOk) {
            const auto wallNow = unit::UnitModel::WallClock::now();
            model_.takeFrame(id, p, wallNow);
            const bool sampled = recorder_.take(id, p, millisecondsOf(SteadyClock::now()),
                                                     millisecondsOf(wallNow));
            quietTimer_.start();
            if (sampled) {
                Q_EMIT sampleAdded();
            }
            Q_EMIT changed();
        } else {
            model_.noteDecodeError();
        }
        Q_EMIT chunkReceived(QByteArray(scratch_.data, scratch_.length));
    });
}

bool UnitLink::sendCommand(CommandId id, const std::int32_t* params) {
    if (!connected()) {
        return false;
    }
    char frame[FrameAreaSize];
    const int length = encodeFrame(frame, id, params);
    if (port_.Write(frame, length) != 1) {
        return false;
    }
    ++framesSent_;
    return true;
}

bool UnitLink::sendClientFrame(const QByteArray& frame) {
    lastClientFrame_ = SteadyClock::now();
    if (!connected()) {
        return false;
    }
    if (port_.Write(frame.constData(), static_cast<int>(frame.size())) != 1) {
        return false;
    }
    ++framesSent_;
    return true;
}

void UnitLink::flushOwnQueries() {
    if (!connected()) {
        ownQueue_.clear();
        return;
    }
    if (clientSending()) {
        const auto waited = SteadyClock::now() - *lastClientFrame_;
        const auto left = std::chrono::milliseconds(timing_.clientHoldMs) -
                          std::chrono::duration_cast<std::chrono::milliseconds>(waited);
        holdTimer_.start(std::max<int>(1, static_cast<int>(left.count())));
        return;
    }
    for (const CommandId id : ownQueue_) {
        sendCommand(id);
    }
    ownQueue_.clear();
}

void UnitLink::onQuiet() {
    if (!connected()) {
        return;
    }
    if (std::find(ownQueue_.begin(), ownQueue_.end(), cmd::QS) == ownQueue_.end()) {
        ownQueue_.push_back(cmd::QS);
    }
    flushOwnQueries();
    quietTimer_.start();
}

}  // namespace kelvandor::agent
