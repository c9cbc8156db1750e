// SPDX-License-Identifier: GPL-3.0-or-later
// The status panel follows the antenna's reports: one test per family of reports, each
// driven by frames injected on the line.
#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QtTest>
#include <algorithm>
#include <vector>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "protocol/frame_codec.h"
#include "ui/bitmaps.h"
#include "ui/clickable_label.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
using kelvandor::testing::packedName;
namespace id = kelvandor::main_id;
namespace bm = kelvandor::ui::bitmap;

namespace {

// "Tracking: on, blue": the name and description a screen reader gets for `widget`.
QString spoken(QWidget* widget) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
    return a == nullptr ? QString()
                        : a->text(QAccessible::Name) + QStringLiteral(": ") +
                              a->text(QAccessible::Description);
}

constexpr int StateLeds[] = {id::LedSetup,  id::LedSearch,     id::LedTracking,
                             id::LedUnwrap, id::LedInitialize, id::LedSleep};

// The state LED that is lit, 0 when all six are grey, -1 when more than one is lit.
int litStateLed(const MainDialog& d) {
    int lit = 0;
    for (const int led : StateLeds) {
        if (d.bitmapOf(led) == bm::LedBlue) {
            lit = lit == 0 ? led : -1;
        } else if (d.bitmapOf(led) != bm::LedGrey) {
            return -1;
        }
    }
    return lit;
}

// Stores satellite `index` under `name` through an NI report.
bool reportSatellite(ControllerHarness& h, int index, const char* name) {
    const auto n = packedName(name);
    return h.deliver(cmd::NI, {index, 1920, 0, 1, 2, 3, 4, n[0], n[1]});
}

}  // namespace

class StatusPanelTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void stateLeds_data();
    void stateLeds();
    void signalLevelAndLock();
    void localFrequency();
    void productAndVersion();
    void commLedAndFactoryProgress();
    void satelliteRecords();
    void slotsAndSelection();
    void selectorLayouts();
    void noSetupModeMessage();
    void namesFromTheAntennaAreShownVerbatim();
    void ledsSayTheirStateToAssistiveTechnology();
};

void StatusPanelTest::stateLeds_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("led");
    QTest::newRow("set-up") << 0 << id::LedSetup;
    QTest::newRow("search") << 1 << id::LedSearch;
    QTest::newRow("tracking") << 2 << id::LedTracking;
    QTest::newRow("unwrap") << 3 << id::LedUnwrap;
    QTest::newRow("initialise 4") << 4 << id::LedInitialize;
    QTest::newRow("5 has no LED") << 5 << 0;
    QTest::newRow("initialise 6") << 6 << id::LedInitialize;
    QTest::newRow("sleep") << 7 << id::LedSleep;
    QTest::newRow("unknown") << 99 << 0;
}

void StatusPanelTest::stateLeds() {
    QFETCH(int, state);
    QFETCH(int, led);
    ControllerHarness h;
    MainDialog& d = h.dialog();
    QCOMPARE(litStateLed(d), 0);
    QVERIFY(h.deliver(cmd::NA, {1}));  // something lit before, to see it go out
    QVERIFY(h.deliver(cmd::NA, {state}));
    QCOMPARE(litStateLed(d), led);
    QCOMPARE(d.model().antennaState, state);
    // The combined status report sets the same LEDs from its first value.
    QVERIFY(h.deliver(cmd::NA, {1}));
    QVERIFY(h.deliver(cmd::Ni, {state, 300, 0, 0, 0, 0}));
    QCOMPARE(litStateLed(d), led);
}

void StatusPanelTest::signalLevelAndLock() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    QVERIFY(h.deliver(cmd::NV, {300}));
    QCOMPARE(d.controlText(id::SignalValue), QStringLiteral(" 500"));
    QVERIFY(h.deliver(cmd::NV, {900}));
    QCOMPARE(d.controlText(id::SignalValue), QStringLiteral("-100"));
    QVERIFY(h.deliver(cmd::Nv, {790, 1}));
    QCOMPARE(d.controlText(id::SignalValue), QStringLiteral("  10"));
    QCOMPARE(d.bitmapOf(id::LedLock), bm::LedBlue);
    QVERIFY(h.deliver(cmd::Ni, {2, 100, 0, 1, 2, 3}));
    QCOMPARE(d.controlText(id::SignalValue), QStringLiteral(" 700"));
    QCOMPARE(d.bitmapOf(id::LedLock), bm::LedGrey);
    // A raw level at the edge of the 32-bit range shows its true difference.
    QVERIFY(h.deliver(cmd::NV, {std::numeric_limits<std::int32_t>::min()}));
    QCOMPARE(d.controlText(id::SignalValue), QStringLiteral("2147484448"));
}

void StatusPanelTest::localFrequency() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    QVERIFY(h.deliver(cmd::NL, {10600, 9750, 1}));
    QCOMPARE(d.controlText(id::LocalFreqValue), QStringLiteral("10600"));
    QVERIFY(h.deliver(cmd::NL, {9750, 10600, 0}));  // the LNB configuration: not shown here
    QCOMPARE(d.controlText(id::LocalFreqValue), QStringLiteral("10600"));
}

void StatusPanelTest::productAndVersion() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    std::int32_t name[5] = {};
    packText("KELVANDOR PREMIUM 85", name);
    QVERIFY(h.deliver(cmd::Nn, {name[0], name[1], name[2], name[3], name[4]}));
    QCOMPARE(d.controlText(id::ProductText), QStringLiteral("KELVANDOR PREMIUM 85"));
    QVERIFY(d.movePage.skewControlsVisible());
    QVERIFY(h.deliver(cmd::NW, {312, 12, 101}));
    QCOMPARE(d.controlText(id::ProductText), QStringLiteral("KELVANDOR PREMIUM 85  Ver 3.12"));
    QCOMPARE(d.model().productSize, 3);
    // A version report without a fresh name shows the version alone.
    QVERIFY(h.deliver(cmd::NW, {305, 7, 0}));
    QCOMPARE(d.controlText(id::ProductText), QStringLiteral("  Ver 3.05"));
    QCOMPARE(d.model().productSize, 7);
    QVERIFY(h.deliver(cmd::NW, {312, 20, 0}));
    QCOMPARE(d.model().productSize, 0);
    QVERIFY(h.deliver(cmd::NW, {312, -2, 0}));
    QCOMPARE(d.model().productSize, -2);

    packText("Kelvandor Premium", name);
    QVERIFY(h.deliver(cmd::Nn, {name[0], name[1], name[2], name[3], name[4]}));
    QVERIFY(d.movePage.skewControlsVisible());
    packText("KELVANDOR premium 60", name);  // the test is case-sensitive
    QVERIFY(h.deliver(cmd::Nn, {name[0], name[1], name[2], name[3], name[4]}));
    QVERIFY(!d.movePage.skewControlsVisible());
}

void StatusPanelTest::commLedAndFactoryProgress() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    QCOMPARE(d.model().commIndicator, 1);
    QVERIFY(h.deliver(cmd::TC, {11, 1}));
    QCOMPARE(d.bitmapOf(id::LedComm), bm::LedGreen);
    QVERIFY(h.deliver(cmd::TC, {11, 5}));
    QCOMPARE(d.bitmapOf(id::LedComm), bm::LedGreen);  // other values leave the LED
    QCOMPARE(d.model().commIndicator, 5);
    QVERIFY(h.deliver(cmd::TC, {11, 0}));
    QCOMPARE(d.bitmapOf(id::LedComm), bm::LedGrey);
    QCOMPARE(d.model().commIndicator, 0);

    QProgressBar* bar = d.progressBar(id::Progress);
    d.onFactorySetting();
    QVERIFY(h.deliver(cmd::TC, {13, 3}));
    QCOMPARE(bar->value(), 3);
    QVERIFY(h.deliver(cmd::TC, {80, 1}));  // another subject changes nothing here
    QCOMPARE(bar->value(), 3);
    QVERIFY(h.prompter.messages.size() == 1);  // the confirmation only
    QVERIFY(h.deliver(cmd::TC, {13, 100}));
    QCOMPARE(h.prompter.messages.back().text,
             QStringLiteral("Default setting complete successfully."));
    QCOMPARE(bar->value(), 0);
    QVERIFY(bar->isHidden());
}

void StatusPanelTest::satelliteRecords() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    const SatelliteTable& t = d.model().satellites;
    QCOMPARE(QString::fromLatin1(t.records[3].primary.name), QString(19, QLatin1Char(' ')));
    const auto n = packedName("HOTBIRD");
    QVERIFY(h.deliver(cmd::NI, {3, 7250, 1, 11, 12, 13, 14, n[0], n[1]}));
    QCOMPARE(t.records[3].primary.longitude, 72.5);
    QCOMPARE(t.records[3].primary.eastWest, 1);
    QCOMPARE(t.records[3].primary.nids[3], 14);
    QCOMPARE(QString::fromLatin1(t.records[3].primary.name), QStringLiteral("HOTBIRD"));
    QVERIFY(h.deliver(cmd::Nu, {3, 1920, 0, 21, 22, 23, 24, n[0], 0}));
    QCOMPARE(t.records[3].secondary.longitude, 19.2);
    QCOMPARE(QString::fromLatin1(t.records[3].secondary.name), QStringLiteral("HOTB"));
    QVERIFY(h.deliver(cmd::NT, {3, 11778, 11856, 12188, 12284, 27500, 27500, 22000, 27500, 1, 4}));
    QCOMPARE(t.records[3].primaryTracking.values[0], 11778);
    QCOMPARE(t.records[3].primaryTracking.values[9], 4);
    QVERIFY(h.deliver(cmd::NU, {3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    QCOMPARE(t.records[3].secondaryTracking.values[9], 10);
    QCOMPARE(t.records[3].primaryTracking.values[0], 11778);
    // Indexes that name no satellite change nothing.
    const SatelliteTable before = t;
    QVERIFY(h.deliver(cmd::NI, {20, 100, 0, 0, 0, 0, 0, n[0], n[1]}));
    QVERIFY(h.deliver(cmd::NT, {-1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    QVERIFY(std::memcmp(&before.records, &t.records, sizeof before.records) == 0);
}

void StatusPanelTest::slotsAndSelection() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    const SatelliteTable& t = d.model().satellites;
    QCOMPARE(t.currentSatellite, NoSatellite);  // no satellite in use before the reports
    QVERIFY(h.deliver(cmd::NN, {13}));
    QCOMPARE(t.satelliteCount, 13);
    for (int k = 0; k < 5; ++k) {
        const char* names[] = {"ASTRA1", "HOTBIRD", "ASTRA2", "EUTEL", "TURKSAT"};
        QVERIFY(reportSatellite(h, k + 2, names[k]));
    }
    QVERIFY(h.deliver(cmd::NP, {2, 3, 4, 5, 6}));
    QCOMPARE(t.slotMap, (std::array<int, 5>{2, 3, 4, 5, 6}));
    QCOMPARE(d.controlText(id::NameA), QStringLiteral("ASTRA1"));
    QCOMPARE(d.controlText(id::NameB), QStringLiteral("HOTBIRD"));
    QCOMPARE(d.controlText(id::NameA1), QStringLiteral("ASTRA1"));
    QCOMPARE(d.controlText(id::NameA2), QStringLiteral("ASTRA2"));
    QCOMPARE(d.controlText(id::NameB2), QStringLiteral("EUTEL"));
    QCOMPARE(d.controlText(id::TripleNameC), QStringLiteral("TURKSAT"));
    // One slot naming no satellite: the whole report is refused.
    QVERIFY(h.deliver(cmd::NP, {1, 1, 1, 1, 20}));
    QCOMPARE(t.slotMap, (std::array<int, 5>{2, 3, 4, 5, 6}));
    QCOMPARE(d.controlText(id::NameA), QStringLiteral("ASTRA1"));

    QVERIFY(h.deliver(cmd::NS, {1}));
    QCOMPARE(t.currentSlot, 1);
    QCOMPARE(t.currentSatellite, 3);
    QCOMPARE(d.bitmapOf(id::LedSatB), bm::LedBlue);
    QCOMPARE(d.bitmapOf(id::LedSatA), bm::LedGrey);
    // A slot outside 0..4 names no satellite; nothing is read outside the slot map.
    QVERIFY(h.deliver(cmd::NS, {7}));
    QCOMPARE(t.currentSlot, 7);
    QCOMPARE(t.currentSatellite, NoSatellite);
    QVERIFY(h.deliver(cmd::NS, {std::numeric_limits<std::int32_t>::min()}));
    QCOMPARE(t.currentSatellite, NoSatellite);
    QVERIFY(h.deliver(cmd::Nw, {3}));
    QCOMPARE(t.bandState, 3);
}

void StatusPanelTest::selectorLayouts() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    // Layout S at start: one name per slot, A lit.
    QVERIFY(d.isControlShown(id::NameA));
    QVERIFY(!d.isControlShown(id::NameA1));
    QVERIFY(!d.isControlShown(id::TripleA));
    QCOMPARE(d.bitmapOf(id::LedSatA), bm::LedBlue);
    QVERIFY(h.deliver(cmd::NP, {0, 1, 2, 3, 4}));

    // Layout S lights A for even slots and B for odd ones.
    QVERIFY(h.deliver(cmd::NS, {2}));
    QCOMPARE(d.bitmapOf(id::LedSatA), bm::LedBlue);
    QVERIFY(h.deliver(cmd::NS, {3}));
    QCOMPARE(d.bitmapOf(id::LedSatB), bm::LedBlue);
    QCOMPARE(d.bitmapOf(id::LedSatA), bm::LedGrey);

    // DiSEqC "Change Satellite": layout D with a highlight frame by slot and band.
    QVERIFY(h.deliver(cmd::NQ, {2}));
    QVERIFY(h.deliver(cmd::NQ, {2}));
    QCOMPARE(d.changeSatelliteView, 1);
    QVERIFY(d.isControlShown(id::NameA1));
    QVERIFY(d.isControlShown(id::NameB2));
    QVERIFY(!d.isControlShown(id::NameA));
    QVERIFY(h.deliver(cmd::NS, {0}));
    QVERIFY(h.deliver(cmd::Nw, {1}));
    QVERIFY(d.isControlShown(id::FrameA1));
    QVERIFY(h.deliver(cmd::Nw, {2}));
    QVERIFY(d.isControlShown(id::FrameA2));
    QVERIFY(!d.isControlShown(id::FrameA1));
    QVERIFY(h.deliver(cmd::NS, {1}));
    QVERIFY(d.isControlShown(id::FrameB2));
    QVERIFY(!d.isControlShown(id::FrameA2));
    QVERIFY(h.deliver(cmd::NQ, {1}));
    QVERIFY(d.isControlShown(id::NameA));
    for (const int frame : {id::FrameA1, id::FrameA2, id::FrameB1, id::FrameB2}) {
        QVERIFY(!d.isControlShown(frame));
    }

    // Triple satellite mode: three buttons; slot 2 lights none, slot 4 lights C.
    QVERIFY(h.deliver(cmd::TR, {1}));
    QVERIFY(d.isControlShown(id::TripleC));
    QVERIFY(!d.isControlShown(id::SatA));
    QVERIFY(h.deliver(cmd::NS, {2}));
    for (const int led : {id::LedTripleA, id::LedTripleB, id::LedTripleC}) {
        QCOMPARE(d.bitmapOf(led), bm::LedGrey);
    }
    QVERIFY(h.deliver(cmd::NS, {4}));
    QCOMPARE(d.bitmapOf(id::LedTripleC), bm::LedBlue);
    QVERIFY(h.deliver(cmd::TR, {0}));
    QVERIFY(!d.isControlShown(id::TripleC));
    QVERIFY(d.isControlShown(id::SatA));
}

void StatusPanelTest::noSetupModeMessage() {
    ControllerHarness h;
    QVERIFY(h.deliver(cmd::AC, {0}));
    QVERIFY(h.prompter.messages.empty());
    QVERIFY(h.deliver(cmd::AC, {-1}));
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QCOMPARE(h.prompter.messages[0].text, QStringLiteral("No Setup Mode !!!"));
    QCOMPARE(h.prompter.messages[0].buttons, ui::Buttons::Ok);
    // A report no listener takes is decoded and changes nothing.
    const QString product = h.dialog().controlText(id::ProductText);
    QVERIFY(h.deliver(cmd::AX, {1, 2, 3, 4}));
    QCOMPARE(h.dialog().controlText(id::ProductText), product);
}

void StatusPanelTest::namesFromTheAntennaAreShownVerbatim() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    d.show();
    // The product name travels as 20 characters: the end of "<b>BOLD</b> T6 PREMIUM" is
    // cut off on the wire, its tags are not.
    std::int32_t product[8] = {};
    packText("<b>BOLD</b> T6 PREMIUM", product);
    QVERIFY(h.deliver(cmd::Nn, {product[0], product[1], product[2], product[3], product[4]}));
    // Satellite names travel as eight characters.
    const auto markup = packedName("<b>X</b>");
    QVERIFY(h.deliver(cmd::NI, {0, 1920, 0, 1, 2, 3, 4, markup[0], markup[1]}));
    const auto breaking = packedName("A<br>B<i");
    QVERIFY(h.deliver(cmd::NI, {1, 1300, 0, 1, 2, 3, 4, breaking[0], breaking[1]}));
    QVERIFY(h.deliver(cmd::NP, {0, 1, 0, 1, 0}));

    const struct {
        int control;
        QString text;
    } shown[] = {
        {id::ProductText, QStringLiteral("<b>BOLD</b> T6 PREMI")},
        {id::NameA, QStringLiteral("<b>X</b>")},
        {id::NameB, QStringLiteral("A<br>B<i")},
        {id::NameA1, QStringLiteral("<b>X</b>")},
        {id::NameB2, QStringLiteral("A<br>B<i")},
        {id::TripleNameA, QStringLiteral("<b>X</b>")},
        {id::TripleNameC, QStringLiteral("<b>X</b>")},
    };
    for (const auto& row : shown) {
        const QString where = QStringLiteral("control %1").arg(row.control);
        QLabel* label = d.label(row.control);
        QVERIFY2(label != nullptr, qPrintable(where));
        QCOMPARE(label->text(), row.text);
        // What a screen reader reads is the text itself, tags and all ...
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label);
        QVERIFY2(accessible != nullptr, qPrintable(where));
        QCOMPARE(accessible->text(QAccessible::Name), row.text);
        // ... and what is drawn needs the room of every character on one line: markup
        // would drop the tags (and break the line at <br>).
        const QFontMetrics metrics(label->font());
        QVERIFY2(label->sizeHint().width() >= metrics.horizontalAdvance(row.text),
                 qPrintable(where));
        QVERIFY2(label->sizeHint().height() < 2 * metrics.height(), qPrintable(where));
    }
    // The name's test for "PREMIUM" sees only what arrived.
    QVERIFY(!d.movePage.skewControlsVisible());
}

void StatusPanelTest::ledsSayTheirStateToAssistiveTechnology() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    QCOMPARE(spoken(d.control(id::LedTracking)), QStringLiteral("Tracking: off"));
    QVERIFY(h.deliver(cmd::Ni, {2, 700, 1, 0, 0, 0}));
    QCOMPARE(spoken(d.control(id::LedTracking)), QStringLiteral("Tracking: on, blue"));
    QCOMPARE(spoken(d.control(id::LedSearch)), QStringLiteral("Search: off"));
    QCOMPARE(spoken(d.control(id::LedLock)), QStringLiteral("Signal lock: on, blue"));

    // Every image that carries state, on the main window and on every page, is named
    // and says its state.
    int pictures = 0;
    for (ui::ClickableLabel* picture : d.findChildren<ui::ClickableLabel*>()) {
        if (picture->bitmap() == 0 || picture->bitmap() == bm::Logo) {
            continue;
        }
        ++pictures;
        const QString said = spoken(picture);
        QVERIFY2(!said.startsWith(u':') && !said.endsWith(QStringLiteral(": ")),
                 qPrintable(picture->objectName() + QStringLiteral(" says \"") + said +
                            QStringLiteral("\"")));
    }
    // 13 on the main window, 1 on the Serial page, 1 on the GPS page, 17 on the Move page,
    // 4 on each Tracking page.
    QCOMPARE(pictures, 13 + 1 + 1 + 17 + 4 + 4);
}

KELVANDOR_QTEST(StatusPanelTest, "status_panel_test")
#include "status_panel_test.moc"
