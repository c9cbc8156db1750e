// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_rif.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "defaults/rif_reader.h"

namespace kelvandor::cli {

namespace {

constexpr const char* SlotNames[RifSlotCount] = {"SAT A", "SAT B", "SAT A / 22kHz", "SAT B / 22kHz",
                                                 "SAT C"};
constexpr const char* DiseqcModes[] = {"Not Use", "Change Band", "Change Satellite"};

// A position in hundredths of DDD.MM with its hemisphere letter: "11.34 E".
std::string position(std::int32_t hundredths, bool positiveSide, char positive, char negative) {
    char text[40];
    std::snprintf(text, sizeof text, "%.2f %c", hundredths / 100.0,
                  positiveSide ? positive : negative);
    return text;
}

std::string satelliteName(const DefaultSet& set, std::int32_t index) {
    if (index < 0 || index >= RifSatelliteCount) {
        return "?";
    }
    return set.satellites[static_cast<std::size_t>(index)].satName;
}

void printSatellites(const DefaultSet& set, std::ostream& out) {
    out << "satellites (index, name, longitude, skew adjustment):\n";
    for (int i = 0; i < RifSatelliteCount; ++i) {
        const RifSatellite& s = set.satellites[static_cast<std::size_t>(i)];
        char line[96];
        std::snprintf(line, sizeof line, "  %2d  %-8s  %7.2f %c  %+d\n", i, s.satName.c_str(),
                      s.primarySat[0] / 100.0, s.primarySat[1] == 0 ? 'E' : 'W',
                      set.skewAdjust[static_cast<std::size_t>(i)]);
        out << line;
    }
}

void printCommon(const DefaultSet& set, std::ostream& out) {
    const ProductProfile& p = set.productProfiles[0];
    namespace f = profile;
    out << "common:\n";
    out << "  GPS position: " << position(p[f::GpsLongitude], p[f::GpsEastWest] == 0, 'E', 'W')
        << "  " << position(p[f::GpsLatitude], p[f::GpsNorthSouth] == 3, 'N', 'S') << "\n";
    const LnbPair lnb = lnbPair(p);
    if (p[f::LnbChoice] == 0) {
        out << "  LNB: universal, " << lnb.low << " / " << lnb.high << " MHz\n";
    } else {
        out << "  LNB: single band, " << lnb.low << " MHz\n";
    }
    const std::int32_t mode = p[f::DiseqcMode];
    out << "  DiSEqC mode: " << (mode >= 0 && mode <= 2 ? DiseqcModes[mode] : "unknown") << " ("
        << mode << ")\n";
    out << "  triple satellite mode: " << (p[f::TripleMode] != 0 ? "on" : "off") << "\n";
    out << "  skew slots:";
    for (int k = 0; k < RifSlotCount; ++k) {
        out << (k == 0 ? " " : ", ") << SlotNames[k] << " "
            << satelliteName(set, slotSatellite(p, k));
    }
    out << "\n";
    out << "  Sat Verify Time " << p[f::SatVerifyTime] << ", Tracking Stable Count "
        << p[f::TrackingStableCount] << ", Initial Sat Count " << p[f::InitialSatCount]
        << ", Voltage Threshold " << p[f::VoltageThreshold] << ", DiSEqC Threshold "
        << p[f::DiseqcThreshold] << ", Use Offset Difference " << p[f::UseOffsetDifference] << "\n";
}

void printProfiles(const DefaultSet& set, std::ostream& out) {
    out << "product sizes (Scan Offset, Tracking Scale, Detect Level Offset, Offset Diff AZ - EL,\n"
           "  Offset Diff RH - LH, WRS Detect Level, Tracking Level Offset, Search Lock Count,\n"
           "  Use WRS Method):\n";
    namespace f = profile;
    constexpr int Columns[] = {f::ScanOffset,          f::TrackingScale,   f::DetectLevelOffset,
                               f::OffsetDiffAzEl,      f::OffsetDiffRhLh,  f::WrsDetectLevel,
                               f::TrackingLevelOffset, f::SearchLockCount, f::UseWrsMethod};
    for (int k = 0; k < ProductSizeCount; ++k) {
        const ProductProfile& p = set.productProfiles[static_cast<std::size_t>(k)];
        char line[32];
        std::snprintf(line, sizeof line, "  %-4s", ProductSizeNames[k]);
        out << line;
        for (const int column : Columns) {
            std::snprintf(line, sizeof line, " %6d", p[static_cast<std::size_t>(column)]);
            out << line;
        }
        out << "\n";
    }
}

}  // namespace

std::string refusalReason(const RifReadResult& result) {
    if (result.status == RifReadResult::Status::LaterVersion) {
        return "the file's format version is later than " +
               std::to_string(static_cast<int>(RifLatestVersion)) + ".0";
    }
    return result.message;
}

int runRif(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: kelvandor-cli rif FILE\n";
        return ExitUsage;
    }
    DefaultSet set;
    const RifReadResult result = readRifFile(args[0], set);
    if (!result.ok()) {
        err << "kelvandor-cli rif: " << args[0] << ": " << refusalReason(result) << "\n";
        return ExitFailed;
    }
    char version[32];
    std::snprintf(version, sizeof version, "%.2f", set.regionVersion * 0.01);
    out << "region: " << set.regionName << ", version " << version << "\n";
    for (const std::string& note : result.notes) {
        out << "note: " << note << "\n";
    }
    printSatellites(set, out);
    printCommon(set, out);
    printProfiles(set, out);
    return ExitOk;
}

}  // namespace kelvandor::cli
