// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style formatting that never follows the desktop's locale. Qt sets the C library's
// locale from the environment when an application starts, so a plain std::snprintf("%6.2lf")
// writes "19,20" on a desktop with a decimal comma. What goes on the line, into a file
// (city list, pattern.tab, default sets, CSV, traffic log) or into an edit box that is read
// back as a number is formatted here instead: always a decimal point, never a thousands
// separator, the same bytes under every locale. Thread-safe: the "C" conventions apply to
// the calling thread for the length of one call only.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace kelvandor {

// std::snprintf under the "C" locale: writes at most `size` bytes (the last a NUL) and
// returns what snprintf returns (the full length, or a negative value on an encoding
// error). `out` may be null when `size` is 0.
int formatC(char* out, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int vformatC(char* out, std::size_t size, const char* format, std::va_list args);

// The whole formatted text, whatever its length; empty on an encoding error.
std::string formatCString(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kelvandor
