// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/gps_page.h"

#include <QComboBox>
#include <QFile>
#include <cmath>
#include <cstdio>

#include "geo/city_file.h"
#include "geo/pointing.h"
#include "protocol/c_format.h"
#include "host/host_services.h"
#include "host/satellite_list.h"
#include "pages/add_city_dialog.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"
#include "ui/text_numbers.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;
using P = GpsPage;

constexpr ui::ControlTemplate Controls[] = {
    {NoId, ControlKind::GroupBox, "Antenna Current GPS", 6, 4, 248, 60},
    {NoId, ControlKind::Label, "Longitude", 16, 18, 40, 10},
    {P::AntennaLongitude, ControlKind::Label, "", 58, 18, 30, 10, ui::AlignRight},
    {P::AntennaEastWest, ControlKind::DropDownList, "E\nW", 94, 16, 30, 40, ui::Disabled},
    {NoId, ControlKind::Label, "Latitude", 16, 33, 40, 10},
    {P::AntennaLatitude, ControlKind::Label, "", 58, 33, 30, 10, ui::AlignRight},
    {P::AntennaNorthSouth, ControlKind::DropDownList, "N\nS", 94, 31, 30, 40, ui::Disabled},
    {P::GpsIndicator, ControlKind::Picture, "GPS fix", 232, 16, 10, 10, ui::NoFlags,
     ui::bitmap::LedGrey},
    {NoId, ControlKind::Label, "City : ", 16, 48, 26, 10},
    {P::NearestCity, ControlKind::Label, "", 42, 48, 200, 10},

    {NoId, ControlKind::GroupBox, "City GPS", 6, 68, 248, 82},
    {NoId, ControlKind::Label, "City", 16, 83, 38, 10},
    {P::CityNames, ControlKind::DropDownList, "", 58, 81, 116, 120},
    {NoId, ControlKind::Label, "Longitude", 16, 100, 40, 10},
    {P::CityLongitude, ControlKind::Edit, "", 58, 98, 36, 12},
    {P::CityEastWest, ControlKind::DropDownList, "E\nW", 98, 98, 30, 40},
    {NoId, ControlKind::Label, "Latitude", 16, 117, 40, 10},
    {P::CityLatitude, ControlKind::Edit, "", 58, 115, 36, 12},
    {P::CityNorthSouth, ControlKind::DropDownList, "N\nS", 98, 115, 30, 40},
    {P::SetGpsButton, ControlKind::Button, "Set GPS", 180, 80, 66, 14},
    {P::LoadFileButton, ControlKind::Button, "Load GPS File", 180, 97, 66, 14},
    {P::AddCityButton, ControlKind::Button, "Add City", 180, 114, 66, 14},
    {P::DeleteCityButton, ControlKind::Button, "Delete City", 180, 131, 66, 14},

    {NoId, ControlKind::GroupBox, "Antenna Angle", 6, 154, 248, 82},
    {NoId, ControlKind::Label, "Satellite", 16, 169, 38, 10},
    {P::SatelliteList, ControlKind::DropDownList, "", 58, 167, 70, 120},
    {NoId, ControlKind::Label, "Longitude", 16, 186, 40, 10},
    {P::SatelliteLongitude, ControlKind::Edit, "", 58, 184, 36, 12, ui::AlignCenter},
    {P::SatelliteEastWest, ControlKind::DropDownList, "E\nW", 98, 184, 30, 40},
    {NoId, ControlKind::Label, "Aziumuth", 160, 169, 40, 10},
    {P::Azimuth, ControlKind::Label, "", 200, 169, 32, 10, ui::AlignRight},
    {NoId, ControlKind::Label, "°", 234, 167, 6, 8},
    {NoId, ControlKind::Label, "Elevation", 160, 180, 40, 10},
    {P::Elevation, ControlKind::Label, "", 200, 180, 32, 10, ui::AlignRight},
    {NoId, ControlKind::Label, "°", 234, 178, 6, 8},
    {NoId, ControlKind::Label, "Skew", 160, 191, 40, 10},
    {P::Skew, ControlKind::Label, "", 200, 191, 32, 10, ui::AlignRight},
    {NoId, ControlKind::Label, "°", 234, 189, 6, 8},
    {P::AntennaAnglesButton, ControlKind::MultiLineButton, "Find Angles && Skew Antenna GPS", 10,
     210, 124, 16},
    {P::CityAnglesButton, ControlKind::MultiLineButton, "Find Angles && Skew  City GPS", 138, 210,
     112, 16},
};

constexpr ui::DialogTemplate Layout = {GpsPage::TemplateId, nullptr, 260, 240, Controls};

constexpr double Hundredth = 0.01;
constexpr int HundredthsPerDegree = 100;
constexpr int MinutesPerHundred = 100;
constexpr int LastMinute = 59;
constexpr std::int32_t MaxCityLongitude = 18000;  // 180.00
constexpr std::int32_t MaxCityLatitude = 9000;    // 90.00
// Index of the first entry of the E/W and N/S lists ("E", "N").
constexpr int FirstEntry = 0;
constexpr int SecondEntry = 1;

const char* const FallbackCityFile = "city.gps";

QString formatted(const char* format, double value) {
    char text[64];
    formatC(text, sizeof text, format, value);
    return QString::fromLatin1(text);
}

// "%6.2lf" of an angle; a result that is not a number shows as dashes.
QString angleText(double value) {
    return std::isfinite(value) ? formatted("%6.2lf", value) : QStringLiteral("   ---");
}

// A DDD.MM text typed into the City GPS group as whole hundredths, minutes above 59
// taken as 59: "126.75" gives 12659. Saturates like every typed number.
std::int32_t hundredthsWithMinutesClamped(const QString& text) {
    std::int32_t v = ui::scaledDecimal(text, HundredthsPerDegree);
    const std::int32_t m = v % MinutesPerHundred;
    if (m > LastMinute) {
        v = v - m + LastMinute;
    }
    return v;
}

std::string filePath(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

}  // namespace

GpsPage::GpsPage() : PageDialog(Layout), gpsIndicator(ui::bitmap::LedGrey) {
    bindText(AntennaLongitude, &antennaLongitude);
    bindComboIndex(AntennaEastWest, &antennaEastWest);
    bindText(AntennaLatitude, &antennaLatitude);
    bindComboIndex(AntennaNorthSouth, &antennaNorthSouth);
    bindText(NearestCity, &nearestCity);
    bindBitmap(GpsIndicator, &gpsIndicator);
    bindComboIndex(CityNames, &cityIndex);
    bindText(CityLongitude, &cityLongitude);
    bindComboIndex(CityEastWest, &cityEastWest);
    bindText(CityLatitude, &cityLatitude);
    bindComboIndex(CityNorthSouth, &cityNorthSouth);
    bindText(SatelliteLongitude, &satelliteLongitude);
    bindComboIndex(SatelliteEastWest, &satelliteEastWest);
    bindText(Azimuth, &azimuth);
    bindText(Elevation, &elevation);
    bindText(Skew, &skew);
}

void GpsPage::onInitDialog() {
    PageDialog::onInitDialog();
    cityFileName = QStringLiteral("city_E.gps");
    loadCityFile();
    if (cities_.count() == 0) {
        showSelectedCity();  // the list head: 0.10 E, 0.10 N
    }

    connect(comboBox(CityNames), &QComboBox::activated, this, &GpsPage::showSelectedCity);
    connect(comboBox(SatelliteList), &QComboBox::activated, this, &GpsPage::showSelectedSatellite);
    onClicked(SetGpsButton, &GpsPage::onSetGps);
    onClicked(LoadFileButton, &GpsPage::onLoadGpsFile);
    onClicked(AddCityButton, &GpsPage::onAddCity);
    onClicked(DeleteCityButton, &GpsPage::onDeleteCity);
    onClicked(AntennaAnglesButton, &GpsPage::onFindAnglesAntenna);
    onClicked(CityAnglesButton, &GpsPage::onFindAnglesCity);
}

void GpsPage::onReply(CommandId id, const std::int32_t* p) {
    if (host == nullptr) {
        return;
    }
    if (id == cmd::NN || id == cmd::NS) {
        readControls();
        followSatelliteReports(SatelliteList, id, p, NoRefresh);
        showSelectedSatellite();
        return;
    }
    switch (id) {
        case cmd::NI:
            refreshSatelliteName(p[0]);
            break;
        case cmd::NG:
            onNg(p);
            break;
        case cmd::TC:
            onIndication(p);
            break;
        default:
            break;
    }
}

void GpsPage::refreshSatelliteName(int index) {
    // The antenna reports the count (NN) before the records, so the names listed then
    // are still blank; each record that follows names its entry.
    QComboBox* list = comboBox(SatelliteList);
    const SatelliteRecord* record = host->model().satellites.at(index);
    if (record != nullptr && index < list->count()) {
        list->setItemText(index, QString::fromLatin1(record->primary.name));
    }
}

void GpsPage::onNg(const std::int32_t* p) {
    readControls();
    antennaLongitude = formatted("%6.2lf", p[0] * Hundredth);
    antennaEastWest = p[1] == geo::FlagEast ? FirstEntry : SecondEntry;
    antennaLatitude = formatted("%6.2lf", p[2] * Hundredth);
    antennaNorthSouth = p[3] == geo::CodeNorth ? FirstEntry : SecondEntry;

    const int k = cities_.findNearestCity(p[1], p[3], p[0], p[2]);
    nearestCity = k > 0 ? QString::fromStdString(cities_.cityAt(k).name) : QString();
    const SatelliteTable& table = host->model().satellites;
    if (table.at(table.currentSatellite) == nullptr) {
        // No satellite in use, so no angles: the antenna's position and the nearest city
        // are shown, and the City GPS group keeps what the user has chosen or typed there.
        writeControls();
        return;
    }
    if (k > 0) {
        cityIndex = k - 1;
    }
    computeAnglesForCurrentSatellite(p[1], p[3], p[0] * Hundredth, p[2] * Hundredth);
    writeControls();
    showSelectedCity();
}

void GpsPage::onIndication(const std::int32_t* p) {
    if (p[0] != GpsFixSubject) {
        return;
    }
    readControls();
    gpsIndicator = p[1] == 1 ? ui::bitmap::LedBlue : ui::bitmap::LedRed;
    writeControls();
    startDialogTimer(IndicatorTimer, IndicatorMs);  // a later report restarts the blink
}

void GpsPage::onTimer(int timerId) {
    if (timerId != IndicatorTimer) {
        return;
    }
    gpsIndicator = ui::bitmap::LedGrey;
    setBitmap(GpsIndicator, gpsIndicator);
    stopDialogTimer(IndicatorTimer);
}

void GpsPage::onHostClosing() {
    if (cityListModified == 0) {
        return;
    }
    if (ui::prompter().message(QStringLiteral("Do you want to save GPS File?"), ui::Buttons::YesNo,
                               ui::Icon::None) == ui::Answer::Yes) {
        saveCityFile();
    }
}

void GpsPage::showSelectedCity() {
    readControls();
    const geo::CityEntry& entry = cities_.cityAt(cityIndex + 1);
    cityLongitude = formatted("%6.2lf", entry.longitude * Hundredth);
    cityEastWest = entry.ewFlag != geo::FlagEast ? SecondEntry : FirstEntry;
    cityLatitude = formatted("%6.2lf", entry.latitude * Hundredth);
    cityNorthSouth = entry.nsCode != geo::CodeNorth ? SecondEntry : FirstEntry;
    writeControls();
}

void GpsPage::showSelectedSatellite() {
    readControls();
    const SatelliteRecord* record = selectedRecord(SatelliteList);
    if (record == nullptr) {
        return;
    }
    satelliteLongitude = formatted("%5.1lf", record->primary.longitude);
    satelliteEastWest = record->primary.eastWest != geo::FlagEast ? SecondEntry : FirstEntry;
    writeControls();
}

void GpsPage::onSetGps() {
    readControls();
    const std::int32_t longitude = hundredthsWithMinutesClamped(cityLongitude);
    const std::int32_t latitude = hundredthsWithMinutesClamped(cityLatitude);
    const int ewFlag = eastWestFlagOf(CityEastWest);
    const int nsCode = northSouthCodeOf(CityNorthSouth);
    params_[0] = longitude;
    params_[1] = ewFlag;
    params_[2] = latitude;
    params_[3] = nsCode;
    sendToHost(cmd::SG, params_.data());
    computeAnglesForCurrentSatellite(ewFlag, nsCode, longitude * Hundredth, latitude * Hundredth);
    writeControls();
}

void GpsPage::onFindAnglesAntenna() {
    readControls();
    // Before the antenna has reported a position there is nothing to compute from.
    if (antennaEastWest < 0 || antennaNorthSouth < 0) {
        return;
    }
    const double satellite = ui::leadingDecimal(satelliteLongitude);
    const int satelliteWest = satelliteEastWest != FirstEntry ? geo::FlagWest : geo::FlagEast;
    const int ewFlag = eastWestFlagOf(AntennaEastWest);
    const int nsCode = northSouthCodeOf(AntennaNorthSouth);
    computeAngles(satellite, satelliteWest, ewFlag, nsCode, ui::leadingDecimal(antennaLongitude),
                  ui::leadingDecimal(antennaLatitude));
    writeControls();
}

void GpsPage::onFindAnglesCity() {
    readControls();
    const double satellite = ui::leadingDecimal(satelliteLongitude);
    const int satelliteWest = satelliteEastWest != FirstEntry ? geo::FlagWest : geo::FlagEast;
    if (cityEastWest < 0 || cityNorthSouth < 0) {
        return;
    }
    // Whole degrees only: this button drops the minutes of the city's position.
    const double longitude = std::trunc(ui::leadingDecimal(cityLongitude));
    const double latitude = std::trunc(ui::leadingDecimal(cityLatitude));
    const int ewFlag = eastWestFlagOf(CityEastWest);
    const int nsCode = northSouthCodeOf(CityNorthSouth);
    computeAngles(satellite, satelliteWest, ewFlag, nsCode, longitude, latitude);
    writeControls();
}

void GpsPage::onAddCity() {
    readControls();
    AddCityDialog dialog(window());
    dialog.longitudeText = cityLongitude;
    dialog.latitudeText = cityLatitude;
    dialog.eastWestIndex = cityEastWest;
    dialog.northSouthIndex = cityNorthSouth;
    if (!dialog.run()) {
        return;
    }
    geo::CityEntry entry;
    entry.name = dialog.cityName.toStdString();
    entry.ewFlag = dialog.eastWestIndex != FirstEntry ? geo::FlagWest : geo::FlagEast;
    entry.nsCode = dialog.northSouthIndex == FirstEntry ? geo::CodeNorth : geo::CodeSouth;
    const std::optional<CityPosition> position =
        checkedCityPosition(dialog.longitudeText, dialog.latitudeText);
    if (entry.name.empty() || !position) {
        return;
    }
    entry.longitude = position->longitude;
    entry.latitude = position->latitude;
    const int place = cities_.insertCity(std::move(entry));
    fillCityList();
    cityIndex = place - 1;
    cityListModified = 1;
    writeControls();
    showSelectedCity();
}

std::optional<GpsPage::CityPosition> GpsPage::checkedCityPosition(const QString& longitudeText,
                                                                  const QString& latitudeText) {
    const std::int32_t longitude = ui::scaledDecimal(longitudeText, HundredthsPerDegree);
    const std::int32_t latitude = ui::scaledDecimal(latitudeText, HundredthsPerDegree);
    if (longitude < 0 || longitude > MaxCityLongitude || latitude < 0 ||
        latitude > MaxCityLatitude) {
        return std::nullopt;
    }
    return CityPosition{longitude, latitude};
}

QString GpsPage::cityPositionRangeMessage() {
    return QStringLiteral(
        "The City GPS position is out of range: the longitude must lie between 0 and 180.00 "
        "and the latitude between 0 and 90.00 (DDD.MM).");
}

void GpsPage::onDeleteCity() {
    readControls();
    cities_.removeCityAt(cityIndex + 1);
    fillCityList();
    cityIndex = cities_.count() > 0 ? 0 : -1;
    cityListModified = 1;
    writeControls();
}

void GpsPage::onLoadGpsFile() {
    saveCityFile();
    const QString chosen =
        ui::prompter().openFileName(QStringLiteral("GPS Files (*.gps)"), QStringLiteral("gps"));
    if (chosen.isEmpty()) {
        return;  // a cancelled choice keeps the file and the list as they are
    }
    cityFileName = chosen;
    loadCityFile();
}

void GpsPage::loadCityFile() {
    if (cityFileName.isEmpty()) {
        return;
    }
    std::optional<geo::CityFileReport> report = geo::readCityFile(filePath(cityFileName), cities_);
    if (!report) {
        cityFileName = QString::fromLatin1(FallbackCityFile);
        report = geo::readCityFile(filePath(cityFileName), cities_);
        if (!report) {
            cityFileIncomplete_ = false;
            return;
        }
    }
    cityFileIncomplete_ = report->incomplete();
    if (cityFileIncomplete_) {
        QStringList lines;
        if (report->moreRecords) {
            lines << QStringLiteral(
                         "Only the first %1 cities of \"%2\" were read: the file holds more.")
                         .arg(geo::MaxCityRecords)
                         .arg(cityFileName);
        }
        if (report->recordsRefused > 0) {
            lines << QStringLiteral("%1 line(s) of \"%2\" hold no readable city and were left out.")
                         .arg(report->recordsRefused)
                         .arg(cityFileName);
        }
        ui::prompter().message(lines.join(QLatin1Char('\n')), ui::Buttons::Ok, ui::Icon::Warning);
    }
    fillCityList();
    cityIndex = cities_.count() > 0 ? 0 : -1;
    writeControls();
    showSelectedCity();
}

bool GpsPage::saveCityFile() {
    if (cityFileName.isEmpty()) {
        return false;
    }
    if (cityFileIncomplete_ &&
        ui::prompter().message(
            QStringLiteral("\"%1\" holds cities that are not in the list. Saving replaces the "
                           "file with the list, and those cities are lost.\n"
                           "Do you want to replace it?")
                .arg(cityFileName),
            ui::Buttons::YesNo, ui::Icon::Warning) != ui::Answer::Yes) {
        return false;
    }
    const geo::SaveResult result = geo::writeCityFile(filePath(cityFileName), cities_);
    if (!result.saved) {
        ui::prompter().message(
            QStringLiteral("The GPS File \"%1\" could not be saved: %2.")
                .arg(cityFileName, QString::fromLocal8Bit(result.reason.c_str())),
            ui::Buttons::Ok, ui::Icon::Warning);
        return false;
    }
    cityFileIncomplete_ = false;  // the file now holds the list
    return true;
}

void GpsPage::fillCityList() {
    QComboBox* list = comboBox(CityNames);
    list->clear();
    for (const geo::CityEntry& entry : cities_) {
        list->addItem(QString::fromStdString(entry.name));
    }
}

void GpsPage::computeAngles(double satellite, int satelliteWest, int ewFlag, int nsCode,
                            double longitude, double latitude) {
    const geo::AzimuthElevation ae =
        geo::computeAzimuthElevation(satellite, satelliteWest, ewFlag, nsCode, longitude, latitude);
    azimuth = angleText(ae.azimuth);
    elevation = angleText(ae.elevation);
    skew =
        angleText(geo::computeSkew(satellite, satelliteWest, ewFlag, nsCode, longitude, latitude));
}

void GpsPage::computeAnglesForCurrentSatellite(int ewFlag, int nsCode, double longitude,
                                               double latitude) {
    if (host == nullptr) {
        return;
    }
    const SatelliteTable& table = host->model().satellites;
    if (const SatelliteRecord* record = table.at(table.currentSatellite)) {
        computeAngles(record->primary.longitude, record->primary.eastWest, ewFlag, nsCode,
                      longitude, latitude);
    }
}

bool GpsPage::selectedTextStartsWith(int listId, char letter) const {
    const QComboBox* list = comboBox(listId);
    return list != nullptr && list->currentText().startsWith(QLatin1Char(letter));
}

int GpsPage::eastWestFlagOf(int listId) const {
    return selectedTextStartsWith(listId, 'E') ? geo::FlagEast : geo::FlagWest;
}

int GpsPage::northSouthCodeOf(int listId) const {
    return selectedTextStartsWith(listId, 'N') ? geo::CodeNorth : geo::CodeSouth;
}

}  // namespace kelvandor
