// SPDX-License-Identifier: GPL-3.0-or-later
// The Telnet client of rfc2217:// ports: data and commands kept apart wherever a read
// splits them, 0xFF escaped both ways, every option answered or refused without loops,
// and the line settings sent once the server takes COM-PORT-OPTION.
#include <gtest/gtest.h>

#include <string>

#include "link/telnet_session.h"

namespace kelvandor {
namespace {

using namespace telnet;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int value : values) {
        out.push_back(static_cast<char>(value));
    }
    return out;
}

// What ser2net 4.3 sends on connect, then unit data with one of its modem-state
// notifications inside a frame and an escaped 0xFF.
const std::string ServerOpening = bytes({Iac, Will, OptSuppressGoAhead,
                                         Iac, Do,   OptSuppressGoAhead,
                                         Iac, Will, OptEcho,
                                         Iac, Dont, OptEcho,
                                         Iac, Do,   OptBinary,
                                         Iac, Will, OptBinary,
                                         Iac, Do,   OptComPort});
const std::string ServerData = "{Ni 2 247 1 " + bytes({Iac, Sb, OptComPort, 107, 0, Iac, Se}) +
                               "16860}j" + bytes({Iac, Iac}) + "x" + bytes({Iac, Nop}) +
                               "{TC 11 1}E";
const std::string UnitData = "{Ni 2 247 1 16860}j\xffx{TC 11 1}E";

struct Outcome {
    std::string data;
    std::string answers;
    TelnetSession session;
};

// Feeds `input` in pieces of `piece` bytes (0: whole) after start().
Outcome feed(const std::string& input, std::size_t piece) {
    Outcome outcome;
    std::string opening;
    outcome.session.start(19200, opening);
    const std::size_t step = piece == 0 ? input.size() : piece;
    for (std::size_t at = 0; at < input.size(); at += step) {
        const std::string part = input.substr(at, step);
        outcome.session.receive(part.data(), part.size(), outcome.data, outcome.answers);
    }
    return outcome;
}

TEST(TelnetSession, Ser2netOpeningIsAnsweredAndDataComesOutWhateverTheSplit) {
    const std::string settings =
        bytes({Iac, Sb, OptComPort, SetBaudRate, 0, 0, 0x4B, 0x00, Iac, Se}) +
        bytes({Iac, Sb, OptComPort, SetDataSize, 8, Iac, Se}) +
        bytes({Iac, Sb, OptComPort, SetParity, ParityNone, Iac, Se}) +
        bytes({Iac, Sb, OptComPort, SetStopSize, StopBitsOne, Iac, Se}) +
        bytes({Iac, Sb, OptComPort, SetControl, ControlNoFlow, Iac, Se}) +
        bytes({Iac, Sb, OptComPort, SetControl, ControlDtrOff, Iac, Se}) +
        bytes({Iac, Sb, OptComPort, SetControl, ControlRtsOff, Iac, Se});
    // SGA taken both ways, the server's echo refused; BINARY and COM-PORT-OPTION were
    // asked for by start(), so their DO / WILL need no answer; then the settings.
    const std::string expected =
        bytes({Iac, Do, OptSuppressGoAhead, Iac, Will, OptSuppressGoAhead, Iac, Dont, OptEcho}) +
        settings;
    const std::string input = ServerOpening + ServerData;
    for (std::size_t piece = 0; piece <= 7; ++piece) {
        const Outcome got = feed(input, piece);
        EXPECT_EQ(got.data, UnitData) << "pieces of " << piece;
        EXPECT_EQ(got.answers, expected) << "pieces of " << piece;
        EXPECT_EQ(got.session.comPort(), ComPortState::Accepted);
    }
}

TEST(TelnetSession, StartAsksForComPortAndBinary) {
    TelnetSession session;
    std::string out;
    session.start(19200, out);
    EXPECT_EQ(out, bytes({Iac, Will, OptComPort, Iac, Will, OptBinary, Iac, Do, OptBinary}));
    EXPECT_EQ(session.comPort(), ComPortState::Asked);
    EXPECT_FALSE(session.heardTelnet());
}

TEST(TelnetSession, UnknownOptionsAreRefusedOnceAndRefusalsNeverAnswered) {
    const Outcome got = feed(bytes({Iac, Will, 24, Iac, Do, 31, Iac, Wont, 24, Iac, Dont, 31, Iac,
                                    Dont, OptEcho, Iac, Do, OptEcho}),
                             0);
    EXPECT_EQ(got.answers, bytes({Iac, Dont, 24, Iac, Wont, 31, Iac, Wont, OptEcho}));
    EXPECT_TRUE(got.data.empty());
    EXPECT_TRUE(got.session.heardTelnet());
}

TEST(TelnetSession, ComPortRefusedSendsNoSettings) {
    const Outcome got = feed(bytes({Iac, Dont, OptComPort}), 0);
    EXPECT_EQ(got.session.comPort(), ComPortState::Refused);
    EXPECT_TRUE(got.answers.empty());
}

TEST(TelnetSession, ServerAnswersToTheSettingsAreRecordedWithEscapedBytes) {
    // A baud value with 0xFF bytes arrives doubled inside the subnegotiation.
    const Outcome got =
        feed(bytes({Iac, Sb, OptComPort, 101, 0,          0,   Iac, Iac, Iac, Iac,        Iac, Se,
                    Iac, Sb, OptComPort, 102, 8,          Iac, Se,  Iac, Sb,  OptComPort, 103, 1,
                    Iac, Se, Iac,        Sb,  OptComPort, 104, 1,   Iac, Se}),
             1);
    EXPECT_EQ(got.session.confirmedBaud(), 0xFFFFu);
    EXPECT_EQ(got.session.confirmedDataSize(), 8);
    EXPECT_EQ(got.session.confirmedParity(), 1);
    EXPECT_EQ(got.session.confirmedStopSize(), 1);
    EXPECT_TRUE(got.data.empty());
}

TEST(TelnetSession, OverlongOrBrokenSubnegotiationsAreDroppedAndDataGoesOn) {
    std::string input = bytes({Iac, Sb, OptComPort, 101});
    input += std::string(TelnetSession::MaxSubnegotiation * 2, '\x01');
    input += bytes({Iac, Se}) + "{A}";
    // A subnegotiation broken off by another command: the command still counts.
    input += bytes({Iac, Sb, OptComPort, 101, 0, Iac, Will, 24}) + "{B}";
    const Outcome got = feed(input, 3);
    EXPECT_EQ(got.data, "{A}{B}");
    EXPECT_FALSE(got.session.confirmedBaud());
    EXPECT_EQ(got.answers, bytes({Iac, Dont, 24}));
}

TEST(TelnetSession, EscapeDoublesEveryFf) {
    std::string out;
    const std::string data = "\xff{x}\xff\xff";
    TelnetSession::escape(data.data(), data.size(), out);
    EXPECT_EQ(out, "\xff\xff{x}\xff\xff\xff\xff");
}

}  // namespace
}  // namespace kelvandor
