// SPDX-License-Identifier: GPL-3.0-or-later
// The city list of the GPS page: named places in ascending order of name, one entry per
// name, positions counted from 1. Coordinates are integer hundredths of the DDD.MM
// notation held in doubles (12659 for 126.59), with the hemisphere as a flag and a code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "geo/pointing.h"

namespace kelvandor::geo {

struct CityEntry {
    std::string name;  // UTF-8; may hold blanks
    int ewFlag = FlagEast;
    int nsCode = CodeNorth;
    double longitude = 10;  // hundredths of DDD.MM: 0.10
    double latitude = 10;
};

// Longest name a city may have, in bytes.
inline constexpr std::size_t MaxCityNameBytes = 49;

// `name` cut to at most MaxCityNameBytes bytes, never inside a UTF-8 sequence.
std::string truncatedCityName(std::string_view name);

class CityList {
  public:
    // Takes `entry` into the list (its name cut to MaxCityNameBytes) and returns its
    // position. An entry of the same name keeps its place and takes the new hemispheres
    // and coordinates; otherwise the entry goes before the first name that is greater
    // (plain byte order, which is code point order for UTF-8).
    int insertCity(CityEntry entry);
    // Removes the entry at `position`; a position outside 1..count() removes nothing.
    // Returns whether an entry was removed.
    bool removeCityAt(int position);
    int count() const { return static_cast<int>(entries_.size()); }
    // The entry at `position` (1..count()); any other position gives the list head, which
    // holds the values of a new entry (no name, 0.10 E, 0.10 N).
    const CityEntry& cityAt(int position) const;
    void clear() { entries_.clear(); }

    // The position of the first entry of the given flag and code that lies nearest to
    // (`longitude`, `latitude`, in hundredths), when it lies less than 100 hundredths
    // away: the distance is the Euclidean one over the whole hundredths of the two
    // differences, each cut toward zero. -1 when no entry is that near.
    int findNearestCity(int ewFlag, int nsCode, double longitude, double latitude) const;

    std::vector<CityEntry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<CityEntry>::const_iterator end() const { return entries_.end(); }

  private:
    CityEntry head_;
    std::vector<CityEntry> entries_;
};

}  // namespace kelvandor::geo
