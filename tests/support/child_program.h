// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-agent and kelvandor-sim as child processes, for the tests and benchmarks that
// run them as they are deployed: each is started with its command line and waited for
// until it says where it listens; the destructor ends it (SIGTERM, then SIGKILL) in every
// outcome. Works with or without a running event loop.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <map>

namespace kelvandor::testing {

class ChildProgram {
  public:
    static constexpr int StartPatienceMs = 10000;
    static constexpr int StopPatienceMs = 3000;

    ChildProgram() = default;
    ~ChildProgram() { stop(); }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Starts `program` and waits until its output (both channels) matches `ready`. False
    // when it did not start, ended, or said nothing that matches within the patience.
    bool start(const QString& program, const QStringList& args, const QRegularExpression& ready,
               int patienceMs = StartPatienceMs) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program, args);
        if (!process_.waitForStarted(patienceMs)) {
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (!ready.match(output()).hasMatch()) {
            if (process_.state() != QProcess::Running || clock.elapsed() > patienceMs) {
                return false;
            }
            process_.waitForReadyRead(50);
        }
        return true;
    }

    // Everything the program has written so far.
    QString output() {
        output_ += QString::fromLocal8Bit(process_.readAll());
        return output_;
    }
    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }

    void stop() {
        if (process_.state() == QProcess::NotRunning) {
            return;
        }
        process_.terminate();
        if (!process_.waitForFinished(StopPatienceMs)) {
            process_.kill();
            process_.waitForFinished(StopPatienceMs);
        }
    }

  private:
    QProcess process_;
    QString output_;
};

// kelvandor-sim with no link, reached over raw TCP only (--listen on a free port).
class ListeningSimulator {
  public:
    // `extra`: more options of kelvandor-sim ("--status-period", "200").
    bool start(const QString& program, const QStringList& extra = {}) {
        static const QRegularExpression ready(QStringLiteral("on TCP port (\\d+)"));
        if (!child_.start(program,
                          QStringList{QStringLiteral("--no-link"), QStringLiteral("--listen"),
                                      QStringLiteral("0")} +
                              extra,
                          ready)) {
            return false;
        }
        port_ = ready.match(child_.output()).captured(1).toInt();
        return port_ > 0;
    }
    QString url() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port_); }
    ChildProgram& process() { return child_; }

  private:
    ChildProgram child_;
    int port_ = 0;
};

// kelvandor-agent, its HTTP port and share ports taken from what it says at start.
class AgentProgram {
  public:
    bool start(const QString& program, const QStringList& args) {
        static const QRegularExpression ready(QStringLiteral("HTTP on \\S+:(\\d+)\\n"));
        static const QRegularExpression share(QStringLiteral("sharing (\\S+) on \\S+:(\\d+)\\n"));
        if (!child_.start(program, args, ready)) {
            return false;
        }
        const QString said = child_.output();
        httpPort_ = ready.match(said).captured(1).toInt();
        for (auto found = share.globalMatch(said); found.hasNext();) {
            const QRegularExpressionMatch m = found.next();
            sharePorts_[m.captured(1)] = m.captured(2).toInt();
        }
        return httpPort_ > 0;
    }
    int httpPort() const { return httpPort_; }
    // The share port of `unit`, 0 when it has none.
    int sharePort(const QString& unit) const {
        const auto found = sharePorts_.find(unit);
        return found == sharePorts_.end() ? 0 : found->second;
    }
    ChildProgram& process() { return child_; }

  private:
    ChildProgram child_;
    int httpPort_ = 0;
    std::map<QString, int> sharePorts_;
};

}  // namespace kelvandor::testing
