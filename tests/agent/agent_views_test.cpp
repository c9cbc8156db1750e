// SPDX-License-Identifier: GPL-3.0-or-later
// What kelvandor-agent shows of a unit beyond its state, against a simulated unit on a
// pty: the signal history (JSON and CSV) follows the unit's level reports, the sky gives
// the tracked satellite where the pointing computation puts it, the live stream tells a
// change within a second and drops a client that does not read, and a unit whose host
// never answers holds no other unit up.
#include <QElapsedTimer>
#include <QHttpServer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTest>
#include <mutex>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "agent/event_stream.h"
#include "agent/http_api.h"
#include "agent/unit_link.h"
#include "geo/pointing.h"
#include "protocol/unit_reports.h"
#include "sim/simulator.h"
#include "support/locked_log.h"
#include "support/loopback_listener.h"

using namespace kelvandor;
using kelvandor::testing::LockedLog;

namespace {

constexpr int LongWaitMs = 10000;

struct Answer {
    int status = 0;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

Answer get(QNetworkAccessManager& net, quint16 port, const QString& path,
           const QByteArray& accept = {}) {
    QNetworkRequest req(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    if (!accept.isEmpty()) {
        req.setRawHeader("Accept", accept);
    }
    QNetworkReply* reply = net.get(req);
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, LongWaitMs)) {
        reply->abort();
    }
    Answer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                  reply->readAll()};
    reply->deleteLater();
    return answer;
}

// A unit on the simulator's pty with the HTTP API over it, on a free loopback port.
struct Service {
    explicit Service(const sim::Simulator& unit, QString secondPort = {})
        : roof(QStringLiteral("roof"), QString::fromStdString(unit.slavePath()), {}),
          mast(QStringLiteral("mast"), std::move(secondPort), {}),
          api(mast.port().isEmpty() ? std::vector<agent::UnitLink*>{&roof}
                                    : std::vector<agent::UnitLink*>{&roof, &mast},
              "token") {
        QString error;
        port = api.listen(QHostAddress::LocalHost, 0, {}, {}, agent::ConnectionLimits{}, false, error);
        roof.start();
        if (!mast.port().isEmpty()) {
            mast.start();
        }
    }
    agent::UnitLink roof;
    agent::UnitLink mast;
    agent::HttpApi api;
    quint16 port = 0;
};

}  // namespace

class AgentViewsTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void historyAndSkyFollowTheUnitsReports();
    void theStreamTellsTheLatestStateWithinASecond();
    void aStreamClientThatDoesNotReadIsDropped();
    void aHistoryCutToAChartKeepsItsExtremes();
    void aHostThatNeverAnswersHoldsNoOtherUnitUp();
};

void AgentViewsTest::historyAndSkyFollowTheUnitsReports() {
    LockedLog log;
    std::ostream logStream(&log);
    sim::SimOptions options;
    options.paced = false;
    options.periodicReports = false;  // the picture the agent asks for, then quiet
    options.log = &logStream;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    Service service(unit);
    QVERIFY(service.port != 0);
    QNetworkAccessManager net;
    QTRY_VERIFY_WITH_TIMEOUT(service.roof.model().state().complete(), LongWaitMs);
    // A level report more, after the picture, for the newest sample.
    QVERIFY(service.roof.sendCommand(cmd::QV));
    const QStringList levelFrames = {QStringLiteral("Ni"), QStringLiteral("NV"),
                                     QStringLiteral("Nv")};
    QTRY_VERIFY_WITH_TIMEOUT(log.sent(levelFrames).last().startsWith("Nv "), LongWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(get(net, service.port, "/api/v1/units/roof/history")
                                  .json()
                                  .value("samples")
                                  .toArray()
                                  .size(),
                              log.sent(levelFrames).size(), LongWaitMs);

    // Every level report is a sample; the newest has the last level and lock, and the
    // state and pointing of the last Ni.
    const QStringList lastNv = log.sent({QStringLiteral("Nv")}).last().split(' ');
    const QStringList lastNi = log.sent({QStringLiteral("Ni")}).last().split(' ');
    const QJsonArray samples = get(net, service.port, "/api/v1/units/roof/history?minutes=1")
                                   .json()
                                   .value("samples")
                                   .toArray();
    const QJsonObject newest = samples.last().toObject();
    QCOMPARE(newest.value("level").toInteger(), signalLevelOf(lastNv.at(1).toInt()));
    QCOMPARE(newest.value("lock").toInt(), lastNv.at(2).toInt() != 0 ? 1 : 0);
    QCOMPARE(newest.value("state").toInt(), lastNi.at(1).toInt());
    QCOMPARE(newest.value("azimuth").toDouble(), lastNi.at(4).toInt() / 100.0);
    QCOMPARE(newest.value("skew").toDouble(), lastNi.at(6).toInt() / 100.0);
    QVERIFY(QDateTime::fromString(newest.value("time").toString(), Qt::ISODateWithMs).isValid());

    // The window's CSV: its header and a row a sample, the newest last.
    const Answer csv = get(net, service.port, "/api/v1/units/roof/history", "text/csv");
    QCOMPARE(csv.status, 200);
    const QList<QByteArray> rows = csv.body.trimmed().split('\n');
    QCOMPARE(rows.first(), QByteArray("time,level,lock,state,az,el,skew\r"));
    QCOMPARE(rows.size(), samples.size() + 1);
    QCOMPARE(rows.last().split(',').at(1).toLongLong(), signalLevelOf(lastNv.at(1).toInt()));
    QCOMPARE(get(net, service.port, "/api/v1/units/roof/history?minutes=0").status, 400);

    // The tracked satellite where the pointing computation puts it from the unit's GPS
    // position, and the antenna where the unit said it points.
    const sim::UnitState truth = unit.state();
    const QJsonObject sky = get(net, service.port, "/api/v1/units/roof/sky").json();
    QVERIFY(!sky.value("arc").toArray().isEmpty());
    QJsonObject tracked;
    for (const QJsonValue& s : sky.value("satellites").toArray()) {
        if (s.toObject().value("tracked").toBool()) {
            tracked = s.toObject();
        }
    }
    const int index = sim::currentSatellite(truth);
    QCOMPARE(tracked.value("index").toInt(-1), index);
    const sim::SatelliteBlock& block = truth.satellites.at(static_cast<std::size_t>(index)).primary;
    const geo::AzimuthElevation expected = geo::computeAzimuthElevation(
        block[sim::BlockLongitude] / 100.0, block[sim::BlockWestFlag], truth.gps[1], truth.gps[3],
        truth.gps[0] / 100.0, truth.gps[2] / 100.0);
    QCOMPARE(tracked.value("azimuth").toDouble(), expected.azimuth);
    QCOMPARE(tracked.value("elevation").toDouble(), expected.elevation);
    QCOMPARE(sky.value("antenna").toObject().value("azimuth").toDouble(), truth.azimuth / 100.0);
}

void AgentViewsTest::theStreamTellsTheLatestStateWithinASecond() {
    sim::SimOptions options;
    options.paced = false;
    options.periodicReports = false;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    Service service(unit);
    QTRY_VERIFY_WITH_TIMEOUT(service.roof.model().state().complete(), LongWaitMs);

    QTcpSocket stream;
    stream.connectToHost(QHostAddress::LocalHost, service.port);
    QVERIFY(stream.waitForConnected(LongWaitMs));
    stream.write(
        "GET /api/v1/events HTTP/1.1\r\nHost: localhost\r\n"
        "Accept: text/event-stream\r\n\r\n");
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += stream.readAll()).contains("event: unit\n"), LongWaitMs);
    QVERIFY(received.startsWith("HTTP/1.1 200 "));
    QVERIFY(received.contains("Content-Type: text/event-stream\r\n"));

    // Set-up mode and two GPS positions in a burst, then a level report: the stream's
    // last unit event has the second position (changes that come faster than the events
    // may go are merged, never lost), and the level report comes as a sample.
    const std::int32_t first[] = {1000, geo::FlagEast, 5000, geo::CodeNorth};
    const std::int32_t second[] = {2030, geo::FlagEast, 4515, geo::CodeNorth};
    received.clear();
    stream.readAll();
    QVERIFY(service.roof.sendCommand(cmd::OS));
    QVERIFY(service.roof.sendCommand(cmd::SG, first));
    QVERIFY(service.roof.sendCommand(cmd::SG, second));
    QVERIFY(service.roof.sendCommand(cmd::QV));
    const auto lastUnitEvent = [&] {
        received += stream.readAll();
        QJsonObject last;
        for (const QByteArray& line : received.split('\n')) {
            const QJsonObject data = QJsonDocument::fromJson(line.mid(6)).object();  // "data: "
            if (line.startsWith("data: ") && data.contains("state")) {
                last = data.value("state").toObject();
            }
        }
        return last;
    };
    QTRY_COMPARE_WITH_TIMEOUT(lastUnitEvent().value("gps").toObject().value("longitude").toString(),
                              QStringLiteral("20.30 E"), 1000);
    QCOMPARE(lastUnitEvent().value("state").toObject().value("name").toString(),
             QStringLiteral("set-up"));
    QTRY_VERIFY_WITH_TIMEOUT((received += stream.readAll()).contains("event: sample\n"), 1000);
}

void AgentViewsTest::aStreamClientThatDoesNotReadIsDropped() {
    sim::SimOptions options;
    options.paced = false;
    options.statusPeriodMs = 10;  // a steady stream of samples for the clients
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    agent::UnitLink link(QStringLiteral("roof"), QString::fromStdString(unit.slavePath()), {});
    constexpr qint64 OutputBound = 8 * 1024;
    agent::EventStream events({&link}, OutputBound);
    QHttpServer server;
    server.route("/events", [&events](const QHttpServerRequest&, QHttpServerResponder&& responder) {
        events.open(std::move(responder));
    });
    const quint16 port = server.listen(QHostAddress::LocalHost, 0);
    QVERIFY(port != 0);
    link.start();
    const QByteArray request = "GET /events HTTP/1.1\r\nHost: localhost\r\n\r\n";

    // A client that never reads, with a small receive window, and one that reads.
    const int stalled = ::socket(AF_INET, SOCK_STREAM, 0);
    const int window = 1024;
    ::setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(stalled, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    QCOMPARE(::write(stalled, request.constData(), static_cast<std::size_t>(request.size())),
             static_cast<ssize_t>(request.size()));
    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(reader.waitForConnected(LongWaitMs));
    reader.write(request);
    QTRY_COMPARE_WITH_TIMEOUT(events.clientCount(), 2, LongWaitMs);

    QTRY_COMPARE_WITH_TIMEOUT(events.clientCount(), 1, LongWaitMs);
    // The reading client goes on receiving samples after the drop.
    reader.readAll();
    QByteArray afterDrop;
    QTRY_VERIFY_WITH_TIMEOUT((afterDrop += reader.readAll()).contains("event: sample\n"),
                             LongWaitMs);
    QCOMPARE(reader.state(), QAbstractSocket::ConnectedState);
    ::close(stalled);
}

void AgentViewsTest::aHostThatNeverAnswersHoldsNoOtherUnitUp() {
    sim::SimOptions options;
    options.periodicReports = false;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    const testing::LoopbackListener gone(testing::LoopbackListener::NeverAnswers);
    QVERIFY(gone.port() != 0);
    Service service(unit, QString::fromStdString(gone.url("tcp")));
    QNetworkAccessManager net;
    QTRY_VERIFY_WITH_TIMEOUT(service.roof.connected(), LongWaitMs);

    // Longer than a network open may take, so a blocking open would be caught in it.
    QElapsedTimer span;
    span.start();
    qint64 slowest = 0;
    bool mastTried = false;
    while (span.elapsed() < 4000) {
        mastTried = mastTried || service.mast.opening();
        QElapsedTimer one;
        one.start();
        QCOMPARE(get(net, service.port, "/api/v1/units/roof").status, 200);
        slowest = std::max(slowest, one.elapsed());
        QTest::qWait(50);
    }
    QVERIFY2(slowest < 1000, QByteArray::number(slowest).constData());
    QVERIFY2(mastTried, "the unanswered host was never being opened");
    QVERIFY(!service.mast.connected());
}

void AgentViewsTest::aHistoryCutToAChartKeepsItsExtremes() {
    // 1000 reports of a level that wanders, with one spike up and one dip down between
    // others, cut to a chart of 100 points: both extremes and the newest survive, in order.
    SignalHistory history(2000);
    for (int k = 0; k < 1000; ++k) {
        const std::int32_t level = k == 437 ? 900 : k == 123 ? 10 : 500 + (k * 37) % 50;
        history.append({k, 1'700'000'000'000LL + k, level, 0, 0, 0, 2, 1});
    }
    const QJsonArray cut =
        QJsonDocument::fromJson(agent::historyJson(history, 0, 100)).object().value("samples").toArray();
    QVERIFY2(cut.size() <= 101 && cut.size() >= 50, qPrintable(QString::number(cut.size())));
    QList<qint64> levels;
    QString previous;
    for (const QJsonValue& v : cut) {
        levels.append(v.toObject().value("level").toInteger());
        const QString time = v.toObject().value("time").toString();
        QVERIFY2(time > previous, qPrintable(time));
        previous = time;
    }
    QVERIFY(levels.contains(900));
    QVERIFY(levels.contains(10));
    QCOMPARE(levels.last(), qint64(500 + (999 * 37) % 50));
    // Unlimited, every sample comes.
    QCOMPARE(QJsonDocument::fromJson(agent::historyJson(history, 0)).object().value("samples").toArray().size(), 1000);
}

QTEST_GUILESS_MAIN(AgentViewsTest)
#include "agent_views_test.moc"
