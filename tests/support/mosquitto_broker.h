// SPDX-License-Identifier: GPL-3.0-or-later
// A real mosquitto broker for the agent's tests: started on a free loopback port with a
// password file that lets one user in; what reaches it is read back with mosquitto_sub,
// messages are sent with mosquitto_pub. Debian packages mosquitto and mosquitto-clients.
#pragma once

#include <pwd.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "agent/mqtt/mqtt_settings.h"

namespace kelvandor::testing {

// A mosquitto broker on 127.0.0.1 that only lets User in.
class Broker {
  public:
    static inline const QString User = QStringLiteral("agent");
    static inline const QString Password = QStringLiteral("s3cret with space");

    bool setUp(QString& error) {
        if (!dir_.isValid()) {
            error = QStringLiteral("no temporary folder");
            return false;
        }
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            error = QStringLiteral("no free port");
            return false;
        }
        port_ = probe.serverPort();
        probe.close();
        const QString passwords = dir_.filePath(QStringLiteral("passwd"));
        writeFile(passwords, (User + QLatin1Char(':') + Password + QLatin1Char('\n')).toUtf8(),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (QProcess::execute(QStringLiteral("mosquitto_passwd"), {"-U", passwords}) != 0) {
            error = QStringLiteral("mosquitto_passwd failed (is mosquitto installed?)");
            return false;
        }
        writeFile(dir_.filePath(QStringLiteral("mosquitto.conf")),
                  // Run as root, mosquitto would change to its own user, which cannot read
                  // the test's files; as anyone else "user" is ignored.
                  QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\n"
                                 "password_file %2\npersistence false\nuser %3\n"
                                 "log_type error\nlog_type warning\n")
                      .arg(port_)
                      .arg(passwords, QString::fromLocal8Bit(getpwuid(getuid())->pw_name))
                      .toUtf8(),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        writeFile(authFile(), (User + QLatin1Char(':') + Password + QLatin1Char('\n')).toUtf8(),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return true;
    }

    // Starts the broker and returns once it accepts connections.
    bool start() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("mosquitto"),
                       {"-c", dir_.filePath(QStringLiteral("mosquitto.conf"))});
        if (!process_.waitForStarted()) {
            return false;
        }
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            if (socket.waitForConnected(200)) {
                return true;
            }
            QTest::qWait(50);
        }
        return false;
    }

    void stop() {
        process_.terminate();
        process_.waitForFinished();
    }

    QString authFile() const { return dir_.filePath(QStringLiteral("auth")); }
    quint16 port() const { return port_; }

    MqttSettings settings(const QString& prefix) const {
        MqttSettings s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port_;
        s.prefix = prefix;
        s.discoveryPrefix = prefix + QStringLiteral("-ha");
        s.clientId = prefix + QStringLiteral("-agent");
        s.keepAliveSeconds = 5;
        const QString error = readMqttAuthFile(authFile(), s);
        if (!error.isEmpty()) {
            qFatal("%s", qPrintable(error));
        }
        return s;
    }

    QStringList clientArgs() const {
        return {"-h", "127.0.0.1", "-p", QString::number(port_), "-u", User, "-P", Password};
    }

    // Every retained message under the topic filter, by topic.
    QMap<QString, QByteArray> retained(const QString& filter) const {
        QProcess sub;
        sub.start(QStringLiteral("mosquitto_sub"),
                  clientArgs() + QStringList{"-t", filter, "--retained-only", "-W", "1", "-v"});
        sub.waitForFinished();
        QMap<QString, QByteArray> out;
        for (const QByteArray& line : sub.readAllStandardOutput().split('\n')) {
            const qsizetype space = line.indexOf(' ');
            if (space > 0) {
                out.insert(QString::fromUtf8(line.left(space)), line.mid(space + 1));
            }
        }
        return out;
    }

    // Reads the retained messages under filter until `until` holds for them or timeoutMs
    // have passed (each reading takes a second); returns the last reading.
    template <typename Predicate>
    QMap<QString, QByteArray> awaitRetained(const QString& filter, Predicate until,
                                            int timeoutMs = 10000) const {
        QElapsedTimer waited;
        waited.start();
        QMap<QString, QByteArray> values = retained(filter);
        while (!until(values) && waited.elapsed() < timeoutMs) {
            QTest::qWait(100);
            values = retained(filter);
        }
        return values;
    }

    // The retained value of topic once it is `expected`, or the last one read after
    // timeoutMs.
    QByteArray awaitRetainedValue(const QString& topic, const QByteArray& expected,
                                  int timeoutMs = 10000) const {
        return awaitRetained(
                   topic,
                   [&](const QMap<QString, QByteArray>& v) { return v.value(topic) == expected; },
                   timeoutMs)
            .value(topic);
    }

    void publish(const QString& topic, const QByteArray& payload, bool retain = false) const {
        QStringList args =
            clientArgs() + QStringList{"-t", topic, "-m", QString::fromUtf8(payload)};
        if (retain) {
            args << "-r";
        }
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_pub"), args), 0);
    }

  private:
    static void writeFile(const QString& path, const QByteArray& content,
                          QFileDevice::Permissions permissions) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.setPermissions(permissions);
    }

    QTemporaryDir dir_;
    quint16 port_ = 0;
    QProcess process_;
};

}  // namespace kelvandor::testing
