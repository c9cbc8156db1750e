// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/sky_view_page.h"

#include <QComboBox>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "host/host_services.h"
#include "pages/gps_page.h"
#include "pages/signal_chart.h"
#include "report/signal_export.h"
#include "ui/prompter.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;
using P = SkyViewPage;

// The page in dialog units: the sky view with its texts on top, the strip chart with its
// figures and buttons below, the exports at the bottom.
constexpr ui::ControlTemplate Controls[] = {
    {P::SkyFrame, ControlKind::Frame, nullptr, 4, 2, 124, 118, ui::Hidden},
    {P::PositionText, ControlKind::Label, "", 132, 4, 124, 20},
    {P::UseCityButton, ControlKind::Button, "Use City GPS Position", 132, 26, 96, 14},
    {P::TrackedText, ControlKind::Label, "", 132, 44, 124, 28},
    {P::PointingText, ControlKind::Label, "", 132, 74, 124, 10},
    {P::BelowHorizonText, ControlKind::Label, "", 132, 86, 124, 18},
    {P::RefreshButton, ControlKind::Button, "Refresh", 132, 106, 60, 14},
    {P::ChartFrame, ControlKind::Frame, nullptr, 4, 124, 190, 96, ui::Hidden},
    {NoId, ControlKind::Label, "Current", 198, 126, 36, 10},
    {P::CurrentValue, ControlKind::Label, "", 234, 126, 22, 10, ui::AlignRight},
    {NoId, ControlKind::Label, "Minimum", 198, 138, 36, 10},
    {P::MinimumValue, ControlKind::Label, "", 234, 138, 22, 10, ui::AlignRight},
    {NoId, ControlKind::Label, "Maximum", 198, 150, 36, 10},
    {P::MaximumValue, ControlKind::Label, "", 234, 150, 22, 10, ui::AlignRight},
    {NoId, ControlKind::Label, "Peak", 198, 162, 36, 10},
    {P::PeakValue, ControlKind::Label, "", 234, 162, 22, 10, ui::AlignRight},
    {P::WindowList, ControlKind::DropDownList, "1 minute\n5 minutes\n15 minutes\n60 minutes", 198,
     176, 58, 12},
    {P::PauseButton, ControlKind::PushLikeCheck, "Pause", 198, 191, 58, 13},
    {P::ClearButton, ControlKind::Button, "Clear", 198, 207, 58, 13},
    {P::SaveCsvButton, ControlKind::Button, "Save CSV…", 4, 224, 70, 14},
    {P::SavePictureButton, ControlKind::Button, "Save Picture…", 78, 224, 70, 14},
};

constexpr ui::DialogTemplate Layout = {SkyViewPage::TemplateId, nullptr, 260, 240, Controls};

constexpr double HundredthsPerDegree = 100.0;
constexpr std::int64_t MsPerMinute = 60000;
constexpr int SecondEntry = 1;  // of the hemisphere drop-downs: W or S

QString degrees(double v) {
    return QString::number(v, 'f', 1);
}

// "9° 59′ E": degrees and whole minutes, as the GPS page's DDD.MM shows them.
QString hemisphereText(double value, char positive, char negative) {
    constexpr int MinutesPerDegree = 60;
    const long totalMinutes = std::lround(std::fabs(value) * MinutesPerDegree);
    return QStringLiteral("%1\u00b0 %2\u2032 %3")
        .arg(totalMinutes / MinutesPerDegree)
        .arg(totalMinutes % MinutesPerDegree, 2, 10, QLatin1Char('0'))
        .arg(QLatin1Char(value < 0 ? negative : positive));
}

QString stateName(int state) {
    switch (state) {
        case 0:
            return QStringLiteral("set-up");
        case 1:
            return QStringLiteral("searching");
        case 2:
            return QStringLiteral("tracking");
        case 3:
            return QStringLiteral("unwrapping");
        case 4:
        case 6:
            return QStringLiteral("initialising");
        case 7:
            return QStringLiteral("sleeping");
        default:
            return QStringLiteral("state %1").arg(state);
    }
}

// A name of the table with its padding blanks cut off; its number when it has none yet.
QString satelliteName(const SatelliteDefinition& d, int index) {
    const QString name =
        QString::fromLatin1(d.name, static_cast<qsizetype>(strnlen(d.name, NameCapacity)))
            .trimmed();
    return name.isEmpty() ? QStringLiteral("#%1").arg(index + 1) : name;
}

}  // namespace

SkyViewPage::SkyViewPage(std::size_t historyCapacity)
    : PageDialog(Layout),
      clock([] { return QDateTime::currentMSecsSinceEpoch(); }),
      steadyClock([] {
          return std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
              .count();
      }),
      history_(historyCapacity) {
    bindText(PositionText, &positionText);
    bindText(TrackedText, &trackedText);
    bindText(PointingText, &pointingText);
    bindText(BelowHorizonText, &belowHorizonText);
    bindText(CurrentValue, &currentValue);
    bindText(MinimumValue, &minimumValue);
    bindText(MaximumValue, &maximumValue);
    bindText(PeakValue, &peakValue);
    bindComboIndex(WindowList, &windowIndex);
    bindCheck(PauseButton, &paused);
}

SkyViewPage::~SkyViewPage() = default;

void SkyViewPage::onInitDialog() {
    for (const int id : {PositionText, TrackedText, BelowHorizonText}) {
        label(id)->setWordWrap(true);
    }
    sky_ = new SkyPlot(this);
    sky_->setGeometry(control(SkyFrame)->geometry());
    sky_->setAccessibleName(QStringLiteral("Sky view"));
    chart_ = new SignalChart(history_, this);
    chart_->setGeometry(control(ChartFrame)->geometry());
    chart_->setAccessibleName(QStringLiteral("Signal history"));
    PageDialog::onInitDialog();
    onClicked(UseCityButton, &SkyViewPage::onUseCityPosition);
    onClicked(RefreshButton, &SkyViewPage::onRefresh);
    onClicked(PauseButton, &SkyViewPage::onPause);
    onClicked(ClearButton, &SkyViewPage::onClear);
    onClicked(SaveCsvButton, &SkyViewPage::onSaveCsv);
    onClicked(SavePictureButton, &SkyViewPage::onSavePicture);
    connect(comboBox(WindowList), &QComboBox::currentIndexChanged, this,
            &SkyViewPage::onWindowChange);
    refreshView();
}

void SkyViewPage::onReply(CommandId id, const std::int32_t* p) {
    const std::int64_t now = steadyClock();
    if (recorder_.take(id, p, now, clock())) {
        dataDirty_ = true;
    }
    switch (id) {
        case cmd::Ni:
            addFix(p[3], p[4], now);
            break;
        case cmd::AP:
            addFix(p[0], p[1], now);
            break;
        case cmd::NA:
            dataDirty_ = true;
            break;
        case cmd::NG:
            setPosition(
                {p[0] / HundredthsPerDegree, p[1] == geo::FlagEast ? geo::FlagEast : geo::FlagWest,
                 p[2] / HundredthsPerDegree,
                 p[3] == geo::CodeNorth ? geo::CodeNorth : geo::CodeSouth},
                true);
            break;
        case cmd::NN:
        case cmd::NI:
        case cmd::NS:
        case cmd::NP:
            markersDirty_ = true;
            break;
        default:
            break;
    }
}

void SkyViewPage::addFix(std::int32_t azimuth, std::int32_t elevation, std::int64_t now) {
    fixes_.push_back({azimuth / HundredthsPerDegree, elevation / HundredthsPerDegree, now});
    while (fixes_.size() > MaxTrailFixes ||
           (!fixes_.empty() && now - fixes_.front().msecs > SkyPlot::TrailMs)) {
        fixes_.pop_front();
    }
    dataDirty_ = true;
}

void SkyViewPage::setPosition(const sky::GpsPosition& position, bool fromAntenna) {
    position_ = position;
    positionFromAntenna_ = fromAntenna;
    if (sky_ != nullptr) {
        sky_->setPosition(position_);
    }
    markersDirty_ = true;
    dataDirty_ = true;
}

void SkyViewPage::onShow() {
    markersDirty_ = true;
    refreshView();
    startDialogTimer(RepaintTimer, RepaintMs);
}

void SkyViewPage::onHide() {
    stopDialogTimer(RepaintTimer);
}

void SkyViewPage::onTimer(int timerId) {
    if (timerId != RepaintTimer) {
        return;
    }
    if (dataDirty_ || markersDirty_) {
        refreshView();
    } else if (descriptionPending_ && steadyClock() - lastDescriptionMs_ >= DescriptionMs) {
        refreshDescriptions(steadyClock());
    }
}

void SkyViewPage::refreshView() {
    if (sky_ == nullptr) {
        return;
    }
    const std::int64_t now = steadyClock();
    if (markersDirty_) {
        refreshMarkers();
    }
    sky_->setPointing(std::vector<PointingFix>(fixes_.begin(), fixes_.end()), now);
    chart_->setSpan(windowSpanMs(), chartEnd(now));
    refreshTexts(now);
    if (now - lastDescriptionMs_ >= DescriptionMs || lastDescriptionMs_ == 0) {
        refreshDescriptions(now);
    } else {
        descriptionPending_ = true;
    }
    dataDirty_ = false;
    ++repaintCount_;
}

void SkyViewPage::refreshMarkers() {
    markersDirty_ = false;
    std::vector<SkyMarker> markers;
    const SatelliteTable* table = satelliteTable();
    if (table != nullptr && position_) {
        const int count = std::clamp(table->satelliteCount, 0, SatelliteCapacity);
        for (int k = 0; k < count; ++k) {
            const SatelliteDefinition& d = table->at(k)->primary;
            SkyMarker m;
            m.name = satelliteName(d, k);
            m.longitude = d.longitude;
            m.eastWest = d.eastWest == geo::FlagEast ? geo::FlagEast : geo::FlagWest;
            m.angles = sky::satelliteAngles(*position_, d.longitude, m.eastWest);
            m.tracked = k == table->currentSatellite;
            markers.push_back(std::move(m));
        }
    }
    sky_->setMarkers(std::move(markers));
}

void SkyViewPage::refreshTexts(std::int64_t now) {
    if (position_) {
        positionText =
            QStringLiteral("%1 GPS: %2, %3")
                .arg(positionFromAntenna_ ? QStringLiteral("Antenna") : QStringLiteral("City"),
                     hemisphereText(sky::signedDecimalLongitude(*position_), 'E', 'W'),
                     hemisphereText(sky::signedDecimalLatitude(*position_), 'N', 'S'));
    } else {
        positionText = QStringLiteral("No GPS position from the antenna yet");
    }
    showControl(UseCityButton, !positionFromAntenna_);
    enableControl(UseCityButton, gpsPage != nullptr);

    trackedText.clear();
    QStringList below;
    for (const SkyMarker& m : sky_->markers()) {
        if (m.tracked) {
            trackedText = QStringLiteral("Tracked: %1\nAZ %2  EL %3  SKEW %4")
                              .arg(m.name, degrees(m.angles.azimuth), degrees(m.angles.elevation),
                                   degrees(m.angles.skew));
        }
        if (m.angles.elevation < 0.0) {
            below.append(m.name);
        }
    }
    belowHorizonText =
        below.isEmpty()
            ? QString()
            : QStringLiteral("Below the horizon: %1").arg(below.join(QStringLiteral(", ")));
    pointingText = recorder_.hasPointing()
                       ? QStringLiteral("Antenna: AZ %1  EL %2")
                             .arg(degrees(recorder_.azimuth() / HundredthsPerDegree),
                                  degrees(recorder_.elevation() / HundredthsPerDegree))
                                : QString();

    const std::int64_t end = chartEnd(now);
    const LevelRange range = levelRange(history_, end - windowSpanMs(), end);
    currentValue = history_.empty() ? QString() : QString::number(history_.newest().level);
    minimumValue = range.any ? QString::number(range.minimum) : QString();
    maximumValue = range.any ? QString::number(range.maximum) : QString();
    peakValue = history_.hasPeak() ? QString::number(history_.peak()) : QString();
    writeControls();
}

void SkyViewPage::refreshDescriptions(std::int64_t now) {
    lastDescriptionMs_ = now;
    descriptionPending_ = false;
    // Every satellite above the horizon with its angles, as the plot shows them: the
    // tracked one first, the others across the sky by azimuth; then the antenna.
    const QString antenna = recorder_.hasPointing()
                                ? QStringLiteral("Antenna at azimuth %1°, elevation %2°.")
                                      .arg(degrees(recorder_.azimuth() / HundredthsPerDegree),
                                           degrees(recorder_.elevation() / HundredthsPerDegree))
                                         : QStringLiteral("No antenna position reported.");
    QString sky;
    if (!position_) {
        sky = QStringLiteral("No GPS position from the antenna yet. %1").arg(antenna);
    } else {
        std::vector<const SkyMarker*> above;
        for (const SkyMarker& m : sky_->markers()) {
            if (m.angles.elevation >= 0.0) {
                above.push_back(&m);
            }
        }
        std::stable_sort(above.begin(), above.end(), [](const SkyMarker* a, const SkyMarker* b) {
            if (a->tracked != b->tracked) {
                return a->tracked;
            }
            return a->angles.azimuth < b->angles.azimuth;
        });
        QStringList satellites;
        for (const SkyMarker* m : above) {
            satellites.append(QStringLiteral("%1%2 azimuth %3°, elevation %4°")
                                  .arg(m->name,
                                       m->tracked ? QStringLiteral(" (tracked)") : QString(),
                                       degrees(m->angles.azimuth), degrees(m->angles.elevation)));
        }
        sky = QStringLiteral("%1 of %2 satellites above the horizon")
                  .arg(above.size())
                  .arg(sky_->markers().size());
        if (!satellites.isEmpty()) {
            sky += QStringLiteral(": ") + satellites.join(QStringLiteral("; "));
        }
        sky += QStringLiteral(". ") + antenna;
    }
    if (sky_->accessibleDescription() != sky) {
        sky_->setAccessibleDescription(sky);
    }

    QString signal;
    const int minutes = WindowMinutes[static_cast<std::size_t>(
        std::clamp(windowIndex, 0, static_cast<int>(WindowMinutes.size()) - 1))];
    if (history_.empty()) {
        signal = QStringLiteral("No signal reported yet");
    } else {
        const std::int64_t end = chartEnd(now);
        const LevelRange range = levelRange(history_, end - windowSpanMs(), end);
        signal = QStringLiteral("Signal %1, %2, %3; last %4 minute%5")
                     .arg(history_.newest().level)
                     .arg(history_.newest().lock != 0 ? QStringLiteral("locked")
                                                      : QStringLiteral("not locked"),
                          stateName(recorder_.state()))
                     .arg(minutes)
                     .arg(minutes == 1 ? QString() : QStringLiteral("s"));
        if (range.any) {
            signal +=
                QStringLiteral(": minimum %1, maximum %2").arg(range.minimum).arg(range.maximum);
        }
        signal += QStringLiteral("; peak %1").arg(history_.peak());
        if (paused != 0) {
            signal += QStringLiteral("; paused");
        }
    }
    if (chart_->accessibleDescription() != signal) {
        chart_->setAccessibleDescription(signal);
    }
}

std::int64_t SkyViewPage::windowSpanMs() const {
    const auto k = static_cast<std::size_t>(
        std::clamp(windowIndex, 0, static_cast<int>(WindowMinutes.size()) - 1));
    return WindowMinutes[k] * MsPerMinute;
}

std::int64_t SkyViewPage::chartEnd(std::int64_t now) const {
    return paused != 0 ? pausedAt_ : now;
}

void SkyViewPage::onUseCityPosition() {
    if (gpsPage == nullptr) {
        return;
    }
    gpsPage->readControls();
    const std::optional<GpsPage::CityPosition> city =
        GpsPage::checkedCityPosition(gpsPage->cityLongitude, gpsPage->cityLatitude);
    if (!city) {
        ui::prompter().message(GpsPage::cityPositionRangeMessage(), ui::Buttons::Ok,
                               ui::Icon::Warning);
        return;
    }
    setPosition({city->longitude / HundredthsPerDegree,
                 gpsPage->cityEastWest == SecondEntry ? geo::FlagWest : geo::FlagEast,
                 city->latitude / HundredthsPerDegree,
                 gpsPage->cityNorthSouth == SecondEntry ? geo::CodeSouth : geo::CodeNorth},
                false);
    refreshView();
}

// QV brings the level; QS the status picture with the pointing (Ni) and the GPS position
// (NG), the query every unit answers (Get Antenna Information sends it too).
void SkyViewPage::onRefresh() {
    sendToHost(cmd::QV, out_.data());
    sendToHost(cmd::QS, out_.data());
}

void SkyViewPage::onWindowChange() {
    readControls();
    lastDescriptionMs_ = 0;
    refreshView();
}

void SkyViewPage::onPause() {
    readControls();
    pausedAt_ = steadyClock();
    lastDescriptionMs_ = 0;
    refreshView();
}

void SkyViewPage::onClear() {
    history_.clear();
    lastDescriptionMs_ = 0;
    refreshView();
}

void SkyViewPage::onSaveCsv() {
    const QString path =
        ui::prompter().saveFileName(QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!saveAtomically(
            path, [this](QIODevice& device) { return writeSignalCsv(history_, device); }, &error)) {
        ui::prompter().message(QStringLiteral("Could not save %1: %2").arg(path, error),
                               ui::Buttons::Ok, ui::Icon::Warning);
    }
}

void SkyViewPage::onSavePicture() {
    const QString path =
        ui::prompter().saveFileName(QStringLiteral("PNG images (*.png)"), QStringLiteral("png"));
    if (path.isEmpty()) {
        return;
    }
    refreshView();
    const QSize skySize = sky_->size();
    const QSize chartSize = chart_->size();
    QImage image(std::max(skySize.width(), chartSize.width()),
                 skySize.height() + chartSize.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        sky_->render(&painter, QPoint(0, 0));
        chart_->render(&painter, QPoint(0, skySize.height()));
    }
    QString error;
    if (!saveAtomically(
            path, [&image](QIODevice& device) { return image.save(&device, "PNG"); }, &error)) {
        ui::prompter().message(QStringLiteral("Could not save %1: %2").arg(path, error),
                               ui::Buttons::Ok, ui::Icon::Warning);
    }
}

}  // namespace kelvandor
