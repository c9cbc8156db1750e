// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/page_dialog.h"

#include <QComboBox>

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

SatelliteRecord* PageDialog::selectedRecord(int listId, int* index) const {
    const QComboBox* list = comboBox(listId);
    const int selected = list == nullptr ? NoSatellite : selectedSatellite(*list);
    if (index != nullptr) {
        *index = selected;
    }
    SatelliteTable* table = satelliteTable();
    return table == nullptr ? nullptr : table->at(selected);
}

void PageDialog::refillSatelliteList(int listId, int count, int selected) {
    QComboBox* list = comboBox(listId);
    if (const SatelliteTable* table = satelliteTable(); table != nullptr && list != nullptr) {
        fillSatelliteList(*list, *table, count, selected);
    }
}

bool PageDialog::followSatelliteReports(int listId, CommandId id, const std::int32_t* params,
                                        CommandId refreshReply) {
    const SatelliteTable* table = satelliteTable();
    QComboBox* list = comboBox(listId);
    if (table == nullptr || list == nullptr) {
        return false;
    }
    if (id == cmd::NN) {
        fillSatelliteList(*list, *table, params[0], table->currentSatellite);
    } else if (id == cmd::NS) {
        selectSatelliteEntry(*list, table->currentSatellite);
    } else if (id == refreshReply) {
        fillSatelliteList(*list, *table, table->satelliteCount, list->currentIndex());
    } else {
        return false;
    }
    return true;
}

void PageDialog::createPageWindow(QWidget* hostWindow) {
    setEnabled(false);
    createWindow(hostWindow);
    setVisible(false);  // explicitly hidden: showing the host does not show the page
}

}  // namespace kelvandor
