// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/cli_codec.h"

namespace kelvandor::cli {
namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result encode(const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runEncode(args, out, err);
    return {status, out.str(), err.str()};
}

Result decode(const std::string& input, const Args& args = {}) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = runDecode(args, in, out, err);
    return {status, out.str(), err.str()};
}

TEST(CliEncode, WritesExactlyTheFrame) {
    EXPECT_EQ(encode({"QV"}).out, "{QV}\x22");
    EXPECT_EQ(encode({"MO", "1234", "-56"}).out, "{MO 1234 -56}:");
    EXPECT_EQ(encode({"NA", "4"}).out, "{NA 4}}");
    const Result r = encode({"SQ", "1"});
    EXPECT_EQ(r.status, ExitOk);
    EXPECT_EQ(r.out, "{SQ 1}0");
    EXPECT_TRUE(r.err.empty());
}

TEST(CliEncode, RejectsBadCommandLinesWithOneLineAndNoOutput) {
    const Args bad[] = {{},
                        {"XX"},
                        {"qv"},
                        {"QVX"},
                        {"MO", "1"},
                        {"MO", "1", "2", "3"},
                        {"QV", "1"},
                        {"NA", "four"},
                        {"NA", "2147483648"},
                        {"NA", "1.5"},
                        {"NA", ""}};
    for (const Args& args : bad) {
        const Result r = encode(args);
        EXPECT_EQ(r.status, ExitUsage) << (args.empty() ? "" : args[0]);
        EXPECT_TRUE(r.out.empty());
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

TEST(CliDecode, PrintsWorkedFramesBack) {
    const std::string input =
        std::string("{QV}\x22") + "{OR}{" + "{SQ 1}0" + "{MO 1234 -56}:" + "{NA 4}}";
    for (const char* chunk : {"1", "2", "7", "64", "239"}) {
        const Result r = decode(input, {"--chunk", chunk});
        EXPECT_EQ(r.status, ExitOk);
        EXPECT_EQ(r.out, "QV\nOR\nSQ 1\nMO 1234 -56\nNA 4\n") << "chunk " << chunk;
    }
}

TEST(CliDecode, MissingSlotsPrintZeroAndErrorsPrintTheirCode) {
    std::string input = "{SG 10 20}";
    input += frameChecksum(input.data(), static_cast<int>(input.size()));
    input += "{QV}\x23";  // bad checksum
    input += "ab}c";      // no "{"
    std::string unknown = "{ZZ}";
    unknown += frameChecksum(unknown.data(), 4);
    input += unknown;
    input += "{QV}\x22";
    const Result r = decode(input);
    EXPECT_EQ(r.out, "SG 10 20 0 0\nerror -4\nerror -3\nerror -7\nQV\n");
}

TEST(CliDecode, RejectsChunkSizesTheBufferCannotTake) {
    for (const char* chunk : {"0", "240", "-1", "x"}) {
        const Result r = decode("{QV}\x22", {"--chunk", chunk});
        EXPECT_EQ(r.status, ExitUsage) << chunk;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(decode("", {"--chunk"}).status, ExitUsage);
    EXPECT_EQ(decode("", {"extra"}).status, ExitUsage);
    EXPECT_EQ(decode("{QV}\x22", {"--chunk=3"}).out, "QV\n");
}

}  // namespace
}  // namespace kelvandor::cli
