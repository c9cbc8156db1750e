// SPDX-License-Identifier: GPL-3.0-or-later
// How long the thread's event loop goes without a turn: a precise timer asks for a turn
// every few milliseconds, and the time between two of its firings is how long the window
// could not have repainted or taken a click.
//
// Each gap is split by what the thread did in it: ran (CPU time), waited for a CPU while
// ready to run (the scheduler's run delay, from /proc/thread-self/schedstat), or was
// blocked (a sleep, a wait on a device). A busy machine stretches gaps with waiting; the
// program's own part is the rest, running and blocked, and that is what a user would
// notice on a machine of their own. Where the kernel keeps no scheduler figures the whole
// gap counts as the program's own.
//
// Nested event loops (message boxes, waits that dispatch events) count as turns: the
// timer fires in them too.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <ctime>
#include <fstream>

namespace kelvandor::testing {

class EventLoopGaps : public QObject {
  public:
    struct Gap {
        double wallMs = 0;
        double cpuMs = 0;     // the thread ran
        double waitedMs = 0;  // the thread was ready but had no CPU
        // The program's own share: running and blocked.
        double ownMs() const { return wallMs - waitedMs; }
    };

    explicit EventLoopGaps(int periodMs = 5) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(periodMs);
        connect(&timer_, &QTimer::timeout, this, &EventLoopGaps::onTurn);
        double ignored = 0;
        hasRunDelay_ = readSchedStat(ignored);
    }

    // Starts measuring afresh.
    void start() {
        reset();
        timer_.start();
    }
    void stop() { timer_.stop(); }

    // Forgets the maxima (not the time of the last turn).
    void reset() {
        longestWall_ = {};
        longestOwn_ = {};
        turns_ = 0;
        skip();
    }

    // The caller has held the loop up on purpose (test code, not the program's): the time
    // since the last turn is not a gap.
    void skip() {
        clock_.start();
        last_ = now(0);
    }

    // The gap longest in wall time, and the one with the longest own share.
    Gap longestWall() const { return longestWall_; }
    Gap longestOwn() const { return longestOwn_; }
    long long turns() const { return turns_; }
    // Whether waiting for a CPU is told apart (else ownMs() is the whole gap).
    bool separatesWaiting() const { return hasRunDelay_; }

  private:
    struct Reading {
        double wallMs = 0;
        double cpuMs = 0;
        double waitedMs = 0;
    };

    // The run delay of this thread so far, in milliseconds.
    static bool readSchedStat(double& waitedMs) {
        std::ifstream stat("/proc/thread-self/schedstat");
        double ranNs = 0;
        double waitedNs = 0;
        if (!(stat >> ranNs >> waitedNs)) {
            return false;
        }
        waitedMs = waitedNs / 1e6;
        return true;
    }

    Reading now(double wallMs) const {
        Reading reading;
        reading.wallMs = wallMs;
        timespec cpu{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        reading.cpuMs =
            static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) / 1e6;
        if (hasRunDelay_) {
            readSchedStat(reading.waitedMs);
        }
        return reading;
    }

    void onTurn() {
        const Reading reading = now(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
        const Gap gap{reading.wallMs - last_.wallMs, reading.cpuMs - last_.cpuMs,
                      reading.waitedMs - last_.waitedMs};
        if (gap.wallMs > longestWall_.wallMs) {
            longestWall_ = gap;
        }
        if (gap.ownMs() > longestOwn_.ownMs()) {
            longestOwn_ = gap;
        }
        last_ = reading;
        ++turns_;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    bool hasRunDelay_ = false;
    Reading last_;
    Gap longestWall_;
    Gap longestOwn_;
    long long turns_ = 0;
};

}  // namespace kelvandor::testing
