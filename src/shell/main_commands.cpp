// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's buttons that act on the antenna as a whole. None waits for an
// answer: the replies come through the receive dispatch and the status panel.
#include <QProgressBar>

#include "shell/main_dialog.h"
#include "ui/prompter.h"

namespace kelvandor {

namespace {

constexpr int SlotCodeA = 0;
constexpr int SlotCodeB = 1;
constexpr int SlotCodeC = 4;

}  // namespace

void MainDialog::onRestart() {
    sendCommand(cmd::OR, nullptr);
}

void MainDialog::onSetup() {
    if (ui::prompter().message(QStringLiteral("Antenna Setup Mode?"), ui::Buttons::OkCancel,
                               ui::Icon::Warning) == ui::Answer::Ok) {
        sendCommand(cmd::OS, nullptr);
    }
}

void MainDialog::onGetAntennaInfo() {
    sendCommand(cmd::QS, nullptr);
    sendCommand(cmd::QI, nullptr);
}

void MainDialog::onFactorySetting() {
    if (ui::prompter().message(QStringLiteral("Do you want to execuet default setting?"),
                               ui::Buttons::YesNo, ui::Icon::None) != ui::Answer::Yes) {
        return;
    }
    sendCommand(cmd::Sd, nullptr);
    QProgressBar* bar = progressBar(main_id::Progress);
    bar->setRange(0, FactoryProgressSteps);
    bar->setValue(1);
    bar->show();
}

void MainDialog::onSelectSatA() {
    selectSatellite(SlotCodeA);
}
void MainDialog::onSelectSatB() {
    selectSatellite(SlotCodeB);
}
void MainDialog::onSelectSatC() {
    selectSatellite(SlotCodeC);
}

void MainDialog::selectSatellite(int slotCode) {
    // The second word of LT has no use the program knows of; it always travels as 0.
    satSelectParams = {slotCode, 0};
    sendCommand(cmd::LT, satSelectParams.data());
}

void MainDialog::onSignalLevelClick() {
    sendCommand(cmd::QV, nullptr);
}

}  // namespace kelvandor
