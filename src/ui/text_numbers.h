// SPDX-License-Identifier: GPL-3.0-or-later
// The lenient conversions (lenient_numbers.h) over the texts of Qt controls.
#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

#include "ui/lenient_numbers.h"

namespace kelvandor::ui {

namespace detail {
inline std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}
}  // namespace detail

inline std::int32_t leadingInteger(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return leadingInteger(detail::view(bytes));
}
inline double leadingDecimal(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return leadingDecimal(detail::view(bytes));
}
inline std::int32_t scaledDecimal(const QString& text, double factor) {
    const QByteArray bytes = text.toUtf8();
    return scaledDecimal(detail::view(bytes), factor);
}
inline std::optional<std::int32_t> wholeInteger(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return wholeInteger(detail::view(bytes));
}
inline std::optional<std::int32_t> hexNumber(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return hexNumber(detail::view(bytes));
}

}  // namespace kelvandor::ui
