// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/tracking_page.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <cstdio>

#include "host/host_services.h"
#include "host/satellite_list.h"
#include "ui/bitmaps.h"
#include "ui/text_numbers.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::ControlTemplate;
using ui::NoId;
using Page = TrackingPage;

constexpr int SymbolRateValues = 4;  // TrackingBlock values 4..7
constexpr int PolBandValue = 9;      // pol + 4 x band
constexpr int PolSteps = 4;

// Ids of the labels of a transponder box; only the HIGH boxes have them.
struct BoxLabelIds {
    int frequency = NoId;
    int symbolRate = NoId;
    int nid = NoId;
    int hexPrefix = NoId;
    int mhz = NoId;
    int khz = NoId;
};
constexpr BoxLabelIds HighVerticalLabels = {1020, 1021, 1022, 1026, 1029, 1030};
constexpr BoxLabelIds HighHorizontalLabels = {1023, 1024, 1025, 1027, 1031, 1032};
constexpr int BoxWidth = 121;
constexpr int BoxHeight = 56;

// One transponder's box: frequency, symbol rate and NID, and its LED.
constexpr std::array<ControlTemplate, 11> transponderBox(int x, int y, int boxId,
                                                         const char* caption,
                                                         const Page::TransponderIds& t,
                                                         const BoxLabelIds& l, bool high, int led,
                                                         const char* ledName) {
    // The HIGH edits stay disabled until the antenna reports Change Band.
    const std::uint16_t edits = high ? ui::Disabled : ui::NoFlags;
    return {{
        {boxId, ControlKind::GroupBox, caption, x, y, BoxWidth, BoxHeight},
        {l.frequency, ControlKind::Label, "Freq.", x + 6, y + 12, 26, 10},
        {t.frequency, ControlKind::Edit, nullptr, x + 34, y + 11, 42, 12, edits},
        {l.mhz, ControlKind::Label, "MHz", x + 79, y + 12, 18, 10},
        {l.symbolRate, ControlKind::Label, "Symbol", x + 6, y + 26, 26, 10},
        {t.symbolRate, ControlKind::Edit, nullptr, x + 34, y + 25, 42, 12, edits},
        {l.khz, ControlKind::Label, "KHz", x + 79, y + 26, 18, 10},
        {l.nid, ControlKind::Label, "NID", x + 6, y + 40, 16, 10},
        {l.hexPrefix, ControlKind::Label, "0x", x + 22, y + 40, 11, 10, ui::AlignRight},
        {t.nid, ControlKind::Edit, nullptr, x + 34, y + 39, 42, 12, edits},
        {t.led, ControlKind::Picture, ledName, x + 101, y + 25, 10, 10, ui::NoFlags, led},
    }};
}

constexpr std::array<ControlTemplate, 4> TopRows = {{
    {NoId, ControlKind::Label, "Satellite", 10, 8, 34, 10},
    {Page::SatelliteList, ControlKind::DropDownList, "", 46, 6, 80, 100},
    {NoId, ControlKind::Label, "VERTICAL / RHCP", 6, 23, BoxWidth, 10, ui::AlignCenter},
    {NoId, ControlKind::Label, "HORIZONTAL / LHCP", 133, 23, BoxWidth, 10, ui::AlignCenter},
}};

constexpr std::array<ControlTemplate, 5> BottomRows = {{
    {Page::EditButton, ControlKind::MultiLineButton, "Edit Satellite Information", 164, 162, 90,
     26},
    {NoId, ControlKind::GroupBox, "DiSEqC", 6, 200, 248, 34},
    {DiseqcModeButtons::NotUseId, ControlKind::PushLikeCheck, "Not Use", 14, 213, 76, 14},
    {DiseqcModeButtons::ChangeBandId, ControlKind::PushLikeCheck, "Change Band", 92, 213, 76, 14},
    {DiseqcModeButtons::ChangeSatelliteId, ControlKind::PushLikeCheck, "Change Satellite", 170, 213,
     76, 14},
}};

// What only the primary page has: the NID in use and the polarisation and band control.
constexpr std::array<ControlTemplate, 9> PrimaryRows = {{
    {NoId, ControlKind::Label, "NID :  0x", 150, 8, 36, 10},
    {Page::NidInUse, ControlKind::Label, "", 186, 8, 30, 10},
    {NoId, ControlKind::GroupBox, "Pol && Band Control", 6, 154, 150, 42},
    {Page::FirstPolRadio, ControlKind::Radio, "Auto", 14, 166, 40, 10, ui::GroupStart},
    {1106, ControlKind::Radio, "13V", 58, 166, 40, 10},
    {1107, ControlKind::Radio, "18V", 102, 166, 40, 10},
    {Page::FirstBandRadio, ControlKind::Radio, "Auto", 14, 180, 40, 10, ui::GroupStart},
    {1109, ControlKind::Radio, "0 KHz", 58, 180, 40, 10},
    {1110, ControlKind::Radio, "22KHz", 102, 180, 40, 10},
}};

template <std::size_t... N>
constexpr auto joined(const std::array<ControlTemplate, N>&... parts) {
    std::array<ControlTemplate, (N + ...)> rows{};
    std::size_t k = 0;
    ((std::copy(parts.begin(), parts.end(), rows.begin() + static_cast<std::ptrdiff_t>(k)), k += N),
     ...);
    return rows;
}

constexpr auto SharedRows = joined(
    TopRows,
    transponderBox(6, 33, NoId, "LOW", Page::Transponders[0], {}, false, ui::bitmap::LedBlue,
                   "Vertical / RHCP low band in use"),
    transponderBox(133, 33, NoId, "LOW", Page::Transponders[1], {}, false, ui::bitmap::LedGrey,
                   "Horizontal / LHCP low band in use"),
    transponderBox(6, 93, Page::HighVerticalBox, "HIGH", Page::Transponders[2], HighVerticalLabels,
                   true, ui::bitmap::LedGrey, "Vertical / RHCP high band in use"),
    transponderBox(133, 93, Page::HighHorizontalBox, "HIGH", Page::Transponders[3],
                   HighHorizontalLabels, true, ui::bitmap::LedGrey,
                   "Horizontal / LHCP high band in use"),
    BottomRows);
constexpr auto PrimaryControls = joined(SharedRows, PrimaryRows);

constexpr ui::DialogTemplate PrimaryLayout = {
    Page::PrimaryTemplateId, "Tracking Information (Primary)", 260, 240, PrimaryControls};
constexpr ui::DialogTemplate SecondaryLayout = {
    Page::SecondaryTemplateId, "Tracking Information (Secondary)", 260, 240, SharedRows};

// How the two pages differ.
struct Variant {
    const ui::DialogTemplate& layout;
    SatelliteDefinition SatelliteRecord::*definition;  // whose NIDs, longitude and flag
    TrackingBlock SatelliteRecord::*tracking;
    CommandId definitionCommand;  // sent by "Edit Satellite Information", then ...
    CommandId trackingCommand;    // ... this one
    CommandId refreshReply;       // refills the list and shows the selected satellite
    bool polBandControl;          // edits TrackingBlock value 9; else it goes back unchanged
    bool nidInUse;                // shows the NID in use (1103, ID)
};
// clang-format off
constexpr Variant Primary = {PrimaryLayout, &SatelliteRecord::primary,
                             &SatelliteRecord::primaryTracking, cmd::EI, cmd::ET, cmd::NT,
                             true, true};
constexpr Variant Secondary = {SecondaryLayout, &SatelliteRecord::secondary,
                               &SatelliteRecord::secondaryTracking, cmd::Eu, cmd::EU, cmd::NU,
                               false, false};
// clang-format on

const Variant& variantOf(bool secondary) {
    return secondary ? Secondary : Primary;
}

// The HIGH-band controls, editable only in DiSEqC mode Change Band: the edits and boxes of
// transponders 2 and 3 and all their labels.
constexpr std::array<int, 20> highBandControls() {
    std::array<int, 20> ids{};
    std::size_t k = 0;
    for (const Page::TransponderIds& t : {Page::Transponders[2], Page::Transponders[3]}) {
        for (const int id : {t.frequency, t.symbolRate, t.nid}) {
            ids[k++] = id;
        }
    }
    ids[k++] = Page::HighVerticalBox;
    ids[k++] = Page::HighHorizontalBox;
    for (const BoxLabelIds& l : {HighVerticalLabels, HighHorizontalLabels}) {
        for (const int id : {l.frequency, l.symbolRate, l.nid, l.hexPrefix, l.mhz, l.khz}) {
            ids[k++] = id;
        }
    }
    return ids;
}
constexpr auto HighBandControls = highBandControls();

// A NID as the page shows it: four or more upper-case hexadecimal digits.
QString nidTextOf(std::int32_t nid) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(nid));
    return QString::fromLatin1(text);
}

std::int32_t typedNumber(const QString& text) {
    return ui::truncateToInt32(ui::leadingDecimal(text));
}

}  // namespace

TrackingPage::TrackingPage(bool secondary)
    : PageDialog(variantOf(secondary).layout), secondary_(secondary) {
    for (int k = 0; k < TransponderCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        bindText(Transponders[k].frequency, &frequencyText[i]);
        bindText(Transponders[k].symbolRate, &symbolRateText[i]);
    }
    for (int k = 0; k < TransponderCount; ++k) {
        bindText(Transponders[k].nid, &nidText[static_cast<std::size_t>(k)]);
    }
    bindCheck(DiseqcModeButtons::NotUseId, &diseqc.notUse);
    bindCheck(DiseqcModeButtons::ChangeBandId, &diseqc.changeBand);
    bindCheck(DiseqcModeButtons::ChangeSatelliteId, &diseqc.changeSatellite);
    if (variantOf(secondary).polBandControl) {
        bindRadioGroup(FirstPolRadio, &pol);
        bindRadioGroup(FirstBandRadio, &band);
    }
    if (variantOf(secondary).nidInUse) {
        bindText(NidInUse, &nidInUseText);
    }
}

void TrackingPage::onInitDialog() {
    PageDialog::onInitDialog();
    // Frequencies and symbol rates take digits only.
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    for (const TransponderIds& t : Transponders) {
        for (const int id : {t.frequency, t.symbolRate}) {
            edit(id)->setValidator(new QRegularExpressionValidator(digits, edit(id)));
        }
    }
    connect(comboBox(SatelliteList), &QComboBox::activated, this,
            &TrackingPage::onSatelliteSelected);
    onClicked(EditButton, &TrackingPage::onEditSatellite);
    for (int k = 0; k < TransponderCount; ++k) {
        picture(Transponders[k].led)->setActivatable(true);  // chosen with the keyboard too
        connect(picture(Transponders[k].led), &ui::ClickableLabel::clicked, this,
                [this, k] { onTransponderClicked(k); });
    }
    for (int mode = 0; mode < 3; ++mode) {
        connect(button(DiseqcModeButtons::ButtonIds[mode]), &QPushButton::clicked, this,
                [this, mode] { onDiseqcMode(mode); });
    }
}

SatelliteDefinition& TrackingPage::definitionOf(SatelliteRecord& record) const {
    return record.*(variantOf(secondary_).definition);
}

TrackingBlock& TrackingPage::trackingOf(SatelliteRecord& record) const {
    return record.*(variantOf(secondary_).tracking);
}

void TrackingPage::send(CommandId id) {
    sendToHost(id, params_.data());
}

void TrackingPage::onReply(CommandId id, const std::int32_t* p) {
    readControls();
    const SatelliteTable* t = satelliteTable();
    if (t == nullptr) {
        return;
    }
    const Variant& variant = variantOf(secondary_);
    if (followSatelliteReports(SatelliteList, id, p, variant.refreshReply)) {
        showSelectedSatellite();
        return;
    }
    switch (id) {
        case cmd::Nw:
            showTransponderInUse(p[0]);
            if (variant.nidInUse) {
                nidInUseText = nidTextOf(0);  // until ID reports the new one
            }
            writeControls();
            break;
        case cmd::ID:
            if (variant.nidInUse) {
                nidInUseText = nidTextOf(p[0]);
                writeControls();
            }
            break;
        case cmd::NQ:
            if (diseqc.follow(p[0])) {
                enableHighBand(p[0] == 1);
            }
            writeControls();
            break;
        default:
            break;
    }
}

void TrackingPage::onSatelliteSelected() {
    showSelectedSatellite();
}

void TrackingPage::showSelectedSatellite() {
    readControls();
    SatelliteRecord* r = selectedRecord(SatelliteList);
    if (r == nullptr) {
        return;
    }
    const TrackingBlock& block = trackingOf(*r);
    const SatelliteDefinition& definition = definitionOf(*r);
    for (std::size_t k = 0; k < TransponderCount; ++k) {
        frequencyText[k] = QString::number(block.values[k]);
        symbolRateText[k] = QString::number(block.values[SymbolRateValues + k]);
        nidText[k] = nidTextOf(definition.nids[k]);
    }
    if (variantOf(secondary_).polBandControl) {
        pol = block.values[PolBandValue] % PolSteps;
        band = block.values[PolBandValue] / PolSteps;
    }
    writeControls();
}

void TrackingPage::onEditSatellite() {
    readControls();
    int index = NoSatellite;
    SatelliteRecord* stored = selectedRecord(SatelliteList, &index);
    if (stored == nullptr) {
        return;
    }
    SatelliteRecord edited = *stored;
    TrackingBlock& block = trackingOf(edited);
    SatelliteDefinition& definition = definitionOf(edited);
    for (std::size_t k = 0; k < TransponderCount; ++k) {
        block.values[k] = typedNumber(frequencyText[k]);
        block.values[SymbolRateValues + k] = typedNumber(symbolRateText[k]);
        // A NID text that is still the one shown keeps its NID exactly (a NID beyond
        // 7FFFFFFF would not read back); one that is not hexadecimal keeps it too.
        if (nidText[k] != nidTextOf(definition.nids[k])) {
            if (const std::optional<std::int32_t> nid = ui::hexNumber(nidText[k])) {
                definition.nids[k] = *nid;
            }
        }
    }
    const Variant& variant = variantOf(secondary_);
    if (variant.polBandControl) {
        // pol and band come from value 9 or from the radios: the sum stays in 32 bits.
        const std::int64_t combined = std::int64_t{pol} + std::int64_t{PolSteps} * band;
        block.values[PolBandValue] = ui::truncateToInt32(static_cast<double>(combined));
    }
    *stored = edited;

    encodeDefinition(params_.data(), index, definition.longitude, definition.eastWest,
                     definition.nids, edited.primary.name);
    send(variant.definitionCommand);
    encodeTracking(params_.data(), index, block);
    send(variant.trackingCommand);
}

void TrackingPage::onTransponderClicked(int transponder) {
    params_[0] = transponder;
    send(cmd::SW);
}

void TrackingPage::onDiseqcMode(int mode) {
    readControls();
    if (diseqc.clicked(mode)) {
        params_[0] = mode;
        send(cmd::SQ);
    }
    writeControls();
}

void TrackingPage::showTransponderInUse(int transponder) {
    for (int k = 0; k < TransponderCount; ++k) {
        setBitmap(Transponders[k].led,
                  k == transponder ? ui::bitmap::LedBlue : ui::bitmap::LedGrey);
    }
}

void TrackingPage::enableHighBand(bool enabled) {
    for (const int id : HighBandControls) {
        enableControl(id, enabled);
    }
}

}  // namespace kelvandor
