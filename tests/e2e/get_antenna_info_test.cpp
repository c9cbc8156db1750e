// The controller against the simulated antenna control unit over a real pty, with real
// timers: the automatic connection at start, and Get Antenna Information filling the
// status panel and the satellite table.
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
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
    ComPortNaming naming() const;

    std::unique_ptr<QTemporaryDir> ports_;
    std::unique_ptr<sim::Simulator> unit_;
    ui::ScriptedPrompter prompter_;
};

void GetAntennaInfoTest::init() {
    resetReceiveBufferForTest();
    ui::installPrompter(&prompter_);
    prompter_ = ui::ScriptedPrompter{};
    ports_ = std::make_unique<QTemporaryDir>();
    sim::SimOptions options;
    options.periodicReports = false;  // only what the session asks for
    unit_ = std::make_unique<sim::Simulator>(options);
    QVERIFY(unit_->start());
    QVERIFY(unit_->linkAs(ports_->path().toStdString(), 2));
}

void GetAntennaInfoTest::cleanup() {
    unit_.reset();
    ports_.reset();
    ui::installPrompter(nullptr);
    resetReceiveBufferForTest();
}

ComPortNaming GetAntennaInfoTest::naming() const {
    return ComPortNaming::linksOnlyIn(ports_->path().toStdString());
}

void GetAntennaInfoTest::statusPanelAndTableFillFromTheUnit() {
    MainDialog d(naming());
    QCOMPARE(d.serialPort.isOpen, 1);
    const sim::UnitState expected = unit_->state();
    d.button(id::GetAntennaInfo)->click();

    QTRY_VERIFY_WITH_TIMEOUT(d.controlText(id::ProductText).contains(QStringLiteral("Ver 3.12")),
                             8000);
    QVERIFY(d.controlText(id::ProductText).contains(QStringLiteral("PREMIUM")));
    QVERIFY(d.movePage.skewControlsVisible());
    QCOMPARE(d.bitmapOf(id::LedTracking), ui::bitmap::LedBlue);
    QCOMPARE(d.model().antennaState, int{sim::StateTracking});

    // The satellites arrive last; wait for the whole table.
    const SatelliteTable& table = d.model().satellites;
    QTRY_COMPARE_WITH_TIMEOUT(table.satelliteCount, expected.satelliteCount, 8000);
    const int last = expected.satelliteCount - 1;
    QTRY_VERIFY_WITH_TIMEOUT(
        QString::fromLatin1(table.records[static_cast<std::size_t>(last)].primary.name).trimmed() ==
            QString::fromStdString(sim::satelliteName(expected, last)),
        8000);
    QTRY_COMPARE_WITH_TIMEOUT(
        table.records[static_cast<std::size_t>(last)].secondaryTracking.values[0],
        expected.satellites[static_cast<std::size_t>(last)].secondaryTracking[0], 8000);
    for (int k = 0; k < expected.satelliteCount; ++k) {
        const auto& got = table.records[static_cast<std::size_t>(k)];
        const auto& want = expected.satellites[static_cast<std::size_t>(k)];
        QCOMPARE(QString::fromLatin1(got.primary.name),
                 QString::fromStdString(sim::satelliteName(expected, k)));
        QCOMPARE(static_cast<std::int32_t>(got.primary.longitude * 100.0 + 0.5),
                 want.primary[sim::BlockLongitude]);
        QCOMPARE(got.primaryTracking.values[0], want.primaryTracking[0]);
    }
    QTRY_COMPARE_WITH_TIMEOUT(table.slotMap[0], expected.slotMap[0], 8000);
    QCOMPARE(table.currentSatellite, sim::currentSatellite(expected));
    QCOMPARE(d.controlText(id::NameA),
             QString::fromStdString(sim::satelliteName(expected, expected.slotMap[0])));
    QCOMPARE(d.controlText(id::NameB),
             QString::fromStdString(sim::satelliteName(expected, expected.slotMap[1])));
    QVERIFY(!d.controlText(id::SignalValue).trimmed().isEmpty());
    QVERIFY(!d.controlText(id::LocalFreqValue).isEmpty());
    QVERIFY(prompter_.messages.empty());
    QVERIFY(unit_->receivedLines().size() >= 2);
    QCOMPARE(unit_->receivedLines()[0], std::string("QS"));
    QCOMPARE(unit_->receivedLines()[1], std::string("QI"));
}

void GetAntennaInfoTest::setupAndSatelliteSelectionRoundTrip() {
    MainDialog d(naming());
    prompter_.answers = {ui::Answer::Ok};
    d.button(id::Setup)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.bitmapOf(id::LedSetup), ui::bitmap::LedBlue, 5000);
    QCOMPARE(d.model().antennaState, 0);

    // The selector follows the unit once it knows which satellites the slots hold.
    d.button(id::GetAntennaInfo)->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        SatelliteTable::isSatelliteIndex(d.model().satellites.currentSatellite), 8000);
    d.button(id::SatB)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().satellites.currentSlot, 1, 5000);
    QCOMPARE(d.bitmapOf(id::LedSatB), ui::bitmap::LedBlue);
    QCOMPARE(d.bitmapOf(id::LedSatA), ui::bitmap::LedGrey);

    prompter_.answers = {ui::Answer::Yes};
    d.button(id::FactorySetting)->click();
    QVERIFY(d.progressBar(id::Progress)->isVisible() || !d.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(
        !prompter_.messages.empty() && prompter_.messages.back().text ==
                                           QStringLiteral("Default setting complete successfully."),
        15000);
    QVERIFY(d.progressBar(id::Progress)->isHidden());
    QCOMPARE(d.progressBar(id::Progress)->value(), 0);
}

QTEST_MAIN(GetAntennaInfoTest)
#include "get_antenna_info_test.moc"
