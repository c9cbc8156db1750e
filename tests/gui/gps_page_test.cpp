// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS page against a pty the test holds: the city file it reads at start, the
// replies NN, NS, NI, NG and TC 80, its buttons, the Add City dialog through a scripted
// answer, and the save question while the main window closes. Each window runs in a
// working directory of the test's own, where the page finds and writes its city files.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "geo/city_file.h"
#include "geo/pointing.h"
#include "pages/add_city_dialog.h"
#include "protocol/c_format.h"
#include "protocol/frame_codec.h"
#include "ui/bitmaps.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
using kelvandor::testing::packedName;
using P = GpsPage;
namespace bm = kelvandor::ui::bitmap;

namespace {

// Five cities, not in order, as the program writes them.
const QByteArray FiveCities =
    "                         Seoul  126.59 E  37.33 N\r\n"
    "                     Cape^Town   18.25 E  33.55 S\r\n"
    "                        Berlin   13.24 E  52.31 N\r\n"
    "                        Sydney  151.12 E  33.52 S\r\n"
    "                       Hamburg    9.59 E  53.33 N\r\n";

QByteArray numberedCities(int count) {
    QByteArray text;
    for (int k = 0; k < count; ++k) {
        text += QStringLiteral("%1  10.00 E  10.00 N\r\n")
                    .arg(QStringLiteral("City%1").arg(10000 + k), 30)
                    .toLatin1();
    }
    return text;
}

struct CityFile {
    QString name;
    QByteArray contents;
};

// The main window started in a fresh working directory that holds `files`.
class GpsRig {
  public:
    explicit GpsRig(const QList<CityFile>& files = {{QStringLiteral("city_E.gps"), FiveCities}})
        : previous_(QDir::currentPath()) {
        for (const CityFile& f : files) {
            write(f.name, f.contents);
        }
        QDir::setCurrent(dir_.path());
        harness_ = std::make_unique<ControllerHarness>();
    }
    ~GpsRig() {
        harness_.reset();
        QDir::setCurrent(previous_);
    }
    GpsRig(const GpsRig&) = delete;
    GpsRig& operator=(const GpsRig&) = delete;

    ControllerHarness& h() { return *harness_; }
    MainDialog& d() { return harness_->dialog(); }
    GpsPage& page() { return harness_->dialog().gpsPage; }
    QString path(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& contents) const {
        QFile f(dir_.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }
    QByteArray read(const QString& name) const {
        QFile f(dir_.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

  private:
    QString previous_;
    QTemporaryDir dir_;
    std::unique_ptr<ControllerHarness> harness_;
};

QStringList entries(const QComboBox* list) {
    QStringList names;
    for (int k = 0; k < list->count(); ++k) {
        names << list->itemText(k);
    }
    return names;
}

QStringList cityNames(GpsPage& page) {
    return entries(page.comboBox(P::CityNames));
}

// Stores satellite `index` (longitude in hundredths) through an NI report.
bool reportSatellite(ControllerHarness& h, int index, int longitude, int west, const char* name) {
    const auto n = packedName(name);
    return h.deliver(cmd::NI, {index, longitude, west, 1, 2, 3, 4, n[0], n[1]});
}

// Makes satellite 0 (113.0 E) the one in use.
bool useSatellite113East(ControllerHarness& h) {
    return reportSatellite(h, 0, 11300, 0, "KOREASAT") && h.deliver(cmd::NN, {1}) &&
           h.deliver(cmd::NP, {0, 0, 0, 0, 0}) && h.deliver(cmd::NS, {0});
}

QString shown(double v) {
    char text[32];
    formatC(text, sizeof text, "%6.2lf", v);
    return QString::fromLatin1(text);
}

// The user picks entry `index` of a drop-down.
void choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    Q_EMIT list->activated(index);
}

// What the scripted user of AddCityDialog types and chooses.
struct AddCityAnswer {
    QString name;
    QString longitude;
    int eastWest;
    QString latitude;
    int northSouth;
    bool accept;
};

// What the dialog showed when it opened.
struct AddCityOpened {
    QString title;
    bool modal = false;
    QString longitude;
    int eastWest = -2;
    QString latitude;
    int northSouth = -2;
    QString name = QStringLiteral("?");
};

// Plays `answer` in the next AddCityDialog the page opens, as a user would: fills the
// controls and presses "ADD" or "Cancel".
class ScriptedAddCity {
  public:
    ScriptedAddCity(ui::ScriptedPrompter& prompter, const AddCityAnswer& answer)
        : prompter_(prompter) {
        prompter.dialogUsers.push_back([this, answer](QDialog& dialog) {
            using D = AddCityDialog;
            auto& d = static_cast<AddCityDialog&>(dialog);
            opened.title = d.windowTitle();
            opened.modal = d.isModal();
            opened.longitude = d.edit(D::LongitudeEdit)->text();
            opened.eastWest = d.comboBox(D::EastWestList)->currentIndex();
            opened.latitude = d.edit(D::LatitudeEdit)->text();
            opened.northSouth = d.comboBox(D::NorthSouthList)->currentIndex();
            opened.name = d.edit(D::NameEdit)->text();
            d.edit(D::NameEdit)->setText(answer.name);
            d.edit(D::LongitudeEdit)->setText(answer.longitude);
            d.comboBox(D::EastWestList)->setCurrentIndex(answer.eastWest);
            d.edit(D::LatitudeEdit)->setText(answer.latitude);
            d.comboBox(D::NorthSouthList)->setCurrentIndex(answer.northSouth);
            d.button(answer.accept ? D::AddButton : D::CancelButton)->click();
            return d.result();
        });
    }
    // A dialog that never opened leaves no user behind for the next row.
    ~ScriptedAddCity() { prompter_.dialogUsers.clear(); }
    ScriptedAddCity(const ScriptedAddCity&) = delete;
    ScriptedAddCity& operator=(const ScriptedAddCity&) = delete;

    AddCityOpened opened;

  private:
    ui::ScriptedPrompter& prompter_;
};

}  // namespace

class GpsPageTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void readsTheCityFileAtStart_data();
    void readsTheCityFileAtStart();
    void satelliteListFollowsTheReports();
    void ngShowsPositionNearestCityAndAngles_data();
    void ngShowsPositionNearestCityAndAngles();
    void ngWithoutSatelliteStillShowsThePosition();
    void gpsIndicatorBlinks();
    void setGpsSendsTheCityPosition_data();
    void setGpsSendsTheCityPosition();
    void findAnglesButtons();
    void addCity_data();
    void addCity();
    void deleteCity();
    void namesOutsideAsciiAreKeptWhole();
    void loadGpsFile();
    void incompleteFileIsNotReplacedUnasked();
    void failedSaveSaysSo();
    void saveQuestionWhileTheWindowCloses_data();
    void saveQuestionWhileTheWindowCloses();
    void cleanupTestCase() { shared_.reset(); }

  private:
    // One window per test function, shared by the rows of its table.
    GpsRig& sharedRig() {
        const QByteArray function = QTest::currentTestFunction();
        if (!shared_ || sharedFunction_ != function) {
            shared_.reset();
            shared_ = std::make_unique<GpsRig>();
            sharedFunction_ = function;
        }
        return *shared_;
    }
    std::unique_ptr<GpsRig> shared_;
    QByteArray sharedFunction_;
};

void GpsPageTest::readsTheCityFileAtStart_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("longitude");  // the City GPS group shows the first entry
    QTest::addColumn<int>("eastWest");
    QTest::addColumn<QString>("message");  // a part of the one message, or empty for none

    const QStringList five = {"Berlin", "Cape Town", "Hamburg", "Seoul", "Sydney"};
    QTest::newRow("city_E.gps, sorted by name")
        << "city_E.gps" << FiveCities << five << "city_E.gps"
        << " 13.24" << 0 << "";
    QTest::newRow("only city.gps")
        << "city.gps" << QByteArray("Lima 77.03 W 12.03 S\n") << QStringList{"Lima"} << "city.gps"
        << " 77.03" << 1 << "";
    QTest::newRow("no file: the list head") << "" << QByteArray() << QStringList() << "city.gps"
                                            << "  0.10" << 0 << "";
    QTest::newRow("a damaged line is left out and said")
        << "city_E.gps"
        << QByteArray("Oslo 10.45 E 59.55 N\r\nRome twelve E 41.54 N\r\nWien 16.22 E 48.12 N\r\n")
        << QStringList{"Oslo", "Wien"} << "city_E.gps"
        << " 10.45" << 0 << "1 line(s) of \"city_E.gps\" hold no readable city";
    QStringList thousand;
    for (int k = 0; k < 1000; ++k) {
        thousand << QStringLiteral("City%1").arg(10000 + k);
    }
    QTest::newRow("more than 1000 records is said")
        << "city_E.gps" << numberedCities(1001) << thousand << "city_E.gps"
        << " 10.00" << 0 << "Only the first 1000 cities of \"city_E.gps\" were read";
}

void GpsPageTest::readsTheCityFileAtStart() {
    QFETCH(QString, file);
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, names);
    QFETCH(QString, fileName);
    QFETCH(QString, longitude);
    QFETCH(int, eastWest);
    QFETCH(QString, message);
    QList<CityFile> files;
    if (!file.isEmpty()) {
        files.append({file, contents});
    }
    GpsRig rig(files);
    GpsPage& page = rig.page();
    QCOMPARE(cityNames(page), names);
    QCOMPARE(page.cityFileName, fileName);
    QCOMPARE(page.comboBox(P::CityNames)->currentIndex(), names.isEmpty() ? -1 : 0);
    QCOMPARE(page.controlText(P::CityLongitude), longitude);
    QCOMPARE(page.comboBox(P::CityEastWest)->currentIndex(), eastWest);
    if (message.isEmpty()) {
        QVERIFY(rig.h().prompter.messages.empty());
    } else {
        QCOMPARE(rig.h().prompter.messages.size(), std::size_t{1});
        QVERIFY2(rig.h().prompter.messages[0].text.contains(message),
                 qPrintable(rig.h().prompter.messages[0].text));
    }
}

void GpsPageTest::satelliteListFollowsTheReports() {
    GpsRig rig;
    ControllerHarness& h = rig.h();
    GpsPage& page = rig.page();
    QComboBox* list = page.comboBox(P::SatelliteList);

    // The count comes before the records: three entries, still without names.
    QVERIFY(h.deliver(cmd::NN, {3}));
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentIndex(), -1);
    QVERIFY(reportSatellite(h, 0, 1920, 0, "ASTRA1"));
    QVERIFY(reportSatellite(h, 1, 1300, 0, "HOTBIRD"));
    QVERIFY(reportSatellite(h, 2, 3000, 1, "HISPASAT"));
    QVERIFY(reportSatellite(h, 5, 4200, 0, "TURKSAT"));  // not listed: no fourth entry
    QCOMPARE(entries(list), (QStringList{"ASTRA1", "HOTBIRD", "HISPASAT"}));
    QCOMPARE(page.controlText(P::SatelliteLongitude), QString());

    // The satellite in use is selected and its longitude shown.
    QVERIFY(h.deliver(cmd::NP, {0, 1, 0, 1, 2}));
    QVERIFY(h.deliver(cmd::NS, {1}));
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(page.controlText(P::SatelliteLongitude), QStringLiteral(" 13.0"));
    QCOMPARE(page.comboBox(P::SatelliteEastWest)->currentIndex(), 0);

    // The user's choice shows that satellite.
    choose(list, 2);
    QCOMPARE(page.controlText(P::SatelliteLongitude), QStringLiteral(" 30.0"));
    QCOMPARE(page.comboBox(P::SatelliteEastWest)->currentIndex(), 1);

    // A slot that names no satellite selects none and leaves the longitude.
    QVERIFY(h.deliver(cmd::NS, {9}));
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(page.controlText(P::SatelliteLongitude), QStringLiteral(" 30.0"));

    // A count beyond the table lists its 20 entries; the selection follows the slot
    // (slot 2 holds satellite 0).
    QVERIFY(h.deliver(cmd::NS, {2}));
    QVERIFY(h.deliver(cmd::NN, {25}));
    QCOMPARE(list->count(), 20);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(page.controlText(P::SatelliteLongitude), QStringLiteral(" 19.2"));
}

void GpsPageTest::ngShowsPositionNearestCityAndAngles_data() {
    QTest::addColumn<int>("p0");
    QTest::addColumn<int>("p1");
    QTest::addColumn<int>("p2");
    QTest::addColumn<int>("p3");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<int>("eastWest");
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<int>("northSouth");
    QTest::addColumn<QString>("nearest");  // also the selected city when not empty
    QTest::addColumn<QString>("cityLongitude");
    QTest::addColumn<QString>("azimuth");  // the three angles; empty: not looked at
    QTest::addColumn<QString>("elevation");
    QTest::addColumn<QString>("skew");

    QTest::newRow("Seoul: the worked example")
        << 12659 << 0 << 3733 << 3 << "126.59" << 0 << " 37.33" << 0 << "Seoul"
        << "126.59"
        << "202.30"
        << " 44.25"
        << " 17.45";
    QTest::newRow("0.30 from Hamburg")
        << 989 << 0 << 5333 << 3 << "  9.89" << 0 << " 53.33" << 0 << "Hamburg"
        << "  9.59"
        << ""
        << ""
        << "";
    QTest::newRow("Sydney in the south")
        << 15112 << 0 << 3352 << 2 << "151.12" << 0 << " 33.52" << 1 << "Sydney"
        << "151.12"
        << ""
        << ""
        << "";
    QTest::newRow("code 4 shows S but matches no city")
        << 15112 << 0 << 3352 << 4 << "151.12" << 0 << " 33.52" << 1 << ""
        << ""
        << ""
        << ""
        << "";
    QTest::newRow("flag 7 shows W but matches no city")
        << 12659 << 7 << 3733 << 3 << "126.59" << 1 << " 37.33" << 0 << ""
        << ""
        << ""
        << ""
        << "";
    QTest::newRow("no city near") << 0 << 0 << 0 << 3 << "  0.00" << 0 << "  0.00" << 0 << ""
                                  << ""
                                  << ""
                                  << ""
                                  << "";
}

void GpsPageTest::ngShowsPositionNearestCityAndAngles() {
    QFETCH(int, p0);
    QFETCH(int, p1);
    QFETCH(int, p2);
    QFETCH(int, p3);
    QFETCH(QString, longitude);
    QFETCH(int, eastWest);
    QFETCH(QString, latitude);
    QFETCH(int, northSouth);
    QFETCH(QString, nearest);
    QFETCH(QString, cityLongitude);
    QFETCH(QString, azimuth);
    QFETCH(QString, elevation);
    QFETCH(QString, skew);
    GpsRig& rig = sharedRig();
    GpsPage& page = rig.page();
    if (page.comboBox(P::SatelliteList)->count() == 0) {
        QVERIFY(useSatellite113East(rig.h()));
    }
    // Typed into the City GPS group and not used: the reply replaces it.
    page.edit(P::CityLongitude)->setText(QStringLiteral("typed"));
    page.edit(P::SatelliteLongitude)->setText(QStringLiteral("kept"));
    page.setControlText(P::Azimuth, QString());

    QVERIFY(rig.h().deliver(cmd::NG, {p0, p1, p2, p3}));
    QCOMPARE(page.controlText(P::AntennaLongitude), longitude);
    QCOMPARE(page.comboBox(P::AntennaEastWest)->currentIndex(), eastWest);
    QCOMPARE(page.controlText(P::AntennaLatitude), latitude);
    QCOMPARE(page.comboBox(P::AntennaNorthSouth)->currentIndex(), northSouth);
    QCOMPARE(page.controlText(P::NearestCity), nearest);
    if (!nearest.isEmpty()) {
        QCOMPARE(page.comboBox(P::CityNames)->currentText(), nearest);
        QCOMPARE(page.controlText(P::CityLongitude), cityLongitude);
    }
    QVERIFY(page.controlText(P::CityLongitude) != QStringLiteral("typed"));
    QCOMPARE(page.controlText(P::SatelliteLongitude), QStringLiteral("kept"));
    QVERIFY(!page.controlText(P::Azimuth).isEmpty());
    if (!azimuth.isEmpty()) {
        QCOMPARE(page.controlText(P::Azimuth), azimuth);
        QCOMPARE(page.controlText(P::Elevation), elevation);
        QCOMPARE(page.controlText(P::Skew), skew);
    }
}

void GpsPageTest::ngWithoutSatelliteStillShowsThePosition() {
    GpsRig rig;
    GpsPage& page = rig.page();
    choose(page.comboBox(P::CityNames), 1);                         // Cape Town
    page.edit(P::CityLongitude)->setText(QStringLiteral("12.34"));  // typed, not yet sent
    QVERIFY(rig.h().deliver(cmd::NG, {959, 0, 5333, 3}));
    QCOMPARE(page.controlText(P::AntennaLongitude), QStringLiteral("  9.59"));
    QCOMPARE(page.controlText(P::AntennaLatitude), QStringLiteral(" 53.33"));
    QCOMPARE(page.controlText(P::NearestCity), QStringLiteral("Hamburg"));
    QCOMPARE(page.controlText(P::Azimuth), QString());
    // The City GPS group is the user's until a satellite is in use.
    QCOMPARE(page.comboBox(P::CityNames)->currentText(), QStringLiteral("Cape Town"));
    QCOMPARE(page.controlText(P::CityLongitude), QStringLiteral("12.34"));
}

void GpsPageTest::gpsIndicatorBlinks() {
    GpsRig rig;
    ControllerHarness& h = rig.h();
    GpsPage& page = rig.page();
    QCOMPARE(page.bitmapOf(P::GpsIndicator), bm::LedGrey);

    QVERIFY(h.deliver(cmd::TC, {80, 1}));
    QCOMPARE(page.bitmapOf(P::GpsIndicator), bm::LedBlue);
    QTRY_COMPARE_WITH_TIMEOUT(page.bitmapOf(P::GpsIndicator), bm::LedGrey, 3000);
    QVERIFY(!page.isDialogTimerActive(P::IndicatorTimer));

    QVERIFY(h.deliver(cmd::TC, {80, 0}));
    QCOMPARE(page.bitmapOf(P::GpsIndicator), bm::LedRed);
    QVERIFY(h.deliver(cmd::TC, {11, 1}));  // the comm LED's report: not this indicator
    QCOMPARE(page.bitmapOf(P::GpsIndicator), bm::LedRed);
    QTRY_COMPARE_WITH_TIMEOUT(page.bitmapOf(P::GpsIndicator), bm::LedGrey, 3000);

    // A second report 300 ms after the first keeps it lit until 500 ms after the second.
    QVERIFY(h.deliver(cmd::TC, {80, 1}));
    QTest::qWait(300);
    QVERIFY(h.deliver(cmd::TC, {80, 1}));
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    QCOMPARE(page.bitmapOf(P::GpsIndicator), bm::LedBlue);
    QTRY_COMPARE_WITH_TIMEOUT(page.bitmapOf(P::GpsIndicator), bm::LedGrey, 3000);
    QVERIFY2(sinceSecond.elapsed() >= 400, qPrintable(QString::number(sinceSecond.elapsed())));
}

void GpsPageTest::setGpsSendsTheCityPosition_data() {
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<int>("eastWest");
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<int>("northSouth");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("azimuth");

    QTest::newRow("the worked position, with its angles")
        << "126.59" << 0 << "37.33" << 0 << "SG 12659 0 3733 3"
        << "202.30";
    QTest::newRow("minutes above 59 become 59")
        << "126.75" << 1 << "10.60" << 1 << "SG 12659 1 1059 2"
        << "";
    QTest::newRow("37.3 is cut to 3729") << "1" << 0 << "37.3" << 0 << "SG 100 0 3729 3"
                                         << "";
    QTest::newRow("typed numbers saturate")
        << "99999999" << 0 << "-99999999" << 0 << "SG 2147483647 0 -2147483648 3"
        << "";
}

void GpsPageTest::setGpsSendsTheCityPosition() {
    QFETCH(QString, longitude);
    QFETCH(int, eastWest);
    QFETCH(QString, latitude);
    QFETCH(int, northSouth);
    QFETCH(QString, sent);
    QFETCH(QString, azimuth);
    GpsRig& rig = sharedRig();
    ControllerHarness& h = rig.h();
    GpsPage& page = rig.page();
    if (page.comboBox(P::SatelliteList)->count() == 0) {
        QVERIFY(useSatellite113East(h));
    }
    h.sentLines();
    page.setControlText(P::Azimuth, QString());
    page.edit(P::CityLongitude)->setText(longitude);
    page.comboBox(P::CityEastWest)->setCurrentIndex(eastWest);
    page.edit(P::CityLatitude)->setText(latitude);
    page.comboBox(P::CityNorthSouth)->setCurrentIndex(northSouth);
    page.button(P::SetGpsButton)->click();
    QCOMPARE(h.sentLines(), std::vector<std::string>{sent.toStdString()});
    QVERIFY(!page.controlText(P::Azimuth).isEmpty());  // a satellite is in use
    if (!azimuth.isEmpty()) {
        QCOMPARE(page.controlText(P::Azimuth), azimuth);
    }
    QCOMPARE(page.controlText(P::CityLongitude), longitude);  // what was typed stays
}

void GpsPageTest::findAnglesButtons() {
    GpsRig rig;
    ControllerHarness& h = rig.h();
    GpsPage& page = rig.page();
    page.edit(P::SatelliteLongitude)->setText(QStringLiteral("113.0"));
    page.comboBox(P::SatelliteEastWest)->setCurrentIndex(0);

    // No antenna position yet: nothing to compute.
    page.button(P::AntennaAnglesButton)->click();
    QCOMPARE(page.controlText(P::Azimuth), QString());

    // The antenna's position keeps its minutes.
    QVERIFY(h.deliver(cmd::NG, {12659, 0, 3733, 3}));
    QCOMPARE(page.controlText(P::Azimuth), QString());  // no satellite in use
    page.button(P::AntennaAnglesButton)->click();
    QCOMPARE(page.controlText(P::Azimuth), QStringLiteral("202.30"));
    QCOMPARE(page.controlText(P::Elevation), QStringLiteral(" 44.25"));
    QCOMPARE(page.controlText(P::Skew), QStringLiteral(" 17.45"));

    // The city's position (Seoul) counts in whole degrees.
    choose(page.comboBox(P::CityNames),
           page.comboBox(P::CityNames)->findText(QStringLiteral("Seoul")));
    QCOMPARE(page.controlText(P::CityLongitude), QStringLiteral("126.59"));
    page.button(P::CityAnglesButton)->click();
    const geo::AzimuthElevation whole =
        geo::computeAzimuthElevation(113.0, 0, geo::FlagEast, geo::CodeNorth, 126.0, 37.0);
    QCOMPARE(page.controlText(P::Azimuth), shown(whole.azimuth));
    QCOMPARE(page.controlText(P::Elevation), shown(whole.elevation));
    QCOMPARE(page.controlText(P::Skew),
             shown(geo::computeSkew(113.0, 0, geo::FlagEast, geo::CodeNorth, 126.0, 37.0)));
    QVERIFY(page.controlText(P::Azimuth) != QStringLiteral("202.30"));

    // Without a hemisphere chosen for the city nothing is computed.
    page.setControlText(P::Azimuth, QStringLiteral("before"));
    page.comboBox(P::CityNorthSouth)->setCurrentIndex(-1);
    page.button(P::CityAnglesButton)->click();
    QCOMPARE(page.controlText(P::Azimuth), QStringLiteral("before"));

    // A satellite longitude beyond any number shows dashes, not "nan".
    page.edit(P::SatelliteLongitude)->setText(QStringLiteral("1e999"));
    page.button(P::AntennaAnglesButton)->click();
    QCOMPARE(page.controlText(P::Azimuth), QStringLiteral("   ---"));
    QCOMPARE(page.controlText(P::Skew), QStringLiteral("   ---"));
}

void GpsPageTest::addCity_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<int>("eastWest");
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<int>("northSouth");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("shownLongitude");  // of the selected city when taken

    QTest::newRow("new city with blanks, west and south")
        << "Rio de Janeiro"
        << "43.12" << 1 << "22.54" << 1 << true << true << " 43.12";
    QTest::newRow("existing name takes the new position")
        << "Berlin"
        << "13.25" << 0 << "52.30" << 0 << true << true << " 13.25";
    QTest::newRow("180.00 and 90.00 are taken")
        << "Edge"
        << "180.00" << 0 << "90.00" << 0 << true << true << "180.00";
    QTest::newRow("cancelled") << "Nowhere"
                               << "1.00" << 0 << "1.00" << 0 << false << false << "";
    QTest::newRow("no name") << ""
                             << "1.00" << 0 << "1.00" << 0 << true << false << "";
    QTest::newRow("longitude 180.01") << "East"
                                      << "180.01" << 0 << "1.00" << 0 << true << false << "";
    QTest::newRow("longitude -0.01") << "West"
                                     << "-0.01" << 0 << "1.00" << 0 << true << false << "";
    QTest::newRow("latitude 90.01") << "Pole"
                                    << "1.00" << 0 << "90.01" << 0 << true << false << "";
    QTest::newRow("typed number saturates and is dropped")
        << "Huge"
        << "99999999" << 0 << "1.00" << 0 << true << false << "";
}

void GpsPageTest::addCity() {
    QFETCH(QString, name);
    QFETCH(QString, longitude);
    QFETCH(int, eastWest);
    QFETCH(QString, latitude);
    QFETCH(int, northSouth);
    QFETCH(bool, accept);
    QFETCH(bool, taken);
    QFETCH(QString, shownLongitude);
    GpsRig& rig = sharedRig();
    GpsPage& page = rig.page();
    const QStringList before = cityNames(page);
    const int modifiedBefore = page.cityListModified;
    choose(page.comboBox(P::CityNames), 1);  // Cape Town, or the entry there now
    const QString openedLongitude = page.controlText(P::CityLongitude);
    const QString openedLatitude = page.controlText(P::CityLatitude);
    const int openedEastWest = page.comboBox(P::CityEastWest)->currentIndex();
    const int openedNorthSouth = page.comboBox(P::CityNorthSouth)->currentIndex();

    ScriptedAddCity user(rig.h().prompter,
                         {name, longitude, eastWest, latitude, northSouth, accept});
    page.button(P::AddCityButton)->click();
    QCOMPARE(user.opened.title, QStringLiteral("Add City to GPS List"));
    QVERIFY(user.opened.modal);
    QCOMPARE(user.opened.longitude, openedLongitude);
    QCOMPARE(user.opened.latitude, openedLatitude);
    QCOMPARE(user.opened.eastWest, openedEastWest);
    QCOMPARE(user.opened.northSouth, openedNorthSouth);
    QCOMPARE(user.opened.name, QString());

    if (!taken) {
        QCOMPARE(cityNames(page), before);
        QCOMPARE(page.cityListModified, modifiedBefore);
        return;
    }
    QStringList expected = before;
    if (!expected.contains(name)) {
        expected.append(name);
        expected.sort();
    }
    QCOMPARE(cityNames(page), expected);
    QCOMPARE(page.comboBox(P::CityNames)->currentText(), name);
    QCOMPARE(page.controlText(P::CityLongitude), shownLongitude);
    QCOMPARE(page.comboBox(P::CityEastWest)->currentIndex(), eastWest);
    QCOMPARE(page.comboBox(P::CityNorthSouth)->currentIndex(), northSouth);
    QCOMPARE(page.cityListModified, 1);
}

void GpsPageTest::namesOutsideAsciiAreKeptWhole() {
    GpsRig rig;
    GpsPage& page = rig.page();
    // 30 Cyrillic letters are 60 bytes: typing stops at 24 (48 bytes), so what the box
    // shows is what the file keeps.
    const QString typed(30, QChar(0x0416));
    const QString kept(24, QChar(0x0416));
    const QString greek = QStringLiteral("Νέα Σμύρνη");
    QStringList shown;
    for (const QString& name : {typed, greek}) {
        rig.h().prompter.dialogUsers.push_back([&shown, name](QDialog& dialog) {
            auto& d = static_cast<AddCityDialog&>(dialog);
            for (const QChar c : name) {
                QTest::sendKeyEvent(QTest::Click, d.edit(AddCityDialog::NameEdit), Qt::Key_unknown,
                                    QString(c), Qt::NoModifier);
            }
            shown << d.edit(AddCityDialog::NameEdit)->text();
            d.button(AddCityDialog::AddButton)->click();
            return d.result();
        });
        page.button(P::AddCityButton)->click();
    }
    QCOMPARE(shown, (QStringList{kept, greek}));
    QVERIFY(cityNames(page).contains(kept));
    QVERIFY(cityNames(page).contains(greek));

    // Saved and read again, both names come back unchanged.
    QVERIFY(page.saveCityFile());
    geo::CityList saved;
    QVERIFY(geo::readCityFile(rig.path(QStringLiteral("city_E.gps")).toStdString(), saved));
    QStringList names;
    for (int k = 1; k <= saved.count(); ++k) {
        names << QString::fromStdString(saved.cityAt(k).name);
    }
    QVERIFY2(names.contains(kept) && names.contains(greek), qPrintable(names.join(u',')));
}

void GpsPageTest::deleteCity() {
    GpsRig rig;
    GpsPage& page = rig.page();
    QComboBox* list = page.comboBox(P::CityNames);
    choose(list, 1);  // Cape Town
    QCOMPARE(page.controlText(P::CityLongitude), QStringLiteral(" 18.25"));
    page.button(P::DeleteCityButton)->click();
    QCOMPARE(cityNames(page), (QStringList{"Berlin", "Hamburg", "Seoul", "Sydney"}));
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(page.controlText(P::CityLongitude), QStringLiteral(" 18.25"));  // kept as it was
    QCOMPARE(page.cityListModified, 1);
    QVERIFY(rig.h().prompter.messages.empty());

    list->setCurrentIndex(-1);
    page.button(P::DeleteCityButton)->click();
    QCOMPARE(list->count(), 4);
}

void GpsPageTest::loadGpsFile() {
    GpsRig rig({{QStringLiteral("city_E.gps"), FiveCities},
                {QStringLiteral("other.gps"), "Lima 77.03 W 12.03 S\r\nOslo 10.45 E 59.55 N\r\n"}});
    ControllerHarness& h = rig.h();
    GpsPage& page = rig.page();
    {
        ScriptedAddCity user(h.prompter, {QStringLiteral("Quito"), QStringLiteral("78.30"), 1,
                                          QStringLiteral("0.13"), 1, true});
        page.button(P::AddCityButton)->click();
    }
    QCOMPARE(page.cities().count(), 6);

    // The list goes to its file first, without a question; then the chosen file is read.
    h.prompter.files.push_back(rig.path(QStringLiteral("other.gps")));
    page.button(P::LoadFileButton)->click();
    QCOMPARE(h.prompter.fileFilters, QStringList{QStringLiteral("GPS Files (*.gps)")});
    QVERIFY(h.prompter.messages.empty());
    geo::CityList saved;
    QVERIFY(geo::readCityFile(rig.path(QStringLiteral("city_E.gps")).toStdString(), saved));
    QCOMPARE(saved.count(), 6);
    QCOMPARE(saved.cityAt(4).name, std::string("Quito"));
    QCOMPARE(rig.read(QStringLiteral("city_E.gps")),
             QByteArray::fromStdString(geo::formatCityFile(saved)));
    // The same bytes under every desktop locale (this test also runs under one with a
    // decimal comma): the minutes survive the next reading.
    QVERIFY(rig.read(QStringLiteral("city_E.gps"))
                .contains("                         Quito   78.30 W   0.13 S\r\n"));
    QCOMPARE(page.cityFileName, rig.path(QStringLiteral("other.gps")));
    QCOMPARE(cityNames(page), (QStringList{"Lima", "Oslo"}));
    QCOMPARE(page.controlText(P::CityLongitude), QStringLiteral(" 77.03"));

    // A cancelled choice keeps the file and the list; the list is still saved to it.
    choose(page.comboBox(P::CityNames), 1);
    page.button(P::LoadFileButton)->click();
    QCOMPARE(page.cityFileName, rig.path(QStringLiteral("other.gps")));
    QCOMPARE(cityNames(page), (QStringList{"Lima", "Oslo"}));
    QCOMPARE(page.comboBox(P::CityNames)->currentIndex(), 1);
    QCOMPARE(rig.read(QStringLiteral("other.gps")),
             QByteArray("                          Lima   77.03 W  12.03 S\r\n"
                        "                          Oslo   10.45 E  59.55 N\r\n"));
    QVERIFY(h.prompter.messages.empty());
}

void GpsPageTest::incompleteFileIsNotReplacedUnasked() {
    const QByteArray original = numberedCities(1001);
    GpsRig rig({{QStringLiteral("city_E.gps"), original}});
    ControllerHarness& h = rig.h();
    GpsPage& page = rig.page();
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QCOMPARE(page.cities().count(), 1000);

    // Load GPS File would save over it: the user is asked and says no.
    h.prompter.answers.push_back(ui::Answer::No);
    page.button(P::LoadFileButton)->click();
    QCOMPARE(h.prompter.messages.size(), std::size_t{2});
    QCOMPARE(h.prompter.messages[1].buttons, ui::Buttons::YesNo);
    QVERIFY(h.prompter.messages[1].text.contains(QStringLiteral("city_E.gps")));
    QCOMPARE(rig.read(QStringLiteral("city_E.gps")), original);

    // Yes replaces it with the list; from then on the file holds the list and saving
    // asks nothing.
    h.prompter.answers.push_back(ui::Answer::Yes);
    page.button(P::LoadFileButton)->click();
    QCOMPARE(h.prompter.messages.size(), std::size_t{3});
    QCOMPARE(rig.read(QStringLiteral("city_E.gps")),
             QByteArray::fromStdString(geo::formatCityFile(page.cities())));
    page.button(P::LoadFileButton)->click();
    QCOMPARE(h.prompter.messages.size(), std::size_t{3});
}

void GpsPageTest::failedSaveSaysSo() {
    GpsRig rig;
    ControllerHarness& h = rig.h();
    GpsPage& page = rig.page();
    page.cityFileName = rig.path(QStringLiteral("gone/city_E.gps"));
    page.button(P::LoadFileButton)->click();
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    const QString text = h.prompter.messages[0].text;
    QVERIFY2(text.contains(page.cityFileName), qPrintable(text));
    // The system's reason, in the desktop's language.
    QVERIFY2(text.contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(text));
    QCOMPARE(cityNames(page).size(), 5);
}

void GpsPageTest::saveQuestionWhileTheWindowCloses_data() {
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("saved");
    QTest::newRow("changed, yes") << true << int(ui::Answer::Yes) << true << true;
    QTest::newRow("changed, no") << true << int(ui::Answer::No) << true << false;
    QTest::newRow("unchanged") << false << int(ui::Answer::Yes) << false << false;
}

void GpsPageTest::saveQuestionWhileTheWindowCloses() {
    QFETCH(bool, changed);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, saved);
    GpsRig rig;
    ControllerHarness& h = rig.h();
    MainDialog& d = rig.d();
    if (changed) {
        choose(d.gpsPage.comboBox(P::CityNames), 2);
        d.gpsPage.button(P::DeleteCityButton)->click();  // Hamburg
    }
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    h.prompter.answers.push_back(static_cast<ui::Answer>(answer));
    QVERIFY(d.close());
    QVERIFY(!d.isVisible());
    QCOMPARE(h.prompter.messages.size(), std::size_t{asked ? 1U : 0U});
    if (asked) {
        QCOMPARE(h.prompter.messages[0].text, QStringLiteral("Do you want to save GPS File?"));
        QCOMPARE(h.prompter.messages[0].buttons, ui::Buttons::YesNo);
    }
    geo::CityList onDisk;
    QVERIFY(geo::readCityFile(rig.path(QStringLiteral("city_E.gps")).toStdString(), onDisk));
    QCOMPARE(onDisk.count(), saved ? 4 : 5);
}

KELVANDOR_QTEST(GpsPageTest, "gps_page_test")
#include "gps_page_test.moc"
