#include "pages/satellite_info_page.h"

namespace kelvandor {

namespace {
constexpr ui::DialogTemplate Layout = {SatelliteInfoPage::TemplateId, nullptr, 260, 240, {}};
}

SatelliteInfoPage::SatelliteInfoPage() : PageDialog(Layout) {}

}  // namespace kelvandor
