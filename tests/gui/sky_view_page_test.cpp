// SPDX-License-Identifier: GPL-3.0-or-later
// The sky view and signal history page in the main window: it follows NG, the satellite
// table and Ni whether shown or not, offers the City GPS position before the antenna has
// reported one, asks for the level and the position on Refresh, and saves its CSV and
// picture (a failed save names the file and the reason).
#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "geo/pointing.h"
#include "pages/signal_chart.h"
#include "report/signal_export.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
using kelvandor::testing::linesOf;
using kelvandor::testing::packedName;
using P = SkyViewPage;

namespace {

constexpr int SkyViewRow = 7;

bool reportSatellite(ControllerHarness& h, int index, int longitude, int west, const char* name) {
    const auto n = packedName(name);
    return h.deliver(cmd::NI, {index, longitude, west, 1, 2, 3, 4, n[0], n[1]});
}

}  // namespace

class SkyViewPageTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void followsPositionTableAndLevelReports();
    void refreshAsksForLevelAndPosition();
    void savesCsvAndPictureAndSaysWhyASaveFailed();
};

void SkyViewPageTest::followsPositionTableAndLevelReports() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    SkyViewPage& page = d.skyViewPage;
    // Clocks of the test's own: the descriptions change at most once a second of the
    // monotonic one; the wall clock runs with it until it is set back.
    std::int64_t now = 1'800'000'000'000;
    std::int64_t wallStep = 0;
    page.steadyClock = [&now] { return now; };
    page.clock = [&now, &wallStep] { return now + wallStep; };
    QCOMPARE(d.listBox(main_id::PageList)->item(SkyViewRow)->text(),
             QStringLiteral("   Sky View and Signal History"));

    // No position yet: the plot says so and the City GPS position is offered.
    page.refreshView();
    QVERIFY(!page.position().has_value());
    QVERIFY(page.skyPlot()->accessibleDescription().startsWith(QStringLiteral("No GPS position")));
    QVERIFY(!page.control(P::UseCityButton)->isHidden());
    d.gpsPage.edit(GpsPage::CityLongitude)->setText(QStringLiteral("58.23"));
    d.gpsPage.comboBox(GpsPage::CityEastWest)->setCurrentIndex(1);
    d.gpsPage.edit(GpsPage::CityLatitude)->setText(QStringLiteral("34.36"));
    d.gpsPage.comboBox(GpsPage::CityNorthSouth)->setCurrentIndex(1);
    page.button(P::UseCityButton)->click();
    QVERIFY(page.position().has_value());
    QVERIFY(!page.positionFromAntenna());
    QCOMPARE(page.position()->ewFlag, geo::FlagWest);
    QCOMPARE(page.position()->nsCode, geo::CodeSouth);
    QCOMPARE(page.controlText(P::PositionText), QStringLiteral("City GPS: 58° 23′ W, 34° 36′ S"));
    // A typed position out of range is refused with the GPS page's reason; the sky stays.
    for (const char* latitude : {"1e999", "123"}) {
        d.gpsPage.edit(GpsPage::CityLatitude)->setText(QString::fromLatin1(latitude));
        h.prompter.messages.clear();
        page.button(P::UseCityButton)->click();
        QCOMPARE(h.prompter.messages.size(), std::size_t{1});
        QCOMPARE(h.prompter.messages.back().text, GpsPage::cityPositionRangeMessage());
        QCOMPARE(page.position()->latitude, 34.36);
    }
    h.prompter.messages.clear();

    // The table: two satellites in view from Hamburg, one below its horizon; the first in use.
    QVERIFY(reportSatellite(h, 0, 1920, 0, "ASTRA1"));
    QVERIFY(reportSatellite(h, 1, 1300, 0, "HOTBIRD"));
    QVERIFY(reportSatellite(h, 2, 11050, 0, "FARAWAY"));
    QVERIFY(h.deliver(cmd::NN, {3}));
    // Slot 1 holds satellite 0: the tracked satellite is the slot's, not the slot number.
    QVERIFY(h.deliver(cmd::NP, {1, 0, 1, 0, 2}));
    QVERIFY(h.deliver(cmd::NS, {1}));
    QVERIFY(h.deliver(cmd::NG, {959, 0, 5333, 3}));
    // The page is hidden (the serial page is shown): reports are kept all the same.
    QVERIFY(page.isHidden());
    QVERIFY(h.deliver(cmd::Ni, {2, 240, 1, 16860, 2825, 825}));
    QCOMPARE(page.history().size(), std::size_t{1});
    now += P::DescriptionMs;
    page.refreshView();

    QVERIFY(page.positionFromAntenna());
    QVERIFY(page.control(P::UseCityButton)->isHidden());
    QCOMPARE(page.controlText(P::PositionText), QStringLiteral("Antenna GPS: 9° 59′ E, 53° 33′ N"));
    const std::vector<SkyMarker>& markers = page.skyPlot()->markers();
    QCOMPARE(markers.size(), std::size_t{3});
    const double lon[] = {19.2, 13.0, 110.5};
    for (std::size_t k = 0; k < markers.size(); ++k) {
        const geo::AzimuthElevation ae = geo::computeAzimuthElevation(
            lon[k], geo::FlagEast, geo::FlagEast, geo::CodeNorth, 9.59, 53.33);
        QCOMPARE(markers[k].angles.azimuth, ae.azimuth);
        QCOMPARE(markers[k].angles.elevation, ae.elevation);
        QCOMPARE(markers[k].tracked, k == 0);
    }
    QVERIFY(markers[2].angles.elevation < 0);
    QCOMPARE(page.controlText(P::BelowHorizonText), QStringLiteral("Below the horizon: FARAWAY"));
    // Labels only for what is drawn, never over each other.
    const std::vector<QRectF>& labels = page.skyPlot()->labelRects();
    QCOMPARE(labels.size(), std::size_t{2});
    QVERIFY(!labels[0].intersects(labels[1]));
    // Hovering the tracked marker names it with its angles.
    const QPointF astra =
        page.skyPlot()->plotPoint(markers[0].angles.azimuth, markers[0].angles.elevation);
    QVERIFY(page.skyPlot()
                ->markerTextAt(astra + QPointF(2, 1))
                .startsWith(QStringLiteral("ASTRA1\nlongitude 19.20 E")));

    QCOMPARE(page.controlText(P::CurrentValue), QStringLiteral("560"));
    QCOMPARE(page.controlText(P::PeakValue), QStringLiteral("560"));
    QCOMPARE(page.controlText(P::PointingText), QStringLiteral("Antenna: AZ 168.6  EL 28.3"));
    // Every satellite above the horizon with its angles, the tracked one first.
    QCOMPARE(page.skyPlot()->accessibleDescription(),
             QStringLiteral("2 of 3 satellites above the horizon: ASTRA1 (tracked) azimuth "
                            "168.6°, elevation 28.5°; HOTBIRD azimuth 176.2°, elevation 29.0°. "
                            "Antenna at azimuth 168.6°, elevation 28.3°."));
    QCOMPARE(
        page.signalChart()->accessibleDescription(),
        QStringLiteral("Signal 560, locked, tracking; last 5 minutes: minimum 560, maximum 560; "
                       "peak 560"));

    // Shown, the page follows the reports by itself; its texts at once, the descriptions
    // once the second is over.
    d.listBox(main_id::PageList)->setCurrentRow(SkyViewRow);
    QVERIFY(!page.isHidden());
    now += 1;
    QVERIFY(h.deliver(cmd::Ni, {1, 500, 0, 17000, 3000, 0}));
    QTRY_COMPARE(page.controlText(P::CurrentValue), QStringLiteral("300"));
    QVERIFY(page.signalChart()->accessibleDescription().startsWith(QStringLiteral("Signal 560")));
    now += P::DescriptionMs;
    QTRY_VERIFY(page.signalChart()->accessibleDescription().startsWith(QStringLiteral(
        "Signal 300, not locked, searching; last 5 minutes: minimum 300, maximum 560")));
    QCOMPARE(page.controlText(P::MinimumValue), QStringLiteral("300"));
    QCOMPARE(page.controlText(P::PeakValue), QStringLiteral("560"));
    QCOMPARE(page.history().size(), std::size_t{2});
    // The wall clock set back an hour: the next report still comes last, inside the
    // window, with the wall-clock time it came at.
    wallStep = -3'600'000;
    now += 1;
    QVERIFY(h.deliver(cmd::Ni, {1, 100, 0, 17000, 3000, 0}));
    QTRY_COMPARE(page.controlText(P::MaximumValue), QStringLiteral("700"));
    QCOMPARE(page.controlText(P::MinimumValue), QStringLiteral("300"));
    QCOMPARE(page.history().newest().msecsSinceEpoch, now + wallStep);
    page.button(P::ClearButton)->click();
    QVERIFY(page.history().empty());
    QCOMPARE(page.controlText(P::PeakValue), QString());
}

void SkyViewPageTest::refreshAsksForLevelAndPosition() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    d.listBox(main_id::PageList)->setCurrentRow(SkyViewRow);
    QCOMPARE(linesOf(h.sentLines()), QStringList{});
    d.skyViewPage.button(P::RefreshButton)->click();
    QCOMPARE(linesOf(h.sentLines()), (QStringList{QStringLiteral("QV"), QStringLiteral("QS")}));
}

void SkyViewPageTest::savesCsvAndPictureAndSaysWhyASaveFailed() {
    QCOMPARE(csvField(QStringLiteral("plain")), QStringLiteral("plain"));
    QCOMPARE(csvField(QStringLiteral("a,\"b\"\r\n")), QStringLiteral("\"a,\"\"b\"\"\r\n\""));

    ControllerHarness h;
    MainDialog& d = h.dialog();
    SkyViewPage& page = d.skyViewPage;
    QVERIFY(h.deliver(cmd::Ni, {2, 240, 1, 16860, 2825, 825}));
    QVERIFY(h.deliver(cmd::Ni, {1, 700, 0, -512, 5, -3}));
    QVERIFY(h.deliver(cmd::Nv, {250, 1}));
    QTemporaryDir dir;

    const QString csv = dir.filePath(QStringLiteral("signal.csv"));
    h.prompter.files = {csv};
    page.button(P::SaveCsvButton)->click();
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.endsWith(QStringLiteral("\r\n")));
    const QStringList rows = text.chopped(2).split(QStringLiteral("\r\n"));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0], QStringLiteral("time,level,lock,state,az,el,skew"));
    const QString time = QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,)");
    const QString expected[] = {QStringLiteral("560,1,2,168.60,28.25,8.25"),
                                QStringLiteral("100,0,1,-5.12,0.05,-0.03"),
                                // A level report alone keeps the last pointing and state.
                                QStringLiteral("550,1,1,-5.12,0.05,-0.03")};
    for (int k = 0; k < 3; ++k) {
        QVERIFY2(
            QRegularExpression(time + QRegularExpression::escape(expected[k]) + QLatin1Char('$'))
                .match(rows[k + 1])
                .hasMatch(),
            qPrintable(rows[k + 1]));
    }

    // The hour repeated when the clocks go back stays apart by its UTC offset.
    const QTimeZone berlin(QByteArrayLiteral("Europe/Berlin"));
    QVERIFY(berlin.isValid());
    const std::int64_t clocksBack =
        QDateTime(QDate(2026, 10, 25), QTime(1, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    SignalHistory autumn(2);
    autumn.append({0, clocksBack - 1'800'000, 500, 0, 0, 0, 2, 1});
    autumn.append({1, clocksBack + 1'800'000, 500, 0, 0, 0, 2, 1});
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(writeSignalCsv(autumn, buffer, berlin));
    QCOMPARE(QString::fromUtf8(buffer.data()).split(QStringLiteral("\r\n")).mid(1, 2),
             (QStringList{QStringLiteral("2026-10-25T02:30:00.000+02:00,500,1,2,0.00,0.00,0.00"),
                          QStringLiteral("2026-10-25T02:30:00.000+01:00,500,1,2,0.00,0.00,0.00")}));

    const QString png = dir.filePath(QStringLiteral("plots.png"));
    h.prompter.files = {png};
    page.button(P::SavePictureButton)->click();
    const QImage image(png);
    QVERIFY(!image.isNull());
    QCOMPARE(image.height(), page.skyPlot()->height() + page.signalChart()->height());
    QVERIFY(h.prompter.messages.empty());

    // A folder that does not exist: the old file stays, and the box names file and reason.
    const QString missing = dir.filePath(QStringLiteral("gone/signal.csv"));
    h.prompter.files = {missing};
    page.button(P::SaveCsvButton)->click();
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    const QString said = h.prompter.messages.back().text;
    QVERIFY2(said.startsWith(QStringLiteral("Could not save ") + missing + QStringLiteral(": ")) &&
                 said.size() > missing.size() + 17,
             qPrintable(said));
    QVERIFY(!QFile::exists(missing));
}

KELVANDOR_QTEST(SkyViewPageTest, "sky_view_page_test")
#include "sky_view_page_test.moc"
