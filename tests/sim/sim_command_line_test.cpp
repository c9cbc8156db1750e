// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "sim/sim_command_line.h"

namespace kelvandor::sim {
namespace {

std::optional<SimCommandLine> parse(const std::vector<std::string>& args,
                                    std::string* why = nullptr) {
    std::string error;
    std::optional<SimCommandLine> line = parseSimCommandLine(args, error);
    if (why != nullptr) {
        *why = error;
    }
    return line;
}

TEST(SimCommandLine, DefaultsLinkCom2AtTheLineRate) {
    const auto line = parse({});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->comNumber, 2);
    EXPECT_TRUE(line->link);
    EXPECT_TRUE(line->options.premium);
    EXPECT_TRUE(line->options.periodicReports);
    EXPECT_TRUE(line->options.paced);
    EXPECT_EQ(line->options.baud, 19200);
    EXPECT_TRUE(line->faults.empty());
}

TEST(SimCommandLine, EveryOptionIsTakenAndDocumented) {
    const auto line = parse({"--com",
                             "7",
                             "--port-dir",
                             "/tmp/p",
                             "--no-link",
                             "--replace-link",
                             "--print-path",
                             "--verbose",
                             "--baud",
                             "9600",
                             "--no-premium",
                             "--quiet",
                             "--drop-replies",
                             "--corrupt-checksums",
                             "--split-frames",
                             "--garbage",
                             "--echo-delay=750",
                             "--silent",
                             "--flood",
                             "--hang-up-after",
                             "2000",
                             "--replug-after",
                             "1500",
                             "--control"});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->comNumber, 7);
    EXPECT_EQ(line->portDir, "/tmp/p");
    EXPECT_FALSE(line->link);
    EXPECT_TRUE(line->replaceLink && line->printPath && line->verbose);
    EXPECT_EQ(line->options.baud, 9600);
    EXPECT_FALSE(line->options.premium);
    EXPECT_FALSE(line->options.periodicReports);
    EXPECT_EQ(line->options.echoDelayMs, 750);
    EXPECT_EQ(line->faults.size(), 7U);
    EXPECT_EQ(line->hangUpAfterMs, 2000);
    EXPECT_EQ(line->replugAfterMs, 1500);
    EXPECT_TRUE(line->control);
    EXPECT_NE(std::string(SimUsage).find("--control"), std::string::npos);

    for (const char* option :
         {"--com", "--port-dir", "--no-link", "--replace-link", "--print-path", "--verbose",
          "--baud", "--no-premium", "--quiet", "--drop-replies", "--corrupt-checksums",
          "--split-frames", "--garbage", "--echo-delay", "--silent", "--flood", "--hang-up-after",
          "--replug-after", "--help"}) {
        EXPECT_NE(std::string(SimUsage).find(option), std::string::npos) << option;
    }
}

TEST(SimCommandLine, WrongCommandLinesSayWhatIsWrong) {
    const std::vector<std::vector<std::string>> bad = {
        {"--com"},        {"--com", "0"},        {"--com", "x"},
        {"--baud", "12"}, {"--echo-delay=soon"}, {"--replug-after", "10"},
        {"--frobnicate"}, {"--port-dir"},        {"--hang-up-after", "-5"}};
    for (const auto& args : bad) {
        std::string why;
        EXPECT_FALSE(parse(args, &why)) << args[0];
        EXPECT_FALSE(why.empty()) << args[0];
    }
}

TEST(SimCommandLine, DiagnosisResultsAndSilence) {
    const auto line = parse({"--diagnosis", "1,2,3,0,7,-1,2,2,3,1", "--no-diagnosis-answer"});
    ASSERT_TRUE(line);
    ASSERT_TRUE(line->options.diagnosisResults);
    EXPECT_EQ(*line->options.diagnosisResults, (DiagnosisResults{1, 2, 3, 0, 7, -1, 2, 2, 3, 1}));
    EXPECT_FALSE(line->options.answerDiagnosis);
    const auto defaults = parse({});
    ASSERT_TRUE(defaults);
    EXPECT_FALSE(defaults->options.diagnosisResults);
    EXPECT_TRUE(defaults->options.answerDiagnosis);
    for (const char* option : {"--diagnosis", "--no-diagnosis-answer"}) {
        EXPECT_NE(std::string(SimUsage).find(option), std::string::npos) << option;
    }

    for (const char* list : {"1,2,3", "1,2,3,4,5,6,7,8,9,10,11", "1,2,3,4,5,6,7,8,9,10,",
                             "1,,3,4,5,6,7,8,9,10", "a,2,3,4,5,6,7,8,9,10", ""}) {
        std::string why;
        EXPECT_FALSE(parse({"--diagnosis", list}, &why)) << list;
        EXPECT_FALSE(why.empty()) << list;
    }
    EXPECT_FALSE(parse({"--diagnosis"}));
}

TEST(SimCommandLine, ControlLinesSwitchFaultsByTheirOptionNames) {
    struct Case {
        const char* line;
        std::vector<Fault> faults;
        bool on;
    };
    const Case good[] = {
        {"garbage on", {Fault::GarbageBursts}, true},
        {"  hang-up\toff\r", {Fault::HangUp}, false},
        {"echo-delay on", {Fault::EchoDelay}, true},
        {"flood off", {Fault::FloodUnpaced}, false},
        {"", {}, false},
        {"# a comment on", {}, false},
    };
    for (const Case& c : good) {
        SCOPED_TRACE(c.line);
        std::string why;
        const auto change = parseFaultSwitch(c.line, why);
        ASSERT_TRUE(change) << why;
        EXPECT_EQ(change->faults, c.faults);
        EXPECT_EQ(change->on, c.on);
    }
    std::string why;
    const auto all = parseFaultSwitch("all off", why);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->faults.size(), static_cast<std::size_t>(FaultCount));
    EXPECT_FALSE(all->on);

    for (const char* bad : {"all on", "garbage", "garbage maybe", "garbage on now", "--garbage on",
                            "gremlins on", "Garbage on"}) {
        SCOPED_TRACE(bad);
        std::string error;
        EXPECT_FALSE(parseFaultSwitch(bad, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace kelvandor::sim
