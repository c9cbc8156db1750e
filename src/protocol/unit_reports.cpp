// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/unit_reports.h"

namespace kelvandor {

namespace {
constexpr long long SignalReference = 800;
constexpr std::int32_t FirstSizeCode = 9;
constexpr std::int32_t SizeCodesEnd = 16;
}  // namespace

int productSizeOf(std::int32_t code) {
    if (code >= SizeCodesEnd) {
        return 0;
    }
    if (code >= FirstSizeCode) {
        return code - FirstSizeCode;
    }
    return code;
}

long long signalLevelOf(std::int32_t raw) {
    return SignalReference - static_cast<long long>(raw);
}

const char* antennaStateName(std::int32_t state) {
    switch (state) {
        case 0:
            return "set-up";
        case 1:
            return "search";
        case 2:
            return "tracking";
        case 3:
            return "unwrap";
        case 4:
        case 6:
            return "initialise";
        case 7:
            return "sleep";
        default:
            return "unknown";
    }
}

}  // namespace kelvandor
