// SPDX-License-Identifier: GPL-3.0-or-later
// City files: the exact line format, round trips through a file, what a damaged or
// over-long file does to the list, and saving that never loses the old file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "geo/city_file.h"

namespace kelvandor::geo {
namespace {

namespace fs = std::filesystem;

CityEntry city(const std::string& name, double longitude, int ew, double latitude, int ns) {
    CityEntry e;
    e.name = name;
    e.ewFlag = ew;
    e.nsCode = ns;
    e.longitude = longitude;
    e.latitude = latitude;
    return e;
}

using Row = std::tuple<std::string, int, int, double, double>;

std::vector<Row> rows(const CityList& list) {
    std::vector<Row> out;
    for (const CityEntry& e : list) {
        out.emplace_back(e.name, e.ewFlag, e.nsCode, e.longitude, e.latitude);
    }
    return out;
}

CityFileReport readText(const std::string& text, CityList& list) {
    std::istringstream in(text);
    return readCityRecords(in, list);
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "city-file-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::vector<std::string> entries() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(path_)) {
            out.push_back(e.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

  private:
    fs::path path_;
};

TEST(CityFileFormat, WritesRightAlignedNamesAndCrLf) {
    const struct {
        CityEntry entry;
        const char* line;
    } cases[] = {
        {city("Hamburg", 959, FlagEast, 5333, CodeNorth),
         "                       Hamburg    9.59 E  53.33 N\r\n"},
        {city("Cape Town", 1825, FlagEast, 3355, CodeSouth),
         "                     Cape^Town   18.25 E  33.55 S\r\n"},
        {city("Rio de Janeiro", 4312, FlagWest, 2254, CodeSouth),
         "                Rio^de^Janeiro   43.12 W  22.54 S\r\n"},
        {city(std::string(35, 'L'), 18000, FlagEast, 9000, CodeNorth),
         "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL  180.00 E  90.00 N\r\n"},
        // Any flag but 0 is west, any code but 3 is south; a tab is a blank too.
        {city("Odd\tFlags", 5, 7, 5, 4), "                     Odd^Flags    0.05 W   0.05 S\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry.name);
        EXPECT_EQ(formatCityRecord(c.entry), c.line);
    }
}

TEST(CityFileFormat, EveryHundredthReadsBackAsWritten) {
    // 0.29 is written "  0.29", whose product by 100 is 28.999999999999996.
    for (int v = 0; v <= 18000; ++v) {
        CityList list;
        const std::string line = formatCityRecord(city("P", v, FlagEast, v / 2, CodeNorth));
        ASSERT_EQ(readText(line, list).recordsRead, 1);
        ASSERT_EQ(list.cityAt(1).longitude, v) << line;
        ASSERT_EQ(list.cityAt(1).latitude, v / 2) << line;
    }
    // Values with more digits than the writer's are still cut toward zero.
    EXPECT_EQ(fileHundredths(12.345), 1234);
    EXPECT_EQ(fileHundredths(-0.299), -29);
}

TEST(CityFileFormat, RoundTripsThroughAFile) {
    TempDir dir;
    CityList list;
    list.insertCity(city("Hamburg", 959, FlagEast, 5333, CodeNorth));
    list.insertCity(city("Buenos Aires", 5823, FlagWest, 3436, CodeSouth));
    list.insertCity(city("Las Palmas de Gran Canaria", 1525, FlagWest, 2806, CodeNorth));
    list.insertCity(city(std::string(49, 'N'), 1, FlagEast, 2, CodeNorth));
    list.insertCity(city("Zürich", 832, FlagEast, 4722, CodeNorth));
    list.insertCity(city("Far Out", 99999999, FlagWest, 0, CodeSouth));
    const fs::path path = dir / "city_E.gps";
    const SaveResult saved = writeCityFile(path.string(), list);
    ASSERT_TRUE(saved.saved) << saved.reason;

    CityList back;
    const std::optional<CityFileReport> report = readCityFile(path.string(), back);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->recordsRead, 6);
    EXPECT_FALSE(report->incomplete());
    EXPECT_EQ(rows(back), rows(list));
    EXPECT_EQ(fileText(path), formatCityFile(list));
}

TEST(CityFileReader, TakesEveryLineEndAndSortsTheRecords) {
    const std::vector<Row> expected = {
        {"Oslo", FlagEast, CodeNorth, 1045, 5955},
        {"Perth", FlagEast, CodeSouth, 11552, 3157},
        {"Sydney", FlagEast, CodeSouth, 15112, 3352},
    };
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"CR LF", "Sydney 151.12 E 33.52 S\r\nOslo 10.45 E 59.55 N\r\nPerth 115.52 E 31.57 S\r\n"},
        {"CR CR LF",
         "Sydney 151.12 E 33.52 S\r\r\nOslo 10.45 E 59.55 N\r\r\nPerth 115.52 E 31.57 S\r\r\n"},
        {"LF, no final end",
         "Sydney 151.12 E 33.52 S\nOslo 10.45 E 59.55 N\nPerth 115.52 E 31.57 S"},
        {"CR only", "Sydney 151.12 E 33.52 S\rOslo 10.45 E 59.55 N\rPerth 115.52 E 31.57 S\r"},
        {"blank lines and tabs",
         "\n\t Sydney\t151.12 E 33.52 S\n\n   \nOslo 10.45 E 59.55 N\n"
         "Perth 115.52E 31.57S\n"},
        {"a repeated name keeps the last record",
         "Oslo 1.00 W 1.00 S\nSydney 151.12 E 33.52 S\nPerth 115.52 E 31.57 S\nOslo 10.45 E 59.55 "
         "N\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CityList list;
        const CityFileReport report = readText(c.text, list);
        EXPECT_EQ(report.recordsRefused, 0);
        EXPECT_EQ(rows(list), expected);
    }
}

TEST(CityFileReader, HemisphereLettersOtherThanEAndNAreWestAndSouth) {
    CityList list;
    readText("A 1 e 1 n\nB 1 x 1 ?\nC 1 E 1 N\n", list);
    EXPECT_EQ(rows(list), (std::vector<Row>{{"A", FlagWest, CodeSouth, 100, 100},
                                            {"B", FlagWest, CodeSouth, 100, 100},
                                            {"C", FlagEast, CodeNorth, 100, 100}}));
}

// Each bad line sits between two good ones; the good ones must come through unchanged
// and nothing of the bad line may turn into an entry.
TEST(CityFileReader, SkipsLinesWithoutAUsableRecord) {
    const struct {
        const char* name;
        std::string line;
    } cases[] = {
        {"longitude not a number", "Foo abc E 10.00 N"},
        {"latitude not a number", "Foo 10.00 E N 10.00"},
        {"fields missing", "Foo 10.00 E 10.00"},
        {"name only", "Foo"},
        {"nan", "Foo nan E 10.00 N"},
        {"infinity", "Foo 10.00 E -inf N"},
        {"beyond double", "Foo 1e999 E 10.00 N"},
        {"1e300", "Foo 1e300 E 10.00 N"},
        {"a million degrees", "Foo 10.00 E 1000000 N"},
        {"control character in the name", std::string("Fo\x01o 10.00 E 10.00 N")},
        {"nul in the name", std::string("Fo\0o 10.00 E 10.00 N", 20)},
        {"line longer than the reader looks", std::string(5000, 'x') + " 10.00 E 10.00 N"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CityList list;
        const CityFileReport report = readText(
            "Athens 23.44 E 37.59 N\r\n" + c.line + "\r\nTokyo 139.41 E 35.41 N\r\n", list);
        EXPECT_EQ(report.recordsRead, 2);
        EXPECT_EQ(report.recordsRefused, 1);
        EXPECT_TRUE(report.incomplete());
        EXPECT_EQ(rows(list), (std::vector<Row>{{"Athens", FlagEast, CodeNorth, 2344, 3759},
                                                {"Tokyo", FlagEast, CodeNorth, 13941, 3541}}));
    }
}

TEST(CityFileReader, CutsLongNamesAndIgnoresTextAfterTheFifthField) {
    CityList list;
    const CityFileReport report = readText(std::string(80, 'W') +
                                               "   1.00 E   2.00 N\r\n"
                                               "Berlin 13.24 E 52.31 N trailing words\r\n"
                                               "Wien 16.22 E 48.12 N\r\n",
                                           list);
    EXPECT_EQ(report.recordsRead, 3);
    EXPECT_FALSE(report.incomplete());
    EXPECT_EQ(rows(list), (std::vector<Row>{{"Berlin", FlagEast, CodeNorth, 1324, 5231},
                                            {std::string(49, 'W'), FlagEast, CodeNorth, 100, 200},
                                            {"Wien", FlagEast, CodeNorth, 1622, 4812}}));
}

TEST(CityFileReader, ReadsAtMostAThousandRecordsAndSaysWhenThereWereMore) {
    const auto file = [](int records, const std::string& tail) {
        std::string text;
        for (int k = 0; k < records; ++k) {
            text += formatCityRecord(
                city("City" + std::to_string(10000 + k), k, FlagEast, 1, CodeNorth));
        }
        return text + tail;
    };
    const struct {
        const char* name;
        std::string text;
        int read;
        bool more;
    } cases[] = {
        {"exactly 1000", file(1000, ""), 1000, false},
        {"1000 and blank lines", file(1000, "\r\n  \r\n"), 1000, false},
        {"1001", file(1001, ""), 1000, true},
        {"1000 and an unreadable line", file(1000, "garbage\r\n"), 1000, true},
        {"999", file(999, ""), 999, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CityList list;
        const CityFileReport report = readText(c.text, list);
        EXPECT_EQ(report.recordsRead, c.read);
        EXPECT_EQ(list.count(), c.read);
        EXPECT_EQ(report.moreRecords, c.more);
        EXPECT_EQ(report.incomplete(), c.more);
    }
}

TEST(CityFileReader, AFileThatCannotBeOpenedLeavesTheListAlone) {
    TempDir dir;
    CityList list;
    list.insertCity(city("Kept", 1, FlagEast, 1, CodeNorth));
    EXPECT_FALSE(readCityFile((dir / "missing.gps").string(), list).has_value());
    fs::create_directory(dir / "folder.gps");
    EXPECT_FALSE(readCityFile((dir / "folder.gps").string(), list).has_value());
    EXPECT_EQ(list.count(), 1);
}

TEST(CityFileWriter, ReplacesTheFileAndKeepsItsPermissions) {
    TempDir dir;
    const fs::path path = dir / "city.gps";
    std::ofstream(path) << "old contents\n";
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    CityList list;
    list.insertCity(city("Seoul", 12659, FlagEast, 3733, CodeNorth));
    ASSERT_TRUE(writeCityFile(path.string(), list).saved);
    EXPECT_EQ(fileText(path), formatCityFile(list));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"city.gps"});

    // Through a symbolic link: the file it names is replaced, the link stays.
    fs::create_symlink("city.gps", dir / "link.gps");
    list.insertCity(city("Lima", 7703, FlagWest, 1203, CodeSouth));
    ASSERT_TRUE(writeCityFile((dir / "link.gps").string(), list).saved);
    EXPECT_TRUE(fs::is_symlink(dir / "link.gps"));
    EXPECT_EQ(fileText(path), formatCityFile(list));
}

TEST(CityFileWriter, AFailedSaveKeepsTheOldFileAndSaysWhy) {
    TempDir dir;
    CityList list;
    for (int k = 0; k < 50; ++k) {
        list.insertCity(city("City " + std::to_string(k), k, FlagEast, k, CodeNorth));
    }
    const SaveResult missingFolder = writeCityFile((dir / "no/such/city.gps").string(), list);
    EXPECT_FALSE(missingFolder.saved);
    EXPECT_FALSE(missingFolder.reason.empty());

    // The disk fills up halfway through the new file: a file-size limit makes the
    // writes fail there, as a full disk does.
    const fs::path path = dir / "city_E.gps";
    const std::string old = "               Old^Contents   10.00 E  10.00 N\r\n";
    std::ofstream(path, std::ios::binary) << old;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SaveResult full = writeCityFile(path.string(), list);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(full.saved);
    EXPECT_EQ(full.reason, "File too large");
    EXPECT_EQ(fileText(path), old);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"city_E.gps"});  // no half-written file left
}

}  // namespace
}  // namespace kelvandor::geo

namespace kelvandor::geo {
namespace {

// The list that ships for the demo: every line readable, written as the program writes,
// both hemispheres and names with blanks among them, and a city near the simulated
// antenna's position (9.59 E, 53.33 N).
TEST(SampleCityList, ReadsCompletelyAndFindsTheDemoPosition) {
    CityList list;
    const std::optional<CityFileReport> report = readCityFile(KELVANDOR_SAMPLE_CITIES, list);
    ASSERT_TRUE(report.has_value());
    EXPECT_FALSE(report->incomplete());
    EXPECT_EQ(report->recordsRead, list.count());
    EXPECT_GE(list.count(), 30);
    EXPECT_EQ(fileText(KELVANDOR_SAMPLE_CITIES), formatCityFile(list));
    int west = 0;
    int south = 0;
    int blanks = 0;
    for (const CityEntry& e : list) {
        west += e.ewFlag == FlagWest ? 1 : 0;
        south += e.nsCode == CodeSouth ? 1 : 0;
        blanks += e.name.find(' ') != std::string::npos ? 1 : 0;
        EXPECT_LE(e.longitude, 18000) << e.name;
        EXPECT_LE(e.latitude, 9000) << e.name;
        EXPECT_LT(std::fmod(e.longitude, 100), 60) << e.name;
        EXPECT_LT(std::fmod(e.latitude, 100), 60) << e.name;
    }
    EXPECT_GT(west, 0);
    EXPECT_GT(south, 0);
    EXPECT_GT(blanks, 0);
    const int near = list.findNearestCity(FlagEast, CodeNorth, 959, 5333);
    ASSERT_GT(near, 0);
    EXPECT_EQ(list.cityAt(near).name, "Hamburg");
}

}  // namespace
}  // namespace kelvandor::geo
