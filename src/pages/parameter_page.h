// The antenna parameters page: product information, control parameters and flags.
#pragma once

#include "host/page_dialog.h"

namespace kelvandor {

class ParameterPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 107;
    ParameterPage();
};

}  // namespace kelvandor
