// SPDX-License-Identifier: GPL-3.0-or-later
// One watched unit: its line kept open (a lost or missing line is tried again every
// second; a network line is opened step by step, so a host that does not answer never
// holds up the event loop), every frame it sends fed to its model and its signal
// history and handed on whole, and the few frames
// the agent sends of its own accord: what Get Antenna Information asks when the line
// opens, and QS when the unit has been quiet for a while. Frames of share clients go to
// the unit whole; while a client has sent within the hold time, the agent's own queries
// wait for it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "agent/unit_views.h"
#include "link/serial_port.h"
#include "protocol/frame_codec.h"
#include "unit/unit_state.h"

namespace kelvandor::agent {

struct LinkTiming {
    int retryMs = 1000;        // between attempts to open a missing or lost line
    int queryAfterMs = 10000;  // QS when no frame came for this long
    int clientHoldMs = 3000;   // the agent's own frames wait this long after a client's
    int openStepMs = 10;       // between the steps of a network line's open
    // Samples the signal history keeps: 12 hours at a report a second, 2.4 hours at five
    // (40 bytes each, taken at the first report: 1.7 MB a unit).
    std::size_t historySamples = 12U * 3600U;
};

class UnitLink : public QObject {
    Q_OBJECT
  public:
    UnitLink(QString name, QString port, LinkTiming timing, QObject* parent = nullptr);
    ~UnitLink() override;

    // Opens the line (and keeps trying until it opens). Call once.
    void start();

    const QString& name() const { return name_; }
    const QString& port() const { return portName_; }
    bool connected() const { return port_.isOpen != 0 && !port_.lineLost(); }
    const unit::UnitModel& model() const { return model_; }
    // Every level report of the unit, made into samples as the window's sky view makes
    // them.
    const SignalHistory& history() const { return history_; }
    // Empty until Ni or AP has said where the antenna points.
    std::optional<AntennaPointing> pointing() const;
    // Whether a network line's open is under way.
    bool opening() const { return port_.isOpening(); }
    quint64 framesSent() const { return framesSent_; }
    // Times the line was opened again after it had been open.
    quint64 reconnects() const { return reconnects_; }
    // Whether a share client has sent a frame within the hold time.
    bool clientSending() const;

    // Sends one frame on the agent's (or an HTTP caller's) behalf. False, and nothing
    // sent, when the line is down.
    bool sendCommand(CommandId id, const std::int32_t* params = nullptr);
    // Writes one whole frame (as a share client cut it) to the unit and starts the hold
    // time. False when the line is down or refused the bytes.
    bool sendClientFrame(const QByteArray& frame);

  Q_SIGNALS:
    // Every chunk cut from the unit's bytes, as received (a whole frame, or a chunk that
    // did not decode).
    void chunkReceived(const QByteArray& chunk);
    // The unit's state changed: a frame came, or the line opened or was lost.
    void changed();
    // A report added a sample to the signal history (its newest).
    void sampleAdded();

  private:
    void tryOpen();
    void onOpenStep();
    // Takes the line into use once an open has ended, when it opened.
    void onOpenEnded();
    void onReadable();
    void lineLost();
    void takeBytes(const char* bytes, int count);
    // Sends the queued frames of the agent's own, or waits for the client hold to end.
    void flushOwnQueries();
    void onQuiet();

    const QString name_;
    const QString portName_;
    const LinkTiming timing_;
    SerialPort port_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer retryTimer_;
    QTimer openStepTimer_;
    QTimer quietTimer_;
    QTimer holdTimer_;
    ReceiveBuffer buffer_;
    FrameScratch scratch_;
    unit::UnitModel model_;
    SignalHistory history_;
    SignalRecorder recorder_{history_};
    std::vector<CommandId> ownQueue_;
    std::optional<std::chrono::steady_clock::time_point> lastClientFrame_;
    bool everOpened_ = false;
    quint64 framesSent_ = 0;
    quint64 reconnects_ = 0;
};

}  // namespace kelvandor::agent
