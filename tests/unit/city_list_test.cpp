// SPDX-License-Identifier: GPL-3.0-or-later
// The city list: order by name, replacement of a name that is already there, positions
// from 1, and the nearest-city search.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geo/city_list.h"

namespace kelvandor::geo {
namespace {

CityEntry city(const std::string& name, double longitude, double latitude, int ew = FlagEast,
               int ns = CodeNorth) {
    CityEntry e;
    e.name = name;
    e.ewFlag = ew;
    e.nsCode = ns;
    e.longitude = longitude;
    e.latitude = latitude;
    return e;
}

std::vector<std::string> names(const CityList& list) {
    std::vector<std::string> out;
    for (const CityEntry& e : list) {
        out.push_back(e.name);
    }
    return out;
}

TEST(CityList, KeepsNamesInByteOrderAndReturnsPositions) {
    CityList list;
    EXPECT_EQ(list.insertCity(city("Seoul", 12659, 3733)), 1);
    EXPECT_EQ(list.insertCity(city("Berlin", 1324, 5231)), 1);
    EXPECT_EQ(list.insertCity(city("Zürich", 832, 4722)), 3);
    EXPECT_EQ(list.insertCity(city("Zagreb", 1558, 4549)), 3);  // 'a' before the UTF-8 of 'ü'
    EXPECT_EQ(list.insertCity(city("Cape Town", 1825, 3355, FlagEast, CodeSouth)), 2);
    EXPECT_EQ(list.insertCity(city("berlin", 1, 1)), 6);  // lower case sorts after every capital
    EXPECT_EQ(names(list), (std::vector<std::string>{"Berlin", "Cape Town", "Seoul", "Zagreb",
                                                     "Zürich", "berlin"}));
    EXPECT_EQ(list.count(), 6);
    EXPECT_EQ(list.cityAt(2).nsCode, CodeSouth);
    EXPECT_EQ(list.cityAt(6).longitude, 1);
}

TEST(CityList, SameNameReplacesTheCoordinatesInPlace) {
    CityList list;
    list.insertCity(city("Hamburg", 959, 5333));
    list.insertCity(city("Oslo", 1045, 5955));
    EXPECT_EQ(list.insertCity(city("Hamburg", 1000, 5300, FlagWest, CodeSouth)), 1);
    ASSERT_EQ(list.count(), 2);
    const CityEntry& h = list.cityAt(1);
    EXPECT_EQ(h.name, "Hamburg");
    EXPECT_EQ(h.ewFlag, FlagWest);
    EXPECT_EQ(h.nsCode, CodeSouth);
    EXPECT_EQ(h.longitude, 1000);
    EXPECT_EQ(h.latitude, 5300);
}

TEST(CityList, PositionsOutsideTheListGiveTheHeadAndRemoveNothing) {
    CityList list;
    for (const int p : {0, 1, -1}) {
        const CityEntry& head = list.cityAt(p);
        EXPECT_EQ(head.name, "");
        EXPECT_EQ(head.ewFlag, FlagEast);
        EXPECT_EQ(head.nsCode, CodeNorth);
        EXPECT_EQ(head.longitude, 10);
        EXPECT_EQ(head.latitude, 10);
    }
    list.insertCity(city("A", 1, 1));
    list.insertCity(city("B", 2, 2));
    list.insertCity(city("C", 3, 3));
    EXPECT_EQ(list.cityAt(4).name, "");
    for (const int p : {0, -3, 4}) {
        EXPECT_FALSE(list.removeCityAt(p)) << p;
    }
    EXPECT_TRUE(list.removeCityAt(2));
    EXPECT_EQ(names(list), (std::vector<std::string>{"A", "C"}));
    list.clear();
    EXPECT_EQ(list.count(), 0);
}

TEST(CityList, LongNamesAreCutAtACharacterBoundary) {
    CityList list;
    list.insertCity(city(std::string(60, 'x'), 1, 1));
    EXPECT_EQ(list.cityAt(1).name, std::string(49, 'x'));
    // 48 ASCII bytes then a two-byte character: the character would straddle the cut.
    list.insertCity(city(std::string(48, 'a') + "éz", 1, 1));
    EXPECT_EQ(list.cityAt(1).name, std::string(48, 'a'));
    EXPECT_EQ(truncatedCityName(std::string(47, 'a') + "éz"), std::string(47, 'a') + "é");
    EXPECT_EQ(truncatedCityName(std::string(47, 'a') + "€z"), std::string(47, 'a'));
    // Bytes that are not UTF-8 (stray continuation bytes) are cut where they are.
    EXPECT_EQ(truncatedCityName("T" + std::string(60, '\x85')), "T" + std::string(48, '\x85'));
}

struct NearCase {
    const char* name;
    int ew;
    int ns;
    double longitude;
    double latitude;
    int expected;
};

TEST(CityList, FindsTheNearestCityOfTheSameHemispheres) {
    CityList list;
    list.insertCity(city("Bremen", 848, 5305));
    list.insertCity(city("Hamburg", 959, 5333));
    list.insertCity(city("Kiel", 1008, 5419));
    list.insertCity(city("Lima", 7703, 1203, FlagWest, CodeSouth));
    list.insertCity(city("Twin A", 2000, 2000));
    list.insertCity(city("Twin B", 2000, 2000));
    list.insertCity(city("Far", 99999999, 5333));  // 999999.99 from a file
    // Positions: Bremen 1, Far 2, Hamburg 3, Kiel 4, Lima 5, Twin A 6, Twin B 7.
    const NearCase cases[] = {
        {"exactly there", FlagEast, CodeNorth, 959, 5333, 3},
        {"nearer to Kiel", FlagEast, CodeNorth, 1000, 5400, 4},
        {"a tie goes to the earlier entry", FlagEast, CodeNorth, 2000, 2050, 6},
        {"99.2 away still counts", FlagEast, CodeNorth, 2060, 2079, 6},
        {"100 away does not", FlagEast, CodeNorth, 2060, 2080, -1},
        // 70.9 and 71.9 apart would be 100.98; cut to 70 and 71 they are 99.7.
        {"differences are cut to whole hundredths", FlagEast, CodeNorth, 2070.9, 2071.9, 6},
        {"west and south only match west and south", FlagWest, CodeSouth, 7700, 1200, 5},
        {"the flag must match", FlagWest, CodeNorth, 959, 5333, -1},
        {"a code other than 2 or 3 matches nothing", FlagEast, 4, 959, 5333, -1},
        {"nowhere near", FlagEast, CodeNorth, 0, 0, -1},
        {"next to a far-out entry", FlagEast, CodeNorth, 99999950, 5333, 2},
        // 65536 hundredths away: its square is 2^32, which 32-bit arithmetic wraps to 0.
        {"a square that wraps in 32 bits is not near", FlagEast, CodeNorth, 959 + 65536, 5333, -1},
    };
    for (const NearCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(list.findNearestCity(c.ew, c.ns, c.longitude, c.latitude), c.expected);
    }
    EXPECT_EQ(CityList().findNearestCity(FlagEast, CodeNorth, 10, 10), -1);
}

}  // namespace
}  // namespace kelvandor::geo
