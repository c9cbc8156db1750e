// SPDX-License-Identifier: GPL-3.0-or-later
// The sky view and signal history page: a polar plot of the geostationary arc, the
// satellites of the table and the antenna's pointing as seen from its GPS position, and
// a strip chart of the signal level with the lock flag and the antenna state. It listens
// to every report, shown or not, and keeps the history in a bounded ring; it sends only
// when the user presses Refresh. Plots repaint on a timer while the page is shown, never
// more often than RepaintMs, however fast the reports come.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "host/page_dialog.h"
#include "unit/signal_history.h"
#include "geo/sky_geometry.h"
#include "pages/sky_plot.h"
#include "protocol/command_table.h"

namespace kelvandor {

class GpsPage;
class SignalChart;

class SkyViewPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 120;
    static constexpr int RepaintTimer = 0;
    static constexpr int RepaintMs = 100;       // at most ten repaints a second
    static constexpr int DescriptionMs = 1000;  // accessible descriptions at most once a second

    // Control ids.
    static constexpr int SkyFrame = 1201;
    static constexpr int PositionText = 1202;
    static constexpr int UseCityButton = 1203;
    static constexpr int TrackedText = 1204;
    static constexpr int PointingText = 1205;
    static constexpr int BelowHorizonText = 1206;
    static constexpr int RefreshButton = 1207;
    static constexpr int ChartFrame = 1208;
    static constexpr int CurrentValue = 1209;
    static constexpr int MinimumValue = 1210;
    static constexpr int MaximumValue = 1211;
    static constexpr int PeakValue = 1212;
    static constexpr int WindowList = 1213;
    static constexpr int PauseButton = 1214;
    static constexpr int ClearButton = 1215;
    static constexpr int SaveCsvButton = 1216;
    static constexpr int SavePictureButton = 1217;

    // The windows of WindowList, in minutes.
    static constexpr std::array<int, 4> WindowMinutes = {1, 5, 15, 60};
    // Pointing fixes kept for the trail at most, whatever the report rate.
    static constexpr std::size_t MaxTrailFixes = 2048;

    explicit SkyViewPage(std::size_t historyCapacity = SignalHistory::DefaultCapacity);
    ~SkyViewPage() override;

    void onReply(CommandId id, const std::int32_t* params) override;
    void onShow() override;
    void onHide() override;

    void onUseCityPosition();
    void onRefresh();
    void onWindowChange();
    void onPause();
    void onClear();
    void onSaveCsv();
    void onSavePicture();

    // Brings the plots, the texts and the accessible descriptions up to date now (the
    // repaint timer does this while the page is shown).
    void refreshView();

    // The page whose City GPS position is offered while the antenna has reported none;
    // set by the main window.
    GpsPage* gpsPage = nullptr;
    // The wall clock in milliseconds since the epoch, kept with each report for the CSV;
    // tests and benchmarks set their own.
    std::function<std::int64_t()> clock;
    // A monotonic clock in milliseconds (any origin): it orders the reports, places them
    // on the chart and paces the descriptions, so a wall clock set back or stepped
    // forward neither reorders nor hides anything. Tests and benchmarks set their own.
    std::function<std::int64_t()> steadyClock;

    const SignalHistory& history() const { return history_; }
    SkyPlot* skyPlot() const { return sky_; }
    SignalChart* signalChart() const { return chart_; }
    // The position the sky is drawn from, and whether the antenna reported it.
    const std::optional<sky::GpsPosition>& position() const { return position_; }
    bool positionFromAntenna() const { return positionFromAntenna_; }
    int repaintCount() const { return repaintCount_; }

    // Fields of the bound controls.
    QString positionText;
    QString trackedText;
    QString pointingText;
    QString belowHorizonText;
    QString currentValue;
    QString minimumValue;
    QString maximumValue;
    QString peakValue;
    int windowIndex = 1;  // 5 minutes
    int paused = 0;

  protected:
    void onInitDialog() override;
    void onTimer(int timerId) override;

  private:
    void addFix(std::int32_t azimuth, std::int32_t elevation, std::int64_t now);
    void setPosition(const sky::GpsPosition& position, bool fromAntenna);
    void refreshMarkers();
    void refreshTexts(std::int64_t now);
    void refreshDescriptions(std::int64_t now);
    std::int64_t windowSpanMs() const;
    std::int64_t chartEnd(std::int64_t now) const;

    SignalHistory history_;
    // Makes the history's samples from the reports, and keeps the latest state and
    // pointing they carried.
    SignalRecorder recorder_{history_};
    std::deque<PointingFix> fixes_;
    std::optional<sky::GpsPosition> position_;
    bool positionFromAntenna_ = false;
    // What changed since the last refresh.
    bool markersDirty_ = true;
    bool dataDirty_ = true;
    std::int64_t pausedAt_ = 0;
    std::int64_t lastDescriptionMs_ = 0;
    // A change came within the second after the last description; it is described when
    // the second is over.
    bool descriptionPending_ = false;
    int repaintCount_ = 0;
    SkyPlot* sky_ = nullptr;
    SignalChart* chart_ = nullptr;
    std::array<std::int32_t, MaxParams> out_{};
};

}  // namespace kelvandor
