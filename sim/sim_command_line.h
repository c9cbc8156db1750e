// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of kelvandor-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace kelvandor::sim {

inline constexpr int DefaultComNumber = 2;

struct SimCommandLine {
    SimOptions options;
    int comNumber = DefaultComNumber;
    std::string portDir;  // empty: $KELVANDOR_PORT_DIR, else ~/.config/kelvandor/ports
    bool link = true;
    bool replaceLink = false;
    bool printPath = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
    std::vector<Fault> faults;  // switched on at start
    int hangUpAfterMs = -1;     // hang the line up this long after start (-1: never)
    int replugAfterMs = -1;     // plug it in again this long after the hang-up (-1: never)
    PatternStream pattern;      // streamed from the start when it has rows
    bool control = false;       // fault switches come on standard input
    std::string listen;         // --listen [HOST:]PORT: also serve over raw TCP; empty: not
};

// One line of the control input: "FAULT on", "FAULT off" (FAULT as faultName spells it:
// "garbage", "hang-up", ...) or "all off". Blank lines and lines starting with "#" switch
// nothing.
struct FaultSwitch {
    std::vector<Fault> faults;  // empty for a line that switches nothing
    bool on = false;
};

// The --help text, documenting every option.
extern const char* const SimUsage;

// Parses the arguments after the program name. Returns nothing and sets `error` to one
// line when the command line is wrong.
std::optional<SimCommandLine> parseSimCommandLine(const std::vector<std::string>& args,
                                                  std::string& error);

// Parses one line of the control input. Returns nothing and sets `error` to one line when
// the line is not understood.
std::optional<FaultSwitch> parseFaultSwitch(const std::string& line, std::string& error);

}  // namespace kelvandor::sim
