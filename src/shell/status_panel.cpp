// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's reply handler: the antenna status panel follows the antenna's
// reports, and the shared satellite data is stored for the pages that read it next.
#include <QProgressBar>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "protocol/c_format.h"
#include "protocol/frame_codec.h"
#include "protocol/unit_reports.h"
#include "shell/main_dialog.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"

namespace kelvandor {

namespace {

namespace id = main_id;

constexpr int FactoryProgressSubject = 13;
constexpr int CommSubject = 11;
constexpr int FactoryProgressDone = 100;

constexpr int SelectorLeds[] = {id::LedSatA, id::LedSatB, id::LedTripleC, id::LedTripleA,
                                id::LedTripleB};
constexpr int DoubleFrames[] = {id::FrameA1, id::FrameB1, id::FrameA2, id::FrameB2};

// Controls of each selector layout; a layout shows its own and hides the others'.
constexpr int TripleControls[] = {id::TripleA,     id::TripleB,     id::TripleC,
                                  id::LedTripleA,  id::LedTripleB,  id::LedTripleC,
                                  id::TripleNameA, id::TripleNameB, id::TripleNameC};
constexpr int TwoSlotControls[] = {id::SatA, id::SatB, id::LedSatA, id::LedSatB};
constexpr int SingleNames[] = {id::NameA, id::NameB};
constexpr int DoubleNames[] = {id::NameA1, id::NameA2, id::NameB1, id::NameB2};

// The LED that shows antenna state `state`, or 0 for a state without one.
int stateLed(int state) {
    switch (state) {
        case 0:
            return id::LedSetup;
        case 1:
            return id::LedSearch;
        case 2:
            return id::LedTracking;
        case 3:
            return id::LedUnwrap;
        case 4:
        case 6:
            return id::LedInitialize;
        case 7:
            return id::LedSleep;
        default:
            return 0;
    }
}

// "%4d" of the signal level of raw value `raw`.
QString signalTextOf(std::int32_t raw) {
    char text[24];
    std::snprintf(text, sizeof text, "%4lld", signalLevelOf(raw));
    return QString::fromLatin1(text);
}

QString nameOf(const SatelliteTable& table, int index) {
    const SatelliteRecord* record = table.at(index);
    return record == nullptr ? QString() : QString::fromLatin1(record->primary.name);
}

template <std::size_t N>
void showAll(ui::DialogWindow& window, const int (&ids)[N], bool shown) {
    for (const int control : ids) {
        window.showControl(control, shown);
    }
}

}  // namespace

void MainDialog::onReply(CommandId commandId, const std::int32_t* p) {
    readControls();
    if (commandId == cmd::AC && p[0] == -1) {
        ui::prompter().message(QStringLiteral("No Setup Mode !!!"), ui::Buttons::Ok,
                               ui::Icon::None);
    }
    link_.noteReply(commandId, p);
    SatelliteTable& table = model_.satellites;

    switch (commandId) {
        case cmd::NA:
            setStateLeds(p[0]);
            break;
        case cmd::NV:
            signalText = signalTextOf(p[0]);
            break;
        case cmd::Nv:
            signalText = signalTextOf(p[0]);
            setBitmap(id::LedLock, p[1] != 0 ? ui::bitmap::LedBlue : ui::bitmap::LedGrey);
            break;
        case cmd::Ni:
            signalText = signalTextOf(p[1]);
            setBitmap(id::LedLock, p[2] != 0 ? ui::bitmap::LedBlue : ui::bitmap::LedGrey);
            setStateLeds(p[0]);
            break;
        case cmd::NL:
            if (p[2] != 0) {
                localFrequencyText = QString::number(p[0]);
            }
            break;
        case cmd::Nn: {
            productTextFresh = 1;
            char name[ProductNameInts * 4 + 1];
            unpackText(name, p, ProductNameInts);
            productText = QString::fromLatin1(name);
            movePage.setSkewControlsVisible(std::strstr(name, "Premium") != nullptr ||
                                            std::strstr(name, "PREMIUM") != nullptr);
            break;
        }
        case cmd::NW: {
            if (productTextFresh == 0) {
                productText.clear();
            }
            productTextFresh = 0;
            model_.productSize = productSizeOf(p[1]);
            char version[32];
            formatC(version, sizeof version, "  Ver %4.2f", p[0] * 0.01);
            productText += QString::fromLatin1(version);
            break;
        }
        case cmd::TC:
            if (p[0] == CommSubject) {
                model_.commIndicator = p[1];
                if (p[1] == 1) {
                    setBitmap(id::LedComm, ui::bitmap::LedGreen);
                } else if (p[1] == 0) {
                    setBitmap(id::LedComm, ui::bitmap::LedGrey);
                }
            } else if (p[0] == FactoryProgressSubject) {
                QProgressBar* bar = progressBar(id::Progress);
                if (p[1] == FactoryProgressDone) {
                    bar->setValue(FactoryProgressSteps);
                    ui::prompter().message(QStringLiteral("Default setting complete successfully."),
                                           ui::Buttons::Ok, ui::Icon::None);
                    bar->setValue(0);
                    bar->hide();
                } else {
                    bar->setValue(std::clamp(p[1], bar->minimum(), bar->maximum()));
                }
            }
            break;
        case cmd::NN:
            table.satelliteCount = p[0];
            break;
        case cmd::NP:
            // Taken only when every slot names a satellite.
            if (std::all_of(p, p + SlotCount, SatelliteTable::isSatelliteIndex)) {
                std::copy(p, p + SlotCount, table.slotMap.begin());
                setNamesFromSlots();
            }
            break;
        case cmd::NS:
            table.currentSlot = p[0];
            // A slot outside 0..4 names no satellite.
            table.currentSatellite = p[0] >= 0 && p[0] < SlotCount
                                         ? table.slotMap[static_cast<std::size_t>(p[0])]
                                         : NoSatellite;
            if (SatelliteTable::isSatelliteIndex(table.currentSatellite)) {
                refreshSatelliteIndicators();
            }
            break;
        case cmd::Nw:
            table.bandState = p[0];
            refreshSatelliteIndicators();
            break;
        case cmd::TR:
            tripleMode = p[0];
            layoutSatellitePanel();
            break;
        case cmd::NQ:
            diseqcMode = p[0];
            if (changeSatelliteView == 1 && p[0] != 2) {
                changeSatelliteView = 0;
                layoutSatellitePanel();
            } else if (changeSatelliteView == 0 && p[0] == 2) {
                changeSatelliteView = 1;
                layoutSatellitePanel();
            }
            break;
        case cmd::NI:
            storeDefinition(table, false, p);
            break;
        case cmd::Nu:
            storeDefinition(table, true, p);
            break;
        case cmd::NT:
            storeTracking(table, false, p);
            break;
        case cmd::NU:
            storeTracking(table, true, p);
            break;
        default:
            return;
    }
    writeControls();
}

void MainDialog::setStateLeds(int state) {
    model_.antennaState = state;
    const int lit = stateLed(state);
    for (const int led : id::StateLeds) {
        setBitmap(led, led == lit ? ui::bitmap::LedBlue : ui::bitmap::LedGrey);
    }
}

void MainDialog::setNamesFromSlots() {
    const SatelliteTable& table = model_.satellites;
    const auto slot = [&table](int k) { return table.slotMap[static_cast<std::size_t>(k)]; };
    const QString a = nameOf(table, slot(0));
    const QString b = nameOf(table, slot(1));
    setControlText(id::NameA, a);
    setControlText(id::TripleNameA, a);
    nameA1 = a;
    setControlText(id::NameB, b);
    setControlText(id::TripleNameB, b);
    nameB1 = b;
    nameA2 = nameOf(table, slot(2));
    nameB2 = nameOf(table, slot(3));
    setControlText(id::TripleNameC, nameOf(table, slot(4)));
}

MainDialog::SelectorLayout MainDialog::selectorLayout() const {
    if (tripleMode != 0) {
        return SelectorLayout::Triple;
    }
    return changeSatelliteView == 1 ? SelectorLayout::Double : SelectorLayout::Single;
}

void MainDialog::layoutSatellitePanel() {
    const SelectorLayout layout = selectorLayout();
    showAll(*this, TripleControls, layout == SelectorLayout::Triple);
    showAll(*this, TwoSlotControls, layout != SelectorLayout::Triple);
    showAll(*this, SingleNames, layout == SelectorLayout::Single);
    showAll(*this, DoubleNames, layout == SelectorLayout::Double);
    showAll(*this, DoubleFrames, false);
    refreshSatelliteIndicators();
}

void MainDialog::refreshSatelliteIndicators() {
    for (const int led : SelectorLeds) {
        setBitmap(led, ui::bitmap::LedGrey);
    }
    const SelectorLayout layout = selectorLayout();
    const int slot = model_.satellites.currentSlot;
    if (layout == SelectorLayout::Triple) {
        if (slot == 0) {
            setBitmap(id::LedTripleA, ui::bitmap::LedBlue);
        } else if (slot == 1) {
            setBitmap(id::LedTripleB, ui::bitmap::LedBlue);
        } else if (slot == 4) {
            setBitmap(id::LedTripleC, ui::bitmap::LedBlue);
        }
        return;
    }
    if (layout == SelectorLayout::Double) {
        showAll(*this, DoubleFrames, false);
        const bool lowBand = model_.satellites.bandState == VerticalLow ||
                             model_.satellites.bandState == HorizontalLow;
        if (slot == 0) {
            showControl(lowBand ? id::FrameA1 : id::FrameA2, true);
        } else {
            showControl(lowBand ? id::FrameB1 : id::FrameB2, true);
        }
    }
    setBitmap(slot % 2 == 0 ? id::LedSatA : id::LedSatB, ui::bitmap::LedBlue);
    writeControls();
}

}  // namespace kelvandor
