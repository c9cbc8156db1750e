#include "pages/move_page.h"

namespace kelvandor {

namespace {

constexpr ui::DialogTemplate Layout = {MovePage::TemplateId, nullptr, 260, 240, {}};

// Everything that belongs to the skew feature: labels and frames 1085..1096, the SKEW
// value, step edit and buttons, the SKEW diagnosis LED, the SAT A, SAT B and SAT C rows,
// the skew LED and the two skew buttons. The "/ 22kHz" rows follow NQ only.
constexpr int SkewControls[] = {1085, 1086, 1087, 1088, 1089, 1090, 1091, 1092, 1093, 1094,
                                1095, 1096, 1075, 1063, 1013, 1014, 1084, 1066, 1077, 1069,
                                1078, 1081, 1074, 1068, 1067, 1070, 1098, 1083, 1076};

}  // namespace

MovePage::MovePage() : PageDialog(Layout) {}

void MovePage::setSkewControlsVisible(bool visible) {
    skewControlsVisible_ = visible;
    for (const int id : SkewControls) {
        showControl(id, visible);
    }
}

}  // namespace kelvandor
