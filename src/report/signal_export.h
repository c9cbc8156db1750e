// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the signal history out: the CSV rows, and files replaced only when complete.
#pragma once

#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <functional>

#include "unit/signal_history.h"

class QIODevice;

namespace kelvandor {

// A field as RFC 4180 wants it: quoted, with quotes doubled, when it holds a comma, a
// quote, a carriage return or a line feed; as it is otherwise.
QString csvField(const QString& text);

// Writes the header row and one row a sample, oldest first, each ended by CR LF: the
// local time (of `zone` when it is valid) in ISO 8601 with milliseconds and its UTC offset
// ("2026-10-25T02:30:00.000+01:00", so the hour repeated when the clocks go back stays
// apart), the level, the lock flag, the state, and AZ, EL and SKEW in degrees with two
// decimals. Returns false when the device refused a write.
bool writeSignalCsv(const SignalHistory& history, QIODevice& device,
                    const QTimeZone& zone = QTimeZone());

// Writes `path` through `write` into a temporary file beside it, and renames that over
// `path` only when `write` returned true and every byte reached the disk. On failure
// `path` is left as it was and `*error` (when given) says why.
bool saveAtomically(const QString& path, const std::function<bool(QIODevice&)>& write,
                    QString* error);

}  // namespace kelvandor
