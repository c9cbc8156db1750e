// SPDX-License-Identifier: GPL-3.0-or-later
// The two tracking information pages: the selected satellite's transponders shown and
// sent back, NIDs in hexadecimal both ways, the polarisation and band control, the
// transponder in use, and the HIGH band following the DiSEqC mode. Rows name the page
// they run on; one main window serves the rows of a test function.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "protocol/frame_codec.h"
#include "ui/bitmaps.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
using kelvandor::testing::linesOf;
using kelvandor::testing::packedName;
using Page = kelvandor::TrackingPage;
namespace bm = kelvandor::ui::bitmap;

namespace {

constexpr int Satellite = 5;
constexpr int Leds[] = {1038, 1039, 1017, 1018};
constexpr int LowControls[] = {1087, 1088, 1028, 1089, 1090, 1081};
constexpr int HighControls[] = {1091, 1092, 1084, 1093, 1094, 1099, 1033, 1034, 1020, 1021,
                                1022, 1023, 1024, 1025, 1026, 1027, 1029, 1030, 1031, 1032};
constexpr int PolRadios[] = {1105, 1106, 1107};
constexpr int BandRadios[] = {1108, 1109, 1110};

// The parameters of a line "XX p0 p1 ...".
QList<int> paramsOf(const QString& line) {
    QList<int> params;
    const QStringList fields = line.split(QLatin1Char(' '));
    for (qsizetype k = 1; k < fields.size(); ++k) {
        params << fields[k].toInt();
    }
    return params;
}

// Injects `id` with `params` as the antenna would answer and waits until it is handled.
bool deliverList(ControllerHarness& h, CommandId id, const QList<int>& params) {
    std::int32_t values[MaxParams] = {};
    std::copy(params.begin(), params.end(), values);
    return h.deliver(id, {values[0], values[1], values[2], values[3], values[4], values[5],
                          values[6], values[7], values[8], values[9], values[10]});
}

// Satellite 5 as the antenna reports it, in use on slot A. The primary NID of the
// first transponder is given; the page shows it back.
void reportSatellite(ControllerHarness& h, int primaryNid0 = 0xFFF0, int secondaryNid0 = 2,
                     int polBand = 6) {
    const auto n = packedName("ASTRA1");
    QVERIFY(h.deliver(cmd::NI, {Satellite, 1920, 0, primaryNid0, 0x85, 0x3EF, 0x442, n[0], n[1]}));
    QVERIFY(h.deliver(cmd::Nu, {Satellite, 2820, 1, secondaryNid0, 0x7D2, 0xBB8, 0xFA0, n[0], 0}));
    QVERIFY(h.deliver(
        cmd::NT, {Satellite, 11494, 11836, 12188, 12603, 22000, 27500, 27500, 22000, 2, polBand}));
    QVERIFY(h.deliver(cmd::NU,
                      {Satellite, 10773, 11224, 11954, 12422, 22000, 27500, 27500, 27500, 4, 9}));
    QVERIFY(h.deliver(cmd::NS, {0}));
}

}  // namespace

class TrackingPageTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void showsTheSelectedSatellite_data();
    void showsTheSelectedSatellite();
    void editSendsThePagesBlock_data();
    void editSendsThePagesBlock();
    void nidRoundTrip_data();
    void nidRoundTrip();
    void polAndBandRoundTrip_data();
    void polAndBandRoundTrip();
    void transponderInUse_data();
    void transponderInUse();
    void highBandFollowsDiseqcMode_data();
    void highBandFollowsDiseqcMode();
    void freshPageAndOversizedCount();

  private:
    Page& page(bool secondary) {
        return secondary ? h_->dialog().secondaryTrackingPage : h_->dialog().primaryTrackingPage;
    }
    std::unique_ptr<ControllerHarness> h_;
};

void TrackingPageTest::initTestCase() {
    h_ = std::make_unique<ControllerHarness>();
    QVERIFY(h_->deliver(cmd::NN, {13}));
    QVERIFY(h_->deliver(cmd::NP, {Satellite, 1, 2, 3, 4}));
    QVERIFY(h_->deliver(cmd::NQ, {1}));
    reportSatellite(*h_);
    h_->sentLines();
}

void TrackingPageTest::cleanupTestCase() {
    h_.reset();
}

void TrackingPageTest::showsTheSelectedSatellite_data() {
    QTest::addColumn<bool>("secondary");
    QTest::addColumn<QStringList>("texts");  // 1087..1094, then the four NIDs
    QTest::newRow("primary") << false
                             << QStringList{"11494", "22000", "11836", "27500", "12188", "27500",
                                            "12603", "22000", "FFF0",  "0085",  "03EF",  "0442"};
    QTest::newRow("secondary") << true
                               << QStringList{"10773", "22000", "11224", "27500", "11954", "27500",
                                              "12422", "27500", "0002",  "07D2",  "0BB8",  "0FA0"};
}

void TrackingPageTest::showsTheSelectedSatellite() {
    QFETCH(bool, secondary);
    QFETCH(QStringList, texts);
    reportSatellite(*h_);
    Page& p = page(secondary);
    QCOMPARE(p.comboBox(Page::SatelliteList)->currentIndex(), Satellite);
    QStringList shown;
    for (const auto& t : Page::Transponders) {
        shown << p.controlText(t.frequency) << p.controlText(t.symbolRate);
    }
    for (const auto& t : Page::Transponders) {
        shown << p.controlText(t.nid);
    }
    QCOMPARE(shown, texts);
    // Value 9 = 6: "18V" and "0 KHz" on the primary page; the secondary page has neither.
    QCOMPARE(p.control(Page::FirstPolRadio) != nullptr, !secondary);
    QCOMPARE(p.control(Page::NidInUse) != nullptr, !secondary);
    if (!secondary) {
        QVERIFY(p.checkable(1107)->isChecked());
        QVERIFY(p.checkable(1109)->isChecked());
    }
}

void TrackingPageTest::editSendsThePagesBlock_data() {
    QTest::addColumn<bool>("secondary");
    QTest::addColumn<QStringList>("sent");
    const auto n = packedName("ASTRA1");
    const QString name = QStringLiteral("%1 %2").arg(n[0]).arg(n[1]);
    // The primary page chooses "13V" and "22KHz" (value 9 = 1 + 4 x 2); the secondary
    // page sends its own position and NIDs with the primary name, value 9 unchanged.
    QTest::newRow("primary") << false
                             << QStringList{
                                    QStringLiteral("EI 5 1920 0 65520 65523 1007 1090 ") + name,
                                    "ET 5 11500 11836 12188 12603 22000 27500 27500 30000 2 9"};
    QTest::newRow("secondary") << true
                               << QStringList{
                                      QStringLiteral("Eu 5 2820 1 2 65523 3000 4000 ") + name,
                                      "EU 5 11500 11224 11954 12422 22000 27500 27500 30000 4 9"};
}

void TrackingPageTest::editSendsThePagesBlock() {
    QFETCH(bool, secondary);
    QFETCH(QStringList, sent);
    ControllerHarness& h = *h_;
    reportSatellite(h);
    Page& p = page(secondary);
    p.edit(Page::Transponders[0].frequency)->setText(QStringLiteral("11500"));
    p.edit(Page::Transponders[3].symbolRate)->setText(QStringLiteral("30000"));
    p.edit(Page::Transponders[1].nid)->setText(QStringLiteral("fff3"));
    if (!secondary) {
        p.checkable(1106)->click();
        p.checkable(1110)->click();
    }
    h.sentLines();
    h.prompter.pauses.clear();
    p.button(Page::EditButton)->click();
    QCOMPARE(linesOf(h.sentLines()), sent);
    QVERIFY(h.prompter.pauses.empty());

    const SatelliteRecord& r = h.dialog().model().satellites.records[Satellite];
    const TrackingBlock& block = secondary ? r.secondaryTracking : r.primaryTracking;
    const SatelliteDefinition& definition = secondary ? r.secondary : r.primary;
    QCOMPARE(block.values[0], 11500);
    QCOMPARE(block.values[7], 30000);
    QCOMPARE(definition.nids[1], 65523);
    // The other block is not touched.
    const TrackingBlock& other = secondary ? r.primaryTracking : r.secondaryTracking;
    QCOMPARE(other.values[0], secondary ? 11494 : 10773);
}

void TrackingPageTest::nidRoundTrip_data() {
    QTest::addColumn<bool>("secondary");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("typed");  // a null text leaves the edit as shown
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("shownAgain");
    QTest::newRow("fff3, primary") << false << 0x13E << "fff3" << 65523 << "FFF3";
    QTest::newRow("fff3, secondary") << true << 0x13E << "fff3" << 65523 << "FFF3";
    QTest::newRow("0x prefix and blanks") << false << 0 << " 0x1a" << 26 << "001A";
    QTest::newRow("not hexadecimal keeps the NID") << false << 0x13E << "xyz" << 0x13E << "013E";
    QTest::newRow("empty keeps the NID") << true << 0x200 << "" << 0x200 << "0200";
    QTest::newRow("beyond 7FFFFFFF saturates")
        << false << 0 << "1FFFFFFFF" << 0x7FFFFFFF << "7FFFFFFF";
    QTest::newRow("FFFFFFFF as shown goes back unchanged")
        << false << -1 << QString() << -1 << "FFFFFFFF";
    QTest::newRow("five digits as shown") << true << 0x12345 << QString() << 0x12345 << "12345";
}

void TrackingPageTest::nidRoundTrip() {
    QFETCH(bool, secondary);
    QFETCH(int, stored);
    QFETCH(QString, typed);
    QFETCH(int, sent);
    QFETCH(QString, shownAgain);
    ControllerHarness& h = *h_;
    reportSatellite(h, secondary ? 0 : stored, secondary ? stored : 0);
    Page& p = page(secondary);
    QLineEdit* nid = p.edit(Page::Transponders[0].nid);
    if (!typed.isNull()) {
        nid->setText(typed);
    }
    h.sentLines();
    p.button(Page::EditButton)->click();
    const QStringList lines = linesOf(h.sentLines());
    QCOMPARE(lines.size(), 2);
    const QList<int> definition = paramsOf(lines[0]);
    QCOMPARE(definition[3], sent);

    // The antenna echoes both frames; the page shows the stored NID again.
    nid->setText(QStringLiteral("stale"));
    QVERIFY(deliverList(h, secondary ? cmd::Nu : cmd::NI, definition));
    QVERIFY(deliverList(h, secondary ? cmd::NU : cmd::NT, paramsOf(lines[1])));
    QCOMPARE(nid->text(), shownAgain);
}

void TrackingPageTest::polAndBandRoundTrip_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("checkedPol");  // 0: no radio checked
    QTest::addColumn<int>("checkedBand");
    QTest::addColumn<int>("clickedPol");  // 0: none clicked
    QTest::addColumn<int>("clickedBand");
    QTest::addColumn<int>("sent");
    QTest::newRow("18V, 0 KHz to 13V, 22KHz") << 6 << 1107 << 1109 << 1106 << 1110 << 9;
    QTest::newRow("untouched") << 6 << 1107 << 1109 << 0 << 0 << 6;
    QTest::newRow("pol 3 has no radio") << 3 << 0 << 1108 << 0 << 0 << 3;
    QTest::newRow("band 3 has no radio") << 13 << 1106 << 0 << 0 << 0 << 13;
    QTest::newRow("band 3 kept, pol chosen") << 13 << 1106 << 0 << 1107 << 0 << 14;
    QTest::newRow("negative value") << -1 << 0 << 1108 << 0 << 0 << -1;
}

void TrackingPageTest::polAndBandRoundTrip() {
    QFETCH(int, stored);
    QFETCH(int, checkedPol);
    QFETCH(int, checkedBand);
    QFETCH(int, clickedPol);
    QFETCH(int, clickedBand);
    QFETCH(int, sent);
    ControllerHarness& h = *h_;
    reportSatellite(h, 0xFFF0, 2, stored);
    Page& p = page(false);
    for (const int radio : PolRadios) {
        QCOMPARE(p.checkable(radio)->isChecked(), radio == checkedPol);
    }
    for (const int radio : BandRadios) {
        QCOMPARE(p.checkable(radio)->isChecked(), radio == checkedBand);
    }
    for (const int radio : {clickedPol, clickedBand}) {
        if (radio != 0) {
            p.checkable(radio)->click();
        }
    }
    h.sentLines();
    p.button(Page::EditButton)->click();
    const QStringList lines = linesOf(h.sentLines());
    QCOMPARE(lines.size(), 2);
    QCOMPARE(paramsOf(lines[1]).at(10), sent);
    QCOMPARE(h.dialog().model().satellites.records[Satellite].primaryTracking.values[9], sent);
}

void TrackingPageTest::transponderInUse_data() {
    QTest::addColumn<bool>("secondary");
    QTest::newRow("primary") << false;
    QTest::newRow("secondary") << true;
}

void TrackingPageTest::transponderInUse() {
    QFETCH(bool, secondary);
    ControllerHarness& h = *h_;
    Page& p = page(secondary);
    const auto lit = [&p] {
        QList<int> blue;
        for (const int led : Leds) {
            if (p.bitmapOf(led) == bm::LedBlue) {
                blue << led;
            } else if (p.bitmapOf(led) != bm::LedGrey) {
                blue << -led;
            }
        }
        return blue;
    };
    QVERIFY(h.deliver(cmd::ID, {0x1234}));
    QVERIFY(h.deliver(cmd::Nw, {2, 0}));
    QCOMPARE(lit(), QList<int>{1017});
    if (!secondary) {
        QCOMPARE(p.controlText(Page::NidInUse), QStringLiteral("0000"));
        QVERIFY(h.deliver(cmd::ID, {4102}));
        QCOMPARE(p.controlText(Page::NidInUse), QStringLiteral("1006"));
    }

    // A click asks for the transponder; the LED moves only with the antenna's Nw.
    h.sentLines();
    QTest::mouseClick(p.picture(1039), Qt::LeftButton);
    QCOMPARE(linesOf(h.sentLines()), QStringList{"SW 1"});
    QCOMPARE(lit(), QList<int>{1017});
    QVERIFY(h.deliver(cmd::Nw, {1, 0}));
    QCOMPARE(lit(), QList<int>{1039});
    QVERIFY(h.deliver(cmd::Nw, {4, 0}));
    QCOMPARE(lit(), QList<int>{});
}

void TrackingPageTest::highBandFollowsDiseqcMode_data() {
    QTest::addColumn<bool>("secondary");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("highEnabled");
    QTest::addColumn<int>("inButton");
    QTest::newRow("Change Band") << false << 1 << true << 1041;
    QTest::newRow("Change Satellite") << false << 2 << false << 1042;
    QTest::newRow("Not Use") << true << 0 << false << 1040;
    QTest::newRow("a mode without a button changes nothing") << true << 7 << true << 1041;
}

void TrackingPageTest::highBandFollowsDiseqcMode() {
    QFETCH(bool, secondary);
    QFETCH(int, mode);
    QFETCH(bool, highEnabled);
    QFETCH(int, inButton);
    ControllerHarness& h = *h_;
    Page& p = page(secondary);
    QVERIFY(h.deliver(cmd::NQ, {1}));
    QVERIFY(h.deliver(cmd::NQ, {mode}));
    for (const int id : HighControls) {
        QVERIFY2(p.control(id)->isEnabled() == highEnabled, qPrintable(QString::number(id)));
    }
    for (const int id : LowControls) {
        QVERIFY(p.control(id)->isEnabled());
    }
    for (const int id : DiseqcModeButtons::ButtonIds) {
        QCOMPARE(p.checkable(id)->isChecked(), id == inButton);
    }

    // The buttons are push toggles: a button that is out sends its mode and stays out,
    // the button that is in sends nothing and stays in.
    h.sentLines();
    const int out = inButton == 1040 ? 1042 : 1040;
    p.button(out)->click();
    p.button(inButton)->click();
    QCOMPARE(linesOf(h.sentLines()), QStringList{QStringLiteral("SQ %1").arg(out - 1040)});
    for (const int id : DiseqcModeButtons::ButtonIds) {
        QCOMPARE(p.checkable(id)->isChecked(), id == inButton);
    }
}

void TrackingPageTest::freshPageAndOversizedCount() {
    ControllerHarness h;
    for (const bool secondary : {false, true}) {
        Page& p = secondary ? h.dialog().secondaryTrackingPage : h.dialog().primaryTrackingPage;
        // Until the first NQ the HIGH edits are disabled and their labels are not.
        for (const int id : {1091, 1092, 1084, 1093, 1094, 1099}) {
            QVERIFY(!p.control(id)->isEnabled());
        }
        QVERIFY(p.control(1020)->isEnabled());
        QCOMPARE(p.bitmapOf(1038), bm::LedBlue);
        QCOMPARE(p.bitmapOf(1039), bm::LedGrey);
    }
    // A count beyond the table, then a refresh of satellite 0: the lists stop at 20.
    QVERIFY(h.deliver(cmd::NN, {25}));
    QVERIFY(h.deliver(cmd::NT, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    QVERIFY(h.deliver(cmd::NU, {19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    QCOMPARE(h.dialog().primaryTrackingPage.comboBox(Page::SatelliteList)->count(), 20);
    QCOMPARE(h.dialog().secondaryTrackingPage.comboBox(Page::SatelliteList)->count(), 20);
    // With nothing selected "Edit Satellite Information" sends nothing.
    h.sentLines();
    h.dialog().primaryTrackingPage.button(Page::EditButton)->click();
    h.dialog().secondaryTrackingPage.button(Page::EditButton)->click();
    QCOMPARE(linesOf(h.sentLines()), QStringList{});
}

KELVANDOR_QTEST(TrackingPageTest, "tracking_page_test")
#include "tracking_page_test.moc"
