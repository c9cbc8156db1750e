// SPDX-License-Identifier: GPL-3.0-or-later
// The polar sky view: rings every 15 degrees of elevation and the compass points, the
// geostationary arc, the satellites of the table as labelled markers, and the antenna's
// pointing as a cross with a fading trail. Drawn with QPainter; the owner decides when it
// repaints (see SkyViewPage), the plot itself never asks for more than one paint per
// change.
#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "geo/sky_geometry.h"

namespace kelvandor {

struct SkyMarker {
    QString name;
    double longitude = 0.0;  // decimal degrees
    int eastWest = 0;        // 0 E, 1 W
    sky::SatelliteAngles angles{};
    bool tracked = false;
};

// A reported pointing of the antenna, in degrees, with the monotonic time it was reported.
struct PointingFix {
    double azimuth;
    double elevation;
    std::int64_t msecs;
};

class SkyPlot : public QWidget {
    Q_OBJECT
  public:
    // How long the trail of pointing fixes stays visible.
    static constexpr std::int64_t TrailMs = 60000;

    explicit SkyPlot(QWidget* parent = nullptr);

    // The position the sky is seen from, or none (the plot then says so); recomputes the
    // arc.
    void setPosition(const std::optional<sky::GpsPosition>& position);
    const std::vector<sky::SkyPoint>& arc() const { return arc_; }
    // Markers above and below the horizon; those below are not drawn.
    void setMarkers(std::vector<SkyMarker> markers);
    const std::vector<SkyMarker>& markers() const { return markers_; }
    // The pointing fixes, oldest first; the newest is the cross. `nowMsecs`, on the fixes'
    // monotonic clock, ages the trail.
    void setPointing(std::vector<PointingFix> fixes, std::int64_t nowMsecs);

    // Where (azimuth, elevation) lies in the widget.
    QPointF plotPoint(double azimuth, double elevation) const;
    // The text of the marker under `point` (name, longitude, azimuth, elevation, skew),
    // empty when there is none.
    QString markerTextAt(const QPointF& point) const;
    // The rectangles of the marker labels drawn at the current size.
    const std::vector<QRectF>& labelRects() const { return labelRects_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void layOut();
    void drawGrid(QPainter& p) const;
    void drawArc(QPainter& p) const;
    void drawMarkers(QPainter& p) const;
    void drawPointing(QPainter& p) const;

    std::optional<sky::GpsPosition> position_;
    std::vector<sky::SkyPoint> arc_;
    std::vector<SkyMarker> markers_;
    std::vector<PointingFix> fixes_;
    std::int64_t nowMsecs_ = 0;
    // Laid out again on resize and on new markers.
    QPointF centre_;
    double radius_ = 0.0;
    std::vector<QRectF> labelRects_;
    std::vector<int> labelOwners_;  // marker index of each label rectangle
};

// The text of one marker, as its tooltip shows it.
QString markerText(const SkyMarker& marker);

}  // namespace kelvandor
