#include <gtest/gtest.h>

#include <string>

#include "protocol/command_table.h"

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

}  // namespace
}  // namespace kelvandor
