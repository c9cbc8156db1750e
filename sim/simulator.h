// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated antenna control unit on a pseudo-terminal. The controller (or
// kelvandor-cli) opens the pty's slave as if it were the unit's serial port; the
// simulator answers every command on the master side, sends unasked reports, paces its
// output at the configured baud rate and injects faults on request.
//
// It runs either on a worker thread of its own (start(); tests and the controller's
// end-to-end tests drive it so, in the same process as the controller) or on the calling
// thread (run(); kelvandor-sim). It keeps its own receive buffer and scratch area, never
// the program-wide ones. Every public member may be called from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame_codec.h"
#include "sim/antenna_unit.h"
#include "sim/paced_line.h"
#include "sim/unit_state.h"

namespace kelvandor::sim {

enum class Fault {
    DropReplies,       // replies to commands are not sent (unasked reports still are)
    CorruptChecksums,  // every frame goes out with a wrong checksum character
    SplitFrames,       // frames go out in two or three pieces with pauses between them
    GarbageBursts,     // a burst of junk bytes (never a brace) precedes every frame
    EchoDelay,         // replies come SimOptions::echoDelayMs late
    Silent,            // commands are received and acted on, nothing is sent
    HangUp,            // the line is hung up (a pulled USB adapter); off plugs a new one in
    FloodUnpaced,      // output is written as fast as the pty takes it
};
inline constexpr int FaultCount = 8;

// The option name of a fault, as kelvandor-sim spells it ("drop-replies").
const char* faultName(Fault fault);

struct SimOptions {
    bool premium = true;  // the product name contains "PREMIUM"
    bool paced = true;    // pace output at `baud`
    int baud = 19200;
    int echoDelayMs = 300;        // the EchoDelay fault's delay
    bool periodicReports = true;  // Ni, TC 11 and TC 80 while idle
    // 0: Ni about once a second while idle; above 0: Ni every this many ms, busy or idle.
    int statusPeriodMs = 0;
    // What QD reports for items 101..110 (unset: the unit's own findings) and whether it
    // answers QD at all.
    std::optional<DiagnosisResults> diagnosisResults;
    bool answerDiagnosis = true;
    std::ostream* log = nullptr;  // one line per frame received ("<- QS") and sent ("-> NA 2")
};

class Simulator {
  public:
    explicit Simulator(SimOptions options = {});
    // Stops the unit, closes the pty and removes the link it made.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the pty: master non-blocking, slave in raw mode, a guard descriptor kept open
    // on the slave so the line stays up while no client has it open. True when the line
    // is (already) up; false with lastError() set.
    bool open();
    // open(), then runs the unit on a worker thread. False when the line cannot be opened
    // or the unit already runs.
    bool start();
    // open(), then runs the unit on the calling thread until `stopFlag` becomes true (it
    // may be set from a signal handler) or stop() is called. False when it cannot open.
    bool run(const std::atomic<bool>& stopFlag);
    // Ends the worker (or a run() that has started on another thread, waiting until it has
    // left its loop), closes the pty and removes the link. Calling it again is harmless.
    void stop();

    // The pty slave's path; empty before open() and while the line is hung up.
    std::string slavePath() const;

    // Creates <portDir>/COM<comNumber> as a symbolic link to the slave, creating portDir
    // if missing. An existing link that is dangling, or already ours, is replaced; a link
    // to a device that exists is replaced only with `replaceLive`; anything that is not
    // a link is left alone. Returns whether the link now exists; `note`, when given,
    // receives one line saying what was done or why not. A simulator has one link: a new
    // one replaces the link made before. The link is removed by stop(), and while the line
    // is hung up (and made again when it is plugged in).
    bool linkAs(const std::string& portDir, int comNumber, std::string* note = nullptr,
                bool replaceLive = false);
    // The link's path, empty when there is none.
    std::string linkPath() const;

    // Switches a fault on or off. HangUp takes effect before this returns (or within two
    // seconds when the unit's thread is busy).
    void setFault(Fault fault, bool on);
    bool fault(Fault fault) const;
    void setPeriodicReports(bool on);
    // Replies to `command` come `delayMs` later than the others (on top of the echo-delay
    // fault); with NeverTaken the unit never takes `command`, as if it were lost on the
    // line (it is still listed by receivedLines). 0 undoes it. An id outside the command
    // table is ignored.
    static constexpr int NeverTaken = -1;
    void setCommandDelay(CommandId command, int delayMs);
    // Asks the unit to report its tracking pattern (TC 0, then PT rows; see AntennaUnit),
    // starting at once; a stream with no rows stops the one that runs.
    void streamPattern(const PatternStream& stream);

    // Every frame received so far, in the decode line format ("MO 1234 -56"); a chunk that
    // did not decode is a line "error CODE".
    std::vector<std::string> receivedLines() const;
    void clearReceivedLines();
    // A copy of what the unit stores now.
    UnitState state() const;
    std::string lastError() const;

  private:
    using Clock = std::chrono::steady_clock;

    // Marks the loop as running and opens the line; false when it already runs or the
    // line cannot be opened (the mark is then taken back).
    bool claimLoop();
    bool openLine();
    void closeLine();
    void loop(const std::atomic<bool>* externalStop);
    void runLoop(const std::atomic<bool>* externalStop);
    // Takes the switches of the faults and of the unasked reports into the unit and the line.
    void applySettings();
    void applyHangUp();
    void readCommands();
    void emit(const OutFrame& out);
    void flushLine();
    int pollTimeoutMs() const;
    void wake() const;
    bool backlogged() const;
    bool makeLink(const std::string& portDir, int comNumber, bool replaceLive, std::string* note);
    void removeLink();
    void log(const std::string& line) const;
    Micros nowMicros() const;

    const SimOptions options_;
    const Clock::time_point epoch_;

    mutable std::mutex mutex_;  // guards the members down to snapshot_
    std::condition_variable changed_;
    std::string slavePath_;
    std::string linkPath_;
    std::string linkTarget_;
    std::string linkDir_;
    int linkNumber_ = 0;
    bool linkReplaceLive_ = false;
    std::vector<std::string> received_;
    std::string lastError_;
    UnitState snapshot_;
    bool hungUp_ = false;
    bool inLoop_ = false;
    std::optional<PatternStream> patternRequest_;  // taken by the loop

    std::array<std::atomic<bool>, FaultCount> faults_{};
    std::array<std::atomic<int>, CommandCount> commandDelayMs_{};
    std::atomic<bool> periodicReports_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> looping_{false};
    std::thread worker_;

    // Owned by the thread that runs the loop.
    int master_ = -1;
    int guard_ = -1;
    int wakeFd_ = -1;
    AntennaUnit unit_;
    PacedLine line_;
    bool lineFull_ = false;
    ReceiveBuffer receive_;
    FrameScratch scratch_;
    std::minstd_rand random_;
};

}  // namespace kelvandor::sim
