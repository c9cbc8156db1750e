// SPDX-License-Identifier: GPL-3.0-or-later
// The signal strip chart: the level of the last minutes against time, with the lock flag
// and the antenna state as coloured bands under the curve. It reads the history it is
// given and draws with QPainter, one value range per pixel column, so a window of an hour
// at any report rate costs one pass over its samples.
#pragma once

#include <QWidget>
#include <cstdint>

#include "unit/signal_history.h"

namespace kelvandor {

// The level range of a window of samples.
struct LevelRange {
    bool any = false;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
};
// The minimum and maximum level of the samples whose monotonic time lies in
// [fromMsecs, toMsecs].
LevelRange levelRange(const SignalHistory& history, std::int64_t fromMsecs, std::int64_t toMsecs);

class SignalChart : public QWidget {
    Q_OBJECT
  public:
    // A pause between two reports longer than this breaks the curve.
    static constexpr std::int64_t GapMs = 5000;

    SignalChart(const SignalHistory& history, QWidget* parent = nullptr);

    // The span shown and the monotonic time at the right edge.
    void setSpan(std::int64_t spanMs, std::int64_t endMsecs);
    std::int64_t spanMs() const { return spanMs_; }
    std::int64_t endMsecs() const { return endMsecs_; }

    // The colour of antenna state `state` in the state band.
    static QColor stateColour(int state);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const SignalHistory& history_;
    std::int64_t spanMs_ = 0;
    std::int64_t endMsecs_ = 0;
};

}  // namespace kelvandor
