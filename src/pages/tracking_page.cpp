#include "pages/tracking_page.h"

namespace kelvandor {

namespace {
constexpr ui::DialogTemplate PrimaryLayout = {
    TrackingPage::PrimaryTemplateId, nullptr, 260, 240, {}};
constexpr ui::DialogTemplate SecondaryLayout = {
    TrackingPage::SecondaryTemplateId, nullptr, 260, 240, {}};
}  // namespace

TrackingPage::TrackingPage(bool secondary)
    : PageDialog(secondary ? SecondaryLayout : PrimaryLayout), secondary_(secondary) {}

}  // namespace kelvandor
