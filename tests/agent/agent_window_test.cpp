// SPDX-License-Identifier: GPL-3.0-or-later
// The controller window through kelvandor-agent's share port, as an installer uses it
// while the boat's monitoring goes on: the window (offscreen) reaches the simulated unit
// through the agent (a process of its own) by a port-directory entry holding the share's
// URL, and runs a whole Update Default while a loop polls the unit's state over HTTP and
// a second share client reads the line. Every step is answered, the unit holds the set,
// the second client sees every frame the unit sent, every poll is answered; then
// kelvandor-cli status through the same share prints a complete picture.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <sstream>

#include "defaults/rif_reader.h"
#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "support/child_program.h"
#include "support/default_set_check.h"
#include "support/locked_log.h"
#include "ui/prompter.h"

using namespace kelvandor;
namespace id = kelvandor::main_id;

namespace {

constexpr int Patience = 15000;
constexpr int PollEveryMs = 100;

// Counts the whole frames that arrive on a share connection.
class ShareReader {
  public:
    explicit ShareReader(quint16 port) {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] {
            const QByteArray bytes = socket_.readAll();
            appendReceived(buffer_, bytes.constData(), static_cast<int>(bytes.size()));
            forEachChunk(buffer_, scratch_, [this](int status, CommandId, const std::int32_t*) {
                ++(status == FrameOk ? frames : broken);
            });
        });
    }
    bool connected() { return socket_.waitForConnected(Patience); }

    int frames = 0;
    int broken = 0;

  private:
    QTcpSocket socket_;
    ReceiveBuffer buffer_;
    FrameScratch scratch_;
};

// GET /api/v1/units/NAME on a timer: how many replies came, and how many of them were
// not a 200 with the unit's state, connected.
class StatePoller {
  public:
    StatePoller(int httpPort, const QString& unit)
        : url_(QStringLiteral("http://127.0.0.1:%1/api/v1/units/%2").arg(httpPort).arg(unit)) {
        timer_.setInterval(PollEveryMs);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
    }
    void start() { timer_.start(); }
    void stop() { timer_.stop(); }

    int answered = 0;
    int wrong = 0;

  private:
    void poll() {
        QNetworkReply* reply = net_.get(QNetworkRequest(url_));
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QJsonObject state = QJsonDocument::fromJson(reply->readAll()).object();
            ++answered;
            if (status != 200 || !state.value(QStringLiteral("connected")).toBool()) {
                ++wrong;
            }
            reply->deleteLater();
        });
    }

    QUrl url_;
    QNetworkAccessManager net_;
    QTimer timer_;
};

// How many frames the agent has taken from its unit "roof", from its metrics page; -1
// when the page did not come.
int framesTakenByAgent(QNetworkAccessManager& net, int httpPort) {
    QNetworkReply* reply =
        net.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(httpPort))));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, Patience)) {
        reply->abort();
    }
    const QByteArray page = reply->readAll();
    reply->deleteLater();
    const QByteArray series = "\nkelvandor_frames_received_total{unit=\"roof\"} ";
    const qsizetype at = page.indexOf(series);
    return at < 0 ? -1
                  : page.mid(at + series.size(), page.indexOf('\n', at + 1) - at - series.size())
                        .toInt();
}

}  // namespace

class AgentWindowTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void updateDefaultThroughTheShareWhileOthersWatch();
};

void AgentWindowTest::updateDefaultThroughTheShareWhileOthersWatch() {
    resetReceiveBufferForTest();
    ui::ScriptedPrompter prompter;
    ui::installPrompter(&prompter);
    const auto uninstall = qScopeGuard([] {
        ui::installPrompter(nullptr);
        resetReceiveBufferForTest();
    });
    QTemporaryDir dir;
    testing::LockedLog log;
    std::ostream logStream(&log);
    sim::SimOptions options;
    options.periodicReports = false;
    options.log = &logStream;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    testing::AgentProgram agent;
    QVERIFY2(agent.start(QStringLiteral(KELVANDOR_AGENT_PROGRAM),
                         {QStringLiteral("--unit"),
                          QStringLiteral("roof=") + QString::fromStdString(unit.slavePath()),
                          QStringLiteral("--share"), QStringLiteral("roof=127.0.0.1:0"),
                          QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"),
                          // No QS of the agent's own when the unit is quiet between the
                          // steps below: the unit's frames are then all the window's.
                          QStringLiteral("--query-after"), QStringLiteral("3600"),
                          QStringLiteral("--token-file"), dir.filePath(QStringLiteral("token"))}),
             qPrintable(agent.process().output()));
    // The unit has sent everything it logged (its answer to the agent's QS and QI at
    // start, paced, takes seconds) once the agent has taken as many frames.
    QNetworkAccessManager net;
    const auto unitQuiet = [&] {
        return framesTakenByAgent(net, agent.httpPort()) == log.sentCount();
    };
    QTRY_VERIFY_WITH_TIMEOUT(unitQuiet(), Patience);
    const QString share = QStringLiteral("tcp://127.0.0.1:%1").arg(agent.sharePort("roof"));
    QDir(dir.path()).mkdir(QStringLiteral("ports"));
    QFile entry(dir.filePath(QStringLiteral("ports/COM2")));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write((share + QLatin1Char('\n')).toUtf8());
    entry.close();

    MainDialog d(ComPortNaming::linksOnlyIn(dir.filePath(QStringLiteral("ports")).toStdString()));
    QVERIFY2(d.serialPort.isOpen == 1, describeOpenFailure(d.serialPort.lastOpenFailure()));
    prompter.answers = {ui::Answer::Ok};
    d.button(id::Setup)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().antennaState, 0, Patience);
    d.button(id::GetAntennaInfo)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().productSize, 1, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(!d.movePage.controlText(MovePage::SlotSkew[4]).isEmpty(), Patience);
    prompter.files = {QStringLiteral(KELVANDOR_SAMPLE_RIF)};
    d.button(id::LoadDefault)->click();
    QVERIFY(d.control(id::UpdateDefault)->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(unitQuiet(), Patience);
    ShareReader watcher(static_cast<quint16>(agent.sharePort("roof")));
    QVERIFY(watcher.connected());
    StatePoller poller(agent.httpPort(), QStringLiteral("roof"));
    // The unit is quiet (no unasked reports, nothing on its way): what it sends from here
    // on is the run's.
    const int sentBefore = log.sentCount();
    poller.start();
    prompter.messages.clear();
    d.button(id::UpdateDefault)->click();  // returns when the run has ended
    poller.stop();
    QCOMPARE(prompter.messages.size(), std::size_t{2});
    QCOMPARE(prompter.messages[1].text, QStringLiteral("Default update complete successfully."));

    DefaultSet set;
    QVERIFY(readRifFile(KELVANDOR_SAMPLE_RIF, set).ok());
    QTRY_VERIFY_WITH_TIMEOUT(
        !unit.receivedLines().empty() && unit.receivedLines().back().rfind("KO ", 0) == 0,
        Patience);
    QCOMPARE(testing::defaultSetMismatch(set, set.productProfiles[1], unit.state()), QString());
    // Every frame the unit sent during the run reached the second client too, whole.
    QTRY_COMPARE_WITH_TIMEOUT(watcher.frames, log.sentCount() - sentBefore, Patience);
    QVERIFY(watcher.frames >= 61);
    QCOMPARE(watcher.broken, 0);
    // The run takes seconds; the HTTP side answered all along.
    QTRY_VERIFY_WITH_TIMEOUT(poller.answered >= 10, Patience);
    QCOMPARE(poller.wrong, 0);

    QProcess cli;
    cli.start(
        QStringLiteral(KELVANDOR_CLI_PROGRAM),
        {QStringLiteral("status"), QStringLiteral("--port"), share, QStringLiteral("--json")});
    QTRY_COMPARE_WITH_TIMEOUT(cli.state(), QProcess::NotRunning, Patience);
    const QByteArray said = cli.readAllStandardOutput();
    QVERIFY2(cli.exitCode() == 0, qPrintable(said + cli.readAllStandardError()));
    const QJsonObject picture = QJsonDocument::fromJson(said).object();
    QCOMPARE(picture.value(QStringLiteral("complete")).toBool(), true);
    const QJsonArray satellites = picture.value(QStringLiteral("satellites")).toArray();
    QCOMPARE(satellites.size(), qsizetype{RifSatelliteCount});
    for (int k = 0; k < RifSatelliteCount; ++k) {
        QCOMPARE(satellites.at(k).toObject().value(QStringLiteral("name")).toString(),
                 QString::fromStdString(set.satellites[static_cast<std::size_t>(k)].satName));
    }
}

QTEST_MAIN(AgentWindowTest)
#include "agent_window_test.moc"
