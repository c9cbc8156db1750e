// The GPS page: the antenna's GPS position, the city list and pointing angles.
#pragma once

#include "host/page_dialog.h"

namespace kelvandor {

class GpsPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 104;
    GpsPage();
};

}  // namespace kelvandor
