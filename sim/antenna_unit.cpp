// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/antenna_unit.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "protocol/frame_codec.h"
#include "sim/pointing_model.h"

namespace kelvandor::sim {

namespace {

// Commands that change stored settings: refused with AC -1 outside set-up mode.
constexpr std::array<CommandId, 16> SetupOnlyCommands = {
    cmd::EI, cmd::Eu, cmd::ET, cmd::EU, cmd::SL, cmd::SP, cmd::SG, cmd::SA,
    cmd::SC, cmd::Sa, cmd::FG, cmd::SQ, cmd::TR, cmd::KO, cmd::KT, cmd::TL,
};

constexpr std::int32_t NotInSetupMode = -1;  // AC parameter

// Timing of the unit's long-running work, in milliseconds.
constexpr Millis MotionStepMs = 200;
constexpr int MotionSteps = 5;
constexpr Millis RestartSearchMs = 1500;
constexpr Millis RestartTrackingMs = 3500;
constexpr Millis DiagnosisSpacingMs = 200;
constexpr Millis FactoryStepMs = 500;
constexpr Millis SkewCheckStepMs = 400;
constexpr Millis StatusPeriodMs = 1000;
constexpr Millis CommLedPeriodMs = 3000;
constexpr Millis GpsFixPeriodMs = 2000;

// Limits of the mechanics, hundredths of a degree.
constexpr std::int32_t AzimuthLimit = 72000;
constexpr std::int32_t ElevationMin = 0;
constexpr std::int32_t ElevationMax = 9000;
constexpr std::int32_t SkewLimit = 9000;

// Directions of MO and MS.
enum Direction : std::int32_t { ElUp, ElDown, AzRight, AzLeft, SkewMinus, SkewPlus };

// Raw signal levels (the controller shows 800 - level) and their wobble: on the satellite,
// with no satellite in the beam, while initialising. The level falls off with the pointing
// error as exp(-(error / BeamWidth)^2): a third of the way down at 0.75 degrees, all but
// gone at two.
constexpr std::int32_t LevelOnTarget = 240;
constexpr std::int32_t LevelOffTarget = 700;
constexpr std::int32_t LevelInitialising = 780;
constexpr double BeamWidthDegrees = 1.2;
constexpr double HundredthsPerDegree = 100.0;
constexpr double DegreesToRadians = 3.14159265358979323846 / 180.0;
constexpr std::int32_t HalfTurn = 18000;  // hundredths of a degree
constexpr std::int32_t FullTurn = 36000;
// The search sweep of a restart: a spiral of this radius (hundredths of a degree) and
// this many turns closing onto the satellite.
constexpr double SweepRadius = 400.0;
constexpr double SweepTurns = 2.0;
constexpr std::uint32_t WobbleSpan = 17;
constexpr std::uint32_t WobbleStride = 37;

// Test-and-control subjects and values.
constexpr std::int32_t SubjectSkewLed = 10;
constexpr std::int32_t SubjectCommLed = 11;
constexpr std::int32_t SubjectFactoryProgress = 13;
constexpr std::int32_t SubjectGpsFix = 80;
constexpr std::int32_t SubjectPatternStart = 0;
constexpr std::int32_t LedOn = 1;
constexpr std::int32_t LedOff = 0;
constexpr std::int32_t FactoryDone = 100;
constexpr std::array<std::int32_t, 4> FactoryProgress = {2, 3, 4, 5};

// Diagnosis items 101..110 and what this unit finds: all good (2) except no receiver
// connected (3); a unit without the PREMIUM skew motor reports item 107 as not fitted.
constexpr std::int32_t FirstDiagnosisItem = 101;
constexpr DiagnosisResults FactoryDiagnosis = {2, 2, 2, 2, 2, 2, 2, 2, 2, 3};
constexpr std::size_t SkewMotorItem = 6;
constexpr std::int32_t NotFitted = 3;

// Identity.
constexpr const char* PremiumProductName = "KELVANDOR T6 PREMIUM";
constexpr const char* ClassicProductName = "KELVANDOR T6 CLASSIC";
constexpr int ProductNameInts = 5;
constexpr const char* SerialNumber = "KV6-0412873";
constexpr int SerialNumberInts = 3;
constexpr std::int32_t SoftwareVersion = 312;
constexpr std::int32_t ProductSizeT6 = 1;
constexpr std::int32_t SecondVersion = 200;
constexpr std::array<std::int32_t, 3> Voltages = {124, 182, 0};  // x 10

constexpr std::int32_t LnbConfiguration = 0;  // NL kind
constexpr std::int32_t LnbInUse = 1;

constexpr int SkewCalibrate = 0;
constexpr int SkewOptimise = 1;
constexpr std::array<std::int32_t, 4> OptimiseSweep = {-300, -150, 150, 0};

bool isSetupOnly(CommandId id) {
    return std::find(SetupOnlyCommands.begin(), SetupOnlyCommands.end(), id) !=
           SetupOnlyCommands.end();
}

bool validSatellite(std::int32_t index) {
    return index >= 0 && index < MaxSatellites;
}

std::int32_t clamp(std::int32_t value, std::int32_t low, std::int32_t high) {
    return std::max(low, std::min(high, value));
}

std::int32_t between(std::int32_t from, std::int32_t to, int step, int steps) {
    const std::int64_t span = static_cast<std::int64_t>(to) - from;
    return static_cast<std::int32_t>(from + span * step / steps);
}

template <std::size_t N>
void store(std::array<std::int32_t, N>& target, const std::int32_t* params) {
    std::copy(params, params + N, target.begin());
}

}  // namespace

AntennaUnit::AntennaUnit(Settings settings, Millis now)
    : settings_(settings),
      state_(factoryState()),
      nextStatus_(now + (settings.statusPeriodMs > 0 ? settings.statusPeriodMs : StatusPeriodMs)),
      nextCommLed_(now + CommLedPeriodMs),
      nextGpsFix_(now + GpsFixPeriodMs) {}

void AntennaUnit::reply(Millis due, CommandId id, std::initializer_list<std::int32_t> params,
                        Activity activity, std::function<void(UnitState&)> effect) {
    Event event;
    event.out.frame.id = id;
    std::copy(params.begin(), params.end(), event.out.frame.params.begin());
    event.out.origin = Origin::Reply;
    event.activity = activity;
    event.effect = std::move(effect);
    pending_.emplace(due, std::move(event));
}

void AntennaUnit::replyArray(Millis due, CommandId id, const std::int32_t* params, int count,
                             Activity activity) {
    Event event;
    event.out.frame.id = id;
    std::copy(params, params + count, event.out.frame.params.begin());
    event.activity = activity;
    pending_.emplace(due, std::move(event));
}

void AntennaUnit::cancel(Activity activity) {
    std::erase_if(pending_,
                  [activity](const auto& entry) { return entry.second.activity == activity; });
}

void AntennaUnit::handle(CommandId id, const std::int32_t* p, Millis now) {
    if (id < 0 || id >= CommandCount || p == nullptr) {
        return;
    }
    const Millis at = now + replyDelay_;
    if (isSetupOnly(id) && state_.antennaState != StateSetup) {
        reply(at, cmd::AC, {NotInSetupMode});
        return;
    }
    switch (id) {
        case cmd::QS:
            sendStatusPicture(at);
            return;
        case cmd::QI:
            sendTablePicture(at);
            return;
        case cmd::QV:
            reply(at, cmd::Nv, {signalLevel(), lockFlag()});
            return;
        case cmd::QG:
            replyArray(at, cmd::NG, state_.gps.data(), static_cast<int>(state_.gps.size()));
            return;
        case cmd::OS:
            cancel(Activity::Restart);
            cancel(Activity::Retune);
            state_.antennaState = StateSetup;
            reply(at, cmd::NA, {StateSetup});
            return;
        case cmd::OR:
            startRestart(at);
            return;
        case cmd::LT:
            selectSlot(p[0], at);
            return;
        case cmd::SW:
            selectTransponder(p[0], at);
            return;
        case cmd::GO:
            startMotion(p[0], p[1], at);
            return;
        case cmd::MO:
        case cmd::MS:
            switch (p[0]) {
                case ElUp:
                case ElDown:
                case AzRight:
                case AzLeft:
                    if (id == cmd::MO) {
                        const std::int32_t sign = (p[0] == ElUp || p[0] == AzRight) ? 1 : -1;
                        const bool azimuth = p[0] == AzRight || p[0] == AzLeft;
                        const std::int64_t delta = static_cast<std::int64_t>(sign) * p[1];
                        const auto moved = [delta](std::int32_t from) {
                            return static_cast<std::int32_t>(std::clamp<std::int64_t>(
                                from + delta, -AzimuthLimit, AzimuthLimit));
                        };
                        startMotion(azimuth ? moved(state_.azimuth) : state_.azimuth,
                                    azimuth ? state_.elevation : moved(state_.elevation), at);
                    }
                    return;
                case SkewMinus:
                case SkewPlus: {
                    const std::int64_t delta =
                        (p[0] == SkewPlus ? 1 : -1) * static_cast<std::int64_t>(p[1]);
                    startSkewMove(static_cast<std::int32_t>(std::clamp<std::int64_t>(
                                      state_.skew + delta, -SkewLimit, SkewLimit)),
                                  at);
                    return;
                }
                default:
                    return;
            }
        case cmd::QD:
            startDiagnosis(at);
            return;
        case cmd::CK:
            startSkewCheck(p[0], at);
            return;
        case cmd::Sd:
            startFactoryReset(at);
            return;
        case cmd::EI:
        case cmd::Eu:
        case cmd::ET:
        case cmd::EU:
            handleSatellite(id, p, at);
            return;
        default:
            handleSetting(id, p, at);
            return;
    }
}

void AntennaUnit::handleSatellite(CommandId id, const std::int32_t* p, Millis at) {
    const std::int32_t index = p[0];
    if (!validSatellite(index)) {
        return;
    }
    SatelliteEntry& entry = state_.satellites[static_cast<std::size_t>(index)];
    switch (id) {
        case cmd::EI:
            store(entry.primary, p + 1);
            break;
        case cmd::Eu:
            store(entry.secondary, p + 1);
            break;
        case cmd::ET:
            store(entry.primaryTracking, p + 1);
            break;
        default:
            store(entry.secondaryTracking, p + 1);
            break;
    }
    state_.satelliteCount = std::max(state_.satelliteCount, index + 1);
    const CommandId echo = id == cmd::EI   ? cmd::NI
                           : id == cmd::Eu ? cmd::Nu
                           : id == cmd::ET ? cmd::NT
                                           : cmd::NU;
    std::int32_t params[MaxParams] = {};
    params[0] = index;
    std::copy(p + 1, p + paramCount(id), params + 1);
    replyArray(at, echo, params, paramCount(echo));
}

bool AntennaUnit::handleSetting(CommandId id, const std::int32_t* p, Millis at) {
    switch (id) {
        case cmd::SL:
            if (p[0] > 0 && p[1] > 0) {
                state_.lnb = {p[0], p[1]};
            }
            reply(at, cmd::NL, {state_.lnb[0], state_.lnb[1], LnbConfiguration});
            reply(at, cmd::NL, {frequencyInUse(), state_.lnb[1], LnbInUse});
            return true;
        case cmd::TR:
            state_.tripleMode = p[0] != 0 ? 1 : 0;
            reply(at, cmd::TR, {state_.tripleMode});
            return true;
        case cmd::SP:
            if (std::all_of(p, p + SlotCount, validSatellite)) {
                store(state_.slotMap, p);
            }
            replyArray(at, cmd::NP, state_.slotMap.data(), SlotCount);
            return true;
        case cmd::SG:
            store(state_.gps, p);
            replyArray(at, cmd::NG, state_.gps.data(), static_cast<int>(state_.gps.size()));
            return true;
        case cmd::SA:
            store(state_.scanParams, p);
            replyArray(at, cmd::NR, state_.scanParams.data(), 3);
            return true;
        case cmd::SC:
            store(state_.controlParams, p);
            replyArray(at, cmd::NC, state_.controlParams.data(), 7);
            return true;
        case cmd::Sa:
            store(state_.antennaParams, p);
            replyArray(at, cmd::Np, state_.antennaParams.data(), 3);
            return true;
        case cmd::FG:
            for (std::size_t k = 0; k < state_.flags.size(); ++k) {
                state_.flags[k] = p[k] != 0 ? 1 : 0;
            }
            replyArray(at, cmd::NF, state_.flags.data(), 3);
            return true;
        case cmd::SQ:
            if (p[0] >= 0 && p[0] <= 2) {
                state_.diseqcMode = p[0];
            }
            reply(at, cmd::NQ, {state_.diseqcMode});
            return true;
        case cmd::TL:
            state_.elevationAdjust = p[0];
            reply(at, cmd::DL, {state_.elevationAdjust});
            return true;
        case cmd::KO:
            for (std::size_t slot = 0; slot < SlotCount; ++slot) {
                const std::int32_t satellite = state_.slotMap[slot];
                if (validSatellite(satellite)) {
                    state_.satellites[static_cast<std::size_t>(satellite)].skewAdjust = p[slot];
                }
            }
            sendSkewSlots(at);
            return true;
        case cmd::KT:
            for (std::size_t k = 0; k < DefaultSatelliteCount; ++k) {
                state_.satellites[k].skewAdjust = p[k];
            }
            return true;
        default:
            return false;
    }
}

std::int32_t AntennaUnit::signalLevel() {
    const auto wobble = static_cast<std::int32_t>((signalTick_++ * WobbleStride) % WobbleSpan) -
                        static_cast<std::int32_t>(WobbleSpan / 2);
    if (state_.antennaState != StateTracking && state_.antennaState != StateSearch &&
        state_.antennaState != StateSetup) {
        return LevelInitialising + wobble;
    }
    const Pointing target = pointingFor(state_, currentSatellite(state_));
    // The azimuth difference the short way round, shrunk toward the zenith.
    std::int64_t dAz = (std::int64_t{state_.azimuth} - target.azimuth) % FullTurn;
    if (dAz > HalfTurn) {
        dAz -= FullTurn;
    } else if (dAz < -HalfTurn) {
        dAz += FullTurn;
    }
    const double el = target.elevation / HundredthsPerDegree;
    const double across =
        static_cast<double>(dAz) / HundredthsPerDegree * std::cos(el * DegreesToRadians);
    const double up = (std::int64_t{state_.elevation} - target.elevation) / HundredthsPerDegree;
    const double error = std::hypot(across, up) / BeamWidthDegrees;
    const double gain = std::exp(-error * error);
    return LevelOffTarget -
           static_cast<std::int32_t>(std::lround((LevelOffTarget - LevelOnTarget) * gain)) + wobble;
}

std::int32_t AntennaUnit::lockFlag() const {
    return state_.antennaState == StateTracking ? 1 : 0;
}

std::int32_t AntennaUnit::frequencyInUse() const {
    return state_.band >= 2 ? state_.lnb[1] : state_.lnb[0];
}

Frame AntennaUnit::statusFrame() {
    Frame frame;
    frame.id = cmd::Ni;
    const std::int32_t level = signalLevel();
    frame.params = {state_.antennaState, level,      lockFlag(), state_.azimuth,
                    state_.elevation,    state_.skew};
    return frame;
}

void AntennaUnit::sendStatusPicture(Millis at) {
    std::int32_t name[ProductNameInts] = {};
    packText(settings_.premium ? PremiumProductName : ClassicProductName, name);
    std::int32_t serial[SerialNumberInts] = {};
    packText(SerialNumber, serial);

    reply(at, cmd::NA, {state_.antennaState});
    replyArray(at, cmd::Nn, name, ProductNameInts);
    reply(at, cmd::NW, {SoftwareVersion, ProductSizeT6, SecondVersion});
    replyArray(at, cmd::EN, serial, SerialNumberInts);
    replyArray(at, cmd::VL, Voltages.data(), static_cast<int>(Voltages.size()));
    replyArray(at, cmd::NG, state_.gps.data(), static_cast<int>(state_.gps.size()));
    reply(at, cmd::Nw, {state_.band, 0});
    reply(at, cmd::NL, {state_.lnb[0], state_.lnb[1], LnbConfiguration});
    reply(at, cmd::NL, {frequencyInUse(), state_.lnb[1], LnbInUse});
    reply(at, cmd::NQ, {state_.diseqcMode});
    reply(at, cmd::TR, {state_.tripleMode});
    replyArray(at, cmd::NR, state_.scanParams.data(), 3);
    replyArray(at, cmd::NC, state_.controlParams.data(), 7);
    replyArray(at, cmd::Np, state_.antennaParams.data(), 3);
    replyArray(at, cmd::NF, state_.flags.data(), 3);
    reply(at, cmd::DL, {state_.elevationAdjust});
    const Frame status = statusFrame();
    replyArray(at, status.id, status.params.data(), paramCount(status.id));
}

void AntennaUnit::sendSatellite(int index, Millis at) {
    const SatelliteEntry& entry = state_.satellites[static_cast<std::size_t>(index)];
    std::int32_t params[MaxParams] = {};
    params[0] = index;
    const std::pair<CommandId, const std::int32_t*> blocks[] = {
        {cmd::NI, entry.primary.data()},
        {cmd::Nu, entry.secondary.data()},
        {cmd::NT, entry.primaryTracking.data()},
        {cmd::NU, entry.secondaryTracking.data()},
    };
    for (const auto& [id, values] : blocks) {
        std::copy(values, values + paramCount(id) - 1, params + 1);
        replyArray(at, id, params, paramCount(id));
    }
}

void AntennaUnit::sendSkewSlots(Millis at) {
    for (std::int32_t slot = 0; slot < SlotCount; ++slot) {
        const std::int32_t satellite = state_.slotMap[static_cast<std::size_t>(slot)];
        if (!validSatellite(satellite)) {
            continue;
        }
        const std::int32_t adjust =
            state_.satellites[static_cast<std::size_t>(satellite)].skewAdjust;
        // NK carries the skew the geometry gives and, apart, the stored adjustment.
        const std::int64_t skew = pointingFor(state_, satellite).skew - std::int64_t{adjust} * 10;
        const auto reported = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(skew, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max()));
        reply(at, cmd::NK, {slot, reported, adjust});
    }
}

void AntennaUnit::sendTablePicture(Millis at) {
    reply(at, cmd::NN, {state_.satelliteCount});
    for (int index = 0; index < state_.satelliteCount; ++index) {
        sendSatellite(index, at);
    }
    replyArray(at, cmd::NP, state_.slotMap.data(), SlotCount);
    reply(at, cmd::NS, {state_.currentSlot});
    const int satellite = currentSatellite(state_);
    const std::int32_t nid =
        satellite < 0 ? 0
                      : state_.satellites[static_cast<std::size_t>(satellite)]
                            .primary[static_cast<std::size_t>(BlockFirstNid + state_.band)];
    reply(at, cmd::ID, {nid});
    sendSkewSlots(at);
}

void AntennaUnit::startRestart(Millis at) {
    cancel(Activity::Restart);
    cancel(Activity::Retune);
    cancel(Activity::Motion);
    state_.antennaState = StateInitialise;
    reply(at, cmd::NA, {StateInitialise}, Activity::Restart);
    reply(at + RestartSearchMs, cmd::NA, {StateSearch}, Activity::Restart,
          [](UnitState& s) { s.antennaState = StateSearch; });
    sweepOnto(pointingFor(state_, currentSatellite(state_)), at + RestartSearchMs,
              at + RestartTrackingMs);
    reply(at + RestartTrackingMs, cmd::NA, {StateTracking}, Activity::Restart, [](UnitState& s) {
        s.antennaState = StateTracking;
        const Pointing found = pointingFor(s, currentSatellite(s));
        s.azimuth = found.azimuth;
        s.elevation = found.elevation;
        s.skew = found.skew;
    });
    Event status;
    status.out.frame.id = cmd::Ni;
    status.activity = Activity::Restart;
    status.effect = nullptr;
    pending_.emplace(at + RestartTrackingMs, std::move(status));
}

void AntennaUnit::sweepOnto(const Pointing& target, Millis from, Millis to) {
    const auto steps = static_cast<int>((to - from) / MotionStepMs);
    for (int step = 1; step < steps; ++step) {
        const double f = static_cast<double>(step) / steps;
        const double radius = SweepRadius * (1.0 - f);
        const double angle = SweepTurns * 2.0 * 3.14159265358979323846 * f;
        const std::int32_t az =
            clamp(target.azimuth + static_cast<std::int32_t>(std::lround(radius * std::cos(angle))),
                  -AzimuthLimit, AzimuthLimit);
        const std::int32_t el = clamp(
            target.elevation + static_cast<std::int32_t>(std::lround(radius * std::sin(angle))),
            ElevationMin, ElevationMax);
        reply(from + step * MotionStepMs, cmd::AP, {az, el}, Activity::Restart,
              [az, el](UnitState& s) {
                  s.azimuth = az;
                  s.elevation = el;
              });
    }
}

void AntennaUnit::startMotion(std::int32_t azimuth, std::int32_t elevation, Millis at) {
    cancel(Activity::Motion);
    azimuth = clamp(azimuth, -AzimuthLimit, AzimuthLimit);
    elevation = clamp(elevation, ElevationMin, ElevationMax);
    const std::int32_t fromAz = state_.azimuth;
    const std::int32_t fromEl = state_.elevation;
    for (int step = 1; step <= MotionSteps; ++step) {
        const std::int32_t az = between(fromAz, azimuth, step, MotionSteps);
        const std::int32_t el = between(fromEl, elevation, step, MotionSteps);
        reply(at + step * MotionStepMs, cmd::AP, {az, el}, Activity::Motion,
              [az, el](UnitState& s) {
                  s.azimuth = az;
                  s.elevation = el;
              });
    }
    Event status;
    status.out.frame.id = cmd::Ni;
    status.activity = Activity::Motion;
    pending_.emplace(at + MotionSteps * MotionStepMs, std::move(status));
}

void AntennaUnit::startSkewMove(std::int32_t skew, Millis at) {
    cancel(Activity::Motion);
    const std::int32_t from = state_.skew;
    for (int step = 1; step <= MotionSteps; ++step) {
        const std::int32_t value = between(from, skew, step, MotionSteps);
        reply(at + step * MotionStepMs, cmd::TK, {value}, Activity::Motion,
              [value](UnitState& s) { s.skew = value; });
    }
    Event status;
    status.out.frame.id = cmd::Ni;
    status.activity = Activity::Motion;
    pending_.emplace(at + MotionSteps * MotionStepMs, std::move(status));
}

void AntennaUnit::startSkewCheck(std::int32_t kind, Millis at) {
    if (kind != SkewCalibrate && kind != SkewOptimise) {
        return;
    }
    cancel(Activity::SkewCheck);
    const std::int32_t target = pointingFor(state_, currentSatellite(state_)).skew;
    reply(at, cmd::TC, {SubjectSkewLed, LedOn}, Activity::SkewCheck);
    Millis when = at;
    const auto skewTo = [this, &when](std::int32_t value) {
        when += SkewCheckStepMs;
        reply(when, cmd::TK, {value}, Activity::SkewCheck,
              [value](UnitState& s) { s.skew = value; });
    };
    if (kind == SkewCalibrate) {
        skewTo(0);  // the reference position
        skewTo(target);
    } else {
        for (const std::int32_t offset : OptimiseSweep) {
            skewTo(clamp(target + offset, -SkewLimit, SkewLimit));
        }
    }
    reply(when + SkewCheckStepMs, cmd::TC, {SubjectSkewLed, LedOff}, Activity::SkewCheck);
}

void AntennaUnit::startDiagnosis(Millis at) {
    cancel(Activity::Diagnosis);
    if (!settings_.answerDiagnosis) {
        return;
    }
    DiagnosisResults results = FactoryDiagnosis;
    if (!settings_.premium) {
        results[SkewMotorItem] = NotFitted;
    }
    if (settings_.diagnosisResults) {
        results = *settings_.diagnosisResults;
    }
    for (std::size_t k = 0; k < results.size(); ++k) {
        const std::int32_t result = results[k];
        reply(at + static_cast<Millis>(k + 1) * DiagnosisSpacingMs, cmd::ND,
              {FirstDiagnosisItem + static_cast<std::int32_t>(k), result}, Activity::Diagnosis);
    }
}

void AntennaUnit::startFactoryReset(Millis at) {
    cancel(Activity::FactoryReset);
    Millis when = at;
    for (const std::int32_t step : FactoryProgress) {
        when += FactoryStepMs;
        reply(when, cmd::TC, {SubjectFactoryProgress, step}, Activity::FactoryReset);
    }
    reply(when + FactoryStepMs, cmd::TC, {SubjectFactoryProgress, FactoryDone},
          Activity::FactoryReset, [](UnitState& s) {
              UnitState fresh = factoryState();
              fresh.antennaState = s.antennaState;
              fresh.azimuth = s.azimuth;
              fresh.elevation = s.elevation;
              fresh.skew = s.skew;
              s = fresh;
          });
}

void AntennaUnit::selectSlot(std::int32_t slot, Millis at) {
    if (slot < 0 || slot >= SlotCount) {
        reply(at, cmd::NS, {state_.currentSlot});
        return;
    }
    state_.currentSlot = slot;
    reply(at, cmd::NS, {slot});
    if (state_.antennaState != StateTracking) {
        return;
    }
    // A tracking antenna searches its way to the newly selected satellite.
    cancel(Activity::Retune);
    const Pointing target = pointingFor(state_, currentSatellite(state_));
    reply(at, cmd::NA, {StateSearch}, Activity::Retune,
          [](UnitState& s) { s.antennaState = StateSearch; });
    startMotion(target.azimuth, target.elevation, at);
    reply(at + (MotionSteps + 1) * MotionStepMs, cmd::NA, {StateTracking}, Activity::Retune,
          [skew = target.skew](UnitState& s) {
              s.antennaState = StateTracking;
              s.skew = skew;
          });
}

void AntennaUnit::selectTransponder(std::int32_t band, Millis at) {
    if (band >= 0 && band < TransponderCount) {
        state_.band = band;
    }
    reply(at, cmd::Nw, {state_.band, 0});
    const int satellite = currentSatellite(state_);
    const std::int32_t nid =
        satellite < 0 ? 0
                      : state_.satellites[static_cast<std::size_t>(satellite)]
                            .primary[static_cast<std::size_t>(BlockFirstNid + state_.band)];
    reply(at, cmd::ID, {nid});
    reply(at, cmd::NL, {frequencyInUse(), state_.lnb[1], LnbInUse});
}

void AntennaUnit::streamPattern(const PatternStream& stream, Millis now) {
    pattern_ = stream;
    pattern_.periodMs = std::max<Millis>(pattern_.periodMs, 1);
    patternStep_ = 0;
    nextPatternStep_ = stream.rows > 0 ? now : Never;
}

void AntennaUnit::collectPattern(Millis now, std::vector<OutFrame>& out) {
    while (nextPatternStep_ <= now) {
        Frame frame;
        if (patternStep_ == 0) {
            frame.id = cmd::TC;
            frame.params[0] = SubjectPatternStart;
        } else {
            frame.id = cmd::PT;
            frame.params = {patternStep_,  state_.azimuth, state_.elevation,   state_.skew,
                            signalLevel(), lockFlag(),     state_.antennaState};
        }
        out.push_back({frame, Origin::Unasked});
        nextPatternStep_ += pattern_.periodMs;
        if (patternStep_ < pattern_.rows) {
            ++patternStep_;
        } else if (pattern_.repeat) {
            patternStep_ = 0;
        } else {
            nextPatternStep_ = Never;
        }
    }
}

void AntennaUnit::collectDue(Millis now, std::vector<OutFrame>& out) {
    collectPattern(now, out);
    while (!pending_.empty() && pending_.begin()->first <= now) {
        auto node = pending_.extract(pending_.begin());
        Event& event = node.mapped();
        if (event.effect) {
            event.effect(state_);
        }
        if (event.out.frame.id == cmd::Ni) {
            // Status reports describe the antenna as it is when they are sent.
            event.out.frame = statusFrame();
        }
        out.push_back(event.out);
    }
    const bool steady = settings_.statusPeriodMs > 0;
    if (steady && settings_.periodicReports && now >= nextStatus_) {
        out.push_back({statusFrame(), Origin::Unasked});
        // On the beat, not from this call: a late call does not slow the rate.
        nextStatus_ = std::max(nextStatus_ + settings_.statusPeriodMs, now);
    }
    if (!pending_.empty() || !settings_.periodicReports) {
        return;
    }
    if (!steady && now >= nextStatus_) {
        out.push_back({statusFrame(), Origin::Unasked});
        nextStatus_ = now + StatusPeriodMs;
    }
    if (now >= nextCommLed_) {
        Frame frame;
        frame.id = cmd::TC;
        frame.params[0] = SubjectCommLed;
        frame.params[1] = LedOn;
        out.push_back({frame, Origin::Unasked});
        nextCommLed_ = now + CommLedPeriodMs;
    }
    if (now >= nextGpsFix_) {
        Frame frame;
        frame.id = cmd::TC;
        frame.params[0] = SubjectGpsFix;
        frame.params[1] = LedOn;
        out.push_back({frame, Origin::Unasked});
        nextGpsFix_ = now + GpsFixPeriodMs;
    }
}

Millis AntennaUnit::nextDue() const {
    if (!pending_.empty()) {
        const Millis steadyStatus =
            settings_.statusPeriodMs > 0 && settings_.periodicReports ? nextStatus_ : Never;
        return std::min({pending_.begin()->first, nextPatternStep_, steadyStatus});
    }
    if (!settings_.periodicReports) {
        return nextPatternStep_;
    }
    return std::min({nextStatus_, nextCommLed_, nextGpsFix_, nextPatternStep_});
}

}  // namespace kelvandor::sim
