// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a simulated unit holds a default set as Update Default writes it: the thirteen
// satellites (both definitions, both tracking blocks, the name, the skew adjustment x 10),
// the LNB, triple mode, skew slots, satellite A in use, GPS position, the scan values with
// the scan offset -5, flags, control and antenna parameters, and the DiSEqC mode.
#pragma once

#include <QString>
#include <array>

#include "defaults/default_set.h"
#include "host/satellite_table.h"
#include "sim/unit_state.h"

namespace kelvandor::testing {

// The first value in which `unit` differs from `set` written with profile `p`; empty when
// it holds the whole set.
inline QString defaultSetMismatch(const DefaultSet& set, const ProductProfile& p,
                                  const sim::UnitState& unit) {
    const auto differs = [](const auto& got, const auto& want, const QString& what) {
        for (std::size_t k = 0; k < want.size(); ++k) {
            if (got[k] != want[k]) {
                return QStringLiteral("%1, value %2: %3 instead of %4")
                    .arg(what)
                    .arg(k)
                    .arg(got[k])
                    .arg(want[k]);
            }
        }
        return QString();
    };
    for (int i = 0; i < RifSatelliteCount; ++i) {
        const RifSatellite& s = set.satellites[static_cast<std::size_t>(i)];
        const sim::SatelliteEntry& u = unit.satellites[static_cast<std::size_t>(i)];
        std::array<std::int32_t, 8> primary{};
        std::array<std::int32_t, 8> secondary{};
        std::copy(s.primarySat.begin(), s.primarySat.end(), primary.begin());
        std::copy(s.secondarySat.begin(), s.secondarySat.end(), secondary.begin());
        packWireName(s.satName.c_str(), &primary[sim::BlockName]);
        packWireName(s.satName.c_str(), &secondary[sim::BlockName]);
        const QString satellite = QStringLiteral("satellite %1 ").arg(i);
        QString problem = differs(u.primary, primary, satellite + QStringLiteral("primary"));
        if (problem.isEmpty()) {
            problem = differs(u.secondary, secondary, satellite + QStringLiteral("secondary"));
        }
        if (problem.isEmpty()) {
            problem = differs(u.primaryTracking, s.primaryTracking,
                              satellite + QStringLiteral("primary tracking"));
        }
        if (problem.isEmpty()) {
            problem = differs(u.secondaryTracking, s.secondaryTracking,
                              satellite + QStringLiteral("secondary tracking"));
        }
        if (problem.isEmpty() && u.skewAdjust != set.skewAdjust[static_cast<std::size_t>(i)] * 10) {
            problem = satellite + QStringLiteral("skew adjustment %1").arg(u.skewAdjust);
        }
        if (!problem.isEmpty()) {
            return problem;
        }
    }
    namespace f = profile;
    const LnbPair lnb = lnbPair(p);
    const std::array<std::int32_t, 2> lnbs{lnb.low, lnb.high};
    const std::array<std::int32_t, 5> slots{slotSatellite(p, 0), slotSatellite(p, 1),
                                            slotSatellite(p, 2), slotSatellite(p, 3),
                                            slotSatellite(p, 4)};
    const std::array<std::int32_t, 4> gps{p[f::GpsLongitude], p[f::GpsEastWest], p[f::GpsLatitude],
                                          p[f::GpsNorthSouth]};
    const std::array<std::int32_t, 3> scan{-5, p[f::TrackingScale], p[f::DetectLevelOffset]};
    const std::array<std::int32_t, 3> flags{0, p[f::UseWrsMethod], p[f::UseOffsetDifference]};
    const std::array<std::int32_t, 7> control{p[f::SatVerifyTime],       p[f::WrsDetectLevel],
                                              p[f::TrackingLevelOffset], p[f::TrackingStableCount],
                                              p[f::InitialSatCount],     p[f::VoltageThreshold],
                                              p[f::DiseqcThreshold]};
    const std::array<std::int32_t, 3> antenna{p[f::OffsetDiffAzEl], p[f::OffsetDiffRhLh],
                                              p[f::SearchLockCount]};
    const std::array<std::int32_t, 4> single{p[f::TripleMode], p[f::DiseqcMode], 0, 0};
    const std::array<std::int32_t, 4> unitSingle{unit.tripleMode, unit.diseqcMode, unit.currentSlot,
                                                 0};
    for (const QString& problem :
         {differs(unit.lnb, lnbs, QStringLiteral("LNB")),
          differs(unit.slotMap, slots, QStringLiteral("skew slots")),
          differs(unit.gps, gps, QStringLiteral("GPS position")),
          differs(unit.scanParams, scan, QStringLiteral("scan values")),
          differs(unit.flags, flags, QStringLiteral("flags")),
          differs(unit.controlParams, control, QStringLiteral("control parameters")),
          differs(unit.antennaParams, antenna, QStringLiteral("antenna parameters")),
          differs(unitSingle, single, QStringLiteral("triple mode, DiSEqC mode, slot in use"))}) {
        if (!problem.isEmpty()) {
            return problem;
        }
    }
    return {};
}

}  // namespace kelvandor::testing
