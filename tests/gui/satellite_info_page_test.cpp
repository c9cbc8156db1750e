// SPDX-License-Identifier: GPL-3.0-or-later
// The satellite information page: push-like buttons that follow the antenna, slot
// registration, the edited satellite as it goes out, the LNB and DiSEqC reports, and
// the satellite list. One main window serves the rows of a test function; frames are
// injected on the line and what the page writes is read back from it.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cmath>
#include <limits>
#include <memory>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "protocol/frame_codec.h"
#include "ui/text_numbers.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
using kelvandor::testing::linesOf;
using kelvandor::testing::packedName;
using Page = kelvandor::SatelliteInfoPage;

namespace {

constexpr int EditedSatellite = 3;
constexpr int VerificationRadios[] = {1108, 1109, 1110, 1111, 1112};
constexpr int PushButtons[] = {1040, 1041, 1042, 1044, 1045, 1070};

// What the user does to choose entry `index` of the page's satellite list.
void choose(Page& page, int index) {
    QComboBox* list = page.comboBox(Page::SatelliteList);
    list->setCurrentIndex(index);
    Q_EMIT list->activated(index);
}

// Satellite 3 as the antenna reports it.
void reportEditedSatellite(ControllerHarness& h) {
    const auto n = packedName("EUTEL9B");
    QVERIFY(h.deliver(cmd::NI, {3, 1300, 0, 0x13E, 0x200, 0x1A2C, 0x3E80, n[0], n[1]}));
    QVERIFY(h.deliver(cmd::Nu, {3, 900, 1, 0x64, 0x136, 0x1F4, 0x2710, n[0], n[1]}));
    QVERIFY(h.deliver(cmd::NT, {3, 11054, 11373, 12111, 12520, 27500, 27500, 27500, 29900, 2, 6}));
    QVERIFY(h.deliver(cmd::NU, {3, 11219, 11334, 11900, 12015, 27500, 27500, 29900, 27500, 4, 9}));
}

// The table of a unit with 13 satellites, satellite 3 fully described, slots 0 1 2 3 0.
void reportTable(ControllerHarness& h) {
    QVERIFY(h.deliver(cmd::NN, {13}));
    const char* names[] = {"ASTRA1", "HOTBIRD", "ASTRA2", "EUTEL9B", "ASTRA3"};
    for (int k = 0; k < 5; ++k) {
        const auto n = packedName(names[k]);
        QVERIFY(h.deliver(cmd::NI, {k, 1920 + k, 0, 1, 2, 3, 4, n[0], n[1]}));
    }
    reportEditedSatellite(h);
    QVERIFY(h.deliver(cmd::NP, {0, 1, 2, 3, 0}));
    QVERIFY(h.deliver(cmd::NS, {0}));
}

QList<int> buttonsIn(const Page& page) {
    QList<int> in;
    for (const int id : PushButtons) {
        if (page.checkable(id)->isChecked()) {
            in << id;
        }
    }
    return in;
}

}  // namespace

class SatelliteInfoPageTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void buttonsFollowTheAntenna_data();
    void buttonsFollowTheAntenna();
    void registerReplacesThePressedSlot_data();
    void registerReplacesThePressedSlot();
    void editSendsTheRecord_data();
    void editSendsTheRecord();
    void verificationModeWithoutRadioIsKept_data();
    void verificationModeWithoutRadioIsKept();
    void lnbReports_data();
    void lnbReports();
    void layoutFollowsTripleModeAndDiseqc();
    void listFollowsTheTable();
    void freshPageRegistersNothingBeforeTheSlots();

  private:
    Page& page() { return h_->dialog().satelliteInfoPage; }
    std::unique_ptr<ControllerHarness> h_;
};

void SatelliteInfoPageTest::initTestCase() {
    h_ = std::make_unique<ControllerHarness>();
    reportTable(*h_);
    h_->sentLines();
}

void SatelliteInfoPageTest::cleanupTestCase() {
    h_.reset();
}

void SatelliteInfoPageTest::buttonsFollowTheAntenna_data() {
    QTest::addColumn<int>("diseqcMode");
    QTest::addColumn<int>("lnbLow");
    QTest::addColumn<int>("lnbHigh");
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("triple");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QList<int>>("inAfter");
    const QList<int> notUseUniversal{1040, 1045};
    QTest::newRow("Change Band while Not Use is in")
        << 0 << 9750 << 10600 << 0 << 0 << 1041 << QStringList{"SQ 1"} << notUseUniversal;
    QTest::newRow("Not Use while it is in")
        << 0 << 9750 << 10600 << 0 << 0 << 1040 << QStringList{} << notUseUniversal;
    QTest::newRow("Change Satellite while Change Band is in")
        << 1 << 9750 << 10600 << 0 << 0 << 1042 << QStringList{"SQ 2"} << QList<int>{1041, 1045};
    QTest::newRow("Universal LNB while Single Band is in")
        << 0 << 10750 << 10750 << 0 << 0 << 1045 << QStringList{"SL 9750 10600"}
        << QList<int>{1040, 1044};
    QTest::newRow("Single Band while it is in")
        << 0 << 10750 << 10750 << 0 << 0 << 1044 << QStringList{} << QList<int>{1040, 1044};
    QTest::newRow("Single Band while the high band shows 10600")
        << 0 << 9750 << 10600 << 2 << 0 << 1044 << QStringList{"SL 10600 10600"} << notUseUniversal;
    QTest::newRow("triple mode on")
        << 0 << 9750 << 10600 << 0 << 0 << 1070 << QStringList{"TR 1"} << notUseUniversal;
    QTest::newRow("triple mode off") << 0 << 9750 << 10600 << 0 << 1 << 1070 << QStringList{"TR 0"}
                                     << QList<int>{1040, 1045, 1070};
    QTest::newRow("triple mode on while Change Satellite is in")
        << 2 << 9750 << 10600 << 0 << 0 << 1070 << QStringList{"TR 1", "SQ 0"} << QList<int>{1045};
}

void SatelliteInfoPageTest::buttonsFollowTheAntenna() {
    QFETCH(int, diseqcMode);
    QFETCH(int, lnbLow);
    QFETCH(int, lnbHigh);
    QFETCH(int, band);
    QFETCH(int, triple);
    QFETCH(int, clicked);
    QFETCH(QStringList, sent);
    QFETCH(QList<int>, inAfter);
    ControllerHarness& h = *h_;
    QVERIFY(h.deliver(cmd::NQ, {diseqcMode}));
    QVERIFY(h.deliver(cmd::Nw, {band, 0}));
    QVERIFY(h.deliver(cmd::NL, {lnbLow, lnbHigh, 0}));
    QVERIFY(h.deliver(cmd::TR, {triple}));
    h.sentLines();

    page().button(clicked)->click();
    QCOMPARE(linesOf(h.sentLines()), sent);
    QCOMPARE(buttonsIn(page()), inAfter);

    // Only the antenna's answer puts a DiSEqC button in.
    for (const QString& line : sent) {
        if (line.startsWith(QLatin1String("SQ "))) {
            const int mode = line.mid(3).toInt();
            QVERIFY(h.deliver(cmd::NQ, {mode}));
            for (int k = 0; k < 3; ++k) {
                QCOMPARE(page().checkable(DiseqcModeButtons::ButtonIds[k])->isChecked(), k == mode);
            }
        }
    }
}

void SatelliteInfoPageTest::registerReplacesThePressedSlot_data() {
    QTest::addColumn<QList<int>>("slots");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("triple");
    QTest::addColumn<int>("diseqcMode");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QString>("sent");
    QTest::newRow("Sat C, satellite 4")
        << QList<int>{0, 1, 2, 3, 0} << 4 << 1 << 0 << 1039 << QStringLiteral("SP 0 1 2 3 4");
    QTest::newRow("Sat A") << QList<int>{5, 6, 7, 8, 9} << 2 << 0 << 0 << 1030
                           << QStringLiteral("SP 2 6 7 8 9");
    QTest::newRow("Sat B") << QList<int>{5, 6, 7, 8, 9} << 2 << 0 << 0 << 1035
                           << QStringLiteral("SP 5 2 7 8 9");
    QTest::newRow("Sat A, DiSEqC on")
        << QList<int>{5, 6, 7, 8, 9} << 12 << 0 << 2 << 1036 << QStringLiteral("SP 5 6 12 8 9");
    QTest::newRow("Sat B, DiSEqC on")
        << QList<int>{5, 6, 7, 8, 9} << 0 << 0 << 2 << 1038 << QStringLiteral("SP 5 6 7 0 9");
    QTest::newRow("Sat A in triple mode")
        << QList<int>{5, 6, 7, 8, 9} << 1 << 1 << 0 << 1030 << QStringLiteral("SP 1 6 7 8 9");
    QTest::newRow("nothing selected")
        << QList<int>{5, 6, 7, 8, 9} << -1 << 0 << 0 << 1030 << QString();
}

void SatelliteInfoPageTest::registerReplacesThePressedSlot() {
    QFETCH(QList<int>, slots);
    QFETCH(int, selected);
    QFETCH(int, triple);
    QFETCH(int, diseqcMode);
    QFETCH(int, clicked);
    QFETCH(QString, sent);
    ControllerHarness& h = *h_;
    QVERIFY(h.deliver(cmd::NP, {slots[0], slots[1], slots[2], slots[3], slots[4]}));
    QVERIFY(h.deliver(cmd::TR, {triple}));
    QVERIFY(h.deliver(cmd::NQ, {diseqcMode}));
    h.sentLines();
    page().comboBox(Page::SatelliteList)->setCurrentIndex(selected);
    QVERIFY(page().isControlShown(clicked));
    QVERIFY(page().control(clicked)->isEnabled());

    page().button(clicked)->click();
    QCOMPARE(linesOf(h.sentLines()), sent.isNull() ? QStringList{} : QStringList{sent});
    // The page leaves the slots to the antenna's NP.
    for (int k = 0; k < SlotCount; ++k) {
        QCOMPARE(h.dialog().model().satellites.slotMap[static_cast<std::size_t>(k)], slots[k]);
    }
}

void SatelliteInfoPageTest::editSendsTheRecord_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<int>("eastWest");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<int>("wireLongitude");
    constexpr int Max = std::numeric_limits<std::int32_t>::max();
    constexpr int Min = std::numeric_limits<std::int32_t>::min();
    QTest::newRow("four characters, 101.0") << "ABCD"
                                            << "101.0" << 0 << "ABCD" << 10100;
    QTest::newRow("eight characters, 72.5 W") << "ASTRA19E"
                                              << "72.5" << 1 << "ASTRA19E" << 7250;
    QTest::newRow("ten characters cut to eight, 19.2") << "HOTBIRD13E"
                                                       << " 19.2" << 0 << "HOTBIRD1" << 1920;
    QTest::newRow("longitude beyond 32 bits") << "X"
                                              << "99999999" << 0 << "X" << Max;
    QTest::newRow("negative longitude beyond 32 bits") << "X"
                                                       << "-99999999" << 1 << "X" << Min;
    QTest::newRow("longitude beyond double") << "X"
                                             << "1e999" << 0 << "X" << Max;
    QTest::newRow("longitude that is no number") << ""
                                                 << "east" << 0 << "" << 0;
}

void SatelliteInfoPageTest::editSendsTheRecord() {
    QFETCH(QString, name);
    QFETCH(QString, longitude);
    QFETCH(int, eastWest);
    QFETCH(QString, storedName);
    QFETCH(int, wireLongitude);
    ControllerHarness& h = *h_;
    reportEditedSatellite(h);
    choose(page(), EditedSatellite);
    QCOMPARE(page().controlText(Page::NameEdit), QStringLiteral("EUTEL9B"));
    page().edit(Page::NameEdit)->setText(name);
    page().edit(Page::LongitudeEdit)->setText(longitude);
    page().comboBox(Page::EastWestList)->setCurrentIndex(eastWest);
    h.sentLines();
    h.prompter.pauses.clear();

    page().button(Page::EditButton)->click();
    const auto n = packedName(storedName.toLatin1().constData());
    const QString tail = QStringLiteral("%1 %2").arg(n[0]).arg(n[1]);
    QCOMPARE(linesOf(h.sentLines()),
             (QStringList{
                 QStringLiteral("EI 3 %1 %2 318 512 6700 16000 %3")
                     .arg(wireLongitude)
                     .arg(eastWest)
                     .arg(tail),
                 QStringLiteral("Eu 3 %1 %2 100 310 500 10000 %3")
                     .arg(wireLongitude)
                     .arg(eastWest)
                     .arg(tail),
                 QStringLiteral("ET 3 11054 11373 12111 12520 27500 27500 27500 29900 2 6"),
                 QStringLiteral("EU 3 11219 11334 11900 12015 27500 27500 29900 27500 2 9"),
             }));
    QCOMPARE(h.prompter.pauses, (std::vector<int>{200, 200}));
    const SatelliteRecord& stored = h.dialog().model().satellites.records[EditedSatellite];
    QCOMPARE(QString::fromLatin1(stored.primary.name), storedName);
    QCOMPARE(stored.primary.eastWest, eastWest);
    QCOMPARE(stored.primary.longitude, ui::leadingDecimal(longitude));
    QCOMPARE(stored.primaryTracking.values[8], 2);
}

void SatelliteInfoPageTest::verificationModeWithoutRadioIsKept_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("checked");  // radio shown checked, 0 for none
    QTest::addColumn<int>("clicked");  // radio the user picks, 0 for none
    QTest::addColumn<int>("sent");
    QTest::newRow("DSS Decode, DVB Lock Only chosen") << 3 << 1111 << 1109 << 1;
    QTest::newRow("DVB & AGC untouched") << 4 << 1112 << 0 << 4;
    QTest::newRow("mode 7 has no radio") << 7 << 0 << 0 << 7;
    QTest::newRow("mode -1 has no radio") << -1 << 0 << 0 << -1;
    QTest::newRow("mode 9, AGC Only chosen") << 9 << 0 << 1108 << 0;
}

void SatelliteInfoPageTest::verificationModeWithoutRadioIsKept() {
    QFETCH(int, stored);
    QFETCH(int, checked);
    QFETCH(int, clicked);
    QFETCH(int, sent);
    ControllerHarness& h = *h_;
    choose(page(), EditedSatellite);
    QVERIFY(
        h.deliver(cmd::NT, {3, 11054, 11373, 12111, 12520, 27500, 27500, 27500, 29900, stored, 6}));
    for (const int radio : VerificationRadios) {
        QCOMPARE(page().checkable(radio)->isChecked(), radio == checked);
    }
    if (clicked != 0) {
        page().checkable(clicked)->click();
    }
    h.sentLines();
    page().button(Page::EditButton)->click();
    const QStringList lines = linesOf(h.sentLines());
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[2].split(' ')[10].toInt(), sent);  // ET value 8
    QCOMPARE(lines[3].split(' ')[10].toInt(), sent);  // EU carries the primary value 8
    QCOMPARE(h.dialog().model().satellites.records[EditedSatellite].primaryTracking.values[8],
             sent);
}

void SatelliteInfoPageTest::lnbReports_data() {
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("band");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<int>("inButton");
    QTest::newRow("universal, high band in use")
        << 9750 << 10600 << 0 << 2 << "10600" << false << 1045;
    QTest::newRow("universal, low band in use")
        << 9750 << 10600 << 0 << 1 << "9750" << false << 1045;
    QTest::newRow("single band") << 10750 << 10750 << 0 << 3 << "10750" << true << 1044;
    // A report of the frequency in use leaves what the single-band set-up showed.
    QTest::newRow("frequency in use") << 9750 << 10600 << 1 << 2 << "11300" << true << 1044;
}

void SatelliteInfoPageTest::lnbReports() {
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, kind);
    QFETCH(int, band);
    QFETCH(QString, shown);
    QFETCH(bool, editable);
    QFETCH(int, inButton);
    ControllerHarness& h = *h_;
    QVERIFY(h.deliver(cmd::NL, {11300, 11300, 0}));
    QVERIFY(h.deliver(cmd::Nw, {band, 0}));
    QVERIFY(h.deliver(cmd::NL, {low, high, kind}));
    QCOMPARE(page().controlText(Page::LocalFrequencyEdit), shown);
    QCOMPARE(page().control(Page::LocalFrequencyEdit)->isEnabled(), editable);
    QCOMPARE(page().control(Page::SetLocalFrequencyButton)->isEnabled(), editable);
    QCOMPARE(page().checkable(Page::SingleBandButton)->isChecked(), inButton == 1044);
    QCOMPARE(page().checkable(Page::UniversalLnbButton)->isChecked(), inButton == 1045);
    if (editable) {
        h.sentLines();
        page().edit(Page::LocalFrequencyEdit)->setText(QStringLiteral("10700.9"));
        page().button(Page::SetLocalFrequencyButton)->click();
        QCOMPARE(linesOf(h.sentLines()), QStringList{"SL 10700 10700"});
    }
}

void SatelliteInfoPageTest::layoutFollowsTripleModeAndDiseqc() {
    ControllerHarness& h = *h_;
    Page& p = page();
    const int diseqcOnly[] = {Page::RegisterDiseqcA, Page::RegisterDiseqcB, Page::DiseqcOffGroup,
                              Page::DiseqcOnGroup};
    QVERIFY(h.deliver(cmd::TR, {0}));
    QVERIFY(h.deliver(cmd::NQ, {0}));
    for (const int id : diseqcOnly) {
        QVERIFY(p.isControlShown(id));
    }
    QVERIFY(!p.isControlShown(Page::TripleGroup));
    QVERIFY(!p.isControlShown(Page::RegisterC));
    QVERIFY(!p.control(Page::RegisterDiseqcA)->isEnabled());
    QVERIFY(!p.control(Page::RegisterDiseqcB)->isEnabled());

    QVERIFY(h.deliver(cmd::NQ, {2}));
    QVERIFY(p.control(Page::RegisterDiseqcA)->isEnabled());
    QVERIFY(p.control(Page::RegisterDiseqcB)->isEnabled());

    QVERIFY(h.deliver(cmd::TR, {5}));
    QVERIFY(p.checkable(Page::TripleModeButton)->isChecked());
    for (const int id : diseqcOnly) {
        QVERIFY(!p.isControlShown(id));
    }
    for (const int id : {Page::TripleGroup, Page::RegisterC, Page::RegisterA, Page::RegisterB}) {
        QVERIFY(p.isControlShown(id));
    }

    // A DiSEqC mode without a button leaves the buttons as they were.
    QVERIFY(h.deliver(cmd::NQ, {5}));
    QCOMPARE(buttonsIn(p).contains(DiseqcModeButtons::ChangeSatelliteId), true);
    QCOMPARE(buttonsIn(p).contains(DiseqcModeButtons::NotUseId), false);

    QVERIFY(h.deliver(cmd::TR, {0}));
    QVERIFY(!p.checkable(Page::TripleModeButton)->isChecked());
    QVERIFY(p.isControlShown(Page::RegisterDiseqcA));
    QVERIFY(!p.isControlShown(Page::RegisterC));
}

void SatelliteInfoPageTest::listFollowsTheTable() {
    ControllerHarness& h = *h_;
    QComboBox* list = page().comboBox(Page::SatelliteList);
    reportEditedSatellite(h);
    // NN selects the satellite in use and shows it.
    QVERIFY(h.deliver(cmd::NP, {3, 1, 2, 3, 0}));
    QVERIFY(h.deliver(cmd::NS, {0}));
    QVERIFY(h.deliver(cmd::NN, {13}));
    QCOMPARE(list->count(), 13);
    QCOMPARE(list->currentIndex(), 3);
    QCOMPARE(page().controlText(Page::NameEdit), QStringLiteral("EUTEL9B"));
    QCOMPARE(page().controlText(Page::LongitudeEdit), QStringLiteral(" 13.0"));

    // NI refills the list and keeps the selection.
    choose(page(), 1);
    const auto n = packedName("THOR");
    QVERIFY(h.deliver(cmd::NI, {1, 80, 1, 0, 0, 0, 0, n[0], n[1]}));
    QCOMPARE(list->itemText(1), QStringLiteral("THOR"));
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(page().controlText(Page::NameEdit), QStringLiteral("THOR"));
    QCOMPARE(page().controlText(Page::LongitudeEdit), QStringLiteral("  0.8"));
    QCOMPARE(page().comboBox(Page::EastWestList)->currentIndex(), 1);

    // A count beyond the table fills 20 entries; the reports that follow read inside it.
    QVERIFY(h.deliver(cmd::NN, {25}));
    QCOMPARE(list->count(), 20);
    choose(page(), 19);
    QVERIFY(h.deliver(cmd::NT, {0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0}));
    QVERIFY(h.deliver(cmd::NI, {19, 100, 0, 0, 0, 0, 0, n[0], n[1]}));
    QCOMPARE(list->count(), 20);
    QCOMPARE(list->currentIndex(), 19);

    // No satellite: the list is empty and Edit sends nothing.
    QVERIFY(h.deliver(cmd::NN, {-3}));
    QCOMPARE(list->count(), 0);
    h.sentLines();
    page().button(Page::EditButton)->click();
    page().button(Page::RegisterA)->click();
    QCOMPARE(linesOf(h.sentLines()), QStringList{});
    QVERIFY(h.deliver(cmd::NN, {13}));
}

void SatelliteInfoPageTest::freshPageRegistersNothingBeforeTheSlots() {
    ControllerHarness h;
    Page& p = h.dialog().satelliteInfoPage;
    QVERIFY(!p.control(Page::RegisterDiseqcA)->isEnabled());
    QVERIFY(!p.control(Page::RegisterDiseqcB)->isEnabled());
    QCOMPARE(buttonsIn(p), QList<int>{1040});
    QVERIFY(h.deliver(cmd::NN, {13}));
    p.comboBox(Page::SatelliteList)->setCurrentIndex(4);
    h.sentLines();
    // The slot map still says "no satellite": SP would wipe the antenna's registrations.
    p.button(Page::RegisterA)->click();
    p.button(Page::RegisterB)->click();
    QCOMPARE(linesOf(h.sentLines()), QStringList{});
    QVERIFY(h.deliver(cmd::NP, {0, 1, 2, 3, 0}));
    p.button(Page::RegisterB)->click();
    QCOMPARE(linesOf(h.sentLines()), QStringList{"SP 0 4 2 3 0"});
    // The longitude encoder gives 0 for a value that is no number at all.
    QCOMPARE(encodeLongitude(std::nan("")), 0);
}

KELVANDOR_QTEST(SatelliteInfoPageTest, "satellite_info_page_test")
#include "satellite_info_page_test.moc"
