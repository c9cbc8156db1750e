// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/signal_chart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <vector>

namespace kelvandor {

namespace {

constexpr int BandHeight = 8;           // pixels of the lock band and of the state band
constexpr int BandGap = 4;              // pixels between the curve's area and the bands
constexpr int AxisGap = 4;              // pixels between the axis texts and the plot
constexpr std::int32_t LevelGrid = 50;  // the level axis runs between multiples of this
constexpr int MsPerMinute = 60000;
constexpr double SmallType = 0.8;  // of the widget's font, for the band captions

const QColor Background(Qt::white);
const QColor GridColour(220, 220, 220);
const QColor TextColour(60, 60, 60);
const QColor CurveColour(30, 110, 200);
const QColor LockedColour(40, 160, 70);
const QColor UnlockedColour(225, 225, 225);

// The colours of the antenna states 0..7 (set-up, search, tracking, unwrap, initialise,
// -, initialise, sleep); others are grey.
const QColor StateColours[] = {
    QColor(230, 160, 40),  QColor(240, 210, 60),  QColor(40, 160, 70),   QColor(150, 90, 200),
    QColor(120, 170, 230), QColor(200, 200, 200), QColor(120, 170, 230), QColor(110, 110, 110),
};
const QColor OtherState(200, 200, 200);

std::int32_t floorTo(std::int32_t v, std::int32_t step) {
    const std::int32_t q = v / step;
    return (v < 0 && v % step != 0 ? q - 1 : q) * step;
}

}  // namespace

LevelRange levelRange(const SignalHistory& history, std::int64_t fromMsecs, std::int64_t toMsecs) {
    LevelRange range;
    for (std::size_t k = history.firstAtOrAfter(fromMsecs); k < history.size(); ++k) {
        const SignalSample& s = history.at(k);
        if (s.msecs > toMsecs) {
            break;
        }
        if (!range.any) {
            range = {true, s.level, s.level};
        } else {
            range.minimum = std::min(range.minimum, s.level);
            range.maximum = std::max(range.maximum, s.level);
        }
    }
    return range;
}

QColor SignalChart::stateColour(int state) {
    if (state >= 0 && state < static_cast<int>(std::size(StateColours))) {
        return StateColours[state];
    }
    return OtherState;
}

SignalChart::SignalChart(const SignalHistory& history, QWidget* parent)
    : QWidget(parent), history_(history) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SignalChart::setSpan(std::int64_t spanMs, std::int64_t endMsecs) {
    spanMs_ = std::max<std::int64_t>(spanMs, 1);
    endMsecs_ = endMsecs;
    update();
}

void SignalChart::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.fillRect(rect(), Background);
    const QFontMetrics fm(font());
    const std::int64_t start = endMsecs_ - spanMs_;
    const LevelRange range = levelRange(history_, start, endMsecs_);
    std::int32_t low = 0;
    std::int32_t high = 2 * LevelGrid;
    if (range.any) {
        low = floorTo(range.minimum, LevelGrid);
        high = std::max(floorTo(range.maximum, LevelGrid) + LevelGrid, low + LevelGrid);
    }
    const QString highText = QString::number(high);
    const QString lowText = QString::number(low);
    const QString lockCaption = QStringLiteral("lock");
    const QString stateCaption = QStringLiteral("state");
    const int axisWidth =
        std::max({fm.horizontalAdvance(highText), fm.horizontalAdvance(lowText),
                  fm.horizontalAdvance(lockCaption), fm.horizontalAdvance(stateCaption)}) +
        AxisGap;
    const int bandsHeight = 2 * BandHeight + BandGap + 1;
    const QRect plot(axisWidth, fm.height() / 2, width() - axisWidth - 1,
                     height() - fm.height() / 2 - bandsHeight - fm.height() - AxisGap);
    if (plot.width() < 2 || plot.height() < 2) {
        return;
    }

    // Frame, the level axis and the time axis.
    p.setPen(GridColour);
    p.drawRect(plot);
    p.drawLine(plot.left(), plot.center().y(), plot.right(), plot.center().y());
    p.setPen(TextColour);
    p.drawText(QRect(0, plot.top() - fm.height() / 2, axisWidth - AxisGap, fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, highText);
    p.drawText(QRect(0, plot.bottom() - fm.height(), axisWidth - AxisGap, fm.height()),
               Qt::AlignRight | Qt::AlignBottom, lowText);
    const int bandTop = plot.bottom() + BandGap + 1;
    // The bands' captions beside them, in a smaller type.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * SmallType);
    p.setFont(small);
    p.drawText(QRect(0, bandTop, axisWidth - AxisGap, BandHeight),
               Qt::AlignRight | Qt::AlignVCenter, lockCaption);
    p.drawText(QRect(0, bandTop + BandHeight, axisWidth - AxisGap, BandHeight),
               Qt::AlignRight | Qt::AlignVCenter, stateCaption);
    p.setFont(font());
    const QRect timeRow(plot.left(), bandTop + 2 * BandHeight + AxisGap / 2, plot.width(),
                        fm.height());
    p.drawText(timeRow, Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("-%1 min").arg(spanMs_ / MsPerMinute));
    p.drawText(timeRow, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("now"));

    // One pass over the window: per pixel column the first, lowest, highest and last
    // level, the last lock flag and state.
    struct Column {
        bool any = false;
        std::int32_t first = 0, minimum = 0, maximum = 0, last = 0;
        std::int64_t firstMs = 0, lastMs = 0;
        std::uint8_t lock = 0;
        std::int16_t state = 0;
    };
    const int columns = plot.width();
    std::vector<Column> cols(static_cast<std::size_t>(columns));
    for (std::size_t k = history_.firstAtOrAfter(start); k < history_.size(); ++k) {
        const SignalSample& s = history_.at(k);
        if (s.msecs > endMsecs_) {
            break;
        }
        const auto x = static_cast<std::size_t>(
            std::clamp<std::int64_t>((s.msecs - start) * columns / spanMs_, 0, columns - 1));
        Column& c = cols[x];
        if (!c.any) {
            c = {true, s.level, s.level, s.level, s.level, s.msecs, s.msecs, s.lock, s.state};
        } else {
            c.minimum = std::min(c.minimum, s.level);
            c.maximum = std::max(c.maximum, s.level);
            c.last = s.level;
            c.lastMs = s.msecs;
            c.lock = s.lock;
            c.state = s.state;
        }
    }
    const double scale = static_cast<double>(plot.height()) / (high - low);
    auto yOf = [&](std::int32_t level) { return plot.bottom() - (level - low) * scale; };

    // Bands: each column with samples, and the columns after it up to the next one.
    const Column* held = nullptr;
    for (int x = 0; x < columns; ++x) {
        const Column& c = cols[static_cast<std::size_t>(x)];
        if (c.any) {
            held = &c;
        }
        if (held == nullptr) {
            continue;
        }
        p.fillRect(plot.left() + x, bandTop, 1, BandHeight,
                   held->lock != 0 ? LockedColour : UnlockedColour);
        p.fillRect(plot.left() + x, bandTop + BandHeight, 1, BandHeight, stateColour(held->state));
    }

    // The curve, broken where the reports paused.
    QPainterPath path;
    bool open = false;
    std::int64_t lastMs = 0;
    for (int x = 0; x < columns; ++x) {
        const Column& c = cols[static_cast<std::size_t>(x)];
        if (!c.any) {
            continue;
        }
        const double px = plot.left() + x + 0.5;
        if (!open || c.firstMs - lastMs > GapMs) {
            path.moveTo(px, yOf(c.first));
        } else {
            path.lineTo(px, yOf(c.first));
        }
        path.lineTo(px, yOf(c.minimum));
        path.lineTo(px, yOf(c.maximum));
        path.lineTo(px, yOf(c.last));
        open = true;
        lastMs = c.lastMs;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(CurveColour, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

}  // namespace kelvandor
