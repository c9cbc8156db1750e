// SPDX-License-Identifier: GPL-3.0-or-later
// The vocabulary of the wire protocol: every CommandId with its two-character
// mnemonic and the number of integer parameters that travel with it.
#pragma once

#include <array>
#include <cstdint>

namespace kelvandor {

// Index into CommandTable, 0..78. One id names a command, a report, or both (TR).
using CommandId = int;

struct CommandEntry {
    char first;              // first mnemonic character, case significant
    char second;             // second mnemonic character
    std::int8_t paramCount;  // 32-bit parameters in every frame of this command, 0..13
};

inline constexpr int CommandCount = 79;
inline constexpr int MaxParams = 13;

// Named ids, so that code says cmd::QS rather than 5. Case matters: cmd::SD and
// cmd::Sd are different commands, as are cmd::NI and cmd::Ni.
namespace cmd {
// clang-format off
enum : CommandId {
    OR, OS, LT, ST, QV, QS, QI, QP, QD, QT,  //  0.. 9
    QG, SD, Sd, SG, SK, KO, SL, SP, EI, Eu,  // 10..19
    ET, EU, SA, SC, Sa, FG, SW, SQ, CK, GO,  // 20..29
    MO, MS, FS, FO, FN, AC, NN, NS, NV, Nv,  // 30..39
    NA, Ni, NW, Nn, NG, NL, NP, NI, Nu, NT,  // 40..49
    NU, NR, NC, Np, NF, ND, Nw, VL, NQ, ID,  // 50..59
    PT, AP, TK, NK, AX, SS, SO, SN, TC, ME,  // 60..69
    TR, GB, TS, EN, TL, DL, KT, Sn, SM,      // 70..78
};
// clang-format on
}  // namespace cmd

// clang-format off
inline constexpr std::array<CommandEntry, CommandCount> CommandTable = {{
    {'O','R', 0}, {'O','S', 0}, {'L','T', 2}, {'S','T', 1}, {'Q','V', 0},
    {'Q','S', 0}, {'Q','I', 0}, {'Q','P', 0}, {'Q','D', 1}, {'Q','T', 2},
    {'Q','G', 0}, {'S','D', 0}, {'S','d', 0}, {'S','G', 4}, {'S','K', 0},
    {'K','O', 5}, {'S','L', 2}, {'S','P', 5}, {'E','I', 9}, {'E','u', 9},
    {'E','T',11}, {'E','U',11}, {'S','A', 3}, {'S','C', 7}, {'S','a', 3},
    {'F','G', 3}, {'S','W', 1}, {'S','Q', 1}, {'C','K', 1}, {'G','O', 2},
    {'M','O', 2}, {'M','S', 2}, {'F','S', 2}, {'F','O', 2}, {'F','N', 2},
    {'A','C', 1}, {'N','N', 1}, {'N','S', 1}, {'N','V', 1}, {'N','v', 2},
    {'N','A', 1}, {'N','i', 6}, {'N','W', 3}, {'N','n', 5}, {'N','G', 4},
    {'N','L', 3}, {'N','P', 5}, {'N','I', 9}, {'N','u', 9}, {'N','T',11},
    {'N','U',11}, {'N','R', 3}, {'N','C', 7}, {'N','p', 3}, {'N','F', 3},
    {'N','D', 2}, {'N','w', 2}, {'V','L', 3}, {'N','Q', 1}, {'I','D', 1},
    {'P','T', 7}, {'A','P', 2}, {'T','K', 1}, {'N','K', 3}, {'A','X', 4},
    {'S','S', 1}, {'S','O', 2}, {'S','N', 3}, {'T','C', 2}, {'M','E', 7},
    {'T','R', 1}, {'G','B', 0}, {'T','S', 3}, {'E','N', 3}, {'T','L', 3},
    {'D','L', 1}, {'K','T',13}, {'S','n', 5}, {'S','M', 7},
}};
// clang-format on

namespace detail {
constexpr bool mnemonicsUnique() {
    for (int a = 0; a < CommandCount; ++a) {
        for (int b = a + 1; b < CommandCount; ++b) {
            if (CommandTable[a].first == CommandTable[b].first &&
                CommandTable[a].second == CommandTable[b].second) {
                return false;
            }
        }
    }
    return true;
}
constexpr bool countsInRange() {
    for (const CommandEntry& e : CommandTable) {
        if (e.paramCount < 0 || e.paramCount > MaxParams) {
            return false;
        }
    }
    return true;
}
}  // namespace detail

static_assert(detail::mnemonicsUnique(), "every mnemonic names one command");
static_assert(detail::countsInRange(), "a frame carries 0..13 parameters");
static_assert(CommandTable[cmd::SM].first == 'S' && CommandTable[cmd::SM].second == 'M',
              "named ids follow the table order");
static_assert(CommandTable[cmd::KT].paramCount == MaxParams, "KT carries the most parameters");

// The parameter count of a valid id (0..78). No range test is made.
inline int paramCount(CommandId id) {
    return CommandTable[static_cast<std::size_t>(id)].paramCount;
}

// Looks a mnemonic up in table order. Returns the CommandId, or -1 when no entry has it.
CommandId findCommand(char first, char second);

}  // namespace kelvandor
