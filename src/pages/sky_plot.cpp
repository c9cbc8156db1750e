// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/sky_plot.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <cmath>

namespace kelvandor {

namespace {

constexpr double RingStep = 15.0;  // degrees of elevation between rings
constexpr double Horizon = 0.0;
constexpr double Zenith = 90.0;
constexpr int MarkerRadius = 4;
constexpr int TrackedRadius = 6;
constexpr int CrossHalf = 7;
constexpr double TrailDotRadius = 2.0;
constexpr int HitRadius = 8;   // pixels around a marker that hovering finds
constexpr int LabelGap = 3;    // pixels between a marker and its label
constexpr int EdgeMargin = 2;  // pixels kept free at the widget's border
constexpr int FullAlpha = 255;
constexpr double CompassAzimuth[] = {0.0, 90.0, 180.0, 270.0};
constexpr const char* CompassName[] = {"N", "E", "S", "W"};

const QColor Background(Qt::white);
const QColor GridColour(190, 190, 190);
const QColor TextColour(60, 60, 60);
const QColor ArcColour(30, 110, 200);
const QColor MarkerColour(30, 110, 200);
const QColor TrackedColour(210, 40, 40);
const QColor PointingColour(0, 130, 60);

QString degreesText(double value) {
    return QString::number(value, 'f', 1);
}

}  // namespace

QString markerText(const SkyMarker& marker) {
    return QStringLiteral("%1\nlongitude %2 %3\nazimuth %4, elevation %5, skew %6%7")
        .arg(marker.name, QString::number(marker.longitude, 'f', 2),
             marker.eastWest == geo::FlagWest ? QStringLiteral("W") : QStringLiteral("E"),
             degreesText(marker.angles.azimuth), degreesText(marker.angles.elevation),
             degreesText(marker.angles.skew),
             marker.tracked ? QStringLiteral("\ntracked") : QString());
}

SkyPlot::SkyPlot(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void SkyPlot::setPosition(const std::optional<sky::GpsPosition>& position) {
    position_ = position;
    arc_ = position ? sky::geostationaryArc(*position) : std::vector<sky::SkyPoint>{};
    update();
}

void SkyPlot::setMarkers(std::vector<SkyMarker> markers) {
    markers_ = std::move(markers);
    layOut();
    update();
}

void SkyPlot::setPointing(std::vector<PointingFix> fixes, std::int64_t nowMsecs) {
    fixes_ = std::move(fixes);
    nowMsecs_ = nowMsecs;
    update();
}

QPointF SkyPlot::plotPoint(double azimuth, double elevation) const {
    const sky::PlotPoint p = sky::toPlot(azimuth, elevation, centre_.x(), centre_.y(), radius_);
    return {p.x, p.y};
}

QString SkyPlot::markerTextAt(const QPointF& point) const {
    const SkyMarker* best = nullptr;
    double bestDistance = HitRadius;
    for (const SkyMarker& m : markers_) {
        if (m.angles.elevation < Horizon) {
            continue;
        }
        const QPointF d = plotPoint(m.angles.azimuth, m.angles.elevation) - point;
        const double distance = std::hypot(d.x(), d.y());
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = &m;
        }
    }
    return best == nullptr ? QString() : markerText(*best);
}

void SkyPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void SkyPlot::layOut() {
    const QFontMetrics fm(font());
    // Room for the compass letters outside the rim.
    const double margin = fm.height() + EdgeMargin;
    radius_ = std::max(0.0, std::min(width(), height()) / 2.0 - margin);
    centre_ = QPointF(width() / 2.0, height() / 2.0);

    // Labels: the tracked satellite first, then west to east; each takes the first free
    // place around its marker, or none (its tooltip still names it).
    labelRects_.clear();
    labelOwners_.clear();
    std::vector<int> order;
    std::vector<QRectF> dots;
    for (int k = 0; k < static_cast<int>(markers_.size()); ++k) {
        const SkyMarker& m = markers_[static_cast<std::size_t>(k)];
        if (m.angles.elevation >= Horizon) {
            order.push_back(k);
            const QPointF c = plotPoint(m.angles.azimuth, m.angles.elevation);
            dots.emplace_back(c.x() - TrackedRadius, c.y() - TrackedRadius, 2 * TrackedRadius,
                              2 * TrackedRadius);
        }
    }
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const SkyMarker& ma = markers_[static_cast<std::size_t>(a)];
        const SkyMarker& mb = markers_[static_cast<std::size_t>(b)];
        if (ma.tracked != mb.tracked) {
            return ma.tracked;
        }
        return plotPoint(ma.angles.azimuth, ma.angles.elevation).x() <
               plotPoint(mb.angles.azimuth, mb.angles.elevation).x();
    });
    const QRectF inside = QRectF(rect()).adjusted(EdgeMargin, EdgeMargin, -EdgeMargin, -EdgeMargin);
    for (const int k : order) {
        const SkyMarker& m = markers_[static_cast<std::size_t>(k)];
        const QPointF c = plotPoint(m.angles.azimuth, m.angles.elevation);
        const QSizeF size(fm.horizontalAdvance(m.name) + 2, fm.height());
        const double w = size.width();
        const double h = size.height();
        const double g = TrackedRadius + LabelGap;
        const std::array<QPointF, 10> corners = {{
            {c.x() + g, c.y() - h / 2},      // right
            {c.x() - g - w, c.y() - h / 2},  // left
            {c.x() - w / 2, c.y() - g - h},  // above
            {c.x() - w / 2, c.y() + g},      // below
            {c.x() + g, c.y() - h - 1},      // upper right
            {c.x() + g, c.y() + 1},          // lower right
            {c.x() - g - w, c.y() - h - 1},  // upper left
            {c.x() - g - w, c.y() + 1},      // lower left
            {c.x() + g, c.y() - 2 * h},      // further up right
            {c.x() - g - w, c.y() + h},      // further down left
        }};
        for (const QPointF& corner : corners) {
            const QRectF r(corner, size);
            const bool free = inside.contains(r) &&
                              std::none_of(labelRects_.begin(), labelRects_.end(),
                                           [&r](const QRectF& o) { return o.intersects(r); }) &&
                              std::none_of(dots.begin(), dots.end(),
                                           [&r](const QRectF& o) { return o.intersects(r); });
            if (free) {
                labelRects_.push_back(r);
                labelOwners_.push_back(k);
                break;
            }
        }
    }
}

void SkyPlot::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Background);
    drawGrid(p);
    if (!position_) {
        p.setPen(TextColour);
        const QRectF box(centre_.x() - radius_, centre_.y() - radius_, 2 * radius_, 2 * radius_);
        p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("No GPS position\nfrom the antenna yet"));
        drawPointing(p);
        return;
    }
    drawArc(p);
    drawMarkers(p);
    drawPointing(p);
}

void SkyPlot::drawGrid(QPainter& p) const {
    p.setPen(QPen(GridColour, 1));
    p.setBrush(Qt::NoBrush);
    for (double el = Horizon; el < Zenith; el += RingStep) {
        const double r = (Zenith - el) / Zenith * radius_;
        p.drawEllipse(centre_, r, r);
    }
    p.drawLine(plotPoint(0.0, Horizon), plotPoint(180.0, Horizon));
    p.drawLine(plotPoint(90.0, Horizon), plotPoint(270.0, Horizon));
    p.setPen(TextColour);
    const QFontMetrics fm(font());
    for (std::size_t k = 0; k < std::size(CompassName); ++k) {
        const QString text = QString::fromLatin1(CompassName[k]);
        const double a = CompassAzimuth[k] * geo::DegreeToRadian;
        const double r = radius_ + fm.height() / 2.0 + 1;
        const QPointF c(centre_.x() + r * std::sin(a), centre_.y() - r * std::cos(a));
        const QRectF box(c.x() - fm.height() / 2.0, c.y() - fm.height() / 2.0, fm.height(),
                         fm.height());
        p.drawText(box, Qt::AlignCenter, text);
    }
}

void SkyPlot::drawArc(QPainter& p) const {
    if (arc_.size() < 2) {
        return;
    }
    QPainterPath path;
    path.moveTo(plotPoint(arc_.front().azimuth, arc_.front().elevation));
    for (std::size_t k = 1; k < arc_.size(); ++k) {
        path.lineTo(plotPoint(arc_[k].azimuth, arc_[k].elevation));
    }
    p.setPen(QPen(ArcColour, 1.5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void SkyPlot::drawMarkers(QPainter& p) const {
    for (const SkyMarker& m : markers_) {
        if (m.angles.elevation < Horizon) {
            continue;
        }
        const QPointF c = plotPoint(m.angles.azimuth, m.angles.elevation);
        if (m.tracked) {
            p.setPen(QPen(TrackedColour, 2));
            p.setBrush(TrackedColour);
            p.drawEllipse(c, TrackedRadius, TrackedRadius);
        } else {
            p.setPen(QPen(MarkerColour, 1));
            p.setBrush(Background);
            p.drawEllipse(c, MarkerRadius, MarkerRadius);
        }
    }
    for (std::size_t k = 0; k < labelRects_.size(); ++k) {
        const SkyMarker& m = markers_[static_cast<std::size_t>(labelOwners_[k])];
        p.setPen(m.tracked ? TrackedColour : TextColour);
        p.drawText(labelRects_[k], Qt::AlignLeft | Qt::AlignVCenter, m.name);
    }
}

void SkyPlot::drawPointing(QPainter& p) const {
    if (fixes_.empty()) {
        return;
    }
    // The trail: each fix of the last minute as a dot that fades with its age.
    p.setPen(Qt::NoPen);
    for (std::size_t k = 0; k + 1 < fixes_.size(); ++k) {
        const PointingFix& f = fixes_[k];
        const std::int64_t age = nowMsecs_ - f.msecs;
        if (age > TrailMs || f.elevation < Horizon) {
            continue;
        }
        QColor c = PointingColour;
        c.setAlpha(static_cast<int>(
            FullAlpha * (1.0 - static_cast<double>(std::max<std::int64_t>(age, 0)) / TrailMs)));
        p.setBrush(c);
        p.drawEllipse(plotPoint(f.azimuth, f.elevation), TrailDotRadius, TrailDotRadius);
    }
    const PointingFix& now = fixes_.back();
    if (now.elevation < Horizon) {
        return;
    }
    const QPointF c = plotPoint(now.azimuth, now.elevation);
    p.setPen(QPen(PointingColour, 2));
    p.drawLine(QPointF(c.x() - CrossHalf, c.y()), QPointF(c.x() + CrossHalf, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - CrossHalf), QPointF(c.x(), c.y() + CrossHalf));
}

bool SkyPlot::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = markerTextAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            // Names come from the line: escaped, so the tooltip never reads them as markup.
            QToolTip::showText(
                help->globalPos(),
                QStringLiteral("<p style='white-space:pre'>%1</p>")
                    .arg(text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"))),
                this);
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace kelvandor
