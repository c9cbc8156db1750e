// SPDX-License-Identifier: GPL-3.0-or-later
// Edits made on the satellite information page and the tracking pages against the
// simulated unit over a real pty, with real timers: the unit takes them in set-up mode,
// stores them, and its echoes show the stored data again on the pages and in the main
// window.
#include <QComboBox>
#include <QLineEdit>
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
using InfoPage = kelvandor::SatelliteInfoPage;

namespace {

constexpr int WaitMs = 8000;

void choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    Q_EMIT list->activated(index);
}

// The frames the unit received since `from`, in the decode line format.
QStringList receivedSince(const sim::Simulator& unit, std::size_t from) {
    QStringList lines;
    const std::vector<std::string> all = unit.receivedLines();
    for (std::size_t k = from; k < all.size(); ++k) {
        lines << QString::fromStdString(all[k]);
    }
    return lines;
}

}  // namespace

class SatelliteEditTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init();
    void cleanup();
    void editedSatelliteComesBackFromTheUnit();
    void trackingEditsComeBackFromTheUnit();

  private:
    // Set-up mode, then Get Antenna Information until every page knows the table.
    void startSession(MainDialog& d);

    std::unique_ptr<testing::SimulatedUnitOnCom2> line_;
};

void SatelliteEditTest::init() {
    sim::SimOptions options;
    options.periodicReports = false;
    line_ = std::make_unique<testing::SimulatedUnitOnCom2>(options);
    QVERIFY(line_->linked());
}

void SatelliteEditTest::cleanup() {
    line_.reset();
}

void SatelliteEditTest::startSession(MainDialog& d) {
    QCOMPARE(d.serialPort.isOpen, 1);
    line_->prompter.answers = {ui::Answer::Ok};
    d.button(id::Setup)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().antennaState, 0, WaitMs);
    d.button(id::GetAntennaInfo)->click();
    const sim::UnitState unit = line_->unit.state();
    // NS comes after the whole table and the slots.
    QTRY_COMPARE_WITH_TIMEOUT(d.model().satellites.currentSatellite, sim::currentSatellite(unit),
                              WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(d.satelliteInfoPage.comboBox(InfoPage::SatelliteList)->currentIndex(),
                              sim::currentSatellite(unit), WaitMs);
    QCOMPARE(d.satelliteInfoPage.comboBox(InfoPage::SatelliteList)->count(), unit.satelliteCount);
    QCOMPARE(line_->prompter.messages.size(), std::size_t{1});  // the set-up question
}

void SatelliteEditTest::editedSatelliteComesBackFromTheUnit() {
    MainDialog d(line_->naming());
    startSession(d);
    if (QTest::currentTestFailed()) {
        return;
    }
    InfoPage& page = d.satelliteInfoPage;
    const SatelliteTable& table = d.model().satellites;
    QCOMPARE(d.controlText(id::NameA), QStringLiteral("ASTRA1"));

    // Satellite 2 gets a new name and position and is registered for Sat A.
    choose(page.comboBox(InfoPage::SatelliteList), 2);
    QCOMPARE(page.controlText(InfoPage::NameEdit), QStringLiteral("ASTRA2"));
    page.edit(InfoPage::NameEdit)->setText(QStringLiteral("KVTEST-10CH"));
    page.edit(InfoPage::LongitudeEdit)->setText(QStringLiteral("101.009"));
    page.comboBox(InfoPage::EastWestList)->setCurrentIndex(1);
    const std::size_t before = line_->unit.receivedLines().size();
    page.button(InfoPage::EditButton)->click();

    // The unit's echo puts the stored name and position back on the page.
    QTRY_COMPARE_WITH_TIMEOUT(table.records[2].primary.longitude, 101.0, WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(InfoPage::LongitudeEdit), QStringLiteral("101.0"),
                              WaitMs);
    QCOMPARE(page.controlText(InfoPage::NameEdit), QStringLiteral("KVTEST-1"));
    QCOMPARE(page.comboBox(InfoPage::SatelliteList)->itemText(2), QStringLiteral("KVTEST-1"));
    QCOMPARE(page.comboBox(InfoPage::SatelliteList)->currentIndex(), 2);
    QCOMPARE(page.comboBox(InfoPage::EastWestList)->currentIndex(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(
        d.secondaryTrackingPage.comboBox(TrackingPage::SatelliteList)->itemText(2),
        QStringLiteral("KVTEST-1"), WaitMs);
    QCOMPARE(d.primaryTrackingPage.comboBox(TrackingPage::SatelliteList)->itemText(2),
             QStringLiteral("KVTEST-1"));

    const QStringList sent = receivedSince(line_->unit, before);
    QCOMPARE(sent.size(), 4);
    QVERIFY2(sent[0].startsWith(QLatin1String("EI 2 10100 1 ")), qPrintable(sent[0]));
    QVERIFY2(sent[1].startsWith(QLatin1String("Eu 2 10100 1 ")), qPrintable(sent[1]));
    const sim::UnitState stored = line_->unit.state();
    QCOMPARE(QString::fromStdString(sim::satelliteName(stored, 2)), QStringLiteral("KVTEST-1"));
    QCOMPARE(stored.satellites[2].primary[sim::BlockLongitude], 10100);
    QCOMPARE(stored.satellites[2].secondary[sim::BlockLongitude], 10100);

    // Registering it for Sat A: the unit's NP gives the main window its new name.
    page.button(InfoPage::RegisterA)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.controlText(id::NameA), QStringLiteral("KVTEST-1"), WaitMs);
    QCOMPARE(table.slotMap[0], 2);
    QCOMPARE(line_->unit.state().slotMap[0], 2);
    QCOMPARE(line_->prompter.messages.size(), std::size_t{1});  // nothing was refused
}

void SatelliteEditTest::trackingEditsComeBackFromTheUnit() {
    MainDialog d(line_->naming());
    startSession(d);
    if (QTest::currentTestFailed()) {
        return;
    }
    const int satellite = d.model().satellites.currentSatellite;
    TrackingPage& primary = d.primaryTrackingPage;
    TrackingPage& secondary = d.secondaryTrackingPage;
    QCOMPARE(primary.comboBox(TrackingPage::SatelliteList)->currentIndex(), satellite);

    // The HIGH band opens when the unit reports DiSEqC mode Change Band.
    QLineEdit* highFrequency = primary.edit(TrackingPage::Transponders[3].frequency);
    QVERIFY(!highFrequency->isEnabled());
    primary.button(DiseqcModeButtons::ChangeBandId)->click();
    QTRY_VERIFY_WITH_TIMEOUT(highFrequency->isEnabled(), WaitMs);
    QVERIFY(secondary.checkable(DiseqcModeButtons::ChangeBandId)->isChecked());

    primary.edit(TrackingPage::Transponders[0].nid)->setText(QStringLiteral("fff3"));
    primary.edit(TrackingPage::Transponders[1].frequency)->setText(QStringLiteral("11500"));
    highFrequency->setText(QStringLiteral("12700"));
    primary.button(TrackingPage::EditButton)->click();
    secondary.edit(TrackingPage::Transponders[1].symbolRate)->setText(QStringLiteral("30000"));
    secondary.edit(TrackingPage::Transponders[2].nid)->setText(QStringLiteral("0x7a"));
    secondary.button(TrackingPage::EditButton)->click();
    // The unit's echoes rewrite the pages from the table: what was stored shows again.
    QTRY_COMPARE_WITH_TIMEOUT(primary.controlText(TrackingPage::Transponders[0].nid),
                              QStringLiteral("FFF3"), WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(secondary.controlText(TrackingPage::Transponders[2].nid),
                              QStringLiteral("007A"), WaitMs);
    QCOMPARE(primary.controlText(TrackingPage::Transponders[1].frequency), QStringLiteral("11500"));
    QCOMPARE(highFrequency->text(), QStringLiteral("12700"));
    QCOMPARE(secondary.controlText(TrackingPage::Transponders[1].symbolRate),
             QStringLiteral("30000"));
    const sim::SatelliteEntry stored =
        line_->unit.state().satellites[static_cast<std::size_t>(satellite)];
    QCOMPARE(stored.primary[sim::BlockFirstNid], 65523);
    QCOMPARE(stored.primaryTracking[1], 11500);
    QCOMPARE(stored.primaryTracking[3], 12700);
    QCOMPARE(stored.secondaryTracking[5], 30000);
    QCOMPARE(stored.secondary[sim::BlockFirstNid + 2], 0x7a);

    // A click on a transponder LED: the unit switches and reports the NID in use.
    QTest::mouseClick(primary.picture(TrackingPage::Transponders[0].led), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(primary.controlText(TrackingPage::NidInUse), QStringLiteral("FFF3"),
                              WaitMs);
    QTest::mouseClick(secondary.picture(TrackingPage::Transponders[2].led), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(secondary.bitmapOf(TrackingPage::Transponders[2].led),
                              ui::bitmap::LedBlue, WaitMs);
    QCOMPARE(primary.bitmapOf(TrackingPage::Transponders[0].led), ui::bitmap::LedGrey);
    QCOMPARE(line_->unit.state().band, 2);
    QCOMPARE(line_->prompter.messages.size(), std::size_t{1});  // nothing was refused
}

KELVANDOR_QTEST(SatelliteEditTest, "satellite_edit_test")
#include "satellite_edit_test.moc"
