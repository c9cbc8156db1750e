// SPDX-License-Identifier: GPL-3.0-or-later
// The satellite information page: edits one satellite of the antenna's table (name,
// longitude, hemisphere, verification mode) and sets what belongs to no one satellite:
// the satellites registered for the slots, the DiSEqC mode, the LNB type with its local
// oscillator frequency, and the triple satellite mode. Its push-like buttons show what
// the antenna last reported, never the click (see pushToggle).
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "host/page_dialog.h"
#include "host/satellite_table.h"
#include "pages/satellite_page_controls.h"

namespace kelvandor {

class SatelliteInfoPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 110;
    // Control ids.
    static constexpr int SatelliteList = 1079;
    static constexpr int NameEdit = 1080;
    static constexpr int LongitudeEdit = 1025;
    static constexpr int EastWestList = 1026;
    static constexpr int EditButton = 1015;
    static constexpr int FirstVerificationRadio = 1108;  // the group runs to 1112
    static constexpr int TripleModeButton = 1070;
    static constexpr int DiseqcOffGroup = 1073;
    static constexpr int DiseqcOnGroup = 1071;
    static constexpr int TripleGroup = 1072;
    static constexpr int RegisterA = 1030;
    static constexpr int RegisterB = 1035;
    static constexpr int RegisterDiseqcA = 1036;
    static constexpr int RegisterDiseqcB = 1038;
    static constexpr int RegisterC = 1039;
    static constexpr int SingleBandButton = 1044;
    static constexpr int UniversalLnbButton = 1045;
    static constexpr int LocalFrequencyEdit = 1007;
    static constexpr int SetLocalFrequencyButton = 1047;

    SatelliteInfoPage();

    void onReply(CommandId id, const std::int32_t* params) override;

    // Handlers of the controls.
    void onSatelliteSelected();
    void onEditSatellite();
    // Register the selected satellite for `slot` (0..4): SP with that slot replaced.
    void onRegister(int slot);
    // The DiSEqC mode buttons: SQ `mode`, as a PushToggle.
    void onDiseqcMode(int mode);
    void onSingleBand();
    void onUniversalLnb();
    void onSetLocalFrequency();
    void onTripleMode();

    // Page fields, bound to the controls.
    QString nameText;
    QString longitudeText;
    int verificationMode = 0;
    DiseqcModeButtons diseqc;
    int singleBand = 0;
    int universalLnb = 0;
    QString localFrequencyText;
    int tripleSatelliteMode = 0;

  protected:
    void onInitDialog() override;

  private:
    void showSelectedSatellite();
    void refreshLayout();
    void send(CommandId id);
    // The number in the local frequency text, cut to an integer.
    std::int32_t typedLocalFrequency() const;

    std::array<std::int32_t, MaxParams> params_{};
};

}  // namespace kelvandor
