// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/satellite_page_controls.h"

#include <QComboBox>

namespace kelvandor {

bool pushToggle(int& state) {
    if (state == 1) {
        state = 0;
        return true;
    }
    state = 1;
    return false;
}

bool DiseqcModeButtons::follow(int mode) {
    if (mode < 0 || mode > 2) {
        return false;
    }
    notUse = mode == 0 ? 1 : 0;
    changeBand = mode == 1 ? 1 : 0;
    changeSatellite = mode == 2 ? 1 : 0;
    return true;
}

bool DiseqcModeButtons::clicked(int mode) {
    int* const states[] = {&notUse, &changeBand, &changeSatellite};
    if (mode < 0 || mode > 2) {
        return false;
    }
    return pushToggle(*states[mode]);
}

}  // namespace kelvandor
