// SPDX-License-Identifier: GPL-3.0-or-later
// The behaviour of the simulated antenna control unit, without any I/O: it takes the
// decoded commands, keeps the unit's table and state, and hands out the frames the unit
// sends, each when it falls due. Time is milliseconds on a clock the caller runs.
//
// Set-up mode gating: every command that changes a stored setting (EI Eu ET EU SL SP SG
// SA SC Sa FG SQ TR KO KT TL) is answered with AC -1 unless the unit is in set-up mode
// (state 0). Factory Setting (Sd) is honoured in any state, because the controller asks
// no mode for it, and so are LT, SW, GO, MO, MS, QD, CK, OR, OS and the queries. The unit
// starts in tracking (state 2); OS enters set-up mode, OR restarts it.
//
// Answers beyond the reply pairs: Sa -> Np, TL -> DL, KO -> NK per slot, SW -> Nw, ID and
// NL (in use), LT -> NS (then a search when tracking), QV -> Nv, QG -> NG. KT is stored
// without an answer, as the controller awaits none. The level reports follow the pointing
// error (see signalLevel); with a status period, Ni comes on the beat, busy or idle.
//
// On request (streamPattern) the unit reports its tracking pattern: a record opens with
// TC 0 0 (the controller starts its pattern file afresh) and goes on with one PT row per
// period: row number from 1, azimuth, elevation, skew, signal level, lock flag, state.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include "protocol/command_table.h"
#include "sim/unit_state.h"

namespace kelvandor::sim {

struct Pointing;

struct Frame {
    CommandId id = 0;
    std::array<std::int32_t, MaxParams> params{};
};

inline constexpr int DiagnosisItemCount = 10;  // items 101..110
// The result the unit reports for each diagnosis item, in item order.
using DiagnosisResults = std::array<std::int32_t, DiagnosisItemCount>;

// Why a frame is sent: in answer to a command, or unasked (periodic reports).
enum class Origin { Reply, Unasked };

struct OutFrame {
    Frame frame;
    Origin origin = Origin::Reply;
};

using Millis = std::int64_t;
inline constexpr Millis Never = std::numeric_limits<Millis>::max();

// A tracking-pattern stream: what the operator or a test asks the unit to report.
struct PatternStream {
    int rows = 0;           // PT rows in a record; 0 stops the stream
    Millis periodMs = 500;  // from TC 0 to the first row, and from row to row
    bool repeat = false;    // after a record, open the next one, until stopped
};

class AntennaUnit {
  public:
    struct Settings {
        bool premium = true;          // the product name contains "PREMIUM"
        bool periodicReports = true;  // Ni, TC 11 and TC 80 while idle
        // What QD reports for items 101..110; unset: all good except no receiver
        // connected, and the skew motor not fitted on a unit without PREMIUM.
        std::optional<DiagnosisResults> diagnosisResults;
        bool answerDiagnosis = true;  // false: QD is taken and never answered
        // 0: Ni about once a second while idle. Above 0: Ni every this many ms, busy or
        // idle, so a watcher sees a steady stream (with periodicReports on).
        Millis statusPeriodMs = 0;
    };

    explicit AntennaUnit(Settings settings, Millis now = 0);

    // Acts on one decoded frame received at `now`. Frames the unit does not take (reports,
    // unused entries, out-of-range indexes) change nothing and are not answered.
    void handle(CommandId id, const std::int32_t* params, Millis now);

    // Appends to `out` every frame due at `now`, in the order they fell due; when nothing
    // else is pending, the periodic reports that are due.
    void collectDue(Millis now, std::vector<OutFrame>& out);

    // The earliest time a frame falls due (Never when nothing will).
    Millis nextDue() const;

    // Starts reporting the tracking pattern at `now`, replacing a stream that runs.
    void streamPattern(const PatternStream& stream, Millis now);

    // Replies fall due this much later than they would (the echo-delay fault).
    void setReplyDelay(Millis delay) { replyDelay_ = delay; }
    void setPeriodicReports(bool on) { settings_.periodicReports = on; }

    const UnitState& state() const { return state_; }

  private:
    // Long-running work; a new command of the same kind replaces what is pending.
    enum class Activity { None, Restart, Motion, Diagnosis, FactoryReset, SkewCheck, Retune };
    struct Event {
        OutFrame out;
        Activity activity = Activity::None;
        std::function<void(UnitState&)> effect;  // applied when the frame is sent
    };

    void reply(Millis due, CommandId id, std::initializer_list<std::int32_t> params,
               Activity activity = Activity::None, std::function<void(UnitState&)> effect = {});
    void replyArray(Millis due, CommandId id, const std::int32_t* params, int count,
                    Activity activity = Activity::None);
    void cancel(Activity activity);

    bool handleSetting(CommandId id, const std::int32_t* p, Millis at);
    void handleSatellite(CommandId id, const std::int32_t* p, Millis at);
    void sendStatusPicture(Millis at);
    void sendTablePicture(Millis at);
    void sendSatellite(int index, Millis at);
    void sendSkewSlots(Millis at);
    void startRestart(Millis at);
    void startMotion(std::int32_t azimuth, std::int32_t elevation, Millis at);
    void startSkewMove(std::int32_t skew, Millis at);
    void startSkewCheck(std::int32_t kind, Millis at);
    void startDiagnosis(Millis at);
    void startFactoryReset(Millis at);
    void selectSlot(std::int32_t slot, Millis at);
    void selectTransponder(std::int32_t band, Millis at);

    void collectPattern(Millis now, std::vector<OutFrame>& out);
    Frame statusFrame();
    // The raw level (the controller shows 800 - level): strongest with the antenna on the
    // satellite in use, falling off over a degree or two of pointing error, with a little
    // noise; no signal while initialising.
    std::int32_t signalLevel();
    // Sweeps the antenna in a closing spiral onto `target` between `from` and `to`, one
    // AP report a motion step (the search of a restart).
    void sweepOnto(const Pointing& target, Millis from, Millis to);
    std::int32_t lockFlag() const;
    std::int32_t frequencyInUse() const;

    Settings settings_;
    UnitState state_;
    Millis replyDelay_ = 0;
    std::multimap<Millis, Event> pending_;
    Millis nextStatus_;
    Millis nextCommLed_;
    Millis nextGpsFix_;
    std::uint32_t signalTick_ = 0;
    PatternStream pattern_;
    int patternStep_ = 0;  // 0: TC 0 opens the record; 1..rows: that PT row
    Millis nextPatternStep_ = Never;
};

}  // namespace kelvandor::sim
