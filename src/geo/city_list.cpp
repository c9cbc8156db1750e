// SPDX-License-Identifier: GPL-3.0-or-later
#include "geo/city_list.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kelvandor::geo {

namespace {

// A city farther than this (in hundredths of DDD.MM) is not "near".
constexpr double NearLimit = 100.0;

// Continuation bytes that may follow the lead byte of a UTF-8 sequence.
constexpr std::size_t MaxSequenceTail = 3;

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U;
}

bool isLeadByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) == 0xC0U;
}

}  // namespace

std::string truncatedCityName(std::string_view name) {
    if (name.size() <= MaxCityNameBytes) {
        return std::string(name);
    }
    std::size_t cut = MaxCityNameBytes;
    // A cut before a continuation byte splits the sequence whose lead byte lies at most
    // three bytes back: cut before that lead byte instead. Bytes that are not UTF-8 are
    // cut where they are.
    for (std::size_t back = 1; back <= MaxSequenceTail && isContinuationByte(name[cut]); ++back) {
        if (isLeadByte(name[cut - back])) {
            cut -= back;
            break;
        }
        if (!isContinuationByte(name[cut - back])) {
            break;
        }
    }
    return std::string(name.substr(0, cut));
}

int CityList::insertCity(CityEntry entry) {
    entry.name = truncatedCityName(entry.name);
    const auto at =
        std::lower_bound(entries_.begin(), entries_.end(), entry.name,
                         [](const CityEntry& e, const std::string& name) { return e.name < name; });
    const int position = static_cast<int>(at - entries_.begin()) + 1;
    if (at != entries_.end() && at->name == entry.name) {
        at->ewFlag = entry.ewFlag;
        at->nsCode = entry.nsCode;
        at->longitude = entry.longitude;
        at->latitude = entry.latitude;
        return position;
    }
    entries_.insert(at, std::move(entry));
    return position;
}

bool CityList::removeCityAt(int position) {
    if (position < 1 || position > count()) {
        return false;
    }
    entries_.erase(entries_.begin() + (position - 1));
    return true;
}

const CityEntry& CityList::cityAt(int position) const {
    if (position < 1 || position > count()) {
        return head_;
    }
    return entries_[static_cast<std::size_t>(position - 1)];
}

int CityList::findNearestCity(int ewFlag, int nsCode, double longitude, double latitude) const {
    double best = 1000000.0;
    int answer = -1;
    int position = 0;
    for (const CityEntry& entry : entries_) {
        ++position;
        if (entry.ewFlag != ewFlag || entry.nsCode != nsCode) {
            continue;
        }
        const double dx = std::fabs(std::trunc(entry.longitude - longitude));
        const double dy = std::fabs(std::trunc(entry.latitude - latitude));
        // A difference of 100 or more (or one that is not a number) cannot be near; the
        // others square and add in 64 bits without any chance of overflow.
        if (!(dx < NearLimit && dy < NearLimit)) {
            continue;
        }
        const auto x = static_cast<std::int64_t>(dx);
        const auto y = static_cast<std::int64_t>(dy);
        const double d = std::sqrt(static_cast<double>(x * x + y * y));
        if (d < best) {
            best = d;
            answer = position;
        }
    }
    return best < NearLimit ? answer : -1;
}

}  // namespace kelvandor::geo
