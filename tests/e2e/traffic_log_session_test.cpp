// SPDX-License-Identifier: GPL-3.0-or-later
// The traffic log of a real session: the controller, with --log, runs Get Antenna
// Information against the simulated unit over a pty. The log shows both directions, and
// holds exactly the frames the unit received and sent, in their order.
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <mutex>
#include <ostream>
#include <streambuf>

#include "support/qt_test_main.h"
#include "protocol/frame_codec.h"
#include "shell/controller_setup.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "ui/prompter.h"

using namespace kelvandor;

namespace {

// A stream the simulator's thread writes its frame lines to while the test reads them.
class SharedText : public std::streambuf {
  public:
    // The complete lines written so far that begin with `prefix`, without it.
    QStringList lines(const QString& prefix) {
        const std::lock_guard lock(mutex_);
        QStringList found;
        const QStringList all = QString::fromStdString(text_).split(QLatin1Char('\n'));
        for (qsizetype k = 0; k + 1 < all.size(); ++k) {  // the last one is unfinished
            if (all[k].startsWith(prefix)) {
                found << all[k].mid(prefix.size());
            }
        }
        return found;
    }

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            const std::lock_guard lock(mutex_);
            text_ += static_cast<char>(c);
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::lock_guard lock(mutex_);
        text_.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    std::mutex mutex_;
    std::string text_;
};

// The log's lines of one direction ("->" or "<-"), without time and mark.
QStringList logged(TrafficLog& log, const QString& path, const QString& mark) {
    log.flush();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {QStringLiteral("(no log)")};
    }
    const QRegularExpression shape(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (->|<-|--) (.*)$)"));
    QStringList found;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.isEmpty()) {
            continue;
        }
        const QRegularExpressionMatch match = shape.match(QString::fromLatin1(raw));
        if (!match.hasMatch()) {
            return {QStringLiteral("malformed: ") + QString::fromLatin1(raw)};
        }
        if (match.captured(1) == mark) {
            found << match.captured(2);
        }
    }
    return found;
}

}  // namespace

class TrafficLogSessionTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void getAntennaInformationIsLoggedBothWays();
};

void TrafficLogSessionTest::getAntennaInformationIsLoggedBothWays() {
    constexpr int Patience = 10000;
    resetReceiveBufferForTest();
    ui::ScriptedPrompter prompter;
    ui::installPrompter(&prompter);
    QTemporaryDir dir;
    SharedText unitText;
    std::ostream unitLog(&unitText);
    sim::SimOptions unitOptions;
    unitOptions.periodicReports = false;  // only what the session asks for
    unitOptions.log = &unitLog;
    sim::Simulator unit(unitOptions);
    QVERIFY(unit.start());
    QVERIFY(unit.linkAs(dir.path().toStdString(), 2));

    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    ControllerSetup setup;
    ControllerOptions options;
    options.logPath = path;
    setup.apply(options, {});
    {
        MainDialog dialog(ComPortNaming::linksOnlyIn(dir.path().toStdString()));
        setup.attach(dialog.link());
        QCOMPARE(dialog.serialPort.isOpen, 1);
        dialog.button(main_id::GetAntennaInfo)->click();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.model().satellites.satelliteCount,
                                  unit.state().satelliteCount, Patience);

        // What the controller sent, as the unit received it; what the unit sent, as the
        // controller received it. The frames still on the paced line arrive in their time.
        const QStringList sent = logged(setup.trafficLog(), path, QStringLiteral("->"));
        QVERIFY2(
            sent.size() >= 2 && sent[0] == QStringLiteral("QS") && sent[1] == QStringLiteral("QI"),
            qPrintable(sent.join(QLatin1Char('|'))));
        const auto unitReceived = [&unit] {
            QStringList lines;
            for (const std::string& line : unit.receivedLines()) {
                lines << QString::fromStdString(line);
            }
            return lines;
        };
        QTRY_COMPARE_WITH_TIMEOUT(logged(setup.trafficLog(), path, QStringLiteral("->")),
                                  unitReceived(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(logged(setup.trafficLog(), path, QStringLiteral("<-")),
                                  unitText.lines(QStringLiteral("-> ")), Patience);
        QVERIFY(logged(setup.trafficLog(), path, QStringLiteral("<-")).size() > 20);
        dialog.link().setObserver(nullptr);
    }
    QVERIFY(prompter.messages.empty());
    unit.stop();
    ui::installPrompter(nullptr);
    resetReceiveBufferForTest();
}

KELVANDOR_QTEST(TrafficLogSessionTest, "traffic_log_session_test")
#include "traffic_log_session_test.moc"
