// SPDX-License-Identifier: GPL-3.0-or-later
// Load Default and Update Default against the simulated unit over a real pty, with real
// timers: the unit ends up holding exactly the file's values; steps that get no echo are
// counted and said; a line that hangs up ends the run, which says so; closing the window
// during a run ends it at once, with no box behind.
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "defaults/rif_reader.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "support/default_set_check.h"
#include "support/qt_test_main.h"
#include "support/simulated_unit.h"
#include "ui/prompter.h"

using namespace kelvandor;
namespace id = kelvandor::main_id;

namespace {

constexpr int WaitMs = 15000;
// The T6 profile's scan offset: token 524 of a default-set file.
constexpr int T6ScanOffsetToken = 524;

}  // namespace

class DefaultUpdateTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init();
    void cleanup();
    void loadThenUpdateWritesTheSetIntoTheUnit();
    void stepsWithoutEchoAreCountedAndSaid();
    void lateEchoDoesNotAnswerTheNextStep();
    void hangUpAfterTheLastEchoIsSaid();
    void closingTheWindowEndsTheRun();

  private:
    // The sample set with the T6 scan offset changed to 7 (Update Default sends -5).
    QString changedSample();
    // Set-up mode, the unit's product size known, the set loaded.
    void prepare(MainDialog& d, const QString& file);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<testing::SimulatedUnitOnCom2> line_;
};

void DefaultUpdateTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    sim::SimOptions options;
    options.periodicReports = false;
    line_ = std::make_unique<testing::SimulatedUnitOnCom2>(options);
    QVERIFY(line_->linked());
}

void DefaultUpdateTest::cleanup() {
    line_.reset();
    dir_.reset();
}

QString DefaultUpdateTest::changedSample() {
    QFile in(QStringLiteral(KELVANDOR_SAMPLE_RIF));
    in.open(QIODevice::ReadOnly);
    QStringList tokens = QString::fromLatin1(in.readAll())
                             .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    tokens[T6ScanOffsetToken - 1] = QStringLiteral("7");
    const QString path = dir_->filePath(QStringLiteral("europe.rif"));
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(tokens.join(QLatin1Char('\n')).toLatin1());
    return path;
}

void DefaultUpdateTest::prepare(MainDialog& d, const QString& file) {
    QCOMPARE(d.serialPort.isOpen, 1);
    line_->prompter.answers = {ui::Answer::Ok};
    d.button(id::Setup)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().antennaState, 0, WaitMs);
    d.button(id::GetAntennaInfo)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().productSize, 1, WaitMs);  // the unit is a T6
    // The whole table has arrived (its last frame is the skew of slot 4, SAT C), so no
    // report of the query is still on its way to answer a step of the run.
    QTRY_VERIFY_WITH_TIMEOUT(!d.movePage.controlText(MovePage::SlotSkew[4]).isEmpty(), WaitMs);
    line_->prompter.files = {file};
    d.button(id::LoadDefault)->click();
    QVERIFY(d.control(id::UpdateDefault)->isEnabled());
    line_->prompter.messages.clear();
    line_->prompter.pauses.clear();
}

void DefaultUpdateTest::loadThenUpdateWritesTheSetIntoTheUnit() {
    MainDialog d(line_->naming());
    const QString file = changedSample();
    prepare(d, file);
    DefaultSet set;
    QVERIFY(readRifFile(file.toStdString(), set).ok());
    const ProductProfile& p = set.productProfiles[1];

    QSignalSpy progress(d.progressBar(id::Progress), &QProgressBar::valueChanged);
    d.button(id::UpdateDefault)->click();  // returns when the run has ended

    QCOMPARE(line_->prompter.messages.size(), std::size_t{2});
    QCOMPARE(line_->prompter.messages[0].text,
             QStringLiteral("Do you want to update default set \"%1\" ?").arg(file));
    QCOMPARE(line_->prompter.messages[1].text,
             QStringLiteral("Default update complete successfully."));
    QList<int> positions;
    for (const QList<QVariant>& change : progress) {
        positions << change.at(0).toInt();
    }
    QList<int> expected;
    for (int k = 1; k <= 21; ++k) {
        expected << k;
    }
    expected << 0;
    QCOMPARE(positions, expected);
    QVERIFY(d.progressBar(id::Progress)->isHidden());
    QVERIFY(d.control(id::LoadDefault)->isEnabled());
    QVERIFY(d.control(id::UpdateDefault)->isEnabled());
    // 63 pauses of 100 ms: 52 after the satellites, 8 after SL..SC, then Sa, SQ and KT.
    QCOMPARE(line_->prompter.pauses.size(), std::size_t{63});

    // The unit holds exactly the file's values, once it has taken the last frame, KO.
    QTRY_VERIFY_WITH_TIMEOUT(!line_->unit.receivedLines().empty() &&
                                 line_->unit.receivedLines().back().rfind("KO ", 0) == 0,
                             WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(line_->unit.state().satellites[0].skewAdjust, set.skewAdjust[0] * 10,
                              WaitMs);
    QCOMPARE(testing::defaultSetMismatch(set, p, line_->unit.state()), QString());
    // The echoes came back into the window: the scan offset shows -5.
    QCOMPARE(d.parameterPage.controlText(ParameterPage::ScanOffsetEdit), QStringLiteral("-5"));
}

void DefaultUpdateTest::stepsWithoutEchoAreCountedAndSaid() {
    MainDialog d(line_->naming());
    prepare(d, QStringLiteral(KELVANDOR_SAMPLE_RIF));
    d.updateReplyTimeoutMs = 100;
    line_->unit.setFault(sim::Fault::DropReplies, true);
    d.button(id::UpdateDefault)->click();
    QCOMPARE(line_->prompter.messages.size(), std::size_t{2});
    QVERIFY2(line_->prompter.messages[1].text.startsWith(
                 QStringLiteral("Default update finished, but 61 of 61 steps got no reply")),
             qPrintable(line_->prompter.messages[1].text));
    QCOMPARE(line_->prompter.messages[1].icon, ui::Icon::Warning);
    QVERIFY(d.progressBar(id::Progress)->isHidden());
}

void DefaultUpdateTest::lateEchoDoesNotAnswerTheNextStep() {
    MainDialog d(line_->naming());
    prepare(d, QStringLiteral(KELVANDOR_SAMPLE_RIF));
    // NC comes just after its 2 s wait has given up, while the window takes its events
    // between the pauses of SC and Sa (real pauses, as the program makes them); SQ is
    // never answered. Neither may count as answered.
    line_->prompter.realPauses = true;
    line_->unit.setCommandDelay(cmd::SC, 2050);
    line_->unit.setCommandDelay(cmd::SQ, sim::Simulator::NeverTaken);
    d.button(id::UpdateDefault)->click();
    QCOMPARE(line_->prompter.messages.size(), std::size_t{2});
    QVERIFY2(line_->prompter.messages[1].text.startsWith(
                 QStringLiteral("Default update finished, but 2 of 61 steps got no reply")),
             qPrintable(line_->prompter.messages[1].text));
}

// The line is pulled the moment SQ's echo has set the bar to its last position: KT and KO,
// which wait for no reply, cannot be sent, and the run says so instead of claiming success.
void DefaultUpdateTest::hangUpAfterTheLastEchoIsSaid() {
    MainDialog d(line_->naming());
    prepare(d, QStringLiteral(KELVANDOR_SAMPLE_RIF));
    connect(d.progressBar(id::Progress), &QProgressBar::valueChanged, &d, [this](int value) {
        if (value == UpdateProgressSteps) {
            line_->unit.setFault(sim::Fault::HangUp, true);  // returns once the line is down
        }
    });
    d.button(id::UpdateDefault)->click();
    QCOMPARE(line_->prompter.messages.size(), std::size_t{2});
    QVERIFY2(line_->prompter.messages[1].text.startsWith(
                 QStringLiteral("Default update stopped: step 63 could not be sent")),
             qPrintable(line_->prompter.messages[1].text));
    QCOMPARE(line_->prompter.messages[1].icon, ui::Icon::Warning);
    QVERIFY(d.progressBar(id::Progress)->isHidden());
}

void DefaultUpdateTest::closingTheWindowEndsTheRun() {
    MainDialog d(line_->naming());
    d.show();
    prepare(d, QStringLiteral(KELVANDOR_SAMPLE_RIF));
    line_->unit.setFault(sim::Fault::Silent, true);  // every step would wait its full 2 s
    bool loadEnabled = true;
    bool updateEnabled = true;
    bool stillOpenAfterFirstClose = false;
    int barAfterFirstClose = -1;
    QTimer::singleShot(300, &d, [&] {
        loadEnabled = d.control(id::LoadDefault)->isEnabled();
        updateEnabled = d.control(id::UpdateDefault)->isEnabled();
        d.close();  // refused once: the bar shows a position
        stillOpenAfterFirstClose = d.isVisible();
        barAfterFirstClose = d.progressBar(id::Progress)->value();
        QTimer::singleShot(300, &d, [&d] { d.close(); });
    });
    QElapsedTimer clock;
    clock.start();
    d.button(id::UpdateDefault)->click();
    // A silent unit costs 61 waits of 2 s; the close ended the run long before.
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!loadEnabled);
    QVERIFY(!updateEnabled);
    QVERIFY(stillOpenAfterFirstClose);
    QCOMPARE(barAfterFirstClose, 0);
    QVERIFY(!d.isVisible());
    QVERIFY(d.link().isShuttingDown());
    // Only the question: no box after the window has gone.
    QCOMPARE(line_->prompter.messages.size(), std::size_t{1});
}

KELVANDOR_QTEST(DefaultUpdateTest, "default_update_test")
#include "default_update_test.moc"
