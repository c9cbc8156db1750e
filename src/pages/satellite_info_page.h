// The satellite information page: satellites, slot registration, DiSEqC and LNB.
#pragma once

#include "host/page_dialog.h"

namespace kelvandor {

class SatelliteInfoPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 110;
    SatelliteInfoPage();
};

}  // namespace kelvandor
