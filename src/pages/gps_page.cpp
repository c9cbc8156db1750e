#include "pages/gps_page.h"

namespace kelvandor {

namespace {
constexpr ui::DialogTemplate Layout = {GpsPage::TemplateId, nullptr, 260, 240, {}};
}

GpsPage::GpsPage() : PageDialog(Layout) {}

}  // namespace kelvandor
