// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/move_page.h"

#include <cstdio>
#include <cstdlib>

#include "host/host_services.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"
#include "ui/text_numbers.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;
namespace bm = ui::bitmap;
using P = MovePage;

// Labels and frames that only the layout names.
constexpr int SkewAngleLabel = 1085;
constexpr int SkewAngleFrame = 1086;
constexpr int SkewStepLabel = 1087;
constexpr int SkewStepFrame = 1088;
constexpr int SkewDiagnosisLabel = 1089;
constexpr int AcuLabel = 1100;
constexpr int SkewGroup = 1090;

// Rows of the skew information, in dialog units: SAT A, SAT B, then the third and fourth
// row, which the "/ 22kHz" rows and (over the first of them) the SAT C row share.
constexpr int SkewRowY[] = {138, 152, 166, 180};
constexpr int SkewNameX = 138, SkewNameW = 48;
constexpr int SkewValueX = 188, SkewAdjustX = 220, SkewValueW = 30, SkewRowH = 12;

constexpr ui::ControlTemplate skewName(int id, const char* name, int row,
                                       std::uint16_t flags = ui::NoFlags) {
    return {id, ControlKind::Label, name, SkewNameX, SkewRowY[row], SkewNameW, SkewRowH, flags};
}
constexpr ui::ControlTemplate skewFrame(int id, int x, int row, std::uint16_t flags = ui::NoFlags) {
    return {id, ControlKind::Frame, nullptr, x, SkewRowY[row], SkewValueW, SkewRowH, flags};
}
// A value inside its frame, right-aligned.
constexpr ui::ControlTemplate skewValue(int id, int x, int row, std::uint16_t flags = ui::NoFlags) {
    return {id,
            ControlKind::Label,
            "",
            x + 1,
            SkewRowY[row] + 1,
            SkewValueW - 3,
            SkewRowH - 2,
            static_cast<std::uint16_t>(flags | ui::AlignRight)};
}

// Dialog 105 in dialog units. The five edits are 10 pixels higher here than on screen: the
// page takes those pixels off when it is created (see onInitDialog).
constexpr ui::ControlTemplate Controls[] = {
    {NoId, ControlKind::GroupBox, "Antenna Angle", 4, 2, 124, 166},
    {NoId, ControlKind::GroupBox, "Go to Position", 9, 42, 114, 52},
    {NoId, ControlKind::GroupBox, "Move Step", 9, 98, 114, 66},
    {NoId, ControlKind::GroupBox, "Diagnosis", 132, 2, 124, 118},
    {SkewGroup, ControlKind::GroupBox, "Skew Information", 132, 124, 124, 112},
    // Current angles: captions over framed values.
    {NoId, ControlKind::Label, "AZ", 10, 13, 36, 9, ui::AlignCenter},
    {NoId, ControlKind::Label, "EL", 48, 13, 36, 9, ui::AlignCenter},
    {SkewAngleLabel, ControlKind::Label, "SKEW", 86, 13, 36, 9, ui::AlignCenter},
    {NoId, ControlKind::Frame, nullptr, 10, 23, 36, 13},
    {NoId, ControlKind::Frame, nullptr, 48, 23, 36, 13},
    {SkewAngleFrame, ControlKind::Frame, nullptr, 86, 23, 36, 13},
    {P::CurrentAz, ControlKind::Label, "", 11, 24, 34, 11, ui::AlignCenter},
    {P::CurrentEl, ControlKind::Label, "", 49, 24, 34, 11, ui::AlignCenter},
    {P::CurrentSkew, ControlKind::Label, "", 87, 24, 34, 11, ui::AlignCenter},
    // Go to Position.
    {NoId, ControlKind::Label, "AZ", 15, 56, 11, 10},
    {P::TargetAz, ControlKind::Edit, nullptr, 27, 52, 34, 19, ui::AlignRight},
    {NoId, ControlKind::Label, "EL", 67, 56, 11, 10},
    {P::TargetEl, ControlKind::Edit, nullptr, 79, 52, 37, 19, ui::AlignRight},
    {P::GoToTarget, ControlKind::Button, "Go to Target Position", 15, 74, 102, 14},
    // Move Step: AZ, EL and SKEW rows, each an edit between its two step buttons.
    {NoId, ControlKind::Label, "AZ", 14, 113, 21, 10},
    {P::StepLeft, ControlKind::Picture, "AZ step left", 37, 109, 18, 16, ui::NoFlags, bm::StepLeft},
    {P::StepAz, ControlKind::Edit, nullptr, 57, 108, 38, 19, ui::AlignRight},
    {P::StepRight, ControlKind::Picture, "AZ step right", 97, 109, 18, 16, ui::NoFlags,
     bm::StepRight},
    {NoId, ControlKind::Label, "EL", 14, 130, 21, 10},
    {P::StepUp, ControlKind::Picture, "EL step up", 37, 126, 18, 16, ui::NoFlags, bm::StepUp},
    {P::StepEl, ControlKind::Edit, nullptr, 57, 125, 38, 19, ui::AlignRight},
    {P::StepDown, ControlKind::Picture, "EL step down", 97, 126, 18, 16, ui::NoFlags, bm::StepDown},
    {SkewStepFrame, ControlKind::Frame, nullptr, 12, 141, 108, 20},
    {SkewStepLabel, ControlKind::Label, "SKEW", 14, 147, 21, 10},
    {P::StepMinus, ControlKind::Picture, "SKEW step minus", 37, 143, 18, 16, ui::NoFlags,
     bm::StepMinus},
    {P::StepSkew, ControlKind::Edit, nullptr, 57, 142, 38, 19, ui::AlignRight},
    {P::StepPlus, ControlKind::Picture, "SKEW step plus", 97, 143, 18, 16, ui::NoFlags,
     bm::StepPlus},
    // Diagnosis: the button, then one LED per item with its caption.
    {P::DiagnosisButton, ControlKind::Button, "Diagnosis", 138, 13, 112, 14},
    {P::DiagnosisLeds[0], ControlKind::Picture, "Serial Comm", 138, 32, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {NoId, ControlKind::Label, "Serial Comm", 150, 32, 100, 10},
    {P::DiagnosisLeds[1], ControlKind::Picture, "AZ Limit (CW)", 138, 44, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {NoId, ControlKind::Label, "AZ Limit (CW)", 150, 44, 54, 10},
    {P::DiagnosisLeds[2], ControlKind::Picture, "AZ Limit (CCW)", 206, 44, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {NoId, ControlKind::Label, "(CCW)", 218, 44, 34, 10},
    {P::DiagnosisLeds[3], ControlKind::Picture, "EL Limit", 138, 56, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {NoId, ControlKind::Label, "EL Limit", 150, 56, 100, 10},
    {P::DiagnosisLeds[4], ControlKind::Picture, "Sub-Reflector", 138, 68, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {NoId, ControlKind::Label, "Sub-Reflector", 150, 68, 100, 10},
    {P::DiagnosisLeds[5], ControlKind::Picture, "LNB", 138, 80, 10, 10, ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "LNB", 150, 80, 54, 10},
    {P::DiagnosisLeds[6], ControlKind::Picture, "SKEW", 206, 80, 10, 10, ui::NoFlags, bm::LedGrey},
    {SkewDiagnosisLabel, ControlKind::Label, "SKEW", 218, 80, 34, 10},
    {P::DiagnosisLeds[7], ControlKind::Picture, "Power (Ant.)", 138, 92, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {NoId, ControlKind::Label, "Power (Ant.)", 150, 92, 54, 10},
    {P::DiagnosisLeds[8], ControlKind::Picture, "Power (ACU)", 206, 92, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {AcuLabel, ControlKind::Label, "(ACU)", 218, 92, 34, 10},
    {P::DiagnosisLeds[9], ControlKind::Picture, "Receiver Connection", 138, 104, 10, 10,
     ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "Receiver Connection", 150, 104, 100, 10},
    // Skew Information: per row the name, the skew and the skew adjustment. SAT C lies
    // exactly over SAT A / 22kHz.
    skewName(1091, "SAT A", 0),
    skewFrame(1093, SkewValueX, 0),
    skewFrame(1094, SkewAdjustX, 0),
    skewValue(P::SlotSkew[0], SkewValueX, 0),
    skewValue(P::SlotAdjust[0], SkewAdjustX, 0),
    skewName(1092, "SAT B", 1),
    skewFrame(1095, SkewValueX, 1),
    skewFrame(1096, SkewAdjustX, 1),
    skewValue(P::SlotSkew[1], SkewValueX, 1),
    skewValue(P::SlotAdjust[1], SkewAdjustX, 1),
    skewName(1050, "SAT A / 22kHz", 2),
    skewFrame(1052, SkewValueX, 2),
    skewFrame(1053, SkewAdjustX, 2),
    skewValue(P::SlotSkew[2], SkewValueX, 2),
    skewValue(P::SlotAdjust[2], SkewAdjustX, 2),
    skewName(1051, "SAT B / 22kHz", 3),
    skewFrame(1054, SkewValueX, 3),
    skewFrame(1065, SkewAdjustX, 3),
    skewValue(P::SlotSkew[3], SkewValueX, 3),
    skewValue(P::SlotAdjust[3], SkewAdjustX, 3),
    skewName(1068, "SAT C", 2, ui::Hidden),
    skewFrame(1067, SkewValueX, 2, ui::Hidden),
    skewFrame(1070, SkewAdjustX, 2, ui::Hidden),
    skewValue(P::SlotSkew[4], SkewValueX, 2, ui::Hidden),
    skewValue(P::SlotAdjust[4], SkewAdjustX, 2, ui::Hidden),
    {P::SkewLed, ControlKind::Picture, "Skew check running", 138, 209, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {P::FindOptimalSkew, ControlKind::Button, "Find Optimal Skew Angle", 150, 198, 100, 14},
    {P::SkewCalibration, ControlKind::Button, "Skew Calibration", 150, 216, 100, 14},
};

constexpr ui::DialogTemplate Layout = {MovePage::TemplateId, nullptr, 260, 240, Controls};

// Everything that belongs to the skew feature: labels and frames 1085..1096, the SKEW
// value, step edit and buttons, the SKEW diagnosis LED, the SAT A, SAT B and SAT C rows,
// the skew LED and the two skew buttons. The "/ 22kHz" rows follow NQ only.
constexpr int SkewControls[] = {1085, 1086, 1087, 1088, 1089, 1090, 1091, 1092, 1093, 1094,
                                1095, 1096, 1075, 1063, 1013, 1014, 1084, 1066, 1077, 1069,
                                1078, 1081, 1074, 1068, 1067, 1070, 1098, 1083, 1076};

// The step edits lose this many pixels of their layout height at creation.
constexpr int StepEditShrinkPx = 10;
constexpr int StepEdits[] = {P::StepSkew, P::StepEl, P::StepAz, P::TargetEl, P::TargetAz};

constexpr int AzSkewStepPauseMs = 100;  // before reading the texts (AZ and SKEW buttons)
constexpr int ElStepPauseMs = 100;      // after sending (EL buttons)
constexpr std::int32_t ElStepMin = 0;
constexpr std::int32_t ElStepMax = 9000;
constexpr std::int32_t AzStepLimit = 72000;
constexpr double HundredthsPerDegree = 100.0;

constexpr std::int32_t FirstDiagnosisItem = 101;
constexpr std::int32_t TimedOutItem = 101;
constexpr std::int32_t TimedOutResult = 2;
constexpr int SkewLedSubject = 10;
constexpr int SkewCheckRunning = 1;
constexpr int SetupState = 0;
constexpr int InitialiseStates[] = {4, 6};
constexpr std::int32_t DiseqcOff = 0, DiseqcTone = 1, DiseqcTwoPerSlot = 2;
constexpr std::int32_t SkewCalibrate = 0, SkewOptimise = 1;

// The LED image of diagnosis result `result`: 1 blue, 2 green, 3 yellow, others red.
int diagnosisImage(std::int32_t result) {
    switch (result) {
        case 1:
            return bm::LedBlue;
        case 2:
            return bm::LedDiagGreen;
        case 3:
            return bm::LedYellow;
        default:
            return bm::LedRed;
    }
}

// A value split for the angle formats: its sign, and its magnitude (taken in 64 bits, so
// INT32_MIN has one) divided into whole units and the remainder.
struct Split {
    const char* sign;
    long long whole;
    long long remainder;
};
Split split(std::int32_t value, long long divisor) {
    const long long magnitude = std::llabs(static_cast<long long>(value));
    return {value < 0 ? "-" : "", magnitude / divisor, magnitude % divisor};
}

// Shows or hides every control of `ids` (an array of control ids).
template <typename Ids>
void showAll(ui::DialogWindow& window, const Ids& ids, bool shown) {
    for (const int id : ids) {
        window.showControl(id, shown);
    }
}

}  // namespace

QString angleText(std::int32_t hundredths) {
    const Split v = split(hundredths, 100);
    char text[32];
    std::snprintf(text, sizeof text, "%s%3lld.%02lld", v.sign, v.whole, v.remainder);
    return QString::fromLatin1(text);
}

QString oneDecimalAngleText(std::int32_t hundredths) {
    const Split v = split(hundredths, 100);
    char text[32];
    std::snprintf(text, sizeof text, "%s%3lld.%01lld", v.sign, v.whole, v.remainder / 10);
    return QString::fromLatin1(text);
}

QString tenthsText(std::int32_t tenths) {
    const Split v = split(tenths, 10);
    char text[32];
    std::snprintf(text, sizeof text, "%s%3lld.%01lld", v.sign, v.whole, v.remainder);
    return QString::fromLatin1(text);
}

MovePage::MovePage() : PageDialog(Layout) {
    bindText(CurrentAz, &currentAz);
    bindText(CurrentEl, &currentEl);
    bindText(TargetAz, &targetAz);
    bindText(TargetEl, &targetEl);
    bindText(StepAz, &stepAz);
    bindText(StepEl, &stepEl);
    bindText(StepSkew, &stepSkew);
    bindText(CurrentSkew, &currentSkew);
    for (std::size_t slot = 0; slot < 4; ++slot) {
        bindText(SlotSkew[slot], &slotSkew[slot]);
    }
    for (std::size_t slot = 0; slot < 4; ++slot) {
        bindText(SlotAdjust[slot], &slotAdjust[slot]);
    }
    bindText(SlotAdjust[4], &slotAdjust[4]);
    bindText(SlotSkew[4], &slotSkew[4]);
}

void MovePage::onInitDialog() {
    PageDialog::onInitDialog();
    showAll(*this, DiseqcRows, false);
    for (const int id : StepEdits) {
        if (QWidget* edit = control(id)) {
            // 10 pixels less high than the layout, centred on the step buttons' row.
            QRect shrunk = edit->geometry();
            shrunk.adjust(0, StepEditShrinkPx / 2, 0, -(StepEditShrinkPx - StepEditShrinkPx / 2));
            edit->setGeometry(shrunk);
        }
    }
    setSkewControlsVisible(false);

    onClicked(GoToTarget, &MovePage::onGoToTarget);
    onClicked(DiagnosisButton, &MovePage::onDiagnosis);
    onClicked(StepUp, &MovePage::onStepUp);
    onClicked(StepDown, &MovePage::onStepDown);
    onClicked(StepLeft, &MovePage::onStepLeft);
    onClicked(StepRight, &MovePage::onStepRight);
    onClicked(StepMinus, &MovePage::onStepMinus);
    onClicked(StepPlus, &MovePage::onStepPlus);
    onClicked(SkewCalibration, &MovePage::onSkewCalibration);
    onClicked(FindOptimalSkew, &MovePage::onFindOptimalSkew);
}

void MovePage::setSkewControlsVisible(bool visible) {
    skewControlsVisible_ = visible;
    showAll(*this, SkewControls, visible);
}

void MovePage::onReply(CommandId id, const std::int32_t* p) {
    readControls();
    switch (id) {
        case cmd::AP:
            currentAz = angleText(p[0]);
            currentEl = angleText(p[1]);
            break;
        case cmd::Ni:
            currentAz = angleText(p[3]);
            currentEl = angleText(p[4]);
            currentSkew = angleText(p[5]);
            break;
        case cmd::TK:
            currentSkew = oneDecimalAngleText(p[0]);
            break;
        case cmd::NK:
            if (p[0] >= 0 && p[0] < static_cast<std::int32_t>(SlotSkew.size())) {
                const auto slot = static_cast<std::size_t>(p[0]);
                slotSkew[slot] = oneDecimalAngleText(p[1]);
                slotAdjust[slot] = tenthsText(p[2]);
            }
            break;
        case cmd::ND:
            showDiagnosisResult(p[0], p[1]);
            writeControls();
            return;
        case cmd::NA:
            for (const int state : InitialiseStates) {
                if (p[0] == state) {
                    setBitmap(SkewLed, bm::LedGrey);
                }
            }
            writeControls();
            return;
        case cmd::TC:
            if (p[0] == SkewLedSubject) {
                setBitmap(SkewLed, p[1] == SkewCheckRunning ? bm::LedRed : bm::LedGrey);
                writeControls();
            }
            return;
        case cmd::TR:
            if (skewControlsVisible_) {
                showAll(*this, SatCRow, p[0] != 0);
            }
            writeControls();
            return;
        case cmd::NQ:
            if (skewControlsVisible_) {
                if (p[0] == DiseqcOff || p[0] == DiseqcTone) {
                    showAll(*this, DiseqcRows, false);
                } else if (p[0] == DiseqcTwoPerSlot) {
                    showAll(*this, DiseqcRows, true);
                }
            }
            writeControls();
            return;
        default:
            return;
    }
    writeControls();
}

void MovePage::showDiagnosisResult(std::int32_t item, std::int32_t result) {
    const std::int32_t index = item - FirstDiagnosisItem;
    if (index < 0 || index >= static_cast<std::int32_t>(DiagnosisLeds.size())) {
        return;
    }
    setBitmap(DiagnosisLeds[static_cast<std::size_t>(index)], diagnosisImage(result));
    if (item == TimedOutItem) {
        stopDialogTimer(DiagnosisTimerId);
    }
}

void MovePage::onTimer(int timerId) {
    if (timerId != DiagnosisTimerId) {
        return;
    }
    // No answer in time: the link to the unit counts as the result.
    std::int32_t timedOut[MaxParams] = {TimedOutItem, TimedOutResult};
    onReply(cmd::ND, timedOut);  // item 101 stops the timer
}

void MovePage::send(CommandId id) {
    sendToHost(id, out_.data());
}

void MovePage::onDiagnosis() {
    if (host == nullptr || host->model().commIndicator == 0) {
        return;
    }
    for (const int led : DiagnosisLeds) {
        setBitmap(led, bm::LedGrey);
    }
    out_[0] = 0;
    send(cmd::QD);
    startDialogTimer(DiagnosisTimerId, DiagnosisTimeoutMs);
}

void MovePage::onGoToTarget() {
    readControls();
    out_[0] = ui::scaledDecimal(targetAz, HundredthsPerDegree);
    out_[1] = ui::scaledDecimal(targetEl, HundredthsPerDegree);
    send(cmd::GO);
}

void MovePage::step(const Step& s) {
    setBitmap(s.button, s.pressedImage);
    if (QWidget* button = control(s.button)) {
        button->repaint();  // the pauses below block: show the pressed face now
    }
    if (s.axis != Axis::Elevation) {
        ui::prompter().pause(AzSkewStepPauseMs);
    }
    readControls();
    const QString& text = s.axis == Axis::Elevation ? stepEl
                          : s.axis == Axis::Azimuth ? stepAz
                                                    : stepSkew;
    const std::int32_t value = ui::scaledDecimal(text, HundredthsPerDegree);
    if (s.axis == Axis::Elevation && (value < ElStepMin || value > ElStepMax)) {
        ui::prompter().message(QStringLiteral("EL : Out of range"), ui::Buttons::OkCancel,
                               ui::Icon::Exclamation);
    } else if (s.axis == Axis::Azimuth && (value < -AzStepLimit || value > AzStepLimit)) {
        ui::prompter().message(QStringLiteral("AZ : Out of range"), ui::Buttons::OkCancel,
                               ui::Icon::Exclamation);
    } else {
        out_[0] = s.direction;
        out_[1] = value;
        const bool setupMode = host != nullptr && host->model().antennaState == SetupState;
        send(s.axis == Axis::Skew && !setupMode ? cmd::MS : cmd::MO);
        if (s.axis == Axis::Elevation) {
            ui::prompter().pause(ElStepPauseMs);
        }
    }
    setBitmap(s.button, s.normalImage);
}

void MovePage::onStepUp() {
    step({StepUp, bm::StepUp, bm::StepUpPressed, Axis::Elevation, 0});
}
void MovePage::onStepDown() {
    step({StepDown, bm::StepDown, bm::StepDownPressed, Axis::Elevation, 1});
}
void MovePage::onStepRight() {
    step({StepRight, bm::StepRight, bm::StepRightPressed, Axis::Azimuth, 2});
}
void MovePage::onStepLeft() {
    step({StepLeft, bm::StepLeft, bm::StepLeftPressed, Axis::Azimuth, 3});
}
void MovePage::onStepMinus() {
    step({StepMinus, bm::StepMinus, bm::StepMinusPressed, Axis::Skew, 4});
}
void MovePage::onStepPlus() {
    step({StepPlus, bm::StepPlus, bm::StepPlusPressed, Axis::Skew, 5});
}

void MovePage::onSkewCalibration() {
    out_[0] = SkewCalibrate;
    send(cmd::CK);
}

void MovePage::onFindOptimalSkew() {
    out_[0] = SkewOptimise;
    send(cmd::CK);
}

}  // namespace kelvandor
