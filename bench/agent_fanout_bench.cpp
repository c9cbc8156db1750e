// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-agent handing one unit's reports to many readers, each program a process of
// its own as on a real machine.
//
// BM_FiftyLiveStreams: one kelvandor-sim sending Ni twenty times a second (--status-period
//   50) and one agent on it; fifty clients hold GET /api/v1/events open and read the SSE
//   text for ten seconds. The counters: the agent's processor time as a share of one core,
//   and how late each `event: sample` reaches its client after the report reached the agent
//   (the wall clock at the client minus the sample's own "time", which the agent stamps when
//   the frame arrives), longest and 99th percentile over all streams. The figures to look
//   for are under 10 % of a core and within 1 s. That lag starts when the agent's event loop
//   takes the frame, so a stall of the agent before it reads shows not there but in the
//   longest gap between two sample events on a stream (reports come every 50 ms).
// BM_MqttThirtyTwoUnits: thirty-two simulators at Ni five times a second (--status-period
//   200), one agent with --mqtt to a mosquitto started here on a loopback port, and
//   mosquitto_sub counting what reaches the broker under the agent's prefix for ten seconds:
//   the state messages a second in all (to look for: at most 32), all messages a second, and
//   the agent's share of one core (to look for: within 5 %).
//
// Not a test: nothing is asserted.
#include <benchmark/benchmark.h>
#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "process_figures.h"

namespace {

constexpr int StreamCount = 50;
constexpr int UnitCount = 32;
// How long each benchmark measures: 10 s, or 4 s in a short pass (--benchmark_min_time
// below the library's 0.5 s, as the test command runs every benchmark).
int StreamMs = 10000;
int MqttMs = 10000;
constexpr int ShortPassMs = 4000;
constexpr int StartPatienceMs = 10000;
// Before the measuring starts: the agent's questions at connect (QS, QI) answered and
// every reader attached.
constexpr int WarmUpMs = 2000;
constexpr int MqttWarmUpMs = 4000;

double processorSeconds(qint64 pid) {
    return kelvandor::bench::processorSeconds(std::to_string(pid));
}

long residentKiB(qint64 pid) {
    return kelvandor::bench::residentKiB(std::to_string(pid));
}

// Runs the event loop for `ms`.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A child program, ended (SIGTERM, then waited for) with this object.
class Child {
  public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(StartPatienceMs)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }

    // Starts the program and waits until a line of its output (both channels) matches
    // `said`; returns the first capture of that line, or an empty string when the program
    // ended or said nothing of the kind in time.
    QString start(const QString& program, const QStringList& args, const QRegularExpression& said) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program, args);
        QElapsedTimer waited;
        waited.start();
        QByteArray output;
        while (waited.elapsed() < StartPatienceMs) {
            if (process_.state() == QProcess::NotRunning) {
                return {};
            }
            process_.waitForReadyRead(100);
            output += process_.readAll();
            const QRegularExpressionMatch match = said.match(QString::fromUtf8(output));
            if (match.hasMatch()) {
                return match.captured(1);
            }
        }
        return {};
    }

    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }

  private:
    QProcess process_;
};

const QRegularExpression SimPortLine(QStringLiteral("TCP port (\\d+)"));
const QRegularExpression AgentPortLine(QStringLiteral("HTTP on \\S*:(\\d+)\n"));

// A simulated unit on a TCP port of its own; the port, or 0.
quint16 startUnit(Child& unit, int statusPeriodMs) {
    return static_cast<quint16>(
        unit.start(QStringLiteral(KELVANDOR_SIM_PROGRAM),
                   {QStringLiteral("--no-link"), QStringLiteral("--listen"),
                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--status-period"),
                    QString::number(statusPeriodMs)},
                   SimPortLine)
            .toUInt());
}

// The agent on the given units (named u0, u1, ...) with HTTP on a free loopback port and
// the token in `dir`; its HTTP port, or 0.
quint16 startAgent(Child& agent, const QTemporaryDir& dir, const std::vector<quint16>& units,
                   const QStringList& more = {}) {
    QStringList args{QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"),
                     QStringLiteral("--token-file"), dir.filePath(QStringLiteral("token"))};
    for (std::size_t k = 0; k < units.size(); ++k) {
        args << QStringLiteral("--unit")
             << QStringLiteral("u%1=tcp://127.0.0.1:%2").arg(k).arg(units[k]);
    }
    return static_cast<quint16>(
        agent.start(QStringLiteral(KELVANDOR_AGENT_PROGRAM), args + more, AgentPortLine).toUInt());
}

// The agent's share of one core while `run` runs, in percent (negative when unreadable).
template <typename Run>
double cpuPercentDuring(qint64 pid, Run run) {
    const double before = processorSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    run();
    const double after = processorSeconds(pid);
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    return before < 0 || after < 0 ? -1.0 : 100.0 * (after - before) / seconds;
}

// One reader of the live stream: reads the SSE text and notes, for each sample event, how
// long after the sample's time it arrived.
class StreamReader : public QObject {
  public:
    StreamReader(quint16 port, std::vector<double>& lags) : lags_(lags) {
        connect(&socket_, &QTcpSocket::readyRead, this, &StreamReader::onReadable);
        socket_.connectToHost(QHostAddress::LocalHost, port);
        socket_.write(
            "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            "Accept: text/event-stream\r\n\r\n");
    }

    bool measuring = false;
    long long samples = 0;    // sample events while measuring
    qint64 longestGapMs = 0;  // between two sample events, while measuring
    bool open() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    bool streaming() const { return headDone_; }

  private:
    void onReadable() {
        const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
        pending_ += socket_.readAll();
        if (!headDone_) {
            const qsizetype end = pending_.indexOf("\r\n\r\n");
            if (end < 0) {
                return;
            }
            headDone_ = true;
            pending_.remove(0, end + 4);
        }
        for (qsizetype end = pending_.indexOf("\n\n"); end >= 0; end = pending_.indexOf("\n\n")) {
            takeEvent(pending_.left(end), nowMs);
            pending_.remove(0, end + 2);
        }
    }

    void takeEvent(const QByteArray& event, qint64 nowMs) {
        static const QByteArray SampleHead = "event: sample\ndata: ";
        if (!event.startsWith(SampleHead)) {
            return;
        }
        if (measuring && lastSampleMs_ > 0) {
            longestGapMs = std::max(longestGapMs, nowMs - lastSampleMs_);
        }
        lastSampleMs_ = nowMs;
        if (!measuring) {
            return;
        }
        const QJsonObject sample = QJsonDocument::fromJson(event.mid(SampleHead.size()))
                                       .object()
                                       .value(QStringLiteral("sample"))
                                       .toObject();
        const QDateTime time = QDateTime::fromString(
            sample.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        if (time.isValid()) {
            ++samples;
            lags_.push_back(static_cast<double>(nowMs - time.toMSecsSinceEpoch()));
        }
    }

    QTcpSocket socket_;
    QByteArray pending_;
    bool headDone_ = false;
    qint64 lastSampleMs_ = 0;
    std::vector<double>& lags_;
};

double percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto k = static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<std::size_t>(k, 1)) - 1];
}

void BM_FiftyLiveStreams(benchmark::State& state) {
    QTemporaryDir dir;
    Child unit;
    const quint16 unitPort = startUnit(unit, 50);
    Child agent;
    const quint16 httpPort = unitPort == 0 ? 0 : startAgent(agent, dir, {unitPort});
    if (httpPort == 0) {
        state.SkipWithError("the simulator or the agent did not start");
        return;
    }
    std::vector<double> lags;
    std::vector<std::unique_ptr<StreamReader>> readers;
    for (int k = 0; k < StreamCount; ++k) {
        readers.push_back(std::make_unique<StreamReader>(httpPort, lags));
    }
    double cpuPercent = 0;
    for (auto _ : state) {
        runFor(WarmUpMs);
        for (auto& reader : readers) {
            reader->measuring = true;
        }
        cpuPercent = cpuPercentDuring(agent.pid(), [] { runFor(StreamMs); });
        for (auto& reader : readers) {
            reader->measuring = false;
        }
    }
    const auto fewest =
        std::min_element(readers.begin(), readers.end(),
                         [](const auto& a, const auto& b) { return a->samples < b->samples; });
    const auto streaming = std::count_if(readers.begin(), readers.end(),
                                         [](const auto& r) { return r->open() && r->streaming(); });
    state.counters["agent_cpu_pct"] = cpuPercent;
    state.counters["agent_rss_KiB"] = static_cast<double>(residentKiB(agent.pid()));
    state.counters["streams_open"] = static_cast<double>(streaming);
    state.counters["samples_per_stream_min"] = static_cast<double>((*fewest)->samples);
    state.counters["samples_per_s"] =
        static_cast<double>(lags.size()) * 1000.0 / StreamMs / StreamCount;
    state.counters["sample_gap_max_ms"] = static_cast<double>(
        (*std::max_element(readers.begin(), readers.end(), [](const auto& a, const auto& b) {
            return a->longestGapMs < b->longestGapMs;
        }))->longestGapMs);
    state.counters["lag_max_ms"] = lags.empty() ? 0.0 : *std::max_element(lags.begin(), lags.end());
    state.counters["lag_p99_ms"] = percentile(lags, 0.99);
    state.counters["lag_median_ms"] = percentile(lags, 0.5);
    if (!agent.running() || streaming != StreamCount || lags.empty()) {
        state.SkipWithError("the agent stopped, or a stream was closed or carried no samples");
    }
}
BENCHMARK(BM_FiftyLiveStreams)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A mosquitto on a free loopback port that lets anyone in; its port, or 0.
quint16 startBroker(Child& broker, const QTemporaryDir& dir) {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    const quint16 port = probe.serverPort();
    probe.close();
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!conf.open(QIODevice::WriteOnly)) {
        return 0;
    }
    // Run as root, mosquitto would change to its own user; as anyone else "user" is ignored.
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"
                              "user %2\nlog_type error\nlog_type warning\nlog_type information\n")
                   .arg(port)
                   .arg(QString::fromLocal8Bit(getpwuid(getuid())->pw_name))
                   .toUtf8());
    conf.close();
    const QString said = broker.start(QStringLiteral("mosquitto"), {"-c", conf.fileName()},
                                      QRegularExpression(QStringLiteral("(running)")));
    return said.isEmpty() ? 0 : port;
}

// Counts the messages under a topic filter as mosquitto_sub prints them ("TOPIC PAYLOAD"
// lines), from when `measuring` is set.
class TopicCounter : public QObject {
  public:
    TopicCounter(quint16 port, const QString& filter) {
        connect(&sub_, &QProcess::readyReadStandardOutput, this, &TopicCounter::onReadable);
        sub_.start(QStringLiteral("mosquitto_sub"),
                   {"-h", "127.0.0.1", "-p", QString::number(port), "-t", filter, "-v"});
    }
    ~TopicCounter() override {
        sub_.terminate();
        sub_.waitForFinished();
    }

    bool measuring = false;
    long long messages = 0;
    long long stateMessages = 0;

  private:
    void onReadable() {
        pending_ += sub_.readAllStandardOutput();
        for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
            const QByteArray topic = pending_.left(end).split(' ').value(0);
            pending_.remove(0, end + 1);
            if (measuring) {
                ++messages;
                stateMessages += topic.endsWith("/state") ? 1 : 0;
            }
        }
    }

    QProcess sub_;
    QByteArray pending_;
};

void BM_MqttThirtyTwoUnits(benchmark::State& state) {
    QTemporaryDir dir;
    Child broker;
    const quint16 brokerPort = startBroker(broker, dir);
    if (brokerPort == 0) {
        state.SkipWithError("mosquitto did not start (is it installed?)");
        return;
    }
    std::vector<std::unique_ptr<Child>> units;
    std::vector<quint16> unitPorts;
    for (int k = 0; k < UnitCount; ++k) {
        units.push_back(std::make_unique<Child>());
        unitPorts.push_back(startUnit(*units.back(), 200));
        if (unitPorts.back() == 0) {
            state.SkipWithError("a simulator did not start");
            return;
        }
    }
    TopicCounter counter(brokerPort, QStringLiteral("kelvandor/#"));
    Child agent;
    if (startAgent(agent, dir, unitPorts,
                   {QStringLiteral("--mqtt"),
                    QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort)}) == 0) {
        state.SkipWithError("the agent did not start");
        return;
    }
    double cpuPercent = 0;
    for (auto _ : state) {
        runFor(MqttWarmUpMs);
        counter.measuring = true;
        cpuPercent = cpuPercentDuring(agent.pid(), [] { runFor(MqttMs); });
        counter.measuring = false;
    }
    state.counters["agent_cpu_pct"] = cpuPercent;
    state.counters["agent_rss_KiB"] = static_cast<double>(residentKiB(agent.pid()));
    state.counters["state_msgs_per_s"] =
        static_cast<double>(counter.stateMessages) * 1000.0 / MqttMs;
    state.counters["all_msgs_per_s"] = static_cast<double>(counter.messages) * 1000.0 / MqttMs;
    if (!agent.running() || counter.stateMessages == 0) {
        state.SkipWithError("the agent stopped, or no state reached the broker");
    }
}
BENCHMARK(BM_MqttThirtyTwoUnits)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    const std::string flag = "--benchmark_min_time=";
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg.rfind(flag, 0) == 0 && std::stod(arg.substr(flag.size())) < 0.5) {
            StreamMs = ShortPassMs;
            MqttMs = ShortPassMs;
        }
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
