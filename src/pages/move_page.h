// SPDX-License-Identifier: GPL-3.0-or-later
// The move and diagnosis page: current angles, moves to a position or by steps, the
// self-diagnosis and the skew information.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "host/page_dialog.h"
#include "protocol/frame_codec.h"

namespace kelvandor {

// The page's angle texts. The magnitude of a negative value is taken in 64 bits, so every
// 32-bit value, INT32_MIN included, has its text; the minus sign stands in front of the
// padded field ("-  5.12").
// Hundredths of a degree with two decimals: "%3d.%02d" (18000 "180.00", 5 "  0.05").
QString angleText(std::int32_t hundredths);
// Hundredths of a degree with one decimal, the hundredths digit dropped (1234 " 12.3").
QString oneDecimalAngleText(std::int32_t hundredths);
// Tenths of a degree with one decimal (15 "  1.5", -15 "-  1.5").
QString tenthsText(std::int32_t tenths);

class MovePage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 105;
    static constexpr int DiagnosisTimerId = 0;
    static constexpr int DiagnosisTimeoutMs = 3000;

    // Control ids.
    static constexpr int CurrentAz = 1055;
    static constexpr int CurrentEl = 1056;
    static constexpr int CurrentSkew = 1075;
    static constexpr int TargetAz = 1047;
    static constexpr int TargetEl = 1048;
    static constexpr int GoToTarget = 1049;
    static constexpr int StepAz = 1057;
    static constexpr int StepEl = 1064;
    static constexpr int StepSkew = 1063;
    static constexpr int StepUp = 1009;
    static constexpr int StepDown = 1010;
    static constexpr int StepLeft = 1011;
    static constexpr int StepRight = 1012;
    static constexpr int StepMinus = 1013;
    static constexpr int StepPlus = 1014;
    static constexpr int DiagnosisButton = 1060;
    static constexpr int SkewLed = 1098;
    static constexpr int FindOptimalSkew = 1083;
    static constexpr int SkewCalibration = 1076;
    // Diagnosis LEDs in item order 101..110: Serial Comm, AZ Limit (CW), (CCW), EL Limit,
    // Sub-Reflector, LNB, SKEW, Power (Ant.), (ACU), Receiver Connection.
    static constexpr std::array<int, 10> DiagnosisLeds = {1058, 1008, 1061, 1062, 1059,
                                                          1082, 1084, 1097, 1099, 1101};
    // Skew rows: skew value and adjustment of slots 0..4 (SAT A, SAT B, SAT A / 22kHz,
    // SAT B / 22kHz, SAT C).
    static constexpr std::array<int, 5> SlotSkew = {1066, 1069, 1071, 1073, 1074};
    static constexpr std::array<int, 5> SlotAdjust = {1077, 1078, 1079, 1080, 1081};
    // The SAT C row and the two "/ 22kHz" rows (labels, frames, values).
    static constexpr std::array<int, 5> SatCRow = {1068, 1067, 1070, 1074, 1081};
    static constexpr std::array<int, 10> DiseqcRows = {1050, 1052, 1053, 1051, 1054,
                                                       1065, 1071, 1079, 1073, 1080};

    MovePage();

    // Shows or hides the skew controls together; the main window calls it whenever the
    // antenna reports its product name.
    void setSkewControlsVisible(bool visible);
    bool skewControlsVisible() const { return skewControlsVisible_; }

    void onReply(CommandId id, const std::int32_t* params) override;

    void onGoToTarget();
    void onDiagnosis();
    void onStepUp();
    void onStepDown();
    void onStepLeft();
    void onStepRight();
    void onStepMinus();
    void onStepPlus();
    void onSkewCalibration();
    void onFindOptimalSkew();

    // Model texts, bound to their controls in this order.
    QString currentAz;
    QString currentEl;
    QString targetAz = QStringLiteral("0");
    QString targetEl = QStringLiteral("45");
    QString stepAz = QStringLiteral("10");
    QString stepEl = QStringLiteral("10");
    QString stepSkew = QStringLiteral("1");
    QString currentSkew;
    std::array<QString, 5> slotSkew;    // SAT A, SAT B, SAT A / 22kHz, SAT B / 22kHz, SAT C
    std::array<QString, 5> slotAdjust;  // the same slots' skew adjustments

  protected:
    void onInitDialog() override;
    void onTimer(int timerId) override;

  private:
    enum class Axis { Elevation, Azimuth, Skew };
    struct Step {
        int button;
        int normalImage;
        int pressedImage;
        Axis axis;
        std::int32_t direction;  // MO / MS parameter 0
    };
    void step(const Step& s);
    void showDiagnosisResult(std::int32_t item, std::int32_t result);
    void send(CommandId id);

    bool skewControlsVisible_ = false;
    // The outgoing parameters, shared by every send of the page.
    std::array<std::int32_t, MaxParams> out_{};
};

}  // namespace kelvandor
