// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_unit.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_port.h"
#include "cli/cli_rif.h"
#include "defaults/update_steps.h"
#include "geo/pointing.h"
#include "protocol/c_format.h"
#include "protocol/frame_codec.h"
#include "protocol/unit_reports.h"
#include "report/unit_json.h"
#include "unit/unit_state.h"

namespace kelvandor::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Each read waits at most this long, so a stop request is seen promptly.
constexpr int ReadSliceMs = 20;
constexpr int ReadChunk = 64;
// How long write-default waits for the unit's answer to QS.
constexpr int AskTimeoutMs = 3000;
// status stops collecting once the line has been quiet this long after a frame.
constexpr int QuietMs = 700;
constexpr int DefaultStatusWaitMs = 5000;
constexpr int MaxStatusWaitMs = 60000;
constexpr int StateSetup = 0;
constexpr double Hundredth = 0.01;

int elapsedMs(Clock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The unit's line: its port and a receive buffer of its own.
class UnitLine {
  public:
    bool open(const std::string& name, const char* command, std::ostream& err) {
        name_ = name;
        if (port_.Open(name.c_str(), LineBaud, ReadSliceMs) == 1) {
            if (!port_.lineNotice().empty()) {
                err << command << ": " << name << ": " << port_.lineNotice() << '\n';
            }
            port_.Purge();
            return true;
        }
        explainOpenFailure(port_, name, command, err);
        return false;
    }

    // True when the whole frame was handed to the port.
    bool send(CommandId id, const std::int32_t* params) {
        char frame[FrameAreaSize];
        const int length = encodeFrame(frame, id, params);
        return port_.Write(frame, length) == 1;
    }

    // Reads once (waiting at most ReadSliceMs) and hands every complete frame to
    // `onFrame(id, params)`. False when the line has hung up.
    template <class OnFrame>
    bool readOnce(OnFrame&& onFrame) {
        char chunk[ReadChunk];
        const int got = port_.Read(chunk, ReadChunk);
        if (got <= 0) {
            return !port_.lineLost();
        }
        appendReceived(buffer_, chunk, got);
        forEachChunk(buffer_, scratch_,
                     [&onFrame](int status, CommandId id, const std::int32_t* p) {
                         if (status == FrameOk) {
                             onFrame(id, p);
                         }
                     });
        return true;
    }

    const std::string& name() const { return name_; }
    // True once a read or a write has found the line hung up.
    bool lineLost() const { return port_.lineLost(); }

  private:
    std::string name_;
    SerialPort port_;
    ReceiveBuffer buffer_;
    FrameScratch scratch_;
};

// Text from the line as a terminal may show it: control characters become '?'.
std::string printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

const char* sizeName(int size) {
    return size >= 0 && size < ProductSizeCount ? ProductSizeNames[size] : "?";
}

std::string fixed2(double value) {
    return formatCString("%.2f", value);
}

// "9.59 E" for a longitude of 959 hundredths of DDD.MM east.
std::string position(std::int32_t hundredths, bool positive, char plus, char minus) {
    return fixed2(hundredths * Hundredth) + ' ' + (positive ? plus : minus);
}

// --- status ---------------------------------------------------------------------------

void printText(const unit::UnitState& u, std::ostream& out) {
    if (u.state) {
        out << "state: " << antennaStateName(*u.state) << " (" << *u.state << ")\n";
    }
    if (u.status) {
        const unit::StatusReport& s = *u.status;
        out << "signal: " << s.signalLevel() << (s.locked() ? ", locked" : ", not locked")
            << "\n";
        out << "pointing: AZ " << fixed2(s.azimuth * Hundredth) << "  EL "
            << fixed2(s.elevation * Hundredth) << "  SKEW " << fixed2(s.skew * Hundredth) << "\n";
    }
    if (u.productName) {
        out << "product: " << printable(*u.productName);
        if (const std::optional<int> size = u.productSize()) {
            out << " (size " << sizeName(*size) << ")";
        }
        out << "\n";
    }
    if (u.versions) {
        out << "versions: " << fixed2(u.versions->software * Hundredth) << ", "
            << fixed2(u.versions->second * Hundredth) << "\n";
    }
    if (u.serialNumber) {
        out << "serial number: " << printable(*u.serialNumber) << "\n";
    }
    if (u.gps) {
        const unit::GpsPosition& g = *u.gps;
        out << "GPS position: " << position(g.longitude, g.eastWest == geo::FlagEast, 'E', 'W')
            << "  " << position(g.latitude, g.northSouth == geo::CodeNorth, 'N', 'S') << "\n";
    }
    if (u.lnb) {
        out << "LNB: " << u.lnb->low << " / " << u.lnb->high << " MHz";
        if (u.frequencyInUse) {
            out << ", in use " << *u.frequencyInUse << " MHz";
        }
        out << "\n";
    }
    if (const std::optional<std::int32_t> tracked = u.trackedSatellite()) {
        const auto found = u.satellites.find(*tracked);
        out << "tracked satellite: " << *tracked << ' '
            << (found == u.satellites.end() ? std::string("?") : printable(found->second.name))
            << "\n";
    }
    if (!u.satellites.empty()) {
        out << "satellites (" << u.satellites.size() << "):\n";
        for (const auto& [index, s] : u.satellites) {
            out << formatCString("  %2d  %-8s  %7.2f %c\n", index, printable(s.name).c_str(),
                           s.longitude * Hundredth, s.eastWest == geo::FlagEast ? 'E' : 'W');
        }
    }
}

// The picture as one JSON object, the agent's form of a unit's state, with "complete".
// The port name comes from the command line: its bytes are kept as text as the unit's
// texts are.
void printJson(const unit::UnitState& u, const std::string& port, std::ostream& out) {
    QJsonObject json = unitStateJson(u, textFromBytes(port));
    json.insert(QStringLiteral("complete"), u.complete());
    out << QJsonDocument(json).toJson(QJsonDocument::Compact).toStdString() << '\n';
}

// --- write-default -------------------------------------------------------------------

// Update Default over the CLI's line. Frames that arrive between steps are read and
// dropped before the next command goes out, so only an echo that comes after its own
// command answers a step.
class CliUpdateLine : public UpdateLine {
  public:
    CliUpdateLine(UnitLine& line, std::ostream& out, bool terminal, const std::atomic<bool>& stop,
                  int stepCount)
        : line_(line), out_(out), terminal_(terminal), stop_(stop), stepCount_(stepCount) {}

    void expectReply(CommandId reply, std::optional<std::int32_t> index) override {
        dropPending();
        awaited_ = reply;
        index_ = index;
        arrived_ = false;
        waited_ = true;
    }
    bool send(CommandId command, const std::int32_t* params) override {
        return line_.send(command, params);
    }
    bool waitForReply(int timeoutMs) override {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!arrived_ && !stopRequested() && Clock::now() < deadline) {
            lost_ = !line_.readOnce([this](CommandId id, const std::int32_t* p) {
                if (id == awaited_ && (!index_ || p[0] == *index_)) {
                    arrived_ = true;
                }
            });
        }
        return arrived_;
    }
    void pause(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    void beforeUnawaitedStep() override { waited_ = false; }
    bool stopRequested() const override { return stop_ || lineLost(); }
    void stepDone(const UpdateStep& step, int index) override {
        const char* outcome = !waited_ ? "sent" : arrived_ ? "answered" : "NO REPLY";
        char head[32];
        std::snprintf(head, sizeof head, "step %2d/%d  ", index + 1, stepCount_);
        const std::string line = head + describeUpdateStep(step) + "  " + outcome;
        if (terminal_) {
            // One line, rewritten: pad to clear what a longer one left.
            out_ << '\r' << line << std::string(line.size() < Width ? Width - line.size() : 0, ' ')
                 << std::flush;
        } else {
            out_ << line << '\n';
        }
    }

    // A write finds a hung-up line as surely as a read.
    bool lineLost() const { return lost_ || line_.lineLost(); }

  private:
    static constexpr std::size_t Width = 72;

    void dropPending() {
        // What has already arrived is read and dropped; a hang-up is noted.
        for (int k = 0; k < 2; ++k) {
            lost_ = lost_ || !line_.readOnce([](CommandId, const std::int32_t*) {});
        }
    }

    UnitLine& line_;
    std::ostream& out_;
    bool terminal_;
    const std::atomic<bool>& stop_;
    int stepCount_;
    CommandId awaited_ = 0;
    std::optional<std::int32_t> index_;
    bool arrived_ = false;
    bool waited_ = false;
    bool lost_ = false;
};

std::optional<int> parseSize(const std::string& text) {
    for (int k = 0; k < ProductSizeCount; ++k) {
        if (text == ProductSizeNames[k]) {
            return k;
        }
    }
    return parseIntInRange(text, 0, ProductSizeCount - 1);
}

// Asks the unit for its status picture and reads until it has said its state and product
// size, or the time is up.
unit::UnitState askStatus(UnitLine& line, const std::atomic<bool>& stop) {
    unit::UnitModel model;
    line.send(cmd::QS, nullptr);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(AskTimeoutMs);
    while (!stop && Clock::now() < deadline &&
           !(model.state().state && model.state().versions)) {
        if (!line.readOnce([&model](CommandId id, const std::int32_t* p) {
                model.takeFrame(id, p, unit::UnitModel::WallClock::now());
            })) {
            break;
        }
    }
    return model.state();
}

bool confirmed(std::istream& in, std::ostream& out, const std::string& question) {
    out << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(in, answer)) {
        out << '\n';
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

// Asks `question` with console.asking set, so that an interrupt while the answer is
// awaited ends the program at once. An interrupt that came just before counts as a no.
bool confirmedOnConsole(std::istream& in, std::ostream& out, const std::string& question,
                        const Console& console, const std::atomic<bool>& stop) {
    if (console.asking != nullptr) {
        *console.asking = true;
    }
    const bool yes = !stop && confirmed(in, out, question);
    if (console.asking != nullptr) {
        *console.asking = false;
    }
    return yes && !stop;
}

std::string seconds(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0);
    return text;
}

// "step 63 of 64, KT (skew adjustments)" for the step at `index`.
std::string stepAt(const std::vector<UpdateStep>& steps, int index) {
    return "step " + std::to_string(index + 1) + " of " + std::to_string(steps.size()) + ", " +
           describeUpdateStep(steps[static_cast<std::size_t>(index)]);
}

void printSummary(const std::vector<UpdateStep>& steps, const UpdateOutcome& outcome, int ms,
                  bool lost, const std::string& port, std::ostream& out) {
    const int missing = static_cast<int>(outcome.missing.size());
    const int total = static_cast<int>(steps.size());
    out << outcome.awaited - missing << " of " << outcome.awaited << " awaited steps answered";
    if (missing > 0) {
        out << "; no reply to:";
        for (std::size_t k = 0; k < outcome.missing.size(); ++k) {
            out << (k == 0 ? " " : ", ")
                << describeUpdateStep(steps[static_cast<std::size_t>(outcome.missing[k])]);
        }
    }
    out << ". " << outcome.sent << " of " << total << " steps sent in " << seconds(ms) << ".\n";
    if (outcome.writeFailed) {
        out << (lost ? port + " hung up: " : "Writing to " + port + " failed: ")
            << stepAt(steps, outcome.sent) << ", could not be sent.\n";
    } else if (lost) {
        out << port << " hung up after step " << outcome.sent << " of " << total << ".\n";
    } else if (outcome.stopped) {
        out << "Stopped after step " << outcome.sent << " of " << total << ".\n";
    }
    if (outcome.stopped) {
        if (outcome.sent > 0) {
            out << "Last sent: " << stepAt(steps, outcome.sent - 1) << ". ";
        }
        out << "Not sent: " << total - outcome.sent << " of " << total << " steps, from "
            << describeUpdateStep(steps[static_cast<std::size_t>(outcome.sent)]) << " on.\n";
    }
    if (missing > 0 || outcome.stopped) {
        out << "The unit may not hold the whole default set: check the connection and run "
               "write-default again.\n";
    }
}

}  // namespace

int runStatus(const Args& args, std::ostream& out, std::ostream& err,
              const std::atomic<bool>& stop) {
    Args rest = args;
    bool missing = false;
    const std::optional<std::string> port = takeOption(rest, "--port", &missing);
    if (missing || (port && port->empty())) {
        err << "status: --port takes a COM name or a device path\n";
        return ExitUsage;
    }
    const std::optional<std::string> waitText = takeOption(rest, "--wait", &missing);
    if (missing || (waitText && !parseIntInRange(*waitText, 1, MaxStatusWaitMs))) {
        err << "status: --wait takes milliseconds, 1 to " << MaxStatusWaitMs << '\n';
        return ExitUsage;
    }
    const int waitMs =
        waitText ? *parseIntInRange(*waitText, 1, MaxStatusWaitMs) : DefaultStatusWaitMs;
    bool json = false;
    for (const std::string& a : rest) {
        if (a == "--json") {
            json = true;
        } else {
            err << "status: unexpected argument \"" << a << "\"\n";
            return ExitUsage;
        }
    }
    UnitLine line;
    if (!line.open(port.value_or(DefaultUnitPort), "status", err)) {
        return ExitUnit;
    }
    unit::UnitModel model;
    const unit::UnitState& picture = model.state();
    line.send(cmd::QS, nullptr);
    line.send(cmd::QI, nullptr);
    const Clock::time_point start = Clock::now();
    Clock::time_point lastFrame = start;
    bool hungUp = false;
    while (!stop && elapsedMs(start) < waitMs && !picture.complete() &&
           !(picture.answered && elapsedMs(lastFrame) >= QuietMs)) {
        if (!line.readOnce([&](CommandId id, const std::int32_t* p) {
                model.takeFrame(id, p, unit::UnitModel::WallClock::now());
                lastFrame = Clock::now();
            })) {
            hungUp = true;
            break;
        }
    }
    const char* gap = hungUp                       ? "the line hung up"
                      : stop                       ? "interrupted"
                      : elapsedMs(start) >= waitMs ? "the wait ran out"
                                                   : "the unit fell quiet";
    if (json) {
        printJson(picture, line.name(), out);
    } else if (picture.answered) {
        printText(picture, out);
        if (!picture.complete()) {
            out << "incomplete: " << gap << " before the whole picture had come\n";
        }
    }
    if (!picture.answered) {
        err << "status: the unit on " << line.name() << (hungUp ? " hung up" : " did not answer")
            << "\n";
        return ExitUnit;
    }
    if (!picture.complete()) {
        if (json) {
            err << "status: the picture from " << line.name() << " is incomplete: " << gap << "\n";
        }
        return ExitUnit;
    }
    return ExitOk;
}

int runWriteDefault(const Args& args, std::istream& in, std::ostream& out, std::ostream& err,
                    const Console& console, const std::atomic<bool>& stop) {
    const bool terminal = console.outputIsTerminal;
    Args rest = args;
    bool missing = false;
    const std::optional<std::string> port = takeOption(rest, "--port", &missing);
    if (missing || (port && port->empty())) {
        err << "write-default: --port takes a COM name or a device path\n";
        return ExitUsage;
    }
    const std::optional<std::string> sizeText = takeOption(rest, "--size", &missing);
    const std::optional<int> chosenSize = sizeText ? parseSize(*sizeText) : std::nullopt;
    if (missing || (sizeText && !chosenSize)) {
        err << "write-default: --size takes 0 to 6 or T4, T6, T3, T1, T9, T2, T6R\n";
        return ExitUsage;
    }
    bool yes = false;
    std::vector<std::string> files;
    for (const std::string& a : rest) {
        if (a == "--yes") {
            yes = true;
        } else if (a.starts_with("--")) {
            err << "write-default: unknown option \"" << a << "\"\n";
            return ExitUsage;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 1) {
        err << "write-default: give one default-set file (write-default FILE [--port NAME] "
               "[--size N] [--yes])\n";
        return ExitUsage;
    }
    if (!yes && !console.inputIsTerminal) {
        err << "write-default: add --yes to write without being asked\n";
        return ExitUsage;
    }
    DefaultSet set;
    const RifReadResult read = readRifFile(files[0], set);
    if (!read.ok()) {
        err << "write-default: " << files[0] << ": " << refusalReason(read) << "\n";
        return ExitUsage;
    }
    for (const std::string& note : read.notes) {
        out << "note: " << note << "\n";
    }

    UnitLine line;
    if (!line.open(port.value_or(DefaultUnitPort), "write-default", err)) {
        return ExitUnit;
    }
    const unit::UnitState unit = askStatus(line, stop);
    if (!unit.state) {
        err << "write-default: the unit on " << line.name() << " did not answer\n";
        return ExitUnit;
    }
    if (*unit.state != StateSetup) {
        err << "write-default: the unit is in " << antennaStateName(*unit.state)
            << " mode, not set-up mode; put it in set-up mode first (Setup in the controller, "
               "or kelvandor-cli send --port "
            << line.name() << " OS)\n";
        return ExitUnit;
    }
    const std::optional<int> size = chosenSize ? chosenSize : unit.productSize();
    if (!size) {
        err << "write-default: the unit did not report its product size; give it with --size\n";
        return ExitUnit;
    }
    if (*size < 0 || *size >= ProductSizeCount) {
        err << "write-default: the unit reports a product size (" << *size
            << ") the default set has no profile for; give one with --size\n";
        return ExitUnit;
    }
    const std::string what = "default set \"" + files[0] + "\" (" + set.regionName +
                             ", product size " + sizeName(*size) + ") into the unit on " +
                             line.name();
    if (!yes && !confirmedOnConsole(in, out, "Write " + what + "?", console, stop)) {
        out << "Nothing was sent.\n";
        return stop ? ExitInterrupted : ExitFailed;
    }
    if (stop) {
        out << "Interrupted. Nothing was sent.\n";
        return ExitInterrupted;
    }
    out << "Writing " << what << "\n";

    const std::vector<UpdateStep> steps =
        buildUpdateSteps(set, set.productProfiles[static_cast<std::size_t>(*size)]);
    CliUpdateLine updateLine(line, out, terminal, stop, static_cast<int>(steps.size()));
    const Clock::time_point start = Clock::now();
    const UpdateOutcome outcome = runUpdateSteps(steps, updateLine);
    if (terminal) {
        out << '\n';
    }
    printSummary(steps, outcome, elapsedMs(start), updateLine.lineLost(), line.name(), out);
    if (outcome.missing.empty() && !outcome.stopped) {
        return ExitOk;
    }
    return outcome.sent == 0 ? ExitUnit : ExitFailed;
}

}  // namespace kelvandor::cli
