// The move and diagnosis page: current angles, moves to a position or by steps, the
// self-diagnosis and the skew information.
#pragma once

#include "host/page_dialog.h"

namespace kelvandor {

class MovePage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 105;
    MovePage();

    // Shows or hides the skew controls together; the main window calls it whenever the
    // antenna reports its product name.
    void setSkewControlsVisible(bool visible);
    bool skewControlsVisible() const { return skewControlsVisible_; }

  private:
    bool skewControlsVisible_ = false;
};

}  // namespace kelvandor
