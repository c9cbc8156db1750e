// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-agent against a simulated unit on a pty, in one process: what the HTTP API
// and the metrics say is what the unit sent; commands need the token and reach the unit;
// the share port hands a client's frame to the unit whole and drops a client that stops
// reading while the others go on.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <mutex>
#include <sstream>
#include <streambuf>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "agent/agent.h"
#include "agent/http_api.h"
#include "agent/share_server.h"
#include "agent/unit_link.h"
#include "protocol/frame_codec.h"
#include "protocol/unit_reports.h"
#include "sim/simulator.h"
#include "support/locked_log.h"

using namespace kelvandor;
using kelvandor::testing::LockedLog;

namespace {

constexpr int LongWaitMs = 10000;

struct HttpResult {
    int status = 0;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// One request, waited for while the event loop runs (the agent is in this process).
HttpResult request(QNetworkAccessManager& net, const QByteArray& verb, quint16 port,
                   const QString& path, const QByteArray& body = {},
                   const QByteArray& authorization = {}) {
    QNetworkRequest req(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    req.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    if (!authorization.isEmpty()) {
        req.setRawHeader("Authorization", authorization);
    }
    QNetworkReply* reply = net.sendCustomRequest(req, verb, body);
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, LongWaitMs)) {
        reply->abort();  // status 0: no answer
    }
    HttpResult result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                      reply->readAll()};
    reply->deleteLater();
    return result;
}

QByteArray frameOf(CommandId id, std::initializer_list<std::int32_t> params = {}) {
    std::int32_t values[MaxParams] = {};
    std::copy(params.begin(), params.end(), values);
    char frame[FrameAreaSize];
    return QByteArray(frame, encodeFrame(frame, id, values));
}

}  // namespace

class AgentTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void apiAndMetricsShowWhatTheUnitSent();
    void commandsNeedTheTokenAndReachTheUnit();
    void shareForwardsWholeFramesAndDropsAStalledClient();
    void aLostLineIsOpenedAndAskedAgain();
    void commandLineOptionsWinOverTheConfigFile();
    void requestsAndConnectionsAreBounded();
    void readsOffLoopbackNeedTheToken();
};

void AgentTest::apiAndMetricsShowWhatTheUnitSent() {
    LockedLog log;
    std::ostream logStream(&log);
    sim::SimOptions options;
    options.periodicReports = false;  // the picture the agent asks for at start, then quiet
    options.log = &logStream;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    QTemporaryDir dir;
    agent::AgentConfig config;
    config.units = {{"roof", unit.slavePath()}};
    config.http.port = 0;
    config.tokenFile = dir.filePath("token").toStdString();
    agent::Agent service(config);
    std::ostringstream out;
    std::ostringstream err;
    QVERIFY2(service.start(out, err), err.str().c_str());
    QNetworkAccessManager net;

    // The level of the last Ni the unit sent (in its answers to the agent's own QS and
    // QI; it sends nothing else), and the level the API shows, once both have settled.
    const auto loggedLevel = [&log]() -> qint64 {
        const QStringList ni = log.lastSent(QStringLiteral("Ni"));
        return ni.size() == 6 ? signalLevelOf(ni.at(1).toInt()) : -1;
    };
    const auto shownLevel = [&net, &service] {
        return request(net, "GET", service.httpPort(), "/api/v1/units/roof")
            .json()
            .value("signal")
            .toObject()
            .value("level")
            .toInteger(-2);
    };
    QTRY_COMPARE_WITH_TIMEOUT(shownLevel(), loggedLevel(), LongWaitMs);
    const long long level = loggedLevel();
    const QJsonObject state = request(net, "GET", service.httpPort(), "/api/v1/units/roof").json();
    QCOMPARE(state.value("connected").toBool(), true);
    QCOMPARE(state.value("state").toObject().value("name").toString(),
             QString::fromLatin1(antennaStateName(unit.state().antennaState)));
    QCOMPARE(state.value("pointing").toObject().value("azimuth").toDouble(),
             unit.state().azimuth / 100.0);
    QVERIFY(state.value("product").toObject().value("name").toString().contains("PREMIUM"));
    QVERIFY(
        QDateTime::fromString(state.value("lastReport").toString(), Qt::ISODateWithMs).isValid());
    const QJsonArray units =
        request(net, "GET", service.httpPort(), "/api/v1/units").json().value("units").toArray();
    QCOMPARE(units.size(), 1);
    QCOMPARE(units.at(0).toObject().value("port").toString(),
             QString::fromStdString(unit.slavePath()));

    const HttpResult metrics = request(net, "GET", service.httpPort(), "/metrics");
    QCOMPARE(metrics.status, 200);
    QVERIFY2(metrics.body.contains("\nkelvandor_signal_level{unit=\"roof\"} " +
                                   QByteArray::number(level) + '\n'),
             metrics.body.constData());
    QVERIFY(metrics.body.contains("kelvandor_antenna_state{unit=\"roof\",state=\"" +
                                  QByteArray(antennaStateName(unit.state().antennaState)) +
                                  "\"} 1\n"));
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty()) {
        QSKIP("promtool is not installed: the metrics page's format is not checked");
    }
    QProcess check;
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    check.write(metrics.body);
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(LongWaitMs));
    const QByteArray said = check.readAllStandardOutput() + check.readAllStandardError();
    QVERIFY2(check.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());
}

void AgentTest::commandsNeedTheTokenAndReachTheUnit() {
    sim::SimOptions options;
    options.periodicReports = false;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    QTemporaryDir dir;
    agent::AgentConfig config;
    config.units = {{"roof", unit.slavePath()}};
    config.shares = {{"roof", {"127.0.0.1", 0}}};
    config.http.port = 0;
    config.tokenFile = dir.filePath("token").toStdString();
    agent::Agent service(config);
    std::ostringstream out;
    std::ostringstream err;
    QVERIFY2(service.start(out, err), err.str().c_str());
    QVERIFY(QFile::permissions(dir.filePath("token")) ==
            (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser));
    QNetworkAccessManager net;
    const quint16 port = service.httpPort();
    const QString path = QStringLiteral("/api/v1/units/roof/commands");
    const QByteArray selectB = R"({"command": "select-satellite", "satellite": "B"})";
    const QByteArray bearer = "Bearer " + QByteArray::fromStdString(service.token());

    QTRY_VERIFY_WITH_TIMEOUT(unit.receivedLines().size() >= 2, LongWaitMs);  // QS, QI
    unit.clearReceivedLines();
    QCOMPARE(request(net, "POST", port, path, selectB).status, 401);
    QCOMPARE(request(net, "POST", port, path, selectB, "Bearer 0123").status, 403);
    QVERIFY(unit.receivedLines().empty());
    QCOMPARE(request(net, "POST", port, path, selectB, bearer).status, 202);
    QTRY_COMPARE_WITH_TIMEOUT(unit.receivedLines(), std::vector<std::string>{"LT 1 0"}, LongWaitMs);

    // While a share client is sending, the token is still checked first, then the
    // command is refused rather than mixed into the client's exchange.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, service.sharePort("roof"));
    QVERIFY(client.waitForConnected(LongWaitMs));
    client.write(frameOf(cmd::QS));
    QTRY_COMPARE_WITH_TIMEOUT(unit.receivedLines().size(), std::size_t{2}, LongWaitMs);
    QCOMPARE(request(net, "POST", port, path, selectB).status, 401);
    QCOMPARE(request(net, "POST", port, path, selectB, bearer).status, 409);
    QCOMPARE(unit.receivedLines().size(), std::size_t{2});
}

void AgentTest::shareForwardsWholeFramesAndDropsAStalledClient() {
    sim::SimOptions options;
    options.paced = false;
    options.statusPeriodMs = 10;  // a steady stream of Ni for the clients
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    agent::UnitLink link(QStringLiteral("roof"), QString::fromStdString(unit.slavePath()), {});
    constexpr qint64 OutputBound = 8 * 1024;
    agent::ShareServer share(link, OutputBound);
    QVERIFY(share.listen(QHostAddress::LocalHost, 0));
    link.start();
    QTRY_VERIFY_WITH_TIMEOUT(unit.receivedLines().size() >= 2, LongWaitMs);  // QS, QI
    unit.clearReceivedLines();

    // A client that never reads, with a small receive window.
    const int stalled = ::socket(AF_INET, SOCK_STREAM, 0);
    const int window = 1024;
    ::setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(share.port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(stalled, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, share.port());
    QVERIFY(sender.waitForConnected(LongWaitMs));
    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, share.port());
    QVERIFY(reader.waitForConnected(LongWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(share.clientCount(), 3, LongWaitMs);

    // One frame in three pieces reaches the unit whole, though another client's frame
    // comes while it is half sent.
    const QByteArray frame = frameOf(cmd::LT, {1, 0});
    sender.write(frame.left(2));
    QTest::qWait(100);
    reader.write(frameOf(cmd::QS));
    QTest::qWait(100);
    sender.write(frame.mid(2, 3));
    QTest::qWait(100);
    sender.write(frame.mid(5));
    QTRY_COMPARE_WITH_TIMEOUT(unit.receivedLines().size(), std::size_t{2}, LongWaitMs);
    QCOMPARE(unit.receivedLines(), (std::vector<std::string>{"QS", "LT 1 0"}));

    QTRY_COMPARE_WITH_TIMEOUT(share.clientCount(), 2, LongWaitMs);
    // The reading client goes on receiving the unit's reports after the drop.
    reader.readAll();
    QByteArray afterDrop;
    QTRY_VERIFY_WITH_TIMEOUT((afterDrop += reader.readAll()).contains("{Ni "), LongWaitMs);
    QCOMPARE(reader.state(), QAbstractSocket::ConnectedState);
    ::close(stalled);
}

void AgentTest::aLostLineIsOpenedAndAskedAgain() {
    QTemporaryDir ports;
    qputenv("KELVANDOR_PORT_DIR", ports.path().toLocal8Bit());
    sim::SimOptions options;
    options.periodicReports = false;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    QVERIFY(unit.linkAs(ports.path().toStdString(), 7));
    agent::UnitLink link(QStringLiteral("roof"), QStringLiteral("COM7"), {});
    link.start();
    QTRY_COMPARE_WITH_TIMEOUT(unit.receivedLines(), (std::vector<std::string>{"QS", "QI"}),
                              LongWaitMs);

    unit.setFault(sim::Fault::HangUp, true);  // a pulled USB adapter
    QTRY_VERIFY_WITH_TIMEOUT(!link.connected(), LongWaitMs);
    unit.clearReceivedLines();
    unit.setFault(sim::Fault::HangUp, false);  // plugged in again, on a new pty
    QTRY_COMPARE_WITH_TIMEOUT(unit.receivedLines(), (std::vector<std::string>{"QS", "QI"}),
                              LongWaitMs);
    QVERIFY(link.connected());
    QCOMPARE(link.reconnects(), quint64{1});
    qunsetenv("KELVANDOR_PORT_DIR");
}

void AgentTest::commandLineOptionsWinOverTheConfigFile() {
    QTemporaryDir dir;
    QFile file(dir.filePath("agent.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "# the boat's units\n"
        "unit = roof = COM2\n"
        "unit = mast=tcp://192.0.2.1:4001   # over the serial server\n"
        "http = [::1]:9000\n"
        "query-after = 30\n"
        "open-reads = true\n"
        "max-connections = 8\n");
    file.close();
    const std::string path = dir.filePath("agent.conf").toStdString();
    std::string error;
    const auto line =
        agent::parseCommandLine({"--unit", "roof=COM5", "--config", path, "--http", "8000"}, error);
    QVERIFY2(line, error.c_str());
    const agent::AgentConfig& c = line->config;
    QCOMPARE(c.units.size(), std::size_t{2});
    QCOMPARE(c.units[0].port, std::string("COM5"));
    QCOMPARE(c.units[1].port, std::string("tcp://192.0.2.1:4001"));
    QCOMPARE(c.http.host, std::string("127.0.0.1"));
    QCOMPARE(c.http.port, 8000);
    QCOMPARE(c.queryAfterSeconds, 30);
    QCOMPARE(c.openReads, true);
    QCOMPARE(c.maxConnections, 8);

    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--unit", std::string(33, 'a') + "=COM2"},
                                               {"--unit", "roof top=COM2"},
                                               {"--unit", "roof=COM2", "--share", "mast=4001"},
                                               {"--http", "127.0.0.1:65536"},
                                               {"--open-reads", "yes please"},
                                               {"--max-connections", "0"}}) {
        QVERIFY(!agent::parseCommandLine(wrong, error));
    }
}

// What a raw client is answered before the server closes the connection; empty when it
// was not closed.
QByteArray answerUntilClosed(QTcpSocket& client) {
    QByteArray answer;
    const bool closed = QTest::qWaitFor(
        [&] {
            answer += client.readAll();
            return client.state() == QAbstractSocket::UnconnectedState;
        },
        LongWaitMs);
    return closed ? answer + client.readAll() : QByteArray();
}

void AgentTest::requestsAndConnectionsAreBounded() {
    agent::HttpApi api({}, "secret");
    agent::ConnectionLimits limits;
    limits.maxConnections = 3;
    limits.requestTimeout = std::chrono::milliseconds(3000);
    limits.idleTimeout = std::chrono::milliseconds(2000);
    QString error;
    const quint16 port = api.listen(QHostAddress::LocalHost, 0, {}, {}, limits, false, error);
    QVERIFY2(port != 0, qPrintable(error));
    const auto connected = [port](QTcpSocket& client) {
        client.connectToHost(QHostAddress::LocalHost, port);
        return QTest::qWaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; },
                               LongWaitMs);
    };

    // Too long a head and too long a body are answered and closed, the body refused on
    // its Content-Length alone.
    QTcpSocket bigHead;
    QVERIFY(connected(bigHead));
    bigHead.write("GET /metrics HTTP/1.1\r\nX-Padding: " + QByteArray(9000, 'a') + "\r\n\r\n");
    const QByteArray headAnswer = answerUntilClosed(bigHead);
    QVERIFY2(headAnswer.startsWith("HTTP/1.1 431 "), headAnswer.constData());
    QVERIFY(headAnswer.endsWith(R"({"error":"request head too large"})"));
    QTcpSocket bigBody;
    QVERIFY(connected(bigBody));
    bigBody.write("POST /api/v1/units/roof/commands HTTP/1.1\r\nContent-Length: 70000\r\n\r\n");
    const QByteArray bodyAnswer = answerUntilClosed(bigBody);
    QVERIFY2(bodyAnswer.startsWith("HTTP/1.1 413 "), bodyAnswer.constData());

    // Three connections are served; a fourth is turned away while they are open.
    QTcpSocket served;  // asks once, then stays idle
    QVERIFY(connected(served));
    served.write("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray servedAnswer;
    QTRY_VERIFY_WITH_TIMEOUT((servedAnswer += served.readAll()).startsWith("HTTP/1.1 200 "),
                             LongWaitMs);
    QTcpSocket slow;  // half a head, never the rest
    QVERIFY(connected(slow));
    slow.write("GET /metrics HTTP/1.1\r\nHost:");
    QTcpSocket silent;  // connects and says nothing
    QVERIFY(connected(silent));
    QTcpSocket extra;
    QVERIFY(connected(extra));
    const QByteArray extraAnswer = answerUntilClosed(extra);
    QVERIFY2(extraAnswer.startsWith("HTTP/1.1 503 "), extraAnswer.constData());

    // The idle one is closed without a word; the slow and the silent are told 408.
    QCOMPARE(answerUntilClosed(served), QByteArray());
    QVERIFY(served.state() == QAbstractSocket::UnconnectedState);
    QVERIFY(answerUntilClosed(slow).startsWith("HTTP/1.1 408 "));
    QVERIFY(answerUntilClosed(silent).startsWith("HTTP/1.1 408 "));

    // With them gone, connections are served again.
    QTcpSocket later;
    QVERIFY(connected(later));
    later.write("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QVERIFY(answerUntilClosed(later).startsWith("HTTP/1.1 200 "));
}

void AgentTest::readsOffLoopbackNeedTheToken() {
    QVERIFY(!agent::readsNeedToken(QHostAddress(QHostAddress::LocalHost), false));
    QVERIFY(!agent::readsNeedToken(QHostAddress(QHostAddress::LocalHostIPv6), false));
    QVERIFY(agent::readsNeedToken(QHostAddress(QHostAddress::AnyIPv4), false));
    QVERIFY(agent::readsNeedToken(QHostAddress(QHostAddress::AnyIPv6), false));
    QVERIFY(agent::readsNeedToken(QHostAddress(QStringLiteral("192.0.2.7")), false));
    QVERIFY(!agent::readsNeedToken(QHostAddress(QStringLiteral("192.0.2.7")), true));

    // Listening on every address, reached here through loopback.
    QString error;
    agent::HttpApi closed({}, "secret");
    const quint16 port = closed.listen(QHostAddress::AnyIPv4, 0, {}, {}, {}, false, error);
    QVERIFY2(port != 0, qPrintable(error));
    QNetworkAccessManager net;
    QCOMPARE(request(net, "GET", port, "/metrics").status, 401);
    QCOMPARE(request(net, "GET", port, "/api/v1/units/roof").status, 401);
    QCOMPARE(request(net, "GET", port, "/metrics", {}, "Bearer wrong").status, 403);
    QCOMPARE(request(net, "GET", port, "/metrics?token=wrong").status, 403);
    QCOMPARE(request(net, "GET", port, "/metrics", {}, "Bearer secret").status, 200);
    QCOMPARE(request(net, "GET", port, "/api/v1/units?token=secret").status, 200);
    // A command takes its token from the header only.
    QCOMPARE(request(net, "POST", port, "/api/v1/units/roof/commands?token=secret", "{}").status,
             401);

    agent::HttpApi open({}, "secret");
    const quint16 openPort = open.listen(QHostAddress::AnyIPv4, 0, {}, {}, {}, true, error);
    QVERIFY2(openPort != 0, qPrintable(error));
    QCOMPARE(request(net, "GET", openPort, "/api/v1/units").status, 200);
}

QTEST_GUILESS_MAIN(AgentTest)
#include "agent_test.moc"
