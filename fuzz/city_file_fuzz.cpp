// SPDX-License-Identifier: GPL-3.0-or-later
// The city-file reader on arbitrary bytes: it must neither crash nor reach undefined
// behaviour, and what it takes into the list must be a list the writer can write and
// the reader read back unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "geo/city_file.h"

using namespace kelvandor::geo;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool sameEntries(const CityList& a, const CityList& b) {
    if (a.count() != b.count()) {
        return false;
    }
    for (int k = 1; k <= a.count(); ++k) {
        const CityEntry& x = a.cityAt(k);
        const CityEntry& y = b.cityAt(k);
        if (x.name != y.name || x.ewFlag != y.ewFlag || x.nsCode != y.nsCode ||
            x.longitude != y.longitude || x.latitude != y.latitude) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CityList list;
    const CityFileReport report = readCityRecords(in, list);
    check(report.recordsRead <= MaxCityRecords);
    check(list.count() <= report.recordsRead);

    const CityEntry* previous = nullptr;
    for (const CityEntry& e : list) {
        check(!e.name.empty() && e.name.size() <= MaxCityNameBytes);
        check(previous == nullptr || previous->name < e.name);
        check(std::isfinite(e.longitude) && std::fabs(e.longitude) <= MaxFileCoordinate * 100);
        check(std::isfinite(e.latitude) && std::fabs(e.latitude) <= MaxFileCoordinate * 100);
        check(e.longitude == std::trunc(e.longitude) && e.latitude == std::trunc(e.latitude));
        check(e.ewFlag == FlagEast || e.ewFlag == FlagWest);
        check(e.nsCode == CodeNorth || e.nsCode == CodeSouth);
        previous = &e;
    }
    // Nearest-city search over whatever the file held, at the far corners too.
    for (const double at : {0.0, -2147483648.0, 2147483647.0}) {
        const int k = list.findNearestCity(FlagEast, CodeNorth, at, at);
        check(k == -1 || (k >= 1 && k <= list.count()));
    }

    // What was read writes and reads back as itself.
    std::istringstream again(formatCityFile(list));
    CityList back;
    const CityFileReport second = readCityRecords(again, back);
    check(second.recordsRefused == 0 && !second.moreRecords);
    check(sameEntries(list, back));
    return 0;
}
