// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main_dialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QListWidget>
#include <QProgressBar>

#include "ui/bitmaps.h"
#include "ui/prompter.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;
namespace id = main_id;
namespace bm = ui::bitmap;

// The main window's layout, in dialog units. Group boxes come first so that the
// controls they surround are drawn over them.
constexpr ui::ControlTemplate Controls[] = {
    {NoId, ControlKind::GroupBox, "", 6, 2, 208, 72},
    {NoId, ControlKind::GroupBox, "Status", 6, 75, 128, 75},
    {NoId, ControlKind::GroupBox, "Tracking Satellite", 6, 152, 128, 53},
    {id::FrameA2, ControlKind::Frame, nullptr, 87, 164, 44, 12, ui::Hidden},
    {id::FrameA1, ControlKind::Frame, nullptr, 42, 164, 44, 12, ui::Hidden},
    {id::FrameB2, ControlKind::Frame, nullptr, 87, 182, 44, 12, ui::Hidden},
    {id::FrameB1, ControlKind::Frame, nullptr, 42, 182, 44, 12, ui::Hidden},
    {id::PageFrame, ControlKind::Frame, nullptr, 220, 0, 260, 240, ui::Hidden},
    // Tall enough for all eight entries without a scroll bar.
    {id::PageList, ControlKind::ListBox, nullptr, 11, 6, 198, 67},
    // Status: state LEDs in two columns, then signal level and local frequency.
    {id::LedSearch, ControlKind::Picture, "Search", 12, 85, 10, 10, ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "Search", 24, 85, 42, 10},
    {id::LedTracking, ControlKind::Picture, "Tracking", 12, 96, 10, 10, ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "Tracking", 24, 96, 42, 10},
    {id::LedInitialize, ControlKind::Picture, "Initialize", 12, 107, 10, 10, ui::NoFlags,
     bm::LedGrey},
    {NoId, ControlKind::Label, "Initialize", 24, 107, 42, 10},
    {id::LedUnwrap, ControlKind::Picture, "Unwrap", 12, 118, 10, 10, ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "Unwrap", 24, 118, 42, 10},
    {id::LedSetup, ControlKind::Picture, "Setup", 70, 85, 10, 10, ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "Setup", 82, 85, 48, 10},
    {id::LedSleep, ControlKind::Picture, "SleepMode", 70, 96, 10, 10, ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "SleepMode", 82, 96, 48, 10},
    {id::LedComm, ControlKind::Picture, "Comm.", 70, 107, 10, 10, ui::NoFlags, bm::LedGrey},
    {NoId, ControlKind::Label, "Comm.", 82, 107, 48, 10},
    {id::SignalLabel, ControlKind::ClickLabel, "Signal Level :", 12, 130, 50, 9},
    {id::SignalValue, ControlKind::Label, "", 62, 130, 22, 9, ui::AlignRight},
    {id::LedLock, ControlKind::Picture, "Signal lock", 88, 129, 10, 10, ui::NoFlags, bm::LedGrey},
    {id::LocalFreqLabel, ControlKind::Label, "Local Freq. :", 12, 140, 50, 9},
    {id::LocalFreqValue, ControlKind::Label, "", 62, 140, 22, 9, ui::AlignRight},
    {NoId, ControlKind::Label, "MHz", 88, 140, 24, 9},
    // Tracking satellite selector: two slots (layouts S and D) ...
    {id::SatA, ControlKind::Button, "A", 12, 164, 16, 12},
    {id::LedSatA, ControlKind::Picture, "Sat A in use", 30, 165, 10, 10, ui::NoFlags, bm::LedBlue},
    {id::NameA, ControlKind::Label, "Sat A", 44, 165, 86, 10},
    {id::NameA1, ControlKind::Label, "Sat A", 44, 165, 41, 10, ui::Hidden},
    {id::NameA2, ControlKind::Label, "Sat A Di", 89, 165, 41, 10, ui::Hidden},
    {id::SatB, ControlKind::Button, "B", 12, 182, 16, 12},
    {id::LedSatB, ControlKind::Picture, "Sat B in use", 30, 183, 10, 10, ui::NoFlags, bm::LedGrey},
    {id::NameB, ControlKind::Label, "Sat B", 44, 183, 86, 10},
    {id::NameB1, ControlKind::Label, "Sat B", 44, 183, 41, 10, ui::Hidden},
    {id::NameB2, ControlKind::Label, "Sat B di", 89, 183, 41, 10, ui::Hidden},
    // ... and three slots (layout T).
    {id::TripleA, ControlKind::Button, "A", 12, 162, 16, 12, ui::Hidden},
    {id::LedTripleA, ControlKind::Picture, "Sat A in use", 30, 163, 10, 10, ui::Hidden,
     bm::LedGrey},
    {id::TripleNameA, ControlKind::Label, "Sat A", 44, 163, 86, 10, ui::Hidden},
    {id::TripleB, ControlKind::Button, "B", 12, 177, 16, 12, ui::Hidden},
    {id::LedTripleB, ControlKind::Picture, "Sat B in use", 30, 178, 10, 10, ui::Hidden,
     bm::LedGrey},
    {id::TripleNameB, ControlKind::Label, "Sat B", 44, 178, 86, 10, ui::Hidden},
    {id::TripleC, ControlKind::Button, "C", 12, 192, 16, 12, ui::Hidden},
    {id::LedTripleC, ControlKind::Picture, "Sat C in use", 30, 193, 10, 10, ui::Hidden,
     bm::LedGrey},
    {id::TripleNameC, ControlKind::Label, "Sat C", 44, 193, 86, 10, ui::Hidden},
    // Commands.
    {id::Restart, ControlKind::Button, "Restart", 140, 80, 74, 14},
    {id::Setup, ControlKind::Button, "Setup", 140, 97, 74, 14},
    {id::GetAntennaInfo, ControlKind::MultiLineButton, "Get Antenna Information", 140, 114, 74, 22},
    {id::FactorySetting, ControlKind::MultiLineButton, "Factory Setting", 140, 139, 74, 14},
    {id::LoadDefault, ControlKind::MultiLineButton, "Load Default", 140, 156, 74, 14},
    {id::UpdateDefault, ControlKind::MultiLineButton, "Update Default", 140, 173, 74, 14,
     ui::Disabled},
    {id::Progress, ControlKind::ProgressBar, nullptr, 140, 192, 74, 8},
    {NoId, ControlKind::Picture, "Kelvandor logo", 10, 208, 100, 18, ui::NoFlags, bm::Logo},
    {id::ProductText, ControlKind::Label, "", 8, 228, 206, 10},
};

constexpr ui::DialogTemplate Layout = {
    MainDialog::TemplateId, "Kelvandor Antenna PC Controller Ver 3.12", 480, 240, Controls};

struct PageListEntry {
    const char* text;
    int pageId;
};

// The page list, in list order.
constexpr PageListEntry PageList[MainDialog::PageListCount] = {
    {"   Set Antenna GPS and Find Antenna Angle", GpsPage::TemplateId},
    {"   Set Satellite Information", SatelliteInfoPage::TemplateId},
    {"   Set Tracking Information of Satellite (Primary)", TrackingPage::PrimaryTemplateId},
    {"   Set Tracking Information of Satellite (Secondary)", TrackingPage::SecondaryTemplateId},
    {"   Move Antenna ... Execute Diagnosis", MovePage::TemplateId},
    {"   Set Antenna Parameters for Control", ParameterPage::TemplateId},
    {"   Serial Communication", SerialPage::TemplateId},
    {"   Sky View and Signal History", SkyViewPage::TemplateId},
};

// The entry of the sky view, after the serial page's.
constexpr int SkyViewListRow = 7;

}  // namespace

MainDialog::MainDialog(const ComPortNaming& naming) : PageHost(main_id::PageFrame, Layout) {
    serialPort.setNaming(naming);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    bindText(id::NameA1, &nameA1);
    bindText(id::NameB1, &nameB1);
    bindText(id::NameA2, &nameA2);
    bindText(id::NameB2, &nameB2);
    bindText(id::SignalValue, &signalText);
    bindText(id::LocalFreqValue, &localFrequencyText);
    bindText(id::ProductText, &productText);
    link_.setListeners({this, &gpsPage, &movePage, &parameterPage, &satelliteInfoPage,
                        &primaryTrackingPage, &secondaryTrackingPage, &skyViewPage});
    createWindow(nullptr);
    // Only the automatic connection at start waits for a network port (up to 3 s, before
    // the window is shown): it keeps painting and its timers keep running meanwhile, and
    // user input waits. Later opens (Connect, a retry) never wait.
    serialPort.setWaitHook(
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

MainDialog::~MainDialog() {
    if (QListWidget* list = listBox(id::PageList)) {
        list->viewport()->removeEventFilter(this);
    }
    link_.shutDown();
    destroyPages();
}

void MainDialog::onInitDialog() {
    PageHost::onInitDialog();
    model_.productSize = -1;
    model_.regionVersion = 0;

    auto* list = listBox(id::PageList);
    PageDialog* const ordered[] = {
        &gpsPage,  &satelliteInfoPage, &primaryTrackingPage, &secondaryTrackingPage,
        &movePage, &parameterPage};
    for (std::size_t k = 0; k < std::size(ordered); ++k) {
        addPage(*ordered[k]);
        list->addItem(QString::fromLatin1(PageList[k].text));
        ordered[k]->port = &serialPort;
    }
    addPageById(SerialPage::TemplateId);
    addPage(skyViewPage);
    list->addItem(QString::fromLatin1(PageList[SkyViewListRow].text));
    skyViewPage.port = &serialPort;
    skyViewPage.gpsPage = &gpsPage;
    showPage(SerialPage::TemplateId);
    link_.setPort(&serialPort);

    for (const int led : id::StateLeds) {
        setBitmap(led, ui::bitmap::LedGrey);
    }
    setBitmap(id::LedLock, ui::bitmap::LedGrey);
    setBitmap(id::LedComm, ui::bitmap::LedGrey);

    satSelectParams[0] = 0;
    std::int32_t noDiseqc[LinkDriver::ParamSlots] = {};
    onReply(cmd::NQ, noDiseqc);

    showControl(id::Progress, false);
    model_.skewAdjust.fill(0);

    connect(list, &QListWidget::itemSelectionChanged, this, &MainDialog::onPageListSelChange);
    connect(list, &QListWidget::clicked, this, &MainDialog::onPageListReselect);
    connect(&link_, &LinkDriver::lineLost, this, &MainDialog::onLineLost);
    list->viewport()->installEventFilter(this);
    onClicked(id::Restart, &MainDialog::onRestart);
    onClicked(id::Setup, &MainDialog::onSetup);
    onClicked(id::GetAntennaInfo, &MainDialog::onGetAntennaInfo);
    onClicked(id::FactorySetting, &MainDialog::onFactorySetting);
    onClicked(id::SatA, &MainDialog::onSelectSatA);
    onClicked(id::TripleA, &MainDialog::onSelectSatA);
    onClicked(id::SatB, &MainDialog::onSelectSatB);
    onClicked(id::TripleB, &MainDialog::onSelectSatB);
    onClicked(id::TripleC, &MainDialog::onSelectSatC);
    onClicked(id::SignalLabel, &MainDialog::onSignalLevelClick);
    onClicked(id::LoadDefault, &MainDialog::onLoadDefault);
    onClicked(id::UpdateDefault, &MainDialog::onUpdateDefault);
}

PageDialog* MainDialog::createPage(int pageId) {
    if (pageId != SerialPage::TemplateId) {
        return nullptr;
    }
    listBox(id::PageList)->addItem(QString::fromLatin1(PageList[6].text));
    serialPage.port = &serialPort;
    serialPage.host = this;
    return &serialPage;
}

void MainDialog::onPageVisibility(int /*pageId*/, bool /*shown*/) {}

void MainDialog::onPageListSelChange() {
    const int row = listBox(id::PageList)->currentRow();
    if (row >= 0 && row < PageListCount && listBox(id::PageList)->currentItem()->isSelected()) {
        showPage(PageList[row].pageId);
    }
}

void MainDialog::onPageListReselect(const QModelIndex& index) {
    QListWidget* list = listBox(id::PageList);
    const int row = index.row();
    // A click that changed the selection has shown its page already.
    if (row == rowSelectedAtPress_ && row >= 0 && row < PageListCount &&
        list->item(row)->isSelected()) {
        showPage(PageList[row].pageId);
    }
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    QListWidget* list = listBox(id::PageList);
    if (list != nullptr && watched == list->viewport() &&
        event->type() == QEvent::MouseButtonPress) {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        rowSelectedAtPress_ = selected.isEmpty() ? -1 : list->row(selected.first());
    }
    return PageHost::eventFilter(watched, event);
}

void MainDialog::onLineLost() {
    setBitmap(id::LedComm, ui::bitmap::LedGrey);
}

void MainDialog::sendCommand(CommandId commandId, const std::int32_t* params) {
    link_.sendCommand(commandId, params);
}

void MainDialog::closeEvent(QCloseEvent* event) {
    QProgressBar* bar = progressBar(id::Progress);
    if (bar->value() != 0) {
        // A long operation shows its progress: refuse this close once and reset the bar.
        bar->setValue(0);
        event->ignore();
        return;
    }
    serialPage.port->Close();
    PageHost::closeEvent(event);
}

void MainDialog::reject() {
    // Escape or an accepted close. The pages may still ask the user (a changed city
    // list) while everything is whole; then any wait in progress ends, so nothing keeps
    // running behind a window that is gone.
    for (const PageEntry& entry : pageEntries()) {
        entry.page->onHostClosing();
    }
    link_.shutDown();
    PageHost::reject();
}

}  // namespace kelvandor
