// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "link/com_port_name.h"

namespace kelvandor {
namespace {

namespace fs = std::filesystem;

class ComPortNames : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvandor-ports-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        naming.portDir = dir.string();
        naming.fallbackPrefix = "/dev/ttyS";
        std::ofstream(dir / "device").put('x');
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    ComPortNaming naming;
};

TEST_F(ComPortNames, ComNamesUseThePortDirectoryThenTheFallback) {
    fs::create_symlink(dir / "device", dir / "COM2");
    fs::create_symlink(dir / "gone", dir / "COM3");  // dangling: its device was unplugged
    std::ofstream(dir / "COM12").put('x');           // a plain entry counts as well

    EXPECT_EQ(resolveComPort("COM2", naming), (dir / "COM2").string());
    EXPECT_EQ(resolveComPort("COM3", naming), "/dev/ttyS2");
    EXPECT_EQ(resolveComPort("COM12", naming), (dir / "COM12").string());
    EXPECT_EQ(resolveComPort("COM1", naming), "/dev/ttyS0");
    EXPECT_EQ(resolveComPort("COM9", naming), "/dev/ttyS8");

    // An entry may hold the URL of a network port, as an editor saves it: with a UTF-8
    // byte-order mark and a CRLF line end.
    std::ofstream(dir / "COM4") << "\xEF\xBB\xBF rfc2217://mast.local:2001\r\n";
    EXPECT_EQ(resolveComPort("COM4", naming), "rfc2217://mast.local:2001");

    naming.portDir.clear();
    EXPECT_EQ(resolveComPort("COM2", naming), "/dev/ttyS1");
}

TEST_F(ComPortNames, LinksOnlyNamingNeverReachesPlatformDevices) {
    fs::create_symlink(dir / "device", dir / "COM2");
    const ComPortNaming privateNaming = ComPortNaming::linksOnlyIn(dir.string());
    EXPECT_EQ(resolveComPort("COM2", privateNaming), (dir / "COM2").string());
    for (const char* name : {"COM1", "COM3", "COM9"}) {
        const std::string path = resolveComPort(name, privateNaming);
        EXPECT_EQ(path.rfind(dir.string() + "/", 0), 0U) << path;
        EXPECT_FALSE(fs::exists(path)) << path;
    }
}

TEST_F(ComPortNames, OtherNamesAreDevicePathsAsTheyStand) {
    fs::create_symlink(dir / "device", dir / "COM0");
    for (const char* name :
         {"COM0", "COM", "COM02", "COM-1", "COM2x", "com2", "/dev/ttyUSB0", "COM99999999999", ""}) {
        EXPECT_EQ(resolveComPort(name, naming), name);
    }
}

TEST(ComPortNaming, EnvironmentChoosesThePortDirectory) {
    const char* savedDir = std::getenv("KELVANDOR_PORT_DIR");
    const std::string saved = savedDir != nullptr ? savedDir : "";
    const char* savedHome = std::getenv("HOME");
    const std::string home = savedHome != nullptr ? savedHome : "";

    ::setenv("KELVANDOR_PORT_DIR", "/srv/ports", 1);
    EXPECT_EQ(ComPortNaming::fromEnvironment().portDir, "/srv/ports");
    EXPECT_EQ(ComPortNaming::fromEnvironment().fallbackPrefix, "/dev/ttyS");

    ::setenv("KELVANDOR_PORT_DIR", "", 1);
    ::setenv("HOME", "/home/tech", 1);
    EXPECT_EQ(ComPortNaming::fromEnvironment().portDir, "/home/tech/.config/kelvandor/ports");
    ::unsetenv("KELVANDOR_PORT_DIR");
    EXPECT_EQ(ComPortNaming::fromEnvironment().portDir, "/home/tech/.config/kelvandor/ports");

    if (savedDir != nullptr) {
        ::setenv("KELVANDOR_PORT_DIR", saved.c_str(), 1);
    }
    if (savedHome != nullptr) {
        ::setenv("HOME", home.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

}  // namespace
}  // namespace kelvandor
