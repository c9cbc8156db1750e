// SPDX-License-Identifier: GPL-3.0-or-later
// The tracking information pages: for one satellite of the antenna's table, the
// frequency, symbol rate and NID of each of its four transponders, which transponder
// the antenna uses, and the DiSEqC mode. One class serves both pages: the primary page
// (dialog 109) edits the primary block and also the polarisation and band control and
// shows the NID in use; the secondary page (dialog 111) edits the secondary block.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "host/page_dialog.h"
#include "host/satellite_table.h"
#include "pages/satellite_page_controls.h"

namespace kelvandor {

class TrackingPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int PrimaryTemplateId = 109;
    static constexpr int SecondaryTemplateId = 111;
    static constexpr int TransponderCount = 4;

    // Control ids, the same on both pages.
    static constexpr int SatelliteList = 1079;
    static constexpr int NidInUse = 1103;  // primary page only
    static constexpr int EditButton = 1015;
    static constexpr int FirstPolRadio = 1105;   // "Auto", "13V", "18V"; primary page only
    static constexpr int FirstBandRadio = 1108;  // "Auto", "0 KHz", "22KHz"; primary page only
    static constexpr int HighVerticalBox = 1033;
    static constexpr int HighHorizontalBox = 1034;
    // The controls of each transponder, in transponder order.
    struct TransponderIds {
        int frequency;
        int symbolRate;
        int nid;
        int led;
    };
    static constexpr TransponderIds Transponders[TransponderCount] = {
        {1087, 1088, 1028, 1038},
        {1089, 1090, 1081, 1039},
        {1091, 1092, 1084, 1017},
        {1093, 1094, 1099, 1018},
    };

    explicit TrackingPage(bool secondary);

    bool isSecondary() const { return secondary_; }

    void onReply(CommandId id, const std::int32_t* params) override;

    // Handlers of the controls.
    void onSatelliteSelected();
    void onEditSatellite();
    // A click on the LED of `transponder` (0..3): SW, nothing else until Nw.
    void onTransponderClicked(int transponder);
    // The DiSEqC mode buttons: SQ `mode`, as a PushToggle.
    void onDiseqcMode(int mode);

    // Page fields, bound to the controls.
    std::array<QString, TransponderCount> frequencyText;
    std::array<QString, TransponderCount> symbolRateText;
    std::array<QString, TransponderCount> nidText;
    DiseqcModeButtons diseqc;
    int pol = 0;   // primary page only
    int band = 0;  // primary page only
    QString nidInUseText;

  protected:
    void onInitDialog() override;

  private:
    // The block this page edits.
    SatelliteDefinition& definitionOf(SatelliteRecord& record) const;
    TrackingBlock& trackingOf(SatelliteRecord& record) const;

    void showSelectedSatellite();
    void enableHighBand(bool enabled);
    void showTransponderInUse(int transponder);
    void send(CommandId id);

    bool secondary_;
    std::array<std::int32_t, MaxParams> params_{};
};

}  // namespace kelvandor
