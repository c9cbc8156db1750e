// SPDX-License-Identifier: GPL-3.0-or-later
// A real ser2net (Debian's, 4.3) in front of a pty, for tests and benchmarks of network
// ports: one raw TCP accepter and one telnet(rfc2217) accepter on free loopback ports,
// configured in a file of a temporary folder. It runs in the foreground (-n) as a child
// process that is killed in every outcome: by kill(), or by the destructor.
//
// The accepters open the device at 9600 baud, so a line that shows 19200 was set by the
// client through RFC 2217.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <chrono>

namespace kelvandor::testing {

// A loopback TCP port that nothing listens on just now.
inline int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

// Whether something listens on loopback `port`. Found by binding it, not by connecting:
// ser2net opens its device for every connection and, while one is still closing, turns
// away the next connection to any accepter of that device.
inline bool listensOn(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool taken = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                       errno == EADDRINUSE;
    ::close(fd);
    return taken;
}

class Ser2net {
  public:
    static constexpr int StartPatienceMs = 5000;

    // Writes the configuration for `device`; start() runs the server.
    explicit Ser2net(const QString& device)
        : rawPort_(freeLoopbackPort()), telnetPort_(freeLoopbackPort()) {
        config_ = folder_.filePath(QStringLiteral("ser2net.yaml"));
        QFile file(config_);
        if (!file.open(QIODevice::WriteOnly)) {
            return;
        }
        const QString text = QStringLiteral(
                                 "connection: &raw\n"
                                 "    accepter: tcp,127.0.0.1,%1\n"
                                 "    connector: serialdev,%3,9600n81,local\n"
                                 "    options:\n"
                                 "      kickolduser: true\n"
                                 "connection: &rfc2217\n"
                                 "    accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                                 "    connector: serialdev,%3,9600n81,local\n"
                                 "    options:\n"
                                 "      kickolduser: true\n")
                                 .arg(rawPort_)
                                 .arg(telnetPort_)
                                 .arg(device);
        file.write(text.toUtf8());
    }
    ~Ser2net() { kill(); }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("ser2net")); }

    // Starts the server and waits until both accepters listen. False when it
    // cannot run or does not listen within StartPatienceMs (it is then killed).
    bool start() {
        if (program().isEmpty() || rawPort_ == 0 || telnetPort_ == 0) {
            return false;
        }
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program(),
                       {QStringLiteral("-n"), QStringLiteral("-c"), config_, QStringLiteral("-P"),
                        folder_.filePath(QStringLiteral("ser2net.pid"))});
        if (!process_.waitForStarted()) {
            return false;
        }
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(StartPatienceMs);
        while (std::chrono::steady_clock::now() < until) {
            if (process_.state() != QProcess::Running) {
                return false;
            }
            if (listensOn(rawPort_) && listensOn(telnetPort_)) {
                return true;
            }
            QThread::msleep(PollMs);
        }
        kill();
        return false;
    }

    // Kills the server at once (SIGKILL), as a crash or a pulled network cable would end
    // its connections, and waits until it has gone.
    void kill() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    QString rawUrl() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(rawPort_); }
    QString rfc2217Url() const { return QStringLiteral("rfc2217://localhost:%1").arg(telnetPort_); }
    // What the server printed, for a failure message.
    QString output() { return QString::fromLocal8Bit(process_.readAll()); }

  private:
    static constexpr int PollMs = 20;

    QTemporaryDir folder_;
    QString config_;
    int rawPort_ = 0;
    int telnetPort_ = 0;
    QProcess process_;
};

}  // namespace kelvandor::testing
