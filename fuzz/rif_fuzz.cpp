// SPDX-License-Identifier: GPL-3.0-or-later
// The default-set reader on arbitrary text: it must never crash or overrun, a refused
// text must leave the destination exactly as it was, and a read set must hold only what
// the program can use (names of at most eight characters, skew slots naming one of the
// thirteen satellites, skew adjustments that can be sent multiplied by 10).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "defaults/rif_reader.h"

using namespace kelvandor;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

DefaultSet marked() {
    DefaultSet set;
    set.regionName = "MARK";
    set.regionVersion = -123;
    set.skewAdjust.fill(7);
    set.productProfiles[6][30] = 5;
    return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    DefaultSet set = marked();
    const RifReadResult result = parseRif(text, set);
    if (!result.ok()) {
        const DefaultSet unchanged = marked();
        check(!result.message.empty());
        check(set.regionName == unchanged.regionName);
        check(set.regionVersion == unchanged.regionVersion);
        check(set.skewAdjust == unchanged.skewAdjust);
        check(set.productProfiles == unchanged.productProfiles);
        return 0;
    }
    check(set.regionName.size() <= static_cast<std::size_t>(RifWordLength));
    for (const RifSatellite& s : set.satellites) {
        check(s.satName.size() <= static_cast<std::size_t>(RifNameLength));
    }
    for (const std::int32_t adjust : set.skewAdjust) {
        check(adjust <= std::numeric_limits<std::int32_t>::max() / 10 &&
              adjust >= std::numeric_limits<std::int32_t>::min() / 10);
    }
    for (const ProductProfile& p : set.productProfiles) {
        for (int slot = 0; slot < RifSlotCount; ++slot) {
            check(slotSatellite(p, slot) >= 0 && slotSatellite(p, slot) < RifSatelliteCount);
        }
    }
    return 0;
}
