// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/satellite_info_page.h"

#include <QComboBox>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/host_services.h"
#include "host/satellite_list.h"
#include "protocol/c_format.h"
#include "ui/prompter.h"
#include "ui/text_numbers.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;
using Page = SatelliteInfoPage;

constexpr int EditPauseMs = 200;          // between the frames of an edited satellite
constexpr int VerificationModeValue = 8;  // in the TrackingBlock
constexpr std::int32_t UniversalLow = 9750;
constexpr std::int32_t UniversalHigh = 10600;
constexpr std::int32_t LnbConfiguration = 0;  // NL p2: the LNB as configured

// The register buttons and the slot each one registers.
struct RegisterButton {
    int id;
    int slot;
};
constexpr RegisterButton RegisterButtons[] = {
    {Page::RegisterA, 0},       {Page::RegisterB, 1}, {Page::RegisterDiseqcA, 2},
    {Page::RegisterDiseqcB, 3}, {Page::RegisterC, 4},
};

constexpr ui::ControlTemplate Controls[] = {
    {NoId, ControlKind::GroupBox, "Satellite Information", 6, 4, 248, 66},
    {NoId, ControlKind::Label, "Satellite", 14, 18, 36, 10},
    {Page::SatelliteList, ControlKind::DropDownList, "", 52, 16, 80, 100},
    {NoId, ControlKind::Label, "Name", 14, 34, 36, 10},
    {Page::NameEdit, ControlKind::Edit, nullptr, 52, 32, 80, 13},
    {NoId, ControlKind::Label, "Longitude", 14, 50, 36, 10},
    {Page::LongitudeEdit, ControlKind::Edit, nullptr, 52, 48, 40, 13, ui::AlignRight},
    {NoId, ControlKind::Label, "\u00B0", 94, 47, 6, 8},
    {Page::EastWestList, ControlKind::DropDownList, "E\nW", 102, 48, 30, 40},
    {Page::EditButton, ControlKind::MultiLineButton, "Edit Satellite Information", 146, 30, 100,
     32},

    {NoId, ControlKind::GroupBox, "Verification", 6, 74, 86, 74},
    {Page::FirstVerificationRadio, ControlKind::Radio, "AGC Only", 14, 86, 74, 10, ui::GroupStart},
    {1109, ControlKind::Radio, "DVB Lock Only", 14, 98, 74, 10},
    {1110, ControlKind::Radio, "DVB Decode", 14, 110, 74, 10},
    {1111, ControlKind::Radio, "DSS Decode", 14, 122, 74, 10},
    {1112, ControlKind::Radio, "DVB && AGC", 14, 134, 74, 10},

    {Page::DiseqcOffGroup, ControlKind::GroupBox, "DiSEqC : OFF", 96, 74, 78, 48},
    {Page::DiseqcOnGroup, ControlKind::GroupBox, "DiSEqC : ON", 176, 74, 78, 48},
    {Page::TripleGroup, ControlKind::GroupBox, "Tripple Satellite Mode", 96, 74, 158, 48,
     ui::Hidden},
    {Page::RegisterA, ControlKind::Button, "Register for Sat A", 100, 86, 70, 14},
    {Page::RegisterB, ControlKind::Button, "Register for Sat B", 100, 103, 70, 14},
    {Page::RegisterDiseqcA, ControlKind::Button, "Register for Sat A", 180, 86, 70, 14,
     ui::Disabled},
    {Page::RegisterDiseqcB, ControlKind::Button, "Register for Sat B", 180, 103, 70, 14,
     ui::Disabled},
    {Page::RegisterC, ControlKind::Button, "Register for Sat C", 180, 86, 70, 14, ui::Hidden},
    {Page::TripleModeButton, ControlKind::PushLikeCheck, "Triple Satellite Mode", 96, 130, 158, 16},

    {NoId, ControlKind::GroupBox, "DiSEqC", 6, 152, 248, 32},
    {DiseqcModeButtons::NotUseId, ControlKind::PushLikeCheck, "Not Use", 14, 164, 76, 14},
    {DiseqcModeButtons::ChangeBandId, ControlKind::PushLikeCheck, "Change Band", 92, 164, 76, 14},
    {DiseqcModeButtons::ChangeSatelliteId, ControlKind::PushLikeCheck, "Change Satellite", 170, 164,
     76, 14},

    {NoId, ControlKind::GroupBox, "Local Frequency", 6, 188, 248, 46},
    {Page::SingleBandButton, ControlKind::PushLikeCheck, "Single Band", 14, 200, 76, 14},
    {Page::UniversalLnbButton, ControlKind::PushLikeCheck, "Universal LNB", 92, 200, 76, 14},
    {Page::LocalFrequencyEdit, ControlKind::Edit, nullptr, 14, 217, 50, 13, ui::AlignCenter},
    {NoId, ControlKind::Label, "MHz", 67, 218, 20, 10},
    {Page::SetLocalFrequencyButton, ControlKind::Button, "Set Local Frequency", 92, 216, 76, 14},
};

constexpr ui::DialogTemplate Layout = {Page::TemplateId, nullptr, 260, 240, Controls};

QString longitudeTextOf(double degrees) {
    char text[320];  // room for any double in "%5.1f"
    formatC(text, sizeof text, "%5.1f", degrees);
    return QString::fromLatin1(text);
}

// Stores `text`, cut to the characters that travel on the line, as a satellite name.
void storeName(char (&name)[NameCapacity], const QString& text) {
    const QByteArray bytes = text.toLatin1().left(WireNameLength);
    std::memset(name, 0, sizeof name);
    std::strncpy(name, bytes.constData(), WireNameLength);
}

}  // namespace

SatelliteInfoPage::SatelliteInfoPage() : PageDialog(Layout) {
    bindText(NameEdit, &nameText);
    bindText(LongitudeEdit, &longitudeText);
    bindRadioGroup(FirstVerificationRadio, &verificationMode);
    bindCheck(DiseqcModeButtons::NotUseId, &diseqc.notUse);
    bindCheck(DiseqcModeButtons::ChangeBandId, &diseqc.changeBand);
    bindCheck(DiseqcModeButtons::ChangeSatelliteId, &diseqc.changeSatellite);
    bindCheck(SingleBandButton, &singleBand);
    bindCheck(UniversalLnbButton, &universalLnb);
    bindText(LocalFrequencyEdit, &localFrequencyText);
    bindCheck(TripleModeButton, &tripleSatelliteMode);
}

void SatelliteInfoPage::onInitDialog() {
    PageDialog::onInitDialog();
    enableControl(RegisterDiseqcA, false);
    enableControl(RegisterDiseqcB, false);
    refreshLayout();

    connect(comboBox(SatelliteList), &QComboBox::activated, this,
            &SatelliteInfoPage::onSatelliteSelected);
    onClicked(EditButton, &SatelliteInfoPage::onEditSatellite);
    for (const RegisterButton& b : RegisterButtons) {
        connect(button(b.id), &QPushButton::clicked, this,
                [this, slot = b.slot] { onRegister(slot); });
    }
    for (int mode = 0; mode < 3; ++mode) {
        connect(button(DiseqcModeButtons::ButtonIds[mode]), &QPushButton::clicked, this,
                [this, mode] { onDiseqcMode(mode); });
    }
    onClicked(SingleBandButton, &SatelliteInfoPage::onSingleBand);
    onClicked(UniversalLnbButton, &SatelliteInfoPage::onUniversalLnb);
    onClicked(SetLocalFrequencyButton, &SatelliteInfoPage::onSetLocalFrequency);
    onClicked(TripleModeButton, &SatelliteInfoPage::onTripleMode);
}

void SatelliteInfoPage::send(CommandId id) {
    sendToHost(id, params_.data());
}

std::int32_t SatelliteInfoPage::typedLocalFrequency() const {
    return ui::truncateToInt32(ui::leadingDecimal(localFrequencyText));
}

void SatelliteInfoPage::onReply(CommandId id, const std::int32_t* p) {
    readControls();
    const SatelliteTable* t = satelliteTable();
    if (t == nullptr) {
        return;
    }
    if (followSatelliteReports(SatelliteList, id, p, cmd::NI)) {
        showSelectedSatellite();
        return;
    }
    switch (id) {
        case cmd::NT:
            if (const SatelliteRecord* r = selectedRecord(SatelliteList)) {
                verificationMode = r->primaryTracking.values[VerificationModeValue];
            }
            writeControls();
            break;
        case cmd::NL:
            if (p[2] != LnbConfiguration) {
                break;  // the frequency in use, for the status panel
            }
            if (p[0] == p[1]) {
                singleBand = 1;
                universalLnb = 0;
                localFrequencyText = QString::number(p[0]);
            } else {
                singleBand = 0;
                universalLnb = 1;
                const bool lowBand = t->bandState == VerticalLow || t->bandState == HorizontalLow;
                localFrequencyText = QString::number(lowBand ? p[0] : p[1]);
            }
            // The frequency can be typed only for a single-band LNB.
            enableControl(SetLocalFrequencyButton, singleBand == 1);
            enableControl(LocalFrequencyEdit, singleBand == 1);
            writeControls();
            break;
        case cmd::NQ:
            diseqc.follow(p[0]);
            refreshLayout();
            break;
        case cmd::TR:
            tripleSatelliteMode = p[0] != 0 ? 1 : 0;
            refreshLayout();
            break;
        default:
            break;
    }
}

void SatelliteInfoPage::onSatelliteSelected() {
    showSelectedSatellite();
}

void SatelliteInfoPage::showSelectedSatellite() {
    readControls();
    const SatelliteRecord* r = selectedRecord(SatelliteList);
    if (r == nullptr) {
        return;
    }
    nameText = QString::fromLatin1(r->primary.name);
    longitudeText = longitudeTextOf(r->primary.longitude);
    comboBox(EastWestList)->setCurrentIndex(r->primary.eastWest != 0 ? 1 : 0);
    verificationMode = r->primaryTracking.values[VerificationModeValue];
    writeControls();
}

void SatelliteInfoPage::onEditSatellite() {
    readControls();
    int index = NoSatellite;
    SatelliteRecord* stored = selectedRecord(SatelliteList, &index);
    if (stored == nullptr) {
        return;
    }
    SatelliteRecord edited = *stored;
    storeName(edited.primary.name, nameText);
    edited.primary.longitude = ui::leadingDecimal(longitudeText);
    edited.primaryTracking.values[VerificationModeValue] = verificationMode;
    edited.primary.eastWest = comboBox(EastWestList)->currentIndex() != 0 ? 1 : 0;
    *stored = edited;

    const SatelliteDefinition& primary = edited.primary;
    encodeDefinition(params_.data(), index, primary.longitude, primary.eastWest, primary.nids,
                     primary.name);
    send(cmd::EI);
    ui::prompter().pause(EditPauseMs);
    // The secondary definition goes out with the primary position and name.
    encodeDefinition(params_.data(), index, primary.longitude, primary.eastWest,
                     edited.secondary.nids, primary.name);
    send(cmd::Eu);
    encodeTracking(params_.data(), index, edited.primaryTracking);
    send(cmd::ET);
    ui::prompter().pause(EditPauseMs);
    TrackingBlock secondary = edited.secondaryTracking;
    secondary.values[VerificationModeValue] = edited.primaryTracking.values[VerificationModeValue];
    encodeTracking(params_.data(), index, secondary);
    send(cmd::EU);
}

void SatelliteInfoPage::onRegister(int slot) {
    const SatelliteTable* t = satelliteTable();
    const int index = selectedSatellite(*comboBox(SatelliteList));
    if (t == nullptr || !SatelliteTable::isSatelliteIndex(index) || slot < 0 || slot >= SlotCount) {
        return;
    }
    // Until the antenna has reported its slots (NP) the others are unknown: sending them
    // would overwrite the antenna's registrations with "no satellite".
    if (!std::all_of(t->slotMap.begin(), t->slotMap.end(), SatelliteTable::isSatelliteIndex)) {
        return;
    }
    std::copy(t->slotMap.begin(), t->slotMap.end(), params_.begin());
    params_[static_cast<std::size_t>(slot)] = index;
    send(cmd::SP);
}

void SatelliteInfoPage::onDiseqcMode(int mode) {
    readControls();
    if (diseqc.clicked(mode)) {
        params_[0] = mode;
        send(cmd::SQ);
    }
    writeControls();
}

void SatelliteInfoPage::onSingleBand() {
    readControls();
    if (pushToggle(singleBand)) {
        params_[0] = typedLocalFrequency();
        params_[1] = params_[0];
        send(cmd::SL);
    }
    writeControls();
}

void SatelliteInfoPage::onUniversalLnb() {
    readControls();
    if (pushToggle(universalLnb)) {
        params_[0] = UniversalLow;
        params_[1] = UniversalHigh;
        send(cmd::SL);
    }
    writeControls();
}

void SatelliteInfoPage::onSetLocalFrequency() {
    readControls();
    params_[0] = typedLocalFrequency();
    params_[1] = params_[0];
    send(cmd::SL);
}

void SatelliteInfoPage::onTripleMode() {
    readControls();
    if (tripleSatelliteMode == 1) {
        params_[0] = 1;
        send(cmd::TR);
        tripleSatelliteMode = 0;
        // Triple satellite mode leaves no room for DiSEqC satellite changes.
        if (diseqc.changeSatellite == 1) {
            params_[0] = 0;
            send(cmd::SQ);
            diseqc.notUse = 0;
            diseqc.changeSatellite = 0;
        }
    } else {
        params_[0] = 0;
        send(cmd::TR);
        tripleSatelliteMode = 1;
    }
    writeControls();
}

void SatelliteInfoPage::refreshLayout() {
    const bool triple = tripleSatelliteMode == 1;
    for (const int id : {RegisterDiseqcA, RegisterDiseqcB, DiseqcOffGroup, DiseqcOnGroup}) {
        showControl(id, !triple);
    }
    showControl(TripleGroup, triple);
    showControl(RegisterC, triple);
    enableControl(RegisterDiseqcA, diseqc.changeSatellite == 1);
    enableControl(RegisterDiseqcB, diseqc.changeSatellite == 1);
    writeControls();
}

}  // namespace kelvandor
