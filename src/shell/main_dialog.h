// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the page list and the antenna status panel on the left, the selected
// page on the right. It owns the serial port, the link driver, the eight pages and the
// state shared with them, and it is the first listener of every received frame.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include "defaults/default_set.h"
#include "defaults/update_steps.h"
#include "host/host_services.h"
#include "host/page_host.h"
#include "link/link_driver.h"
#include "link/serial_port.h"
#include "pages/gps_page.h"
#include "pages/move_page.h"
#include "pages/parameter_page.h"
#include "pages/satellite_info_page.h"
#include "pages/serial_page.h"
#include "pages/sky_view_page.h"
#include "pages/tracking_page.h"

namespace kelvandor {

// Control ids of the main window (dialog 102).
namespace main_id {
inline constexpr int PageFrame = 1000;
inline constexpr int PageList = 1002;
inline constexpr int Restart = 1003;
inline constexpr int Setup = 1041;
inline constexpr int GetAntennaInfo = 1039;
inline constexpr int FactorySetting = 1040;
inline constexpr int LoadDefault = 1043;
inline constexpr int UpdateDefault = 1044;
inline constexpr int Progress = 1047;
// State LEDs.
inline constexpr int LedSearch = 1036;
inline constexpr int LedTracking = 1004;
inline constexpr int LedInitialize = 1096;
inline constexpr int LedUnwrap = 1005;
inline constexpr int LedSetup = 1006;
inline constexpr int LedSleep = 1007;
inline constexpr int LedComm = 1068;
inline constexpr int LedLock = 1079;
// Signal, local frequency, product text.
inline constexpr int SignalLabel = 1037;
inline constexpr int SignalValue = 1054;
inline constexpr int LocalFreqLabel = 1038;
inline constexpr int LocalFreqValue = 1046;
inline constexpr int ProductText = 1042;
// Selector of two slots (layouts S and D).
inline constexpr int SatA = 1019;
inline constexpr int SatB = 1076;
inline constexpr int LedSatA = 1077;
inline constexpr int LedSatB = 1078;
inline constexpr int NameA = 1109;  // layout S
inline constexpr int NameB = 1110;
inline constexpr int NameA1 = 1104;  // layout D: first and second name of each slot
inline constexpr int NameA2 = 1105;
inline constexpr int NameB1 = 1106;
inline constexpr int NameB2 = 1107;
inline constexpr int FrameA1 = 1015;  // highlight frames around those names
inline constexpr int FrameA2 = 1014;
inline constexpr int FrameB1 = 1017;
inline constexpr int FrameB2 = 1016;
// Selector of three slots (layout T).
inline constexpr int TripleA = 1084;
inline constexpr int TripleB = 1082;
inline constexpr int TripleC = 1080;
inline constexpr int LedTripleA = 1085;
inline constexpr int LedTripleB = 1083;
inline constexpr int LedTripleC = 1081;
inline constexpr int TripleNameA = 1113;
inline constexpr int TripleNameB = 1112;
inline constexpr int TripleNameC = 1111;
// The six antenna-state LEDs.
inline constexpr int StateLeds[] = {LedSetup,  LedSearch,     LedTracking,
                                    LedUnwrap, LedInitialize, LedSleep};
}  // namespace main_id

class MainDialog : public PageHost, public ReplyListener, public HostServices {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 102;
    static constexpr int PageListCount = 8;
    // The progress bar of Factory Setting runs 0..6.
    static constexpr int FactoryProgressSteps = 6;

    // `naming` says where COM ports are found; the environment's unless a caller (a test)
    // gives its own. The window is initialised before the constructor returns: pages
    // created, the serial page shown and the automatic connection tried.
    explicit MainDialog(const ComPortNaming& naming = ComPortNaming::fromEnvironment());
    ~MainDialog() override;

    // HostServices
    void sendCommand(CommandId id, const std::int32_t* params) override;
    LinkDriver& link() override { return link_; }
    ShellModel& model() override { return model_; }

    // The main window's reply handler, first of the eight listeners.
    void onReply(CommandId id, const std::int32_t* params) override;

    // Page list (1002) selection change.
    void onPageListSelChange();
    // A click on the entry that was already selected: Qt reports no selection change
    // then, yet choosing the shown page again hides it and shows it again.
    void onPageListReselect(const QModelIndex& index);

    // Main commands.
    void onRestart();
    void onSetup();
    void onGetAntennaInfo();
    void onFactorySetting();
    void onSelectSatA();
    void onSelectSatB();
    void onSelectSatC();
    void onSignalLevelClick();

    // The link driver found the line lost: the Comm. LED goes grey until the antenna
    // reports again.
    void onLineLost();

    // Default settings.
    void onLoadDefault();
    void onUpdateDefault();
    // Hands a frame the program composed itself to `receivers`, in order, as the receive
    // dispatch hands a frame from the antenna. Nothing is sent.
    void deliverLocal(CommandId id, const std::int32_t* params,
                      std::initializer_list<ReplyListener*> receivers);
    bool isUpdateRunning() const { return updateRunning_; }

    // Status panel layout.
    void layoutSatellitePanel();
    void refreshSatelliteIndicators();

    // The pages, in the order the main window creates them.
    GpsPage gpsPage;
    SerialPage serialPage;
    MovePage movePage;
    ParameterPage parameterPage;
    SatelliteInfoPage satelliteInfoPage;
    TrackingPage primaryTrackingPage{false};
    TrackingPage secondaryTrackingPage{true};
    // After the seven: the sky view and signal history.
    SkyViewPage skyViewPage;

    SerialPort serialPort;

    // Status-panel state.
    int tripleMode = 0;
    int diseqcMode = 0;
    int changeSatelliteView = 1;
    int productTextFresh = 0;
    QString productText;
    QString signalText;
    QString localFrequencyText;
    QString nameA1 = QStringLiteral("Sat A");
    QString nameB1 = QStringLiteral("Sat B");
    QString nameA2 = QStringLiteral("Sat A Di");
    QString nameB2 = QStringLiteral("Sat B di");
    std::array<std::int32_t, 2> satSelectParams{0, 0};

    // Shows the default set's satellite count (NN 13) in the window and the pages, as
    // the antenna would report it once its table is written.
    void showSatelliteCountWritten();

    // The default set last loaded: its satellites and the seven product profiles.
    DefaultSet defaultSet;
    // How long Update Default waits for each echo. Tests shorten it.
    int updateReplyTimeoutMs = UpdateReplyTimeoutMs;

  protected:
    PageDialog* createPage(int pageId) override;
    void onPageVisibility(int pageId, bool shown) override;
    HostServices* hostServices() override { return this; }
    void onInitDialog() override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  public:
    void reject() override;

  private:
    enum class SelectorLayout { Single, Double, Triple };
    SelectorLayout selectorLayout() const;
    void setStateLeds(int state);
    void selectSatellite(int slotCode);
    void setNamesFromSlots();

    void deliverDefaultSet(const ProductProfile& p);
    std::int32_t slotSkew(const ProductProfile& p, int satellite) const;
    // Runs the steps that write the loaded set with profile `p` into the antenna, moving
    // the progress bar; ends early when the window closes.
    UpdateOutcome writeDefaultSet(const ProductProfile& p);
    bool updateRunning_ = false;

    LinkDriver link_;
    ShellModel model_;
    // The page list's selected row when the mouse button went down on it, -1 for none.
    int rowSelectedAtPress_ = -1;
};

}  // namespace kelvandor
