// SPDX-License-Identifier: GPL-3.0-or-later
// How long a click would wait before the window takes it. A click is taken at a turn of
// the event loop that takes user input: not a turn inside the serial port's wait hook,
// which dispatches events with QEventLoop::ExcludeUserInputEvents (Qt holds the window
// system's input back there), and not while the loop stands still.
//
// A precise timer stands for a click arriving every few milliseconds, each just after the
// previous firing. A click is taken at the first firing outside the wait hook; its delay
// is the time from its arrival to then. Qt offers no public way to queue input the way
// the window system does (QCoreApplication::postEvent and QTest deliver input even inside
// a wait that excludes it), hence this model of the held input.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "link/serial_port.h"

namespace kelvandor::testing {

class InputDelayProbe : public QObject {
  public:
    explicit InputDelayProbe(SerialPort& port, int periodMs = 5)
        : port_(port), inner_(port.waitHook()) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(periodMs);
        connect(&timer_, &QTimer::timeout, this, &InputDelayProbe::onTurn);
        port_.setWaitHook([this] {
            ++held_;
            if (inner_) {
                inner_();
            }
            --held_;
        });
    }
    ~InputDelayProbe() override { port_.setWaitHook(inner_); }
    InputDelayProbe(const InputDelayProbe&) = delete;
    InputDelayProbe& operator=(const InputDelayProbe&) = delete;

    void start() {
        delaysMs_.clear();
        waiting_.clear();
        clock_.start();
        lastMs_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }

    std::size_t clicks() const { return delaysMs_.size(); }
    double maxMs() const {
        return delaysMs_.empty() ? 0 : *std::max_element(delaysMs_.begin(), delaysMs_.end());
    }
    // The delay that `fraction` of the clicks taken did not exceed (0.99: the 99th
    // percentile).
    double percentileMs(double fraction) const {
        if (delaysMs_.empty()) {
            return 0;
        }
        std::vector<double> sorted = delaysMs_;
        std::sort(sorted.begin(), sorted.end());
        const auto rank =
            static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
        return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
    }

  private:
    void onTurn() {
        const double nowMs = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
        waiting_.push_back(lastMs_);
        lastMs_ = nowMs;
        if (held_ > 0) {
            return;
        }
        for (const double arrivedMs : waiting_) {
            delaysMs_.push_back(nowMs - arrivedMs);
        }
        waiting_.clear();
    }

    SerialPort& port_;
    std::function<void()> inner_;
    QTimer timer_;
    QElapsedTimer clock_;
    int held_ = 0;
    double lastMs_ = 0;
    std::vector<double> waiting_;  // arrival times of clicks not yet taken
    std::vector<double> delaysMs_;
};

}  // namespace kelvandor::testing
