// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_command_line.h"

#include <charconv>
#include <limits>

#include "sim/tcp_listener.h"

namespace kelvandor::sim {

namespace {

constexpr int MaxComNumber = 255;
constexpr int MaxDelayMs = 24 * 60 * 60 * 1000;
constexpr int MinBaud = 300;
constexpr int MaxBaud = 4000000;
constexpr int MinStatusPeriodMs = 10;
constexpr int MaxStatusPeriodMs = 60000;
constexpr int MaxPatternRows = 1000000;
constexpr int MinPatternPeriodMs = 10;

std::optional<int> numberIn(const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || ptr != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// Ten comma-separated result codes, one per diagnosis item ("2,2,2,2,2,1,2,2,2,3").
std::optional<DiagnosisResults> diagnosisResultsIn(const std::string& text) {
    DiagnosisResults results{};
    std::size_t start = 0;
    for (std::size_t k = 0; k < results.size(); ++k) {
        const std::size_t comma = text.find(',', start);
        const bool last = k + 1 == results.size();
        if (last != (comma == std::string::npos)) {
            return std::nullopt;
        }
        const std::optional<int> value = numberIn(
            text.substr(start, last ? std::string::npos : comma - start),
            std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
        if (!value) {
            return std::nullopt;
        }
        results[k] = *value;
        start = comma + 1;
    }
    return results;
}

struct FaultOption {
    const char* option;
    Fault fault;
};

constexpr FaultOption FaultOptions[] = {
    {"--drop-replies", Fault::DropReplies},
    {"--corrupt-checksums", Fault::CorruptChecksums},
    {"--split-frames", Fault::SplitFrames},
    {"--garbage", Fault::GarbageBursts},
    {"--silent", Fault::Silent},
    {"--flood", Fault::FloodUnpaced},
};

}  // namespace

const char* const SimUsage =
    "usage: kelvandor-sim [OPTION...]\n"
    "\n"
    "A simulated antenna control unit on a pseudo-terminal. It links the pty as COM2 in\n"
    "the port directory ($KELVANDOR_PORT_DIR, else ~/.config/kelvandor/ports), so the\n"
    "controller and kelvandor-cli find it as COM2, and removes the link when it ends\n"
    "(Ctrl-C or SIGTERM).\n"
    "\n"
    "Line:\n"
    "  --com N                link the pty as COMN instead of COM2 (1..255)\n"
    "  --port-dir DIR         link in DIR instead of the port directory\n"
    "  --no-link              make no link; use the pty path (see --print-path)\n"
    "  --replace-link         replace a COMN link even if it points to a device that\n"
    "                         exists (a dangling link is always replaced)\n"
    "  --print-path           print the pty path on standard output\n"
    "  --listen [HOST:]PORT   also serve the unit over raw TCP, as a serial server's raw\n"
    "                         port does (HOST 127.0.0.1 unless given; [::] or 0.0.0.0\n"
    "                         for every interface; port 0 picks a free one). One client\n"
    "                         at a time: a new client replaces the old. With --no-link,\n"
    "                         the network is the only way in\n"
    "  --baud N               pace output as a line of N baud would (default 19200)\n"
    "  --verbose              print one line per frame received (<- QS) and sent (-> NA 2)\n"
    "\n"
    "Unit:\n"
    "  --no-premium           the product name lacks \"PREMIUM\" (no skew controls)\n"
    "  --quiet                no unasked reports (Ni, TC 11, TC 80)\n"
    "  --status-period MS     send Ni every MS milliseconds (10..60000), busy or idle\n"
    "                         (default: about once a second while idle)\n"
    "  --pattern-rows N       stream the tracking pattern: records of TC 0 (the controller\n"
    "                         empties pattern.tab) and N PT rows, one record after another\n"
    "  --pattern-period MS    with --pattern-rows: MS between rows (default 500)\n"
    "  --diagnosis R1,...,R10 report these results for diagnosis items 101..110\n"
    "                         (1, 2, 3 or any other code; default all 2, item 110 3)\n"
    "  --no-diagnosis-answer  take QD but never answer it\n"
    "\n"
    "Faults:\n"
    "  --drop-replies         never answer a command (unasked reports still come)\n"
    "  --corrupt-checksums    send every frame with a wrong checksum\n"
    "  --split-frames         send frames in two or three pieces with pauses\n"
    "  --garbage              send a burst of junk bytes before every frame\n"
    "  --echo-delay[=MS]      answer MS late (default 300)\n"
    "  --silent               receive commands but send nothing\n"
    "  --hang-up-after MS     hang the line up MS after start, as a pulled USB adapter\n"
    "  --replug-after MS      with --hang-up-after: plug a new line in MS later\n"
    "  --flood                write output unpaced, as fast as the pty takes it\n"
    "  --control              read fault switches from standard input, one a line:\n"
    "                         FAULT on, FAULT off or all off, FAULT being a fault\n"
    "                         option above without its dashes (garbage, hang-up, echo-delay;\n"
    "                         hang-up off plugs a new line in)\n"
    "\n"
    "  -h, --help             show this text\n"
    "  --version              show the version\n"
    "\n"
    "Exit status: 0 ended by a signal, 1 the pty or its link could not be made,\n"
    "2 wrong command line.\n";

std::optional<SimCommandLine> parseSimCommandLine(const std::vector<std::string>& args,
                                                  std::string& error) {
    SimCommandLine line;
    line.pattern.repeat = true;
    bool patternPeriodGiven = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        // The value of an option that takes one, or nothing (with `error` set).
        const auto value = [&](int low, int high) -> std::optional<int> {
            if (k + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            const std::optional<int> number = numberIn(args[++k], low, high);
            if (!number) {
                error = arg + " takes a number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", not \"" + args[k] + "\"";
            }
            return number;
        };
        bool known = false;
        for (const FaultOption& option : FaultOptions) {
            if (arg == option.option) {
                line.faults.push_back(option.fault);
                known = true;
            }
        }
        if (known) {
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--com") {
            const std::optional<int> n = value(1, MaxComNumber);
            if (!n) {
                return std::nullopt;
            }
            line.comNumber = *n;
        } else if (arg == "--port-dir") {
            if (k + 1 >= args.size() || args[k + 1].empty()) {
                error = "--port-dir needs a directory";
                return std::nullopt;
            }
            line.portDir = args[++k];
        } else if (arg == "--control") {
            line.control = true;
        } else if (arg == "--listen") {
            if (k + 1 >= args.size() || !parseListenAddress(args[k + 1])) {
                error = "--listen takes [HOST:]PORT, PORT from 0 to 65535";
                return std::nullopt;
            }
            line.listen = args[++k];
        } else if (arg == "--no-link") {
            line.link = false;
        } else if (arg == "--replace-link") {
            line.replaceLink = true;
        } else if (arg == "--print-path") {
            line.printPath = true;
        } else if (arg == "--verbose" || arg == "-v") {
            line.verbose = true;
        } else if (arg == "--baud") {
            const std::optional<int> n = value(MinBaud, MaxBaud);
            if (!n) {
                return std::nullopt;
            }
            line.options.baud = *n;
        } else if (arg == "--no-premium") {
            line.options.premium = false;
        } else if (arg == "--quiet") {
            line.options.periodicReports = false;
        } else if (arg == "--status-period") {
            const std::optional<int> n = value(MinStatusPeriodMs, MaxStatusPeriodMs);
            if (!n) {
                return std::nullopt;
            }
            line.options.statusPeriodMs = *n;
        } else if (arg == "--diagnosis") {
            if (k + 1 >= args.size()) {
                error = "--diagnosis needs ten results";
                return std::nullopt;
            }
            line.options.diagnosisResults = diagnosisResultsIn(args[++k]);
            if (!line.options.diagnosisResults) {
                error = "--diagnosis takes ten comma-separated integers, not \"" + args[k] + "\"";
                return std::nullopt;
            }
        } else if (arg == "--no-diagnosis-answer") {
            line.options.answerDiagnosis = false;
        } else if (arg == "--echo-delay" || arg.starts_with("--echo-delay=")) {
            if (arg != "--echo-delay") {
                const std::optional<int> n = numberIn(arg.substr(arg.find('=') + 1), 0, MaxDelayMs);
                if (!n) {
                    error = "--echo-delay=MS takes a number of milliseconds";
                    return std::nullopt;
                }
                line.options.echoDelayMs = *n;
            }
            line.faults.push_back(Fault::EchoDelay);
        } else if (arg == "--pattern-rows") {
            const std::optional<int> n = value(1, MaxPatternRows);
            if (!n) {
                return std::nullopt;
            }
            line.pattern.rows = *n;
        } else if (arg == "--pattern-period") {
            const std::optional<int> n = value(MinPatternPeriodMs, MaxDelayMs);
            if (!n) {
                return std::nullopt;
            }
            line.pattern.periodMs = *n;
            patternPeriodGiven = true;
        } else if (arg == "--hang-up-after") {
            const std::optional<int> n = value(0, MaxDelayMs);
            if (!n) {
                return std::nullopt;
            }
            line.hangUpAfterMs = *n;
        } else if (arg == "--replug-after") {
            const std::optional<int> n = value(0, MaxDelayMs);
            if (!n) {
                return std::nullopt;
            }
            line.replugAfterMs = *n;
        } else {
            error = "unknown option \"" + arg + "\" (see kelvandor-sim --help)";
            return std::nullopt;
        }
    }
    if (patternPeriodGiven && line.pattern.rows == 0) {
        error = "--pattern-period needs --pattern-rows";
        return std::nullopt;
    }
    if (line.replugAfterMs >= 0 && line.hangUpAfterMs < 0) {
        error = "--replug-after needs --hang-up-after";
        return std::nullopt;
    }
    return line;
}

std::optional<FaultSwitch> parseFaultSwitch(const std::string& line, std::string& error) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string::npos) {
            break;
        }
        const std::size_t end = line.find_first_of(" \t\r", start);
        words.push_back(line.substr(start, end == std::string::npos ? end : end - start));
        at = end == std::string::npos ? line.size() : end;
    }
    FaultSwitch change;
    if (words.empty() || words[0].starts_with('#')) {
        return change;
    }
    if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) {
        error = "\"" + line + "\" is not FAULT on, FAULT off or all off";
        return std::nullopt;
    }
    change.on = words[1] == "on";
    if (words[0] == "all") {
        if (change.on) {
            error = "all faults can only be switched off together";
            return std::nullopt;
        }
        for (int k = 0; k < FaultCount; ++k) {
            change.faults.push_back(static_cast<Fault>(k));
        }
        return change;
    }
    for (int k = 0; k < FaultCount; ++k) {
        if (words[0] == faultName(static_cast<Fault>(k))) {
            change.faults.push_back(static_cast<Fault>(k));
            return change;
        }
    }
    error = "no fault is called \"" + words[0] + "\"";
    return std::nullopt;
}

}  // namespace kelvandor::sim
