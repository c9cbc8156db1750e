// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli angles: the line it prints and the command lines it refuses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/cli_angles.h"

namespace kelvandor::cli {
namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result angles(const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runAngles(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(CliAngles, PrintsAzimuthElevationAndSkew) {
    const struct {
        Args args;
        const char* line;
    } cases[] = {
        {{"--sat", "113.0E", "--lon", "126.59E", "--lat", "37.33N"}, "202.30 44.25 17.45\n"},
        {{"--sat", "101.0W", "--lon", "80.15W", "--lat", "25.46N"}, "221.24 52.17 36.29\n"},
        {{"--lat=50.00S", "--sat=19.2E", "--lon=10.00E"}, "11.97 32.23 19.64\n"},
        {{"--sat", "160e", "--lon", "151.12e", "--lat", "33.52s"}, "15.60 49.71 -37.16\n"},
        {{"--sat", "1.2E", "--lon", "1.12E", "--lat", "25.46N"}, "180.00 60.06 -0.00\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const Result r = angles(c.args);
        EXPECT_EQ(r.status, ExitOk);
        EXPECT_EQ(r.out, c.line);
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
}

TEST(CliAngles, RefusesMalformedArgumentsWithOneLine) {
    const Args good = {"--sat", "113.0E", "--lon", "126.59E", "--lat", "37.33N"};
    const auto with = [&good](std::size_t index, const std::string& value) {
        Args a = good;
        a[index] = value;
        return a;
    };
    const struct {
        const char* name;
        Args args;
    } cases[] = {
        {"nothing", {}},
        {"latitude missing", {"--sat", "113.0E", "--lon", "126.59E"}},
        {"option without value", {"--sat", "113.0E", "--lon", "126.59E", "--lat"}},
        {"no hemisphere", with(1, "113.0")},
        {"wrong hemisphere letter", with(3, "126.59N")},
        {"north-south letter for the satellite", with(1, "113.0S")},
        {"sign", with(1, "-113.0E")},
        {"exponent", with(1, "1e2E")},
        {"empty fraction", with(3, "126.E")},
        {"minutes above 59", with(3, "126.60E")},
        {"three minute digits", with(5, "37.335N")},
        {"longitude above 180", with(3, "180.01E")},
        {"latitude above 90", with(5, "90.01N")},
        {"satellite above 180", with(1, "180.5W")},
        {"letters in the number", with(3, "12x.59E")},
        {"nan", with(1, "nanE")},
        {"extra argument",
         [&good] {
             Args a = good;
             a.push_back("now");
             return a;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = angles(c.args);
        EXPECT_EQ(r.status, ExitUsage);
        EXPECT_TRUE(r.out.empty());
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    EXPECT_EQ(angles(with(3, "180.00W")).status, ExitOk);
    EXPECT_EQ(angles(with(5, "90.00S")).status, ExitOk);
    EXPECT_EQ(angles(with(3, "7E")).status, ExitOk);
}

}  // namespace
}  // namespace kelvandor::cli
