// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-agent with --mqtt, against a simulated unit and a real mosquitto broker: the
// unit's reports reach the broker's retained topics, a command on the command topic
// reaches the unit only when the configuration allows it, and the agent goes on serving
// HTTP while the broker is away and republishes when it is back.
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <sstream>

#include "agent/agent.h"
#include "sim/simulator.h"
#include "support/mosquitto_broker.h"

using namespace kelvandor;
using kelvandor::testing::Broker;

namespace {

constexpr int LongWaitMs = 15000;

bool received(const sim::Simulator& unit, const std::string& line) {
    const std::vector<std::string> lines = unit.receivedLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// GET path on the agent; the status, 0 when it did not answer.
int httpStatus(QNetworkAccessManager& net, quint16 port, const QString& path) {
    QNetworkReply* reply =
        net.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path))));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, LongWaitMs)) {
        reply->abort();
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return status;
}

// The signal level GET /api/v1/units/roof shows, empty before the unit has said it.
QByteArray httpLevel(QNetworkAccessManager& net, quint16 port) {
    QNetworkReply* reply =
        net.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/units/roof").arg(port))));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, LongWaitMs)) {
        reply->abort();
    }
    const QJsonValue level =
        QJsonDocument::fromJson(reply->readAll()).object().value("signal").toObject().value("level");
    reply->deleteLater();
    return level.isDouble() ? QByteArray::number(level.toInteger()) : QByteArray();
}

agent::AgentConfig configFor(const sim::Simulator& unit, const Broker& broker,
                             const QTemporaryDir& dir, const char* prefix, bool control) {
    agent::AgentConfig config;
    config.units = {{"roof", unit.slavePath()}};
    config.http.port = 0;
    config.tokenFile = dir.filePath("token").toStdString();
    config.mqtt.url = "mqtt://127.0.0.1:" + std::to_string(broker.port());
    config.mqtt.authFile = broker.authFile().toStdString();
    config.mqtt.prefix = prefix;
    config.mqtt.discoveryPrefix = std::string(prefix) + "-ha";
    config.mqtt.clientId = std::string(prefix) + "-agent";
    config.mqtt.control = control;
    return config;
}

}  // namespace

class AgentMqttTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void unitReachesTheBrokerAndCommandsOnlyWhenAllowed();
};

void AgentMqttTest::unitReachesTheBrokerAndCommandsOnlyWhenAllowed() {
    Broker broker;
    QString problem;
    QVERIFY2(broker.setUp(problem), qPrintable(problem));
    QVERIFY(broker.start());
    sim::SimOptions options;
    options.periodicReports = false;  // only what the agent asks for
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    QTemporaryDir dir;
    std::ostringstream out;
    std::ostringstream err;
    {
        // Without --mqtt-control: the unit's level is published, a command is not taken.
        agent::Agent service(configFor(unit, broker, dir, "watch", false));
        QVERIFY2(service.start(out, err), err.str().c_str());
        QTRY_VERIFY_WITH_TIMEOUT(unit.state().antennaState == 2 && received(unit, "QI"),
                                 LongWaitMs);
        // The level the unit reported, as the agent's HTTP face shows it.
        QNetworkAccessManager net;
        QByteArray level;
        QTRY_VERIFY_WITH_TIMEOUT(!(level = httpLevel(net, service.httpPort())).isEmpty(),
                                 LongWaitMs);
        QCOMPARE(broker.awaitRetainedValue("watch/roof/signal_level", level), level);
        QCOMPARE(broker.awaitRetainedValue("watch/roof/antenna_state", "tracking"),
                 QByteArray("tracking"));
        broker.publish("watch/roof/command", R"({"command": "setup"})");
        QTest::qWait(1500);
        QVERIFY(!received(unit, "OS"));
    }
    QCOMPARE(broker.awaitRetainedValue("watch/agent/availability", "offline"),
             QByteArray("offline"));

    // With it: Setup sent on the command topic reaches the unit, whose new state (set-up
    // mode, which it keeps) reaches the broker.
    agent::Agent service(configFor(unit, broker, dir, "crew", true));
    QVERIFY2(service.start(out, err), err.str().c_str());
    QVERIFY(!broker.awaitRetainedValue("crew-ha/button/crew_roof/get_information/config", "x")
                 .isEmpty());
    broker.publish("crew/roof/command", R"({"command": "setup"})");
    QTRY_VERIFY_WITH_TIMEOUT(received(unit, "OS"), LongWaitMs);
    QCOMPARE(broker.awaitRetainedValue("crew/roof/antenna_state", "set-up"), QByteArray("set-up"));

    // The broker goes away: HTTP goes on; it comes back: the retained state is back.
    broker.stop();
    QNetworkAccessManager net;
    QCOMPARE(httpStatus(net, service.httpPort(), QStringLiteral("/api/v1/units/roof")), 200);
    QVERIFY(broker.start());
    const QByteArray state =
        broker
            .awaitRetained("crew/roof/state",
                           [](const QMap<QString, QByteArray>& v) { return v.contains("crew/roof/state"); })
            .value("crew/roof/state");
    QCOMPARE(QJsonDocument::fromJson(state).object().value("name").toString(),
             QStringLiteral("roof"));
}

QTEST_GUILESS_MAIN(AgentMqttTest)
#include "agent_mqtt_test.moc"
