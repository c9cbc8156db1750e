// SPDX-License-Identifier: GPL-3.0-or-later
// The antenna parameters page: product information (antenna size, serial number,
// voltages, software and region versions), the control and antenna parameters, the three
// behaviour flags, and the tracking-pattern rows the antenna reports, kept in
// "pattern.tab". The page sends no query of its own: its fields fill from the antenna's
// reports, whatever asked for them.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "host/page_dialog.h"
#include "protocol/command_table.h"

namespace kelvandor {

class ParameterPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 107;

    // Control ids.
    static constexpr int ScanOffsetEdit = 1046;
    static constexpr int TrackingScaleEdit = 1043;
    static constexpr int DetectLevelOffsetEdit = 1044;
    static constexpr int UseLatestElevationCheck = 1102;  // hidden; its value still travels
    static constexpr int UseWrsMethodCheck = 1103;
    static constexpr int UseOffsetDifferenceCheck = 1104;
    static constexpr int DiseqcThresholdEdit = 1052;
    static constexpr int InitialSatCountEdit = 1050;  // hidden
    static constexpr int VoltageThresholdEdit = 1051;
    static constexpr int SatVerifyTimeEdit = 1047;  // hidden
    static constexpr int TrackingLevelOffsetEdit = 1048;
    static constexpr int TrackingStableCountEdit = 1049;  // hidden
    static constexpr int WrsDetectLevelEdit = 1045;
    static constexpr int OffsetDiffAzElEdit = 1053;  // hidden
    static constexpr int OffsetDiffRhLhEdit = 1055;
    static constexpr int SearchLockCountEdit = 1061;
    static constexpr int ElevationAdjustEdit = 1056;
    static constexpr int AntennaSizeText = 1059;
    static constexpr int VoltageText = 1058;
    static constexpr int SoftwareVersionText = 1060;
    static constexpr int RegionVersionText = 1062;
    static constexpr int SerialNumberText = 1057;
    static constexpr int SetScanParametersButton = 1018;     // SA, then TL
    static constexpr int SetControlParametersButton = 1020;  // SC
    static constexpr int SetAntennaParametersButton = 1021;  // Sa
    static constexpr int SetFlagsButton = 1019;              // FG

    // The controls that are never shown; their values still travel in SC, Sa and FG.
    static constexpr std::array<int, 5> HiddenControls = {
        UseLatestElevationCheck, SatVerifyTimeEdit, TrackingStableCountEdit, InitialSatCountEdit,
        OffsetDiffAzElEdit};

    static constexpr int ElevationAdjustPauseMs = 100;  // between SA and TL

    ParameterPage();

    void onReply(CommandId id, const std::int32_t* params) override;

    // Region Version := "<name> <version / 100, one decimal>"; `version` in hundredths.
    // The default-set operations call it.
    void showRegionVersion(const QString& name, int version);

    // Button handlers.
    void onSetScanParameters();
    void onSetControlParameters();
    void onSetAntennaParameters();
    void onSetFlags();

    // The page model, in binding order. Texts as typed or as last reported; flags 1 =
    // checked, 0 = unchecked.
    QString scanOffset;
    QString trackingScale;
    QString detectLevelOffset;
    int useLatestElevation = 0;
    int useWrsMethod = 0;
    int useOffsetDifference = 0;
    QString diseqcThreshold;
    QString initialSatCount;
    QString voltageThreshold;
    QString satVerifyTime;
    QString trackingLevelOffset;
    QString trackingStableCount;
    QString wrsDetectLevel;
    QString offsetDiffAzEl;
    QString offsetDiffRhLh;
    QString searchLockCount;
    QString elevationAdjust;
    QString antennaSize;
    QString voltage;
    QString softwareVersion;
    QString regionVersion;

  protected:
    void onInitDialog() override;

  private:
    // Sets a model text and its control at once.
    void showText(QString& field, int controlId, const QString& text);
    void showVersions(const std::int32_t* p);
    void showVoltages(const std::int32_t* p);
    void showSerialNumber(const std::int32_t* p);
    void showElevationAdjust(std::int32_t tenths);
    // Says once that the pattern file cannot be written (`error` is an errno); a row
    // written since (`error` 0 with `rowWritten`) makes the next failure worth saying.
    void notePatternFile(int error, bool rowWritten);
    void send(CommandId id);

    // The one outgoing parameter array, shared by every send and never cleared.
    std::array<std::int32_t, MaxParams> params_{};
    bool patternFailureShown_ = false;
};

}  // namespace kelvandor
