// SPDX-License-Identifier: GPL-3.0-or-later
// The Move page against the simulated antenna control unit over a real pty, with real
// timers: a move to a typed target and by steps, followed by the page as the unit reports
// its way there, and a diagnosis whose results the unit was configured with.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "support/qt_test_main.h"
#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "support/simulated_unit.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"

using namespace kelvandor;
namespace bm = kelvandor::ui::bitmap;
using P = kelvandor::MovePage;

namespace {
constexpr int ReportWaitMs = 10000;  // generous: a loaded machine, a paced 19200-baud line
// Serial Comm is blue: a time-out would show it green.
constexpr sim::DiagnosisResults UnitFindings = {1, 2, 2, 2, 0, 2, 2, 2, 4, 3};
}  // namespace

class MoveAntennaTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init();
    void cleanup();
    void pageFollowsTheAntenna();

  private:
    std::unique_ptr<testing::SimulatedUnitOnCom2> line_;
};

void MoveAntennaTest::init() {
    sim::SimOptions options;
    options.periodicReports = false;  // only what the session asks for
    options.diagnosisResults = UnitFindings;
    line_ = std::make_unique<testing::SimulatedUnitOnCom2>(options);
    QVERIFY(line_->linked());
}

void MoveAntennaTest::cleanup() {
    line_.reset();
}

void MoveAntennaTest::pageFollowsTheAntenna() {
    MainDialog d(line_->naming());
    QCOMPARE(d.serialPort.isOpen, 1);
    d.show();
    d.listBox(main_id::PageList)->setCurrentRow(4);
    MovePage& page = d.movePage;
    QVERIFY(page.isVisible());

    // The unit's picture: a PREMIUM product, so the skew rows show its slots.
    d.button(main_id::GetAntennaInfo)->click();
    QTRY_VERIFY_WITH_TIMEOUT(page.skewControlsVisible(), ReportWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!page.controlText(P::SlotSkew[1]).isEmpty(), ReportWaitMs);
    QVERIFY(page.isControlShown(P::SlotSkew[0]));

    // A move to a typed target: the page shows each position the unit reports.
    page.edit(P::TargetAz)->setText(QStringLiteral("123.45"));
    page.edit(P::TargetEl)->setText(QStringLiteral("32.5"));
    page.button(P::GoToTarget)->click();
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(P::CurrentAz), QStringLiteral("123.45"),
                              ReportWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(P::CurrentEl), QStringLiteral(" 32.50"),
                              ReportWaitMs);
    QCOMPARE(line_->unit.state().azimuth, 12345);

    // Steps: EL up 1.5 degrees, AZ left 23.45 degrees, SKEW plus 2 degrees.
    page.edit(P::StepEl)->setText(QStringLiteral("1.5"));
    QTest::mouseClick(page.picture(P::StepUp), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(P::CurrentEl), QStringLiteral(" 34.00"),
                              ReportWaitMs);
    page.edit(P::StepAz)->setText(QStringLiteral("23.45"));
    QTest::mouseClick(page.picture(P::StepLeft), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(P::CurrentAz), QStringLiteral("100.00"),
                              ReportWaitMs);
    const std::int32_t skewBefore = line_->unit.state().skew;
    page.edit(P::StepSkew)->setText(QStringLiteral("2"));
    QTest::mouseClick(page.picture(P::StepPlus), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(line_->unit.state().skew, skewBefore + 200, ReportWaitMs);
    // The last report of the motion is the unit's status with its skew in hundredths.
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(P::CurrentSkew), angleText(skewBefore + 200),
                              ReportWaitMs);
    QVERIFY(line_->prompter.messages.empty());

    // The diagnosis lights each LED with the colour of the unit's finding.
    page.button(P::DiagnosisButton)->click();
    const int expected[] = {bm::LedBlue, bm::LedDiagGreen, bm::LedDiagGreen, bm::LedDiagGreen,
                            bm::LedRed,  bm::LedDiagGreen, bm::LedDiagGreen, bm::LedDiagGreen,
                            bm::LedRed,  bm::LedYellow};
    for (std::size_t k = 0; k < P::DiagnosisLeds.size(); ++k) {
        QTRY_COMPARE_WITH_TIMEOUT(page.bitmapOf(P::DiagnosisLeds[k]), expected[k], ReportWaitMs);
    }
    QVERIFY(!page.isDialogTimerActive(P::DiagnosisTimerId));

    const std::vector<std::string> received = line_->unit.receivedLines();
    for (const char* line : {"GO 12345 3250", "MO 0 150", "MO 3 2345", "MS 5 200", "QD 0"}) {
        QVERIFY2(std::find(received.begin(), received.end(), line) != received.end(), line);
    }
}

KELVANDOR_QTEST(MoveAntennaTest, "move_antenna_test")
#include "move_antenna_test.moc"
