#include "host/page_dialog.h"

#include "host/host_services.h"
#include "host/satellite_list.h"

namespace kelvandor {

PageDialog::PageDialog(const ui::DialogTemplate& layout) : ui::DialogWindow(layout) {}

void PageDialog::onReply(CommandId /*id*/, const std::int32_t* /*params*/) {}

void PageDialog::sendToHost(CommandId id, const std::int32_t* params) {
    if (host != nullptr) {
        host->sendCommand(id, params);
    }
}

SatelliteTable* PageDialog::satelliteTable() const {
    return host == nullptr ? nullptr : &host->model().satellites;
}

void PageDialog::refillSatelliteList(int listId, int count, int selected) {
    QComboBox* list = comboBox(listId);
    if (const SatelliteTable* table = satelliteTable(); table != nullptr && list != nullptr) {
        fillSatelliteList(*list, *table, count, selected);
    }
}

void PageDialog::createPageWindow(QWidget* hostWindow) {
    setEnabled(false);
    createWindow(hostWindow);
    setVisible(false);  // explicitly hidden: showing the host does not show the page
}

}  // namespace kelvandor
