// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/c_format.h"

#include <locale.h>

#include <cstdio>

namespace kelvandor {

namespace {

// The "C" locale, made once. Should the C library refuse it (it never does for "C"), the
// calling thread's own locale is used: uselocale(0) changes nothing.
locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace

int vformatC(char* out, std::size_t size, const char* format, std::va_list args) {
    const locale_t previous = uselocale(cLocale());
    const int length = std::vsnprintf(out, size, format, args);
    uselocale(previous);
    return length;
}

int formatC(char* out, std::size_t size, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const int length = vformatC(out, size, format, args);
    va_end(args);
    return length;
}

std::string formatCString(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = vformatC(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        vformatC(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

}  // namespace kelvandor
