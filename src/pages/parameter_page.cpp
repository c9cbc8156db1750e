// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/parameter_page.h"

#include <cstdio>
#include <cstring>

#include "host/host_services.h"
#include "pages/pattern_file.h"
#include "protocol/c_format.h"
#include "protocol/frame_codec.h"
#include "ui/prompter.h"
#include "ui/text_numbers.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;
using P = ParameterPage;

// Rows of the two parameter groups: a label, and the edit to its right.
constexpr int LeftLabelX = 12;
constexpr int LeftEditX = 90;
constexpr int RightLabelX = 138;
constexpr int RightEditX = 218;
constexpr int LabelW = 77;
constexpr int EditW = 30;
constexpr int RowH = 12;

// Group boxes come first so that the controls they surround are drawn over them. The
// hidden edits share the place of a visible row: they are never shown.
constexpr ui::ControlTemplate Controls[] = {
    {NoId, ControlKind::GroupBox, "Product Information", 6, 2, 248, 68},
    {NoId, ControlKind::GroupBox, "Parameter Setting", 6, 72, 122, 92},
    {NoId, ControlKind::GroupBox, "Flag Setting", 6, 166, 122, 62},
    {NoId, ControlKind::GroupBox, "Parameter Setting", 132, 72, 122, 156},

    // Product information.
    {NoId, ControlKind::Label, "Antenna Size :", 14, 14, 64, 10},
    {P::AntennaSizeText, ControlKind::Label, "", 80, 14, 168, 10},
    {NoId, ControlKind::Label, "Serial No. :", 14, 25, 64, 10},
    {P::SerialNumberText, ControlKind::Label, "", 80, 25, 168, 10},
    {NoId, ControlKind::Label, "Voltage :", 14, 36, 64, 10},
    {P::VoltageText, ControlKind::Label, "", 80, 36, 168, 10},
    {NoId, ControlKind::Label, "S/W Version :", 14, 47, 64, 10},
    {P::SoftwareVersionText, ControlKind::Label, "", 80, 47, 168, 10},
    {NoId, ControlKind::Label, "Region Version :", 14, 58, 64, 10},
    {P::RegionVersionText, ControlKind::Label, "", 80, 58, 168, 10},

    // Parameter setting, left: SA and TL.
    {NoId, ControlKind::Label, "Scan Offset", LeftLabelX, 85, LabelW, RowH},
    {P::ScanOffsetEdit, ControlKind::Edit, nullptr, LeftEditX, 85, EditW, RowH},
    {NoId, ControlKind::Label, "Tracking Scale", LeftLabelX, 100, LabelW, RowH},
    {P::TrackingScaleEdit, ControlKind::Edit, nullptr, LeftEditX, 100, EditW, RowH},
    {NoId, ControlKind::Label, "Detect Level Offset", LeftLabelX, 115, LabelW, RowH},
    {P::DetectLevelOffsetEdit, ControlKind::Edit, nullptr, LeftEditX, 115, EditW, RowH},
    {NoId, ControlKind::Label, "Elevation Adjust", LeftLabelX, 130, LabelW, RowH},
    {P::ElevationAdjustEdit, ControlKind::Edit, nullptr, LeftEditX, 130, EditW, RowH},
    {P::SetScanParametersButton, ControlKind::Button, "Set Control Parameters", 17, 146, 100, 14},

    // Flag setting.
    {P::UseLatestElevationCheck, ControlKind::CheckBox, "Use Latest Elevation Angle", 14, 179, 108,
     10, ui::Hidden},
    {P::UseWrsMethodCheck, ControlKind::CheckBox, "Use WRS Method", 14, 179, 108, 10},
    {P::UseOffsetDifferenceCheck, ControlKind::CheckBox, "Use Offset Difference", 14, 192, 108, 10},
    {P::SetFlagsButton, ControlKind::Button, "Set Flags", 17, 208, 100, 14},

    // Parameter setting, right: SC ...
    {NoId, ControlKind::Label, "Tracking Level Offset", RightLabelX, 85, LabelW, RowH},
    {P::TrackingLevelOffsetEdit, ControlKind::Edit, nullptr, RightEditX, 85, EditW, RowH},
    {NoId, ControlKind::Label, "WRS Detect Level", RightLabelX, 100, LabelW, RowH},
    {P::WrsDetectLevelEdit, ControlKind::Edit, nullptr, RightEditX, 100, EditW, RowH},
    {NoId, ControlKind::Label, "Voltage Threshold", RightLabelX, 115, LabelW, RowH},
    {P::VoltageThresholdEdit, ControlKind::Edit, nullptr, RightEditX, 115, EditW, RowH},
    {NoId, ControlKind::Label, "DiSEqC Threshold", RightLabelX, 130, LabelW, RowH},
    {P::DiseqcThresholdEdit, ControlKind::Edit, nullptr, RightEditX, 130, EditW, RowH},
    {NoId, ControlKind::Label, "Sat Verify Time", RightLabelX, 85, LabelW, RowH, ui::Hidden},
    {P::SatVerifyTimeEdit, ControlKind::Edit, nullptr, RightEditX, 85, EditW, RowH},
    {NoId, ControlKind::Label, "Tracking Stable Count", RightLabelX, 100, LabelW, RowH, ui::Hidden},
    {P::TrackingStableCountEdit, ControlKind::Edit, nullptr, RightEditX, 100, EditW, RowH},
    {NoId, ControlKind::Label, "Initial Sat Count", RightLabelX, 115, LabelW, RowH, ui::Hidden},
    {P::InitialSatCountEdit, ControlKind::Edit, nullptr, RightEditX, 115, EditW, RowH, ui::Hidden},
    {P::SetControlParametersButton, ControlKind::Button, "Set Control Parameters", 143, 146, 100,
     14},
    // ... and Sa.
    {NoId, ControlKind::Label, "Offset Diff AZ - EL", RightLabelX, 167, LabelW, RowH, ui::Hidden},
    {P::OffsetDiffAzElEdit, ControlKind::Edit, nullptr, RightEditX, 167, EditW, RowH},
    {NoId, ControlKind::Label, "  Search   Lock Count", RightLabelX, 167, LabelW, RowH},
    {P::SearchLockCountEdit, ControlKind::Edit, nullptr, RightEditX, 167, EditW, RowH},
    {NoId, ControlKind::Label, "Offset Diff RH - LH", RightLabelX, 182, LabelW, RowH},
    {P::OffsetDiffRhLhEdit, ControlKind::Edit, nullptr, RightEditX, 182, EditW, RowH},
    {P::SetAntennaParametersButton, ControlKind::Button, "Set Antenna Parameters", 143, 208, 100,
     14},
};

constexpr ui::DialogTemplate Layout = {ParameterPage::TemplateId, nullptr, 260, 240, Controls};

// Antenna sizes by the NW size code modulo 9; a negative remainder has no text.
constexpr const char* AntennaSizeTable[] = {
    " 45 cm / 18 inch", " 60 cm / 24 inch",  " 37 cm / 15 inch",
    " 28 cm / 11 inch", " 85 cm / 33 inch",  " 32 cm / 12 inch",
    " 60 cm / 24 inch", " 105 cm / 41 inch", " 130 cm / 51 inch",
};
constexpr int AntennaSizeCount = static_cast<int>(std::size(AntennaSizeTable));

// The version and voltage factors are single-precision constants, widened to double
// before they multiply: a version of 100000000 hundredths reads 999999.98, not 1000000.00.
constexpr double VersionFactor = static_cast<double>(0.01F);
constexpr double VoltageFactor = static_cast<double>(0.1F);
constexpr double ElevationAdjustFactor = 0.1;
constexpr double RegionVersionFactor = 0.01;
constexpr double TenthsPerDegree = 10.0;

constexpr int SerialNumberInts = 3;
constexpr int SerialNumberLength = 4 * SerialNumberInts;
constexpr unsigned char FirstPrintable = 0x20;
constexpr unsigned char Delete = 0x7F;
constexpr unsigned char FirstPrintableHigh = 0xA0;  // after the C1 controls

constexpr int TextSize = 96;  // the longest formatted text with two 32-bit numbers fits

QString formatted(const char* format, double a, double b) {
    char text[TextSize];
    formatC(text, sizeof text, format, a, b);
    return QString::fromLatin1(text);
}

QString formatted(const char* format, double a) {
    char text[TextSize];
    formatC(text, sizeof text, format, a);
    return QString::fromLatin1(text);
}

}  // namespace

ParameterPage::ParameterPage() : PageDialog(Layout) {
    bindText(ScanOffsetEdit, &scanOffset);
    bindText(TrackingScaleEdit, &trackingScale);
    bindText(DetectLevelOffsetEdit, &detectLevelOffset);
    bindCheck(UseLatestElevationCheck, &useLatestElevation);
    bindCheck(UseWrsMethodCheck, &useWrsMethod);
    bindCheck(UseOffsetDifferenceCheck, &useOffsetDifference);
    bindText(DiseqcThresholdEdit, &diseqcThreshold);
    bindText(InitialSatCountEdit, &initialSatCount);
    bindText(VoltageThresholdEdit, &voltageThreshold);
    bindText(SatVerifyTimeEdit, &satVerifyTime);
    bindText(TrackingLevelOffsetEdit, &trackingLevelOffset);
    bindText(TrackingStableCountEdit, &trackingStableCount);
    bindText(WrsDetectLevelEdit, &wrsDetectLevel);
    bindText(OffsetDiffAzElEdit, &offsetDiffAzEl);
    bindText(OffsetDiffRhLhEdit, &offsetDiffRhLh);
    bindText(SearchLockCountEdit, &searchLockCount);
    bindText(ElevationAdjustEdit, &elevationAdjust);
    bindText(AntennaSizeText, &antennaSize);
    bindText(VoltageText, &voltage);
    bindText(SoftwareVersionText, &softwareVersion);
    bindText(RegionVersionText, &regionVersion);
}

void ParameterPage::onInitDialog() {
    PageDialog::onInitDialog();
    for (const int id : HiddenControls) {
        showControl(id, false);
    }
    onClicked(SetScanParametersButton, &ParameterPage::onSetScanParameters);
    onClicked(SetControlParametersButton, &ParameterPage::onSetControlParameters);
    onClicked(SetAntennaParametersButton, &ParameterPage::onSetAntennaParameters);
    onClicked(SetFlagsButton, &ParameterPage::onSetFlags);
}

void ParameterPage::showText(QString& field, int controlId, const QString& text) {
    field = text;
    setControlText(controlId, text);
}

void ParameterPage::onReply(CommandId id, const std::int32_t* p) {
    // What the user has typed survives the writeControls of any handler below.
    readControls();
    const auto number = [](std::int32_t value) { return QString::number(value); };
    switch (id) {
        case cmd::NW:
            showVersions(p);
            if (const int code = p[1] % AntennaSizeCount; code >= 0) {
                showText(antennaSize, AntennaSizeText, QString::fromLatin1(AntennaSizeTable[code]));
            }
            break;
        case cmd::NR:
            showText(scanOffset, ScanOffsetEdit, number(p[0]));
            showText(trackingScale, TrackingScaleEdit, number(p[1]));
            showText(detectLevelOffset, DetectLevelOffsetEdit, number(p[2]));
            break;
        case cmd::NC:
            showText(satVerifyTime, SatVerifyTimeEdit, number(p[0]));
            showText(wrsDetectLevel, WrsDetectLevelEdit, number(p[1]));
            showText(trackingLevelOffset, TrackingLevelOffsetEdit, number(p[2]));
            showText(trackingStableCount, TrackingStableCountEdit, number(p[3]));
            showText(initialSatCount, InitialSatCountEdit, number(p[4]));
            showText(voltageThreshold, VoltageThresholdEdit, number(p[5]));
            showText(diseqcThreshold, DiseqcThresholdEdit, number(p[6]));
            break;
        case cmd::Np:
            showText(offsetDiffAzEl, OffsetDiffAzElEdit, number(p[0]));
            showText(offsetDiffRhLh, OffsetDiffRhLhEdit, number(p[1]));
            showText(searchLockCount, SearchLockCountEdit, number(p[2]));
            break;
        case cmd::NF:
            useLatestElevation = p[0];
            useWrsMethod = p[1];
            useOffsetDifference = p[2];
            writeControls();
            break;
        case cmd::VL:
            showVoltages(p);
            break;
        case cmd::PT:
            notePatternFile(appendPatternRow(p), true);
            break;
        case cmd::TC:
            if (p[0] == 0) {
                notePatternFile(emptyPatternFile(), false);
            }
            break;
        case cmd::EN:
            showSerialNumber(p);
            break;
        case cmd::DL:
            showElevationAdjust(p[0]);
            break;
        default:
            break;
    }
}

void ParameterPage::showVersions(const std::int32_t* p) {
    showText(softwareVersion, SoftwareVersionText,
             formatted(" V %4.2f  /  V %4.2f", p[0] * VersionFactor, p[2] * VersionFactor));
}

void ParameterPage::showVoltages(const std::int32_t* p) {
    showText(voltage, VoltageText,
             formatted(" %4.1fV  /  %4.1fV", p[0] * VoltageFactor, p[1] * VoltageFactor));
}

void ParameterPage::showSerialNumber(const std::int32_t* p) {
    // Twelve bytes at most, ending at the first zero; each byte one Latin-1 character.
    // Control characters (C0, DEL and C1) would break or garble the label's line: they
    // show as '?'.
    char text[SerialNumberLength + 1];
    unpackText(text, p, SerialNumberInts);
    const std::size_t length = ::strnlen(text, SerialNumberLength);
    for (std::size_t k = 0; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte < FirstPrintable || (byte >= Delete && byte < FirstPrintableHigh)) {
            text[k] = '?';
        }
    }
    setControlText(SerialNumberText, QStringLiteral("  ") +
                                         QString::fromLatin1(text, static_cast<qsizetype>(length)));
}

void ParameterPage::showElevationAdjust(std::int32_t tenths) {
    showText(elevationAdjust, ElevationAdjustEdit,
             formatted("%.1f", tenths * ElevationAdjustFactor));
}

void ParameterPage::showRegionVersion(const QString& name, int version) {
    showText(regionVersion, RegionVersionText,
             name + formatted(" %0.1lf", version * RegionVersionFactor));
}

void ParameterPage::notePatternFile(int error, bool rowWritten) {
    if (error == 0) {
        // Emptying succeeds even on a full disk; only a written row shows the file works.
        if (rowWritten) {
            patternFailureShown_ = false;
        }
        return;
    }
    if (patternFailureShown_) {
        return;
    }
    // Set before the box opens: rows that arrive while it is open are dropped quietly.
    patternFailureShown_ = true;
    ui::prompter().message(
        QStringLiteral("The tracking pattern cannot be written to \"%1\": %2.\n"
                       "Pattern rows are dropped until the file can be written again.")
            .arg(QString::fromLocal8Bit(patternFilePath()),
                 QString::fromLocal8Bit(std::strerror(error))),
        ui::Buttons::Ok, ui::Icon::Warning);
}

void ParameterPage::send(CommandId id) {
    sendToHost(id, params_.data());
}

void ParameterPage::onSetScanParameters() {
    if (ui::prompter().message(QStringLiteral("Do you want to change parameters?"),
                               ui::Buttons::YesNo, ui::Icon::Exclamation) != ui::Answer::Yes) {
        return;
    }
    readControls();
    params_[0] = ui::leadingInteger(scanOffset);
    params_[1] = ui::leadingInteger(trackingScale);
    params_[2] = ui::leadingInteger(detectLevelOffset);
    send(cmd::SA);
    ui::prompter().pause(ElevationAdjustPauseMs);
    params_[0] = ui::scaledDecimal(elevationAdjust, TenthsPerDegree);
    params_[1] = 0;
    params_[2] = 0;
    send(cmd::TL);
}

void ParameterPage::onSetControlParameters() {
    readControls();
    params_[0] = ui::leadingInteger(satVerifyTime);
    params_[1] = ui::leadingInteger(wrsDetectLevel);
    params_[2] = ui::leadingInteger(trackingLevelOffset);
    params_[3] = ui::leadingInteger(trackingStableCount);
    params_[4] = ui::leadingInteger(initialSatCount);
    params_[5] = ui::leadingInteger(voltageThreshold);
    params_[6] = ui::leadingInteger(diseqcThreshold);
    send(cmd::SC);
}

void ParameterPage::onSetAntennaParameters() {
    readControls();
    params_[0] = ui::leadingInteger(offsetDiffAzEl);
    params_[1] = ui::leadingInteger(offsetDiffRhLh);
    params_[2] = ui::leadingInteger(searchLockCount);
    send(cmd::Sa);
}

void ParameterPage::onSetFlags() {
    readControls();
    params_[0] = useLatestElevation;
    params_[1] = useWrsMethod;
    params_[2] = useOffsetDifference;
    send(cmd::FG);
}

}  // namespace kelvandor
