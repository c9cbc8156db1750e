// SPDX-License-Identifier: GPL-3.0-or-later
// Update Default as data: the steps that write a loaded default set into the antenna,
// built from the set and the profile of the unit's product size, and one runner that
// plays them over any line. The controller's window and kelvandor-cli both run them, so
// the two cannot send different frames, waits or pauses.
//
// The sequence: for each of the 13 satellites EI, Eu, ET and EU, each awaiting its echo
// (NI, Nu, NT, NU of the same index); then SL, TR, SP, LT, SG, SA, FG and SC, each
// awaiting its echo; Sa (no echo); SQ awaiting NQ; KT and KO (no echo). Every step but
// the last is followed by a pause of 100 ms.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "defaults/default_set.h"
#include "protocol/command_table.h"

namespace kelvandor {

inline constexpr int UpdateStepPauseMs = 100;
inline constexpr int UpdateReplyTimeoutMs = 2000;
// The progress positions run 1..UpdateProgressSteps; 1 before the first step.
inline constexpr int UpdateProgressSteps = 21;
inline constexpr int NoProgress = -1;

using FrameParams = std::array<std::int32_t, MaxParams>;

// The parameters of the frames that carry a default set, the same whether the window
// shows the set as the antenna's report (NI, NT, NP ...) or writes it (EI, ET, SP ...).
namespace default_frames {
// NI / EI (Nu / Eu with `secondary`) of satellite `i`: index, six values, the name.
FrameParams definition(const RifSatellite& s, int i, bool secondary);
// NT / ET (NU / EU with `secondary`) of satellite `i`: index, ten values.
FrameParams tracking(const RifSatellite& s, int i, bool secondary);
FrameParams slots(const ProductProfile& p);                          // NP / SP
FrameParams gps(const ProductProfile& p);                            // NG / SG
FrameParams scan(const ProductProfile& p, std::int32_t scanOffset);  // NR / SA
FrameParams flags(const ProductProfile& p);                          // NF / FG
FrameParams control(const ProductProfile& p);                        // NC / SC
FrameParams antenna(const ProductProfile& p);                        // Np / Sa
FrameParams of(std::initializer_list<std::int32_t> values);
}  // namespace default_frames

struct UpdateStep {
    CommandId command = 0;
    FrameParams params{};
    // The echo the step waits for; none for a step that waits for nothing.
    std::optional<CommandId> reply;
    // With `reply`: only an echo whose first parameter is this index counts.
    std::optional<std::int32_t> replyIndex;
    bool pauseAfter = true;
    int progress = NoProgress;    // the progress position reached when the step is done
    bool endsSatellites = false;  // the last step of the satellite table
};

// The steps that write `set` with the product profile `profile` (one of set's).
std::vector<UpdateStep> buildUpdateSteps(const DefaultSet& set, const ProductProfile& profile);

// What a step writes, for people: "EI (satellite 3)", "SQ (DiSEqC mode)".
std::string describeUpdateStep(const UpdateStep& step);

// The line an update runs over: the window's link driver, or a serial port of the CLI.
class UpdateLine {
  public:
    virtual ~UpdateLine() = default;
    // Arms the wait for `reply` (and `index`, when given) and forgets any reply that came
    // before: only a reply that arrives after this call ends the next wait. Called before
    // the step's command is sent.
    virtual void expectReply(CommandId reply, std::optional<std::int32_t> index) = 0;
    // Writes one frame. False when it did not leave whole (a failed or short write, a
    // line that has hung up): the run then ends at once, that step and the rest unsent.
    virtual bool send(CommandId command, const std::int32_t* params) = 0;
    // Waits at most `timeoutMs` for the reply armed by expectReply. True when it came.
    virtual bool waitForReply(int timeoutMs) = 0;
    virtual void pause(int ms) = 0;
    // Called before a step that waits for nothing, so a front end that keeps a window
    // alive can take its events between two pauses.
    virtual void beforeUnawaitedStep() {}
    // True when the run must end: it ends after the step under way.
    virtual bool stopRequested() const = 0;
    // A step has been sent, answered or timed out, and paused after.
    virtual void stepDone(const UpdateStep& step, int index) {
        (void)step;
        (void)index;
    }
};

struct UpdateOutcome {
    int sent = 0;              // steps whose command went out (steps 0 .. sent - 1)
    int awaited = 0;           // of those, steps that waited for an echo
    std::vector<int> missing;  // indexes of awaited steps whose echo did not come
    bool stopped = false;      // the run ended before its last step
    bool writeFailed = false;  // it ended because step `sent` could not be written
};

// Plays `steps` over `line`, in order, each awaited step waiting at most
// `replyTimeoutMs`. A step whose echo does not come is counted and the run goes on; a
// step whose frame cannot be written ends the run at once.
UpdateOutcome runUpdateSteps(const std::vector<UpdateStep>& steps, UpdateLine& line,
                             int replyTimeoutMs = UpdateReplyTimeoutMs);

}  // namespace kelvandor
