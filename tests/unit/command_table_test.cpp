// SPDX-License-Identifier: GPL-3.0-or-later
// The command table: case-sensitive mnemonics, lookups, and every entry against a copy
// typed independently from the protocol's documentation. The codec, the simulator and
// the command-line tool all read the one table, so a wrong mnemonic or parameter count
// there would pass every other test.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "protocol/command_table.h"
#include "protocol/frame_codec.h"

namespace kelvandor {
namespace {

std::string mnemonic(CommandId id) {
    const CommandEntry& e = CommandTable[static_cast<std::size_t>(id)];
    return {e.first, e.second};
}

TEST(CommandTable, CaseDistinguishesCommands) {
    const char* pairs[][2] = {{"SD", "Sd"}, {"NI", "Ni"}, {"NU", "Nu"}, {"NV", "Nv"},
                              {"NW", "Nw"}, {"SA", "Sa"}, {"Np", "NP"}, {"EU", "Eu"}};
    for (const auto& pair : pairs) {
        const CommandId a = findCommand(pair[0][0], pair[0][1]);
        const CommandId b = findCommand(pair[1][0], pair[1][1]);
        ASSERT_GE(a, 0) << pair[0];
        ASSERT_GE(b, 0) << pair[1];
        EXPECT_NE(a, b) << pair[0] << " and " << pair[1];
        EXPECT_EQ(mnemonic(a), pair[0]);
        EXPECT_EQ(mnemonic(b), pair[1]);
    }
}

TEST(CommandTable, ParameterCountsOfLandmarkEntries) {
    EXPECT_EQ(paramCount(cmd::KT), 13);
    for (CommandId id : {cmd::OR, cmd::OS, cmd::QV, cmd::QS, cmd::QI, cmd::QP, cmd::QG, cmd::SD,
                         cmd::Sd, cmd::SK, cmd::GB}) {
        EXPECT_EQ(paramCount(id), 0) << mnemonic(id);
    }
    // The record-carrying commands that the status panel and the pages rely on.
    EXPECT_EQ(paramCount(cmd::EI), 9);
    EXPECT_EQ(paramCount(cmd::NT), 11);
    EXPECT_EQ(paramCount(cmd::Ni), 6);
    EXPECT_EQ(paramCount(cmd::SC), 7);
    EXPECT_EQ(paramCount(cmd::LT), 2);
}

TEST(CommandTable, WorkedIdsAndLookupMisses) {
    EXPECT_EQ(findCommand('O', 'R'), 0);
    EXPECT_EQ(findCommand('Q', 'V'), 4);
    EXPECT_EQ(findCommand('S', 'Q'), 27);
    EXPECT_EQ(findCommand('M', 'O'), 30);
    EXPECT_EQ(findCommand('N', 'A'), 40);
    EXPECT_EQ(findCommand('T', 'R'), 70);
    EXPECT_EQ(findCommand('S', 'M'), 78);
    EXPECT_EQ(findCommand('Z', 'Z'), -1);
    EXPECT_EQ(findCommand('q', 'v'), -1);
    EXPECT_EQ(findCommand('\0', '\0'), -1);
}

struct Row {
    int id;
    const char* mnemonic;
    int params;
};

// clang-format off
constexpr std::array<Row, 79> Documented = {{
    { 0, "OR",  0}, { 1, "OS",  0}, { 2, "LT",  2}, { 3, "ST",  1}, { 4, "QV",  0},
    { 5, "QS",  0}, { 6, "QI",  0}, { 7, "QP",  0}, { 8, "QD",  1}, { 9, "QT",  2},
    {10, "QG",  0}, {11, "SD",  0}, {12, "Sd",  0}, {13, "SG",  4}, {14, "SK",  0},
    {15, "KO",  5}, {16, "SL",  2}, {17, "SP",  5}, {18, "EI",  9}, {19, "Eu",  9},
    {20, "ET", 11}, {21, "EU", 11}, {22, "SA",  3}, {23, "SC",  7}, {24, "Sa",  3},
    {25, "FG",  3}, {26, "SW",  1}, {27, "SQ",  1}, {28, "CK",  1}, {29, "GO",  2},
    {30, "MO",  2}, {31, "MS",  2}, {32, "FS",  2}, {33, "FO",  2}, {34, "FN",  2},
    {35, "AC",  1}, {36, "NN",  1}, {37, "NS",  1}, {38, "NV",  1}, {39, "Nv",  2},
    {40, "NA",  1}, {41, "Ni",  6}, {42, "NW",  3}, {43, "Nn",  5}, {44, "NG",  4},
    {45, "NL",  3}, {46, "NP",  5}, {47, "NI",  9}, {48, "Nu",  9}, {49, "NT", 11},
    {50, "NU", 11}, {51, "NR",  3}, {52, "NC",  7}, {53, "Np",  3}, {54, "NF",  3},
    {55, "ND",  2}, {56, "Nw",  2}, {57, "VL",  3}, {58, "NQ",  1}, {59, "ID",  1},
    {60, "PT",  7}, {61, "AP",  2}, {62, "TK",  1}, {63, "NK",  3}, {64, "AX",  4},
    {65, "SS",  1}, {66, "SO",  2}, {67, "SN",  3}, {68, "TC",  2}, {69, "ME",  7},
    {70, "TR",  1}, {71, "GB",  0}, {72, "TS",  3}, {73, "EN",  3}, {74, "TL",  3},
    {75, "DL",  1}, {76, "KT", 13}, {77, "Sn",  5}, {78, "SM",  7},
}};
// clang-format on

TEST(CommandTable, EveryEntryMatchesTheDocumentedTable) {
    ASSERT_EQ(CommandCount, static_cast<int>(Documented.size()));
    for (std::size_t k = 0; k < Documented.size(); ++k) {
        const Row& row = Documented[k];
        SCOPED_TRACE(std::string(row.mnemonic) + " (" + std::to_string(row.id) + ")");
        ASSERT_EQ(row.id, static_cast<int>(k)) << "the typed copy is out of order";
        const CommandEntry& entry = CommandTable[k];
        EXPECT_EQ(std::string({entry.first, entry.second}), row.mnemonic);
        EXPECT_EQ(paramCount(row.id), row.params);
        EXPECT_EQ(findCommand(row.mnemonic[0], row.mnemonic[1]), row.id);
    }
}

TEST(CommandTable, EveryFrameCarriesItsDocumentedParameterCount) {
    std::int32_t params[MaxParams];
    for (int k = 0; k < MaxParams; ++k) {
        params[k] = 100 + k;
    }
    for (const Row& row : Documented) {
        SCOPED_TRACE(row.mnemonic);
        char frame[FrameAreaSize];
        const int length = encodeFrame(frame, row.id, params);
        ASSERT_GT(length, 0);
        // "{XX p0 p1 ...}c": the mnemonic, then one blank before each parameter.
        const std::string text(frame, static_cast<std::size_t>(length));
        EXPECT_EQ(text.substr(1, 2), row.mnemonic);
        int blanks = 0;
        for (const char c : text.substr(0, text.size() - 1)) {
            blanks += c == ' ' ? 1 : 0;
        }
        EXPECT_EQ(blanks, row.params) << text;
    }
}

}  // namespace
}  // namespace kelvandor
