#include "pages/parameter_page.h"

namespace kelvandor {

namespace {
constexpr ui::DialogTemplate Layout = {ParameterPage::TemplateId, nullptr, 260, 240, {}};
}

ParameterPage::ParameterPage() : PageDialog(Layout) {}

}  // namespace kelvandor
