// SPDX-License-Identifier: GPL-3.0-or-later
// A real Prometheus server scrapes kelvandor-agent on loopback, once a second, and its
// query API returns the signal level the simulated unit sent: the metrics page is one a
// real scraper takes, under the names and labels a fleet's dashboards query.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <sstream>

#include "agent/agent.h"
#include "protocol/unit_reports.h"
#include "sim/simulator.h"
#include "support/child_program.h"
#include "support/locked_log.h"
#include "support/ser2net_server.h"

using namespace kelvandor;

namespace {

constexpr int LongWaitMs = 10000;
// Prometheus's first scrape comes a scrape interval or so after it is ready.
constexpr int ScrapePatienceMs = 15000;

// The body of a GET, waited for while the event loop runs; empty when none came.
QByteArray get(QNetworkAccessManager& net, const QUrl& url) {
    QNetworkReply* reply = net.get(QNetworkRequest(url));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, LongWaitMs)) {
        reply->abort();
    }
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

}  // namespace

class PrometheusScrapeTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void prometheusQueriesTheLevelTheUnitSent();
};

void PrometheusScrapeTest::prometheusQueriesTheLevelTheUnitSent() {
    const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    if (prometheus.isEmpty()) {
        QFAIL("prometheus is not installed (the test command installs it)");
    }
    testing::LockedLog log;
    std::ostream logStream(&log);
    sim::SimOptions options;
    options.periodicReports = false;  // one level: the answer to the agent's own QS
    options.log = &logStream;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    QTemporaryDir dir;
    agent::AgentConfig config;
    config.units = {{"roof", unit.slavePath()}};
    config.http.port = 0;
    config.tokenFile = dir.filePath(QStringLiteral("token")).toStdString();
    config.queryAfterSeconds = agent::MaxQueryAfterSeconds;  // no second QS, no new level
    agent::Agent service(config);
    std::ostringstream out;
    std::ostringstream err;
    QVERIFY2(service.start(out, err), err.str().c_str());
    const auto sentLevel = [&log]() -> double {
        const QStringList ni = log.lastSent(QStringLiteral("Ni"));
        return ni.size() == 6 ? static_cast<double>(signalLevelOf(ni.at(1).toInt())) : -1.0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(sentLevel() >= 0, LongWaitMs);

    const int webPort = testing::freeLoopbackPort();
    QFile file(dir.filePath(QStringLiteral("prometheus.yml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("global:\n"
                              "  scrape_interval: 1s\n"
                              "scrape_configs:\n"
                              "  - job_name: kelvandor\n"
                              "    static_configs:\n"
                              "      - targets: ['127.0.0.1:%1']\n")
                   .arg(service.httpPort())
                   .toUtf8());
    file.close();
    testing::ChildProgram server;
    QVERIFY2(
        server.start(prometheus,
                     {QStringLiteral("--config.file=") + file.fileName(),
                      QStringLiteral("--storage.tsdb.path=") + dir.filePath(QStringLiteral("tsdb")),
                      QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(webPort)},
                     QRegularExpression(QStringLiteral("Server is ready to receive web requests"))),
        qPrintable(server.output()));

    QNetworkAccessManager net;
    QUrl query(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(webPort));
    QUrlQuery terms;
    terms.addQueryItem(QStringLiteral("query"),
                       QStringLiteral("kelvandor_signal_level{unit=\"roof\"}"));
    query.setQuery(terms);
    // The value of the one series the query returns; -1 while there is none.
    const auto queriedLevel = [&net, &query]() -> double {
        const QJsonArray result = QJsonDocument::fromJson(get(net, query))
                                      .object()
                                      .value(QStringLiteral("data"))
                                      .toObject()
                                      .value(QStringLiteral("result"))
                                      .toArray();
        if (result.size() != 1) {
            return -1.0;
        }
        return result.at(0)
            .toObject()
            .value(QStringLiteral("value"))
            .toArray()
            .at(1)
            .toString()
            .toDouble();
    };
    QTRY_COMPARE_WITH_TIMEOUT(queriedLevel(), sentLevel(), ScrapePatienceMs);
}

QTEST_GUILESS_MAIN(PrometheusScrapeTest)
#include "prometheus_scrape_test.moc"
