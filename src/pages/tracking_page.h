// The tracking information pages: transponder frequencies, symbol rates and NIDs of the
// primary (dialog 109) or secondary (dialog 111) tracking data of a satellite.
#pragma once

#include "host/page_dialog.h"

namespace kelvandor {

class TrackingPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int PrimaryTemplateId = 109;
    static constexpr int SecondaryTemplateId = 111;
    explicit TrackingPage(bool secondary);

    bool isSecondary() const { return secondary_; }

  private:
    bool secondary_;
};

}  // namespace kelvandor
