// SPDX-License-Identifier: GPL-3.0-or-later
#include "defaults/update_steps.h"

#include <algorithm>

#include "protocol/frame_codec.h"

namespace kelvandor {

namespace {

namespace f = profile;

constexpr std::int32_t SkewAdjustScale = 10;  // skew adjustments travel in tenths
// SA always carries this scan offset, whatever the set holds.
constexpr std::int32_t SentScanOffset = -5;
// Progress positions: satellite i ends at i + 1, the steps after the table at 13..20, SQ
// at the last position.
constexpr int FirstCommonProgress = RifSatelliteCount;

struct StepName {
    CommandId command;
    const char* what;
};
constexpr StepName StepNames[] = {
    {cmd::SL, "LNB"},
    {cmd::TR, "triple mode"},
    {cmd::SP, "skew slots"},
    {cmd::LT, "satellite A in use"},
    {cmd::SG, "GPS position"},
    {cmd::SA, "scan parameters"},
    {cmd::FG, "flags"},
    {cmd::SC, "control parameters"},
    {cmd::Sa, "antenna parameters"},
    {cmd::SQ, "DiSEqC mode"},
    {cmd::KT, "skew adjustments"},
    {cmd::KO, "skew adjustments of the slots"},
};

std::string mnemonicOf(CommandId id) {
    const CommandEntry& e = CommandTable[static_cast<std::size_t>(id)];
    return {e.first, e.second};
}

}  // namespace

namespace default_frames {

FrameParams of(std::initializer_list<std::int32_t> values) {
    FrameParams p{};
    std::copy(values.begin(), values.end(), p.begin());
    return p;
}

FrameParams definition(const RifSatellite& s, int i, bool secondary) {
    FrameParams p{};
    p[0] = i;
    const auto& values = secondary ? s.secondarySat : s.primarySat;
    std::copy(values.begin(), values.end(), p.begin() + 1);
    packWireName(s.satName.c_str(), &p[1 + RifSatelliteValues]);
    return p;
}

FrameParams tracking(const RifSatellite& s, int i, bool secondary) {
    FrameParams p{};
    p[0] = i;
    const auto& values = secondary ? s.secondaryTracking : s.primaryTracking;
    std::copy(values.begin(), values.end(), p.begin() + 1);
    return p;
}

FrameParams slots(const ProductProfile& p) {
    return of({slotSatellite(p, 0), slotSatellite(p, 1), slotSatellite(p, 2), slotSatellite(p, 3),
               slotSatellite(p, 4)});
}

FrameParams gps(const ProductProfile& p) {
    return of({p[f::GpsLongitude], p[f::GpsEastWest], p[f::GpsLatitude], p[f::GpsNorthSouth]});
}

FrameParams scan(const ProductProfile& p, std::int32_t scanOffset) {
    return of({scanOffset, p[f::TrackingScale], p[f::DetectLevelOffset]});
}

FrameParams flags(const ProductProfile& p) {
    return of({0, p[f::UseWrsMethod], p[f::UseOffsetDifference]});
}

FrameParams control(const ProductProfile& p) {
    return of({p[f::SatVerifyTime], p[f::WrsDetectLevel], p[f::TrackingLevelOffset],
               p[f::TrackingStableCount], p[f::InitialSatCount], p[f::VoltageThreshold],
               p[f::DiseqcThreshold]});
}

FrameParams antenna(const ProductProfile& p) {
    return of({p[f::OffsetDiffAzEl], p[f::OffsetDiffRhLh], p[f::SearchLockCount]});
}

}  // namespace default_frames

std::vector<UpdateStep> buildUpdateSteps(const DefaultSet& set, const ProductProfile& p) {
    namespace df = default_frames;
    std::vector<UpdateStep> steps;
    const auto awaited = [&steps](CommandId command, const FrameParams& params, CommandId reply,
                                  std::optional<std::int32_t> index = std::nullopt) {
        UpdateStep step;
        step.command = command;
        step.params = params;
        step.reply = reply;
        step.replyIndex = index;
        steps.push_back(step);
        return &steps.back();
    };
    const auto unawaited = [&steps](CommandId command, const FrameParams& params) {
        UpdateStep step;
        step.command = command;
        step.params = params;
        steps.push_back(step);
        return &steps.back();
    };

    for (int i = 0; i < RifSatelliteCount; ++i) {
        const RifSatellite& s = set.satellites[static_cast<std::size_t>(i)];
        awaited(cmd::EI, df::definition(s, i, false), cmd::NI, i);
        awaited(cmd::Eu, df::definition(s, i, true), cmd::Nu, i);
        awaited(cmd::ET, df::tracking(s, i, false), cmd::NT, i);
        awaited(cmd::EU, df::tracking(s, i, true), cmd::NU, i)->progress = i + 1;
    }
    steps.back().endsSatellites = true;

    const LnbPair lnb = lnbPair(p);
    int progress = FirstCommonProgress;
    awaited(cmd::SL, df::of({lnb.low, lnb.high}), cmd::NL)->progress = progress++;
    awaited(cmd::TR, df::of({p[f::TripleMode]}), cmd::TR)->progress = progress++;
    awaited(cmd::SP, df::slots(p), cmd::NP)->progress = progress++;
    // Satellite A; the second word of LT is always 0.
    awaited(cmd::LT, df::of({0, 0}), cmd::NS)->progress = progress++;
    awaited(cmd::SG, df::gps(p), cmd::NG)->progress = progress++;
    awaited(cmd::SA, df::scan(p, SentScanOffset), cmd::NR)->progress = progress++;
    awaited(cmd::FG, df::flags(p), cmd::NF)->progress = progress++;
    awaited(cmd::SC, df::control(p), cmd::NC)->progress = progress++;
    unawaited(cmd::Sa, df::antenna(p));
    awaited(cmd::SQ, df::of({p[f::DiseqcMode]}), cmd::NQ)->progress = UpdateProgressSteps;

    FrameParams adjust{};
    for (int i = 0; i < RifSatelliteCount; ++i) {
        adjust[static_cast<std::size_t>(i)] =
            set.skewAdjust[static_cast<std::size_t>(i)] * SkewAdjustScale;
    }
    unawaited(cmd::KT, adjust);
    FrameParams slotAdjust{};
    for (int slot = 0; slot < RifSlotCount; ++slot) {
        slotAdjust[static_cast<std::size_t>(slot)] =
            set.skewAdjust[static_cast<std::size_t>(slotSatellite(p, slot))] * SkewAdjustScale;
    }
    unawaited(cmd::KO, slotAdjust)->pauseAfter = false;
    return steps;
}

std::string describeUpdateStep(const UpdateStep& step) {
    std::string what;
    const bool secondary = step.command == cmd::Eu || step.command == cmd::EU;
    if (step.command == cmd::EI || step.command == cmd::Eu) {
        what = "satellite " + std::to_string(step.params[0]);
    } else if (step.command == cmd::ET || step.command == cmd::EU) {
        what = "tracking of satellite " + std::to_string(step.params[0]);
    } else {
        for (const StepName& name : StepNames) {
            if (name.command == step.command) {
                what = name.what;
            }
        }
    }
    if (secondary) {
        what += ", secondary";
    }
    return what.empty() ? mnemonicOf(step.command) : mnemonicOf(step.command) + " (" + what + ")";
}

UpdateOutcome runUpdateSteps(const std::vector<UpdateStep>& steps, UpdateLine& line,
                             int replyTimeoutMs) {
    UpdateOutcome outcome;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const UpdateStep& step = steps[k];
        const bool last = k + 1 == steps.size();
        if (step.reply) {
            line.expectReply(*step.reply, step.replyIndex);
        } else {
            line.beforeUnawaitedStep();
            if (line.stopRequested()) {
                outcome.stopped = true;
                return outcome;
            }
        }
        if (!line.send(step.command, step.params.data())) {
            outcome.stopped = true;
            outcome.writeFailed = true;
            return outcome;
        }
        ++outcome.sent;
        if (step.reply) {
            ++outcome.awaited;
            if (!line.waitForReply(replyTimeoutMs)) {
                outcome.missing.push_back(static_cast<int>(k));
            }
            if (line.stopRequested()) {
                outcome.stopped = !last;
                return outcome;
            }
        }
        if (step.pauseAfter) {
            line.pause(UpdateStepPauseMs);
        }
        if (line.stopRequested()) {
            outcome.stopped = !last;
            return outcome;
        }
        line.stepDone(step, static_cast<int>(k));
    }
    return outcome;
}

}  // namespace kelvandor
