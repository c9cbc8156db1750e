#include "host/page_dialog.h"

namespace kelvandor {

PageDialog::PageDialog(const ui::DialogTemplate& layout) : ui::DialogWindow(layout) {}

void PageDialog::onReply(CommandId /*id*/, const std::int32_t* /*params*/) {}

void PageDialog::createPageWindow(QWidget* hostWindow) {
    setEnabled(false);
    createWindow(hostWindow);
    setVisible(false);  // explicitly hidden: showing the host does not show the page
}

}  // namespace kelvandor
