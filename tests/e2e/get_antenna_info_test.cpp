// SPDX-License-Identifier: GPL-3.0-or-later
// The controller against the simulated antenna control unit over a real pty, with real
// timers: the automatic connection at start, and Get Antenna Information filling the
// status panel and the satellite table.
#include <QProgressBar>
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
namespace id = kelvandor::main_id;

class GetAntennaInfoTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init();
    void cleanup();
    void statusPanelAndTableFillFromTheUnit();
    void setupAndSatelliteSelectionRoundTrip();

  private:
    std::unique_ptr<testing::SimulatedUnitOnCom2> line_;
};

void GetAntennaInfoTest::init() {
    sim::SimOptions options;
    options.periodicReports = false;  // only what the session asks for
    line_ = std::make_unique<testing::SimulatedUnitOnCom2>(options);
    QVERIFY(line_->linked());
}

void GetAntennaInfoTest::cleanup() {
    line_.reset();
}

void GetAntennaInfoTest::statusPanelAndTableFillFromTheUnit() {
    constexpr int Patience = 8000;
    MainDialog d(line_->naming());
    QCOMPARE(d.serialPort.isOpen, 1);
    const sim::UnitState expected = line_->unit.state();
    d.button(id::GetAntennaInfo)->click();

    // Every check waits for its own value: the reports arrive over the paced line in
    // their own time.
    QTRY_COMPARE_WITH_TIMEOUT(d.controlText(id::ProductText),
                              QStringLiteral("KELVANDOR T6 PREMIUM  Ver 3.12"), Patience);
    QTRY_VERIFY_WITH_TIMEOUT(d.movePage.skewControlsVisible(), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(d.bitmapOf(id::LedTracking), ui::bitmap::LedBlue, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(d.model().antennaState, int{sim::StateTracking}, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(!d.controlText(id::SignalValue).trimmed().isEmpty(), Patience);
    // The frequency in use: the low oscillator for the low band, else the high one.
    const std::int32_t inUse = expected.band >= 2 ? expected.lnb[1] : expected.lnb[0];
    QTRY_COMPARE_WITH_TIMEOUT(d.controlText(id::LocalFreqValue), QString::number(inUse), Patience);

    const SatelliteTable& table = d.model().satellites;
    QTRY_COMPARE_WITH_TIMEOUT(table.satelliteCount, expected.satelliteCount, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(
        testing::satelliteTableMismatch(table, expected, expected.satelliteCount), QString(),
        Patience);
    for (std::size_t slot = 0; slot < expected.slotMap.size(); ++slot) {
        QTRY_COMPARE_WITH_TIMEOUT(table.slotMap[slot], expected.slotMap[slot], Patience);
    }
    QTRY_COMPARE_WITH_TIMEOUT(table.currentSatellite, sim::currentSatellite(expected), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(
        d.controlText(id::NameA),
        QString::fromStdString(sim::satelliteName(expected, expected.slotMap[0])), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(
        d.controlText(id::NameB),
        QString::fromStdString(sim::satelliteName(expected, expected.slotMap[1])), Patience);
    QVERIFY(line_->prompter.messages.empty());
    const std::vector<std::string> received = line_->unit.receivedLines();
    QVERIFY(received.size() >= 2);
    QCOMPARE(received[0], std::string("QS"));
    QCOMPARE(received[1], std::string("QI"));
}

void GetAntennaInfoTest::setupAndSatelliteSelectionRoundTrip() {
    MainDialog d(line_->naming());
    d.show();
    line_->prompter.answers = {ui::Answer::Ok};
    d.button(id::Setup)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.bitmapOf(id::LedSetup), ui::bitmap::LedBlue, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(d.model().antennaState, 0, 5000);

    // The selector follows the unit once it knows which satellites the slots hold.
    d.button(id::GetAntennaInfo)->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        SatelliteTable::isSatelliteIndex(d.model().satellites.currentSatellite), 8000);
    QCOMPARE(d.model().satellites.currentSlot, 0);
    d.button(id::SatB)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().satellites.currentSlot, 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(d.bitmapOf(id::LedSatB), ui::bitmap::LedBlue, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(d.bitmapOf(id::LedSatA), ui::bitmap::LedGrey, 5000);
    QCOMPARE(line_->unit.state().currentSlot, 1);

    line_->prompter.answers = {ui::Answer::Yes};
    QProgressBar* bar = d.progressBar(id::Progress);
    QVERIFY(!bar->isVisible());
    d.button(id::FactorySetting)->click();
    // No event has been handled since the click, so no progress report either.
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!line_->prompter.messages.empty() &&
                                 line_->prompter.messages.back().text ==
                                     QStringLiteral("Default setting complete successfully."),
                             15000);
    QTRY_VERIFY_WITH_TIMEOUT(bar->isHidden(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(bar->value(), 0, 5000);
}

KELVANDOR_QTEST(GetAntennaInfoTest, "get_antenna_info_test")
#include "get_antenna_info_test.moc"
