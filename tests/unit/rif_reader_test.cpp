// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_rif.h"
#include "defaults/rif_reader.h"

namespace kelvandor {
namespace {

// Token numbers (counted from 1) in a default-set file.
constexpr int VersionToken = 4;
constexpr int RegionNameToken = 19;
constexpr int FirstSatelliteToken = 20;  // each satellite block has 36 tokens
constexpr int SatelliteTokens = 36;
constexpr int SlotTokens = 508;  // the five skew-slot satellites
constexpr int LastToken = 582;

int satelliteToken(int satellite, int offset) {
    return FirstSatelliteToken + satellite * SatelliteTokens + offset;
}

std::string sampleText() {
    std::ifstream file(KELVANDOR_SAMPLE_RIF, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> tokensOf(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::string joined(const std::vector<std::string>& tokens) {
    std::string text;
    for (const std::string& t : tokens) {
        text += t + "\n";
    }
    return text;
}

// The sample with token `number` (from 1) replaced by `token`.
std::string withToken(int number, const std::string& token) {
    std::vector<std::string> tokens = tokensOf(sampleText());
    tokens.at(static_cast<std::size_t>(number - 1)) = token;
    return joined(tokens);
}

// A set that a refused read must leave exactly as it was.
DefaultSet sentinel() {
    DefaultSet set;
    set.regionName = "KEPT";
    set.regionVersion = 77;
    set.skewAdjust.fill(3);
    set.satellites[5].satName = "OLD";
    set.productProfiles[2][profile::ScanOffset] = 99;
    return set;
}

void expectUnchanged(const DefaultSet& set) {
    const DefaultSet kept = sentinel();
    EXPECT_EQ(set.regionName, kept.regionName);
    EXPECT_EQ(set.regionVersion, kept.regionVersion);
    EXPECT_EQ(set.skewAdjust, kept.skewAdjust);
    EXPECT_EQ(set.satellites[5].satName, "OLD");
    EXPECT_EQ(set.satellites[0].primarySat, kept.satellites[0].primarySat);
    EXPECT_EQ(set.productProfiles, kept.productProfiles);
}

TEST(RifReader, SampleLandsInTheRightFields) {
    ASSERT_EQ(tokensOf(sampleText()).size(), static_cast<std::size_t>(LastToken));
    DefaultSet set;
    const RifReadResult result = readRifFile(KELVANDOR_SAMPLE_RIF, set);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(result.notes.empty());
    EXPECT_EQ(set.regionName, "EUROPE");
    EXPECT_EQ(set.regionVersion, 320);
    EXPECT_EQ(set.satellites[0].satName, "ASTRA1");
    EXPECT_EQ(set.satellites[12].satName, "YAMAL402");
    EXPECT_EQ(set.satellites[0].primarySat, (std::array<std::int32_t, 6>{1920, 0, 1, 0x85, 0x3EF, 0x442}));
    EXPECT_EQ(set.satellites[6].secondarySat[1], 1);  // HISPASAT is west
    EXPECT_EQ(set.satellites[6].primaryTracking[8], 4);
    EXPECT_EQ(set.satellites[12].secondaryTracking[3], 12640);
    EXPECT_EQ(set.skewAdjust[4], 2);
    EXPECT_EQ(set.skewAdjust[6], -2);

    namespace f = profile;
    for (const ProductProfile& p : set.productProfiles) {
        // Common fields reach every size, in their file order.
        EXPECT_EQ(p[f::GpsLongitude], 1134);
        EXPECT_EQ(p[f::GpsEastWest], 0);
        EXPECT_EQ(p[f::GpsLatitude], 4808);
        EXPECT_EQ(p[f::GpsNorthSouth], 3);
        EXPECT_EQ(p[f::LnbChoice], 0);
        EXPECT_EQ(p[f::SatVerifyTime], 25);
        EXPECT_EQ(p[f::TrackingStableCount], 6);
        EXPECT_EQ(p[f::InitialSatCount], 4);
        EXPECT_EQ(p[f::VoltageThreshold], 110);
        EXPECT_EQ(p[f::DiseqcThreshold], 45);
        EXPECT_EQ(p[f::UseOffsetDifference], 1);
        // The file gives the slots as A, B, A / 22kHz, B / 22kHz, C.
        EXPECT_EQ(p[f::SkewSatA], 0);
        EXPECT_EQ(p[f::SkewSatB], 1);
        EXPECT_EQ(p[f::SkewSatA22k], 2);
        EXPECT_EQ(p[f::SkewSatB22k], 4);
        EXPECT_EQ(p[f::SkewSatC], 3);
    }
    // Per-size blocks: T1 (index 3) and T6R (index 6).
    const ProductProfile& t1 = set.productProfiles[3];
    EXPECT_EQ(t1[f::TrackingScale], 8);
    EXPECT_EQ(t1[f::DetectLevelOffset], 26);
    EXPECT_EQ(t1[f::OffsetDiffRhLh], 10);
    EXPECT_EQ(t1[f::WrsDetectLevel], 140);
    EXPECT_EQ(t1[f::TrackingLevelOffset], 8);
    EXPECT_EQ(t1[f::SearchLockCount], 6);
    EXPECT_EQ(t1[f::UseWrsMethod], 0);
    EXPECT_EQ(set.productProfiles[6][f::DetectLevelOffset], 33);
}

TEST(RifReader, FormatVersion) {
    for (const char* accepted : {"100", "100.0", "99.5", "0"}) {
        DefaultSet set = sentinel();
        EXPECT_TRUE(parseRif(withToken(VersionToken, accepted), set).ok()) << accepted;
    }
    DefaultSet set = sentinel();
    const RifReadResult later = parseRif(withToken(VersionToken, "100.5"), set);
    EXPECT_EQ(later.status, RifReadResult::Status::LaterVersion);
    EXPECT_EQ(later.message, "This rif file is later version and cannot be loaded.\r\n.");
    expectUnchanged(set);
}

struct RefusedRow {
    const char* name;
    int token;
    std::string replacement;
    const char* reason;
};

TEST(RifReader, RefusesAFileItCannotUseAndChangesNothing) {
    const RefusedRow rows[] = {
        {"version not a number", VersionToken, "nan", "not a decimal number"},
        {"version infinite", VersionToken, "inf", "not a decimal number"},
        {"region version not whole", 8, "3.20", "not a whole number"},
        {"value with junk", satelliteToken(2, 5), "12x", "not a whole number"},
        {"value beyond 32 bits", satelliteToken(3, 20), "2147483648", "32-bit range"},
        {"negative beyond 32 bits", satelliteToken(3, 20), "-2147483649", "32-bit range"},
        {"region name too long", RegionNameToken, std::string(25, 'R'), "longer than 24"},
        {"satellite name too long", satelliteToken(7, 1), "ABCDEFGHIJKLMNOPQRSTUVWXY",
         "longer than 24"},
        {"skew adjustment overflows x 10", satelliteToken(1, 35), "214748365", "too large"},
        {"negative skew adjustment overflows", satelliteToken(1, 35), "-214748365",
         "too large"},
        {"slot satellite 13", SlotTokens + 2, "13", "outside 0..12"},
        {"slot satellite -1", SlotTokens, "-1", "outside 0..12"},
        {"profile value", LastToken, "x", "not a whole number"},
    };
    for (const RefusedRow& row : rows) {
        SCOPED_TRACE(row.name);
        DefaultSet set = sentinel();
        const std::string text = withToken(row.token, row.replacement);
        const RifReadResult result = parseRif(text, set);
        EXPECT_EQ(result.status, RifReadResult::Status::Refused);
        EXPECT_NE(result.message.find("token " + std::to_string(row.token) + " "),
                  std::string::npos)
            << result.message;
        EXPECT_NE(result.message.find(row.reason), std::string::npos) << result.message;
        expectUnchanged(set);
    }
}

TEST(RifReader, ShortFilesAreRefusedWhereTheyEnd) {
    const std::vector<std::string> tokens = tokensOf(sampleText());
    for (const int kept : {0, 3, 18, satelliteToken(5, 10), LastToken - 1}) {
        SCOPED_TRACE(kept);
        DefaultSet set = sentinel();
        const std::vector<std::string> head(tokens.begin(), tokens.begin() + kept);
        const RifReadResult result = parseRif(joined(head), set);
        EXPECT_EQ(result.status, RifReadResult::Status::Refused);
        EXPECT_NE(result.message.find("ends after token " + std::to_string(kept)),
                  std::string::npos)
            << result.message;
        expectUnchanged(set);
    }
}

TEST(RifReader, LongSatelliteNamesAreCutWithANote) {
    DefaultSet set;
    const RifReadResult result = parseRif(withToken(satelliteToken(4, 1), "ASTRA3BLONG"), set);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(set.satellites[4].satName, "ASTRA3BL");
    ASSERT_EQ(result.notes.size(), 1U);
    EXPECT_NE(result.notes[0].find("ASTRA3BLONG"), std::string::npos);
}

TEST(RifReader, LineEndsAndWhatFollowsTheLastBlockDoNotMatter) {
    DefaultSet fromSample;
    ASSERT_TRUE(parseRif(sampleText(), fromSample).ok());
    DefaultSet fromOneLine;
    std::string oneLine;
    for (const std::string& t : tokensOf(sampleText())) {
        oneLine += t + " \t";
    }
    ASSERT_TRUE(parseRif(oneLine + "trailing words 1 2 3", fromOneLine).ok());
    EXPECT_EQ(fromOneLine.productProfiles, fromSample.productProfiles);
    EXPECT_EQ(fromOneLine.satellites[9].secondaryTracking, fromSample.satellites[9].secondaryTracking);
}

TEST(RifReader, FilesThatCannotBeRead) {
    DefaultSet set = sentinel();
    EXPECT_EQ(readRifFile("", set).status, RifReadResult::Status::CannotOpen);
    EXPECT_EQ(readRifFile("/nonexistent/set.rif", set).status,
              RifReadResult::Status::CannotOpen);
    EXPECT_FALSE(readRifFile("/", set).ok());  // a folder
    expectUnchanged(set);
}

TEST(RifReader, LnbChoice) {
    ProductProfile p{};
    EXPECT_EQ(lnbPair(p).low, 9750);
    EXPECT_EQ(lnbPair(p).high, 10600);
    p[profile::LnbChoice] = 1;
    p[profile::LnbFrequency] = 11300;
    EXPECT_EQ(lnbPair(p).low, 11300);
    EXPECT_EQ(lnbPair(p).high, 11300);
}

TEST(CliRif, SummaryOrReason) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::runRif({KELVANDOR_SAMPLE_RIF}, out, err), cli::ExitOk);
    EXPECT_NE(out.str().find("region: EUROPE, version 3.20"), std::string::npos);
    EXPECT_NE(out.str().find("YAMAL402"), std::string::npos);
    EXPECT_NE(out.str().find("11.34 E  48.08 N"), std::string::npos);
    EXPECT_NE(out.str().find("T6R"), std::string::npos);
    EXPECT_TRUE(err.str().empty());

    std::ostringstream out2;
    std::ostringstream err2;
    EXPECT_EQ(cli::runRif({"/nonexistent/set.rif"}, out2, err2), cli::ExitFailed);
    EXPECT_TRUE(out2.str().empty());
    EXPECT_NE(err2.str().find("cannot be opened"), std::string::npos);

    std::ostringstream err3;
    EXPECT_EQ(cli::runRif({}, out2, err3), cli::ExitUsage);
}

}  // namespace
}  // namespace kelvandor
