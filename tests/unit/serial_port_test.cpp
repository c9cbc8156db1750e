// SPDX-License-Identifier: GPL-3.0-or-later
// SerialPort against real pseudo-terminals: the test holds the master side.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "link/serial_port.h"
#include "support/pty_pair.h"

namespace kelvandor {
namespace {

using testing::PtyPair;
using Clock = std::chrono::steady_clock;

constexpr int Baud = 19200;
// Upper bounds loose enough for a loaded machine; they catch a call that blocks, not
// one that is slow.
constexpr auto Prompt = std::chrono::milliseconds(500);

long long elapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Reads from the port until `want` bytes came or about two seconds passed.
std::string readPort(SerialPort& port, std::size_t want) {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (got.size() < want && Clock::now() < deadline) {
        char chunk[255];
        const int n = port.Read(chunk, sizeof chunk);
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(SerialPort, OpensClosesAndReopens) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    EXPECT_EQ(port.isOpen, 0);
    EXPECT_EQ(port.handle, -1);

    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 1), 1);
    EXPECT_EQ(port.isOpen, 1);
    EXPECT_GE(port.handle, 0);
    EXPECT_EQ(port.lastDevicePath(), pty.path());
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::None);

    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.isOpen, 0);
    EXPECT_EQ(port.handle, -1);

    // Closing released the lock and the exclusive flag: the port opens again.
    EXPECT_EQ(port.Open(pty.path().c_str(), Baud, 1), 1);
}

TEST(SerialPort, AppliesRawEightNoneOneWithoutFlowControl) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 1), 1);

    termios t{};
    ASSERT_EQ(::tcgetattr(pty.guard(), &t), 0);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0U);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK | ISTRIP), 0U);
    EXPECT_EQ(t.c_oflag & OPOST, 0U);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
}

TEST(SerialPort, RefusesMissingDevicesAndUnsupportedRates) {
    SerialPort port;
    EXPECT_EQ(port.Open("/nonexistent/ttyKV0", Baud, 1), 0);
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::Unavailable);
    EXPECT_EQ(port.isOpen, 0);

    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    EXPECT_EQ(port.Open(pty.path().c_str(), 112000, 1), 0);
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::Setup);
    EXPECT_EQ(port.handle, -1);

    // A file that is not a terminal opens but cannot take line settings.
    char file[] = "/tmp/kelvandor-notatty-XXXXXX";
    const int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(port.Open(file, Baud, 1), 0);
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::Setup);
    EXPECT_EQ(port.isOpen, 0);
    ::close(fd);
    ::unlink(file);
}

TEST(SerialPort, HeldPortIsUnavailableToASecondPortAndAnotherProcess) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort first;
    ASSERT_EQ(first.Open(pty.path().c_str(), Baud, 1), 1);

    SerialPort second;
    EXPECT_EQ(second.Open(pty.path().c_str(), Baud, 1), 0);
    EXPECT_EQ(second.lastOpenFailure(), OpenFailure::Unavailable);
    EXPECT_EQ(second.isOpen, 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SerialPort other;
        const int opened = other.Open(pty.path().c_str(), Baud, 1);
        ::_exit(opened == 0 && other.lastOpenFailure() == OpenFailure::Unavailable ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened it";

    // The failed attempts did not disturb the holder.
    ASSERT_EQ(first.Write("{QV}\"", 5), 1);
    EXPECT_EQ(pty.receive(5, 2000), "{QV}\"");

    first.Close();
    EXPECT_EQ(second.Open(pty.path().c_str(), Baud, 1), 1);
}

TEST(SerialPort, OpenWhileOpenChangesNothing) {
    PtyPair pty;
    PtyPair other;
    ASSERT_TRUE(pty.ok() && other.ok());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 1), 1);
    const int handle = port.handle;

    EXPECT_EQ(port.Open(other.path().c_str(), Baud, 1), 0);
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::AlreadyOpen);
    EXPECT_EQ(port.handle, handle);
    EXPECT_EQ(port.isOpen, 1);

    ASSERT_TRUE(pty.send("{NA 4}}"));
    EXPECT_EQ(readPort(port, 7), "{NA 4}}");
    ASSERT_EQ(port.Write("{OR}{", 5), 1);
    EXPECT_EQ(pty.receive(5, 2000), "{OR}{");
}

TEST(SerialPort, ReadWaitsAtMostItsTimeOut) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 1), 1);
    char buffer[255];
    const auto start = Clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    EXPECT_LT(std::chrono::milliseconds(elapsedMs(start)), Prompt);
}

TEST(SerialPort, PurgeDiscardsWhatHasArrived) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 50), 1);
    const std::string stale = "{NA 2}~stale";
    ASSERT_TRUE(pty.send(stale));
    // Every byte must have arrived: a late one would be read after the purge.
    int pending = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (pending < static_cast<int>(stale.size()) && Clock::now() < deadline) {
        ::ioctl(port.handle, FIONREAD, &pending);
    }
    ASSERT_EQ(pending, static_cast<int>(stale.size()));
    EXPECT_EQ(port.Purge(), 1);
    char buffer[255];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
}

TEST(SerialPort, ClosedPortSendsAndReadsNothing) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 1), 1);
    port.Close();
    char buffer[255];
    EXPECT_EQ(port.Write("{QV}\"", 5), 0);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port.Purge(), 0);
    EXPECT_EQ(pty.receive(1, 100), "");
}

TEST(SerialPort, HungUpLineReadsAndWritesZeroWithoutWaiting) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 2000), 1);
    EXPECT_FALSE(port.lineLost());
    pty.closeMaster();

    char buffer[255];
    auto start = Clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    EXPECT_LT(std::chrono::milliseconds(elapsedMs(start)), Prompt);
    EXPECT_TRUE(port.lineLost());

    start = Clock::now();
    EXPECT_EQ(port.Write("{QV}\"", 5), 0);
    EXPECT_LT(std::chrono::milliseconds(elapsedMs(start)), Prompt);
    EXPECT_EQ(port.Close(), 1);
}

TEST(SerialPort, WriteGivesUpWhenTheLineStopsTakingBytes) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path().c_str(), Baud, 1), 1);
    // Nobody reads the master: the pty's queue fills and a Write must give up.
    const std::string frame(160, 'x');
    int accepted = 0;
    constexpr int Limit = 10000;
    auto start = Clock::now();
    while (accepted < Limit && port.Write(frame.data(), static_cast<int>(frame.size())) == 1) {
        ++accepted;
        start = Clock::now();
    }
    EXPECT_LT(accepted, Limit);
    EXPECT_LT(elapsedMs(start), SerialPort::WriteGiveUpMs * 5);
    EXPECT_FALSE(port.lineLost()) << "a full queue is not a lost line";
    // Once the other side reads again the port writes again.
    pty.receive(static_cast<std::size_t>(accepted) * frame.size(), 5000);
    EXPECT_EQ(port.Write("ok", 2), 1);
}

}  // namespace
}  // namespace kelvandor
