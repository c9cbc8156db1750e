// SPDX-License-Identifier: GPL-3.0-or-later
// The MQTT publisher against a real mosquitto broker that the test starts on a free
// loopback port with a password file; what reaches the broker is read back with
// mosquitto_sub, commands are sent with mosquitto_pub. The settings parser is checked
// beside it.
#include <pwd.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "agent/mqtt/mqtt_publisher.h"
#include "support/mosquitto_broker.h"

using kelvandor::MqttPublisher;
using kelvandor::MqttSettings;
using kelvandor::testing::Broker;

namespace {

QJsonObject unitState(int level, bool connected = true) {
    return QJsonObject{
        {"name", "main"},
        {"port", "COM2"},
        {"connected", connected},
        {"lastReport", "2026-01-02T03:04:05+00:00"},
        {"state", 4},
        {"stateName", "Tracking"},
        {"signal", QJsonObject{{"level", level}, {"locked", true}}},
        {"pointing", QJsonObject{{"azimuth", 201.25}, {"elevation", 31.5}, {"skew", -12.75}}},
        {"trackedSatellite", "ASTRA 19.2E"},
        {"product", QJsonObject{{"name", "TV-PREMIUM 85"},
                                {"versions", QJsonObject{{"software", 3.12}, {"second", 1.05}}},
                                {"serialNumber", "KV-000123"}}},
    };
}

// The child process of killedAgentLeavesOffline: a publisher that runs until killed.
int runPublisherChild(const QStringList& args) {
    MqttSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = static_cast<quint16>(args.value(0).toUInt());
    s.prefix = args.value(2);
    s.clientId = s.prefix + QStringLiteral("-child");
    if (!kelvandor::readMqttAuthFile(args.value(1), s).isEmpty()) {
        return 2;
    }
    MqttPublisher publisher(s);
    publisher.setUnits({QStringLiteral("main")});
    publisher.unitChanged(QStringLiteral("main"), unitState(50));
    if (!publisher.start().isEmpty()) {
        return 2;
    }
    return QCoreApplication::exec();
}

}  // namespace

class MqttPublisherTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(broker_.setUp(error), qPrintable(error));
        QVERIFY2(broker_.start(), "mosquitto did not start");
    }
    void cleanupTestCase() { broker_.stop(); }

    void parsesUrl_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("host");  // empty: an error is expected
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("plain, default port") << "mqtt://broker.lan"
                                             << "broker.lan" << 1883 << false << "";
        QTest::newRow("tls, default port") << "mqtts://broker.lan"
                                           << "broker.lan" << 8883 << true << "";
        QTest::newRow("port and slash") << "mqtt://10.0.0.2:1884/"
                                        << "10.0.0.2" << 1884 << false << "";
        QTest::newRow("IPv6") << "mqtts://[fd00::1]:8884"
                              << "fd00::1" << 8884 << true << "";
        QTest::newRow("other scheme") << "http://broker"
                                      << "" << 0 << false << "mqtt://HOST";
        QTest::newRow("no host") << "mqtt://:1883"
                                 << "" << 0 << false << "host is missing";
        QTest::newRow("port zero") << "mqtt://b:0"
                                   << "" << 0 << false << "1 to 65535";
        QTest::newRow("port too big") << "mqtt://b:65536"
                                      << "" << 0 << false << "1 to 65535";
        QTest::newRow("port not a number") << "mqtt://b:18x3"
                                           << "" << 0 << false << "1 to 65535";
        QTest::newRow("credentials") << "mqtt://u:p@b"
                                     << "" << 0 << false << "--mqtt-auth";
        QTest::newRow("path") << "mqtt://b/x"
                              << "" << 0 << false << "path";
    }
    void parsesUrl() {
        QFETCH(QString, url);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, tls);
        QFETCH(QString, errorPart);
        MqttSettings s;
        s.host = QStringLiteral("unchanged");
        const QString error = kelvandor::parseMqttUrl(url, s);
        if (host.isEmpty()) {
            QVERIFY2(error.contains(errorPart), qPrintable(error));
            QCOMPARE(s.host, QStringLiteral("unchanged"));
        } else {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(s.host, host);
            QCOMPARE(int(s.port), port);
            QCOMPARE(s.tls, tls);
        }
    }

    void readsAuthFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("user");  // empty: an error is expected
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("colon in password, CRLF") << QByteArray("boat:a:b c\r\n") << "boat"
                                                 << "a:b c"
                                                 << "";
        QTest::newRow("no colon") << QByteArray("boat\n") << ""
                                  << ""
                                  << "no ':'";
        QTest::newRow("empty user") << QByteArray(":pw\n") << ""
                                    << ""
                                    << "user name";
        QTest::newRow("two lines") << QByteArray("a:b\nc:d\n") << ""
                                   << ""
                                   << "several lines";
    }
    void readsAuthFile() {
        QFETCH(QByteArray, content);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, errorPart);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("auth"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        MqttSettings s;
        const QString error = kelvandor::readMqttAuthFile(path, s);
        if (user.isEmpty()) {
            QVERIFY2(error.contains(errorPart) && error.contains(path), qPrintable(error));
            QVERIFY(s.username.isEmpty());
        } else {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(s.username, user);
            QCOMPARE(s.password, password);
        }
        QVERIFY(kelvandor::readMqttAuthFile(dir.filePath(QStringLiteral("missing")), s)
                    .contains(QStringLiteral("cannot be read")));
    }

    // After connecting, the broker holds the unit's state, its single values and its
    // discovery configs, retained; no button while control is not allowed.
    void retainedStateAndDiscovery() {
        MqttPublisher publisher(broker_.settings(QStringLiteral("ret")));
        publisher.setUnits({QStringLiteral("main")});
        publisher.unitChanged(QStringLiteral("main"), unitState(57));
        QCOMPARE(publisher.start(), QString());

        const QMap<QString, QByteArray> values = broker_.awaitRetained(
            QStringLiteral("ret/#"),
            [](const QMap<QString, QByteArray>& v) { return v.contains("ret/main/state"); });
        QCOMPARE(QJsonDocument::fromJson(values.value("ret/main/state")).object(), unitState(57));
        QCOMPARE(values.value("ret/agent/availability"), QByteArray("online"));
        QCOMPARE(values.value("ret/main/availability"), QByteArray("online"));
        QCOMPARE(values.value("ret/main/signal_level"), QByteArray("57"));
        QCOMPARE(values.value("ret/main/locked"), QByteArray("true"));
        QCOMPARE(values.value("ret/main/antenna_state"), QByteArray("Tracking"));
        QCOMPARE(values.value("ret/main/azimuth"), QByteArray("201.25"));
        QCOMPARE(values.value("ret/main/elevation"), QByteArray("31.5"));
        QCOMPARE(values.value("ret/main/skew"), QByteArray("-12.75"));
        QCOMPARE(values.value("ret/main/tracked_satellite"), QByteArray("ASTRA 19.2E"));

        const QMap<QString, QByteArray> configs = broker_.retained(QStringLiteral("ret-ha/#"));
        QStringList topics = configs.keys();
        QCOMPARE(topics, QStringList({
                             "ret-ha/binary_sensor/ret_main/line/config",
                             "ret-ha/binary_sensor/ret_main/locked/config",
                             "ret-ha/sensor/ret_main/antenna_state/config",
                             "ret-ha/sensor/ret_main/azimuth/config",
                             "ret-ha/sensor/ret_main/elevation/config",
                             "ret-ha/sensor/ret_main/signal_level/config",
                             "ret-ha/sensor/ret_main/skew/config",
                             "ret-ha/sensor/ret_main/tracked_satellite/config",
                         }));
        const QJsonObject azimuth =
            QJsonDocument::fromJson(configs.value("ret-ha/sensor/ret_main/azimuth/config"))
                .object();
        QCOMPARE(azimuth.value("unique_id").toString(), QStringLiteral("ret_main_azimuth"));
        QCOMPARE(azimuth.value("state_topic").toString(), QStringLiteral("ret/main/azimuth"));
        QCOMPARE(azimuth.value("unit_of_measurement").toString(), QStringLiteral("\u00b0"));
        QCOMPARE(azimuth.value("availability").toArray().size(), 2);
        const QJsonObject device = azimuth.value("device").toObject();
        QCOMPARE(device.value("identifiers").toArray().first().toString(),
                 QStringLiteral("ret_main"));
        QCOMPARE(device.value("manufacturer").toString(), QStringLiteral("Kelvandor"));
        QCOMPARE(device.value("model").toString(), QStringLiteral("TV-PREMIUM 85"));
        QCOMPARE(device.value("sw_version").toString(),
                 QStringLiteral("second 1.05, software 3.12"));
        QCOMPARE(device.value("serial_number").toString(), QStringLiteral("KV-000123"));
        const QJsonObject line =
            QJsonDocument::fromJson(configs.value("ret-ha/binary_sensor/ret_main/line/config"))
                .object();
        QCOMPARE(line.value("device_class").toString(), QStringLiteral("connectivity"));
        QCOMPARE(line.value("state_topic").toString(), QStringLiteral("ret/main/availability"));
    }

    // A level that changes twenty times a second reaches the broker at most once a second,
    // and its last value is never lost.
    void flickerIsRateLimited() {
        MqttPublisher publisher(broker_.settings(QStringLiteral("rate")));
        publisher.unitChanged(QStringLiteral("main"), unitState(0));
        QCOMPARE(publisher.start(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), 10000);

        QProcess sub;
        sub.start(QStringLiteral("mosquitto_sub"),
                  broker_.clientArgs() + QStringList{"-t", "rate/main/signal_level"});
        QList<QPair<qint64, QByteArray>> arrivals;
        QElapsedTimer clock;
        clock.start();
        connect(&sub, &QProcess::readyReadStandardOutput, this, [&] {
            while (sub.canReadLine()) {
                arrivals.append({clock.elapsed(), sub.readLine().trimmed()});
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.size(), 1, 5000);  // the retained 0
        QCOMPARE(arrivals.first().second, QByteArray("0"));

        const qint64 flickerStart = clock.elapsed();
        for (int level = 1; level <= 40; ++level) {
            publisher.unitChanged(QStringLiteral("main"), unitState(level));
            QTest::qWait(50);
        }
        const qint64 flickerEnd = clock.elapsed();
        QTRY_COMPARE_WITH_TIMEOUT(arrivals.last().second, QByteArray("40"), 3000);
        QVERIFY2(arrivals.last().first - flickerEnd <= 1300,
                 "the last value came more than a second after the last change");
        QStringList seen;
        for (const auto& [time, value] : arrivals) {
            seen << QStringLiteral("%1 ms: %2")
                        .arg(time - flickerStart)
                        .arg(QString::fromUtf8(value));
        }
        qInfo("40 changes in %lld ms gave: %s", flickerEnd - flickerStart,
              qPrintable(seen.join(", ")));
        const qint64 seconds = (flickerEnd - flickerStart + 999) / 1000;
        QVERIFY2(arrivals.size() - 1 <= seconds + 1,
                 qPrintable(
                     QStringLiteral("%1 messages in %2 s").arg(arrivals.size() - 1).arg(seconds)));
        for (qsizetype i = 2; i < arrivals.size(); ++i) {
            QVERIFY2(arrivals[i].first - arrivals[i - 1].first >= 900,
                     qPrintable(QStringLiteral("messages %1 ms apart")
                                    .arg(arrivals[i].first - arrivals[i - 1].first)));
        }
        sub.kill();
        sub.waitForFinished();
    }

    // The broker goes away and comes back empty: the publisher reconnects and puts the
    // latest state back, including a change made while the broker was down.
    void brokerRestartRestoresRetainedState() {
        MqttPublisher publisher(broker_.settings(QStringLiteral("restart")));
        publisher.unitChanged(QStringLiteral("main"), unitState(40));
        QCOMPARE(publisher.start(), QString());
        QCOMPARE(broker_.awaitRetainedValue("restart/main/signal_level", "40", 10000),
                 QByteArray("40"));

        broker_.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!publisher.isConnected(), 5000);
        publisher.unitChanged(QStringLiteral("main"), unitState(41));
        QVERIFY2(broker_.start(), "mosquitto did not start again");

        QCOMPARE(broker_.awaitRetainedValue("restart/main/signal_level", "41", 15000),
                 QByteArray("41"));
        const QMap<QString, QByteArray> values = broker_.retained(QStringLiteral("restart/#"));
        QCOMPARE(QJsonDocument::fromJson(values.value("restart/main/state")).object(),
                 unitState(41));
        QCOMPARE(values.value("restart/agent/availability"), QByteArray("online"));
    }

    // A publisher whose process dies leaves its last will: the agent shows offline.
    void killedAgentLeavesOffline() {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(
            QCoreApplication::applicationFilePath(),
            {"--publisher-child", QString::number(broker_.port()), broker_.authFile(), "killed"});
        QVERIFY(child.waitForStarted());
        QCOMPARE(broker_.awaitRetainedValue("killed/agent/availability", "online", 10000),
                 QByteArray("online"));
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(broker_.awaitRetainedValue("killed/agent/availability", "offline", 10000),
                 QByteArray("offline"));
    }

    // Commands reach commandReceived only with control allowed, only when valid, for a
    // known unit and not retained; the others are logged.
    void commandsOnlyWhenAllowed() {
        // Left from before the agent started: must not run at every reconnect.
        broker_.publish("cmd/main/command", R"({"command":"restart"})", true);

        MqttSettings offSettings = broker_.settings(QStringLiteral("cmd"));
        offSettings.clientId = QStringLiteral("cmd-off");
        MqttPublisher off(offSettings);
        MqttSettings onSettings = broker_.settings(QStringLiteral("cmd"));
        onSettings.controlAllowed = true;
        MqttPublisher on(onSettings);
        for (MqttPublisher* p : {&off, &on}) {
            p->setUnits({QStringLiteral("main")});
        }
        QSignalSpy offSpy(&off, &MqttPublisher::commandReceived);
        QSignalSpy onSpy(&on, &MqttPublisher::commandReceived);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("command on cmd/main/command ignored: a retained"));
        QCOMPARE(off.start(), QString());
        QCOMPARE(on.start(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(on.takesCommands() && off.isConnected(), 10000);
        // Removing the retained command is an empty message, also logged.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ignored: not a JSON object"));
        broker_.publish("cmd/main/command", QByteArray(), true);

        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("ignored: unknown command \"format\""));
        broker_.publish("cmd/main/command", R"({"command":"format"})");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ignored: not a JSON object"));
        broker_.publish("cmd/main/command", "get-information");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ignored: select-satellite needs"));
        broker_.publish("cmd/main/command", R"({"command":"select-satellite","satellite":"C"})");
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("cmd/ghost/command ignored: unknown unit"));
        broker_.publish("cmd/ghost/command", R"({"command":"get-information"})");
        broker_.publish("cmd/main/command", R"({"command":"select-satellite","satellite":"B"})");

        QTRY_COMPARE_WITH_TIMEOUT(onSpy.size(), 1, 5000);
        QCOMPARE(onSpy.first().at(0).toString(), QStringLiteral("main"));
        QCOMPARE(onSpy.first().at(1).toJsonObject(),
                 QJsonObject({{"command", "select-satellite"}, {"satellite", "B"}}));
        QCOMPARE(offSpy.size(), 0);
    }

  private:
    Broker broker_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--publisher-child")) {
        return runPublisherChild(args.mid(2));
    }
    MqttPublisherTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mqtt_publisher_test.moc"
