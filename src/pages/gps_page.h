// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS page: the position the antenna reports from its GPS receiver with the nearest
// city of the city list, the city list itself (kept in a small text file), "Set GPS" to
// send a position to the antenna, and the pointing angles for the antenna's position or
// a city against a satellite.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "geo/city_list.h"
#include "host/page_dialog.h"
#include "protocol/command_table.h"

namespace kelvandor {

class GpsPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 104;
    // "Antenna Current GPS"
    static constexpr int AntennaLongitude = 1082;
    static constexpr int AntennaEastWest = 1038;
    static constexpr int AntennaLatitude = 1083;
    static constexpr int AntennaNorthSouth = 1041;
    static constexpr int NearestCity = 1084;
    static constexpr int GpsIndicator = 1086;
    // "City GPS"
    static constexpr int CityNames = 1029;
    static constexpr int CityLongitude = 1032;
    static constexpr int CityEastWest = 1033;
    static constexpr int CityLatitude = 1034;
    static constexpr int CityNorthSouth = 1035;
    static constexpr int SetGpsButton = 1010;
    static constexpr int LoadFileButton = 1072;
    static constexpr int AddCityButton = 1040;
    static constexpr int DeleteCityButton = 1085;
    // "Antenna Angle"
    static constexpr int SatelliteList = 1079;
    static constexpr int SatelliteLongitude = 1025;
    static constexpr int SatelliteEastWest = 1026;
    static constexpr int Azimuth = 1081;
    static constexpr int Elevation = 1075;
    static constexpr int Skew = 1098;
    static constexpr int AntennaAnglesButton = 1021;
    static constexpr int CityAnglesButton = 1022;

    static constexpr int IndicatorTimer = 0;
    static constexpr int IndicatorMs = 500;
    // TC subject of the GPS indication.
    static constexpr int GpsFixSubject = 80;

    GpsPage();

    void onReply(CommandId id, const std::int32_t* params) override;
    // Offers to save a changed city list while the main window closes.
    void onHostClosing() override;

    // Handlers of the controls.
    void onSetGps();
    void onLoadGpsFile();
    void onAddCity();
    void onDeleteCity();
    void onFindAnglesAntenna();
    void onFindAnglesCity();
    void showSelectedCity();
    void showSelectedSatellite();

    // Reads the city list from cityFileName, or from "city.gps" when that cannot be
    // opened (cityFileName then becomes "city.gps"); nothing when neither opens.
    void loadCityFile();
    // Writes the list to cityFileName, replacing the file only when the new one is
    // complete. Asks first when that file held cities the list did not take; a failed
    // save says so with the file's name and the reason. Returns whether it was saved.
    bool saveCityFile();

    const geo::CityList& cities() const { return cities_; }

    // A City GPS position typed as DDD.MM texts, in whole hundredths (cut toward zero).
    struct CityPosition {
        std::int32_t longitude;
        std::int32_t latitude;
    };
    // The position of `longitudeText` and `latitudeText` when it lies within 0..180.00 and
    // 0..90.00, the range a city of the list may have; none otherwise (a text too large
    // for a number, a negative or an out-of-range value).
    static std::optional<CityPosition> checkedCityPosition(const QString& longitudeText,
                                                           const QString& latitudeText);
    // What a user who typed a position outside that range is told.
    static QString cityPositionRangeMessage();

    // The file of the city list, relative to the working directory unless absolute.
    QString cityFileName = QStringLiteral("city_E.gps");
    // Set by every accepted Add City and every Delete City; never reset.
    int cityListModified = 0;

    // Fields of the bound controls.
    QString antennaLongitude;
    int antennaEastWest = -1;  // no selection until the antenna reports a position
    QString antennaLatitude;
    int antennaNorthSouth = -1;
    QString nearestCity;
    int gpsIndicator;
    int cityIndex = -1;
    QString cityLongitude;
    int cityEastWest = 0;
    QString cityLatitude;
    int cityNorthSouth = 0;
    QString satelliteLongitude;
    int satelliteEastWest = -1;
    QString azimuth;
    QString elevation;
    QString skew;

  protected:
    void onInitDialog() override;
    void onTimer(int timerId) override;

  private:
    void refreshSatelliteName(int index);
    void onNg(const std::int32_t* p);
    void onIndication(const std::int32_t* p);
    void fillCityList();
    // Computes the three angles into their fields.
    void computeAngles(double satellite, int satelliteWest, int ewFlag, int nsCode,
                       double longitude, double latitude);
    // The angles for the current satellite of the main window, when there is one.
    void computeAnglesForCurrentSatellite(int ewFlag, int nsCode, double longitude,
                                          double latitude);
    bool selectedTextStartsWith(int listId, char letter) const;
    // The E/W flag and the N/S code of the entry shown in a hemisphere list.
    int eastWestFlagOf(int listId) const;
    int northSouthCodeOf(int listId) const;

    geo::CityList cities_;
    // The city file held cities that the list did not take: it is not replaced without
    // the user's yes.
    bool cityFileIncomplete_ = false;
    std::array<std::int32_t, MaxParams> params_{};
};

}  // namespace kelvandor
