// SPDX-License-Identifier: GPL-3.0-or-later
// City files: plain text, one city per line,
//
//                      Cape^Town   18.25 E  33.55 S<CR><LF>
//
// the name right-aligned in 30 characters (longer names whole) with "^" for each blank,
// two blanks, longitude and latitude in DDD.MM with two decimals (width 6), each followed
// by its hemisphere letter. Lines may end in LF, CR LF or CR CR LF.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "geo/city_list.h"

namespace kelvandor::geo {

// Records read from one file at most; the rest of a longer file is not read.
inline constexpr int MaxCityRecords = 1000;
// A coordinate of this magnitude or more (degrees), or one that is not finite, makes its
// record unusable; everything below keeps its hundredths well inside 32 bits.
inline constexpr double MaxFileCoordinate = 1000000.0;

// What reading a city file found.
struct CityFileReport {
    int recordsRead = 0;       // records taken into the list (a repeated name counts each time)
    int recordsRefused = 0;    // lines that hold no usable record and were left out
    bool moreRecords = false;  // the file went on after the MaxCityRecords-th record

    // Whether the file holds cities that the list did not take: writing the list back
    // over that file would lose them.
    bool incomplete() const { return recordsRefused > 0 || moreRecords; }
};

// Clears `list` and reads the records of `in` into it, one per line: a name (one token,
// "^" for blanks, cut to MaxCityNameBytes), a longitude, one character ("E" east, any
// other west), a latitude and one character ("N" north, any other south). Text after the
// fifth field is ignored; blank lines are skipped. A line whose fields do not all parse,
// whose name holds a control character, or whose coordinates are not finite or not below
// MaxFileCoordinate is refused and the next line read as usual.
CityFileReport readCityRecords(std::istream& in, CityList& list);

// readCityRecords on the file at `path`; nothing when it cannot be opened (the list is
// then left as it was).
std::optional<CityFileReport> readCityFile(const std::string& path, CityList& list);

// The hundredths a file's coordinate stands for: value x 100 cut toward zero, except that
// a product within rounding of a whole number is that number, so that every value the
// writer writes ("  0.29") reads back as the hundredths it came from (29, where the bare
// product is 28.999999999999996).
double fileHundredths(double value);

// One line of a city file, CR LF included.
std::string formatCityRecord(const CityEntry& entry);
// The whole file for `list`, in list order.
std::string formatCityFile(const CityList& list);

struct SaveResult {
    bool saved = false;
    std::string reason;  // why it failed; empty when saved
};

// Writes `list` to `path` so that the file is replaced only once its new contents are
// complete: the lines go to a new file beside it, which is flushed to disk and then
// renamed over `path` (over the file a symbolic link names, when `path` is one). An
// existing file keeps its permissions. On failure the old file is left as it was, the
// new file removed, and the reason returned.
SaveResult writeCityFile(const std::string& path, const CityList& list);

}  // namespace kelvandor::geo
