// SPDX-License-Identifier: GPL-3.0-or-later
// SerialPort with failures injected through its system-call seam: interrupted and
// refused calls, a device that vanishes, and the errno of a failed open.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "support/pty_pair.h"

namespace kelvandor {
namespace {

using testing::PtyPair;
using Clock = std::chrono::steady_clock;

constexpr int Baud = 19200;

// Real calls, except that each scripted errno makes the next call of that kind fail
// with it (a 0 in a script lets that call through).
class ScriptedCalls : public SystemCalls {
  public:
    std::deque<int> openErrors, closeErrors, readErrors, writeErrors, pollErrors, flockErrors,
        tcsetattrErrors, ioctlErrors;
    std::size_t writeChunk = 0;  // 0: no limit; else at most this many bytes per write
    // Every write fails with EAGAIN for as long as this is set: a device that never takes
    // another byte, however often it is asked.
    bool writesRefused = false;
    int calls = 0;
    std::vector<unsigned long> ioctlRequests;
    std::vector<int> ioctlArguments;

    int open(const char* path, int flags) override {
        ++calls;
        return fails(openErrors) ? -1 : SystemCalls::open(path, flags);
    }
    int close(int fd) override {
        ++calls;
        return fails(closeErrors) ? -1 : SystemCalls::close(fd);
    }
    ssize_t read(int fd, void* buffer, std::size_t count) override {
        ++calls;
        return fails(readErrors) ? -1 : SystemCalls::read(fd, buffer, count);
    }
    ssize_t write(int fd, const void* bytes, std::size_t count) override {
        ++calls;
        if (writesRefused) {
            errno = EAGAIN;
            return -1;
        }
        if (fails(writeErrors)) {
            return -1;
        }
        return SystemCalls::write(fd, bytes, writeChunk == 0 ? count : std::min(count, writeChunk));
    }
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        ++calls;
        return fails(pollErrors) ? -1 : SystemCalls::poll(fds, count, timeoutMs);
    }
    int ioctl(int fd, unsigned long request, void* argument) override {
        ++calls;
        ioctlRequests.push_back(request);
        ioctlArguments.push_back(argument != nullptr ? *static_cast<int*>(argument) : 0);
        return fails(ioctlErrors) ? -1 : SystemCalls::ioctl(fd, request, argument);
    }
    int flock(int fd, int operation) override {
        ++calls;
        return fails(flockErrors) ? -1 : SystemCalls::flock(fd, operation);
    }
    int tcgetattr(int fd, termios* settings) override {
        ++calls;
        return SystemCalls::tcgetattr(fd, settings);
    }
    int tcsetattr(int fd, int when, const termios* settings) override {
        ++calls;
        return fails(tcsetattrErrors) ? -1 : SystemCalls::tcsetattr(fd, when, settings);
    }
    int tcflush(int fd, int queue) override {
        ++calls;
        return SystemCalls::tcflush(fd, queue);
    }

    bool sawIoctl(unsigned long request) const {
        return std::find(ioctlRequests.begin(), ioctlRequests.end(), request) !=
               ioctlRequests.end();
    }

  private:
    static bool fails(std::deque<int>& script) {
        if (script.empty()) {
            return false;
        }
        const int error = script.front();
        script.pop_front();
        if (error == 0) {
            return false;
        }
        errno = error;
        return true;
    }
};

class SerialPortFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        port.setSystemCalls(calls);
    }
    void open(int readTimeoutMs = 1) {
        ASSERT_EQ(port.Open(pty.path().c_str(), Baud, readTimeoutMs), 1);
    }
    std::string readOnce() {
        char buffer[255];
        const int n = port.Read(buffer, sizeof buffer);
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    PtyPair pty;
    ScriptedCalls calls;
    SerialPort port;
};

TEST_F(SerialPortFaults, OpenFailuresAreClassifiedByTheirErrno) {
    struct Case {
        int error;
        OpenFailure expected;
    };
    const Case cases[] = {
        {ENOENT, OpenFailure::Unavailable}, {EBUSY, OpenFailure::Unavailable},
        {ENXIO, OpenFailure::Unavailable},  {ENODEV, OpenFailure::Unavailable},
        {EACCES, OpenFailure::Permission},  {EPERM, OpenFailure::Permission},
    };
    for (const Case& c : cases) {
        calls.openErrors = {c.error};
        EXPECT_EQ(port.Open(pty.path().c_str(), Baud, 1), 0) << c.error;
        EXPECT_EQ(port.lastOpenFailure(), c.expected) << c.error;
        EXPECT_EQ(port.isOpen, 0);
        EXPECT_EQ(port.handle, -1);
    }
}

TEST_F(SerialPortFaults, FailuresAfterTheDeviceOpenedLeaveItClosedAndReopenable) {
    calls.flockErrors = {EWOULDBLOCK};
    EXPECT_EQ(port.Open(pty.path().c_str(), Baud, 1), 0);
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::Unavailable);
    // A port held by someone else must not have its exclusive flag touched.
    EXPECT_FALSE(calls.sawIoctl(TIOCEXCL));
    EXPECT_FALSE(calls.sawIoctl(TIOCNXCL));

    calls.ioctlErrors = {ENOTTY};
    EXPECT_EQ(port.Open(pty.path().c_str(), Baud, 1), 0);
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::Setup);

    calls.tcsetattrErrors = {EIO};
    EXPECT_EQ(port.Open(pty.path().c_str(), Baud, 1), 0);
    EXPECT_EQ(port.lastOpenFailure(), OpenFailure::Setup);
    EXPECT_EQ(port.isOpen, 0);
    EXPECT_EQ(port.handle, -1);

    // Nothing leaked: the lock was released each time, so the port opens now.
    open();
}

TEST_F(SerialPortFaults, DropsDtrAndRtsButToleratesDevicesWithoutModemLines) {
    calls.ioctlErrors = {0, EINVAL};  // TIOCEXCL passes, TIOCMBIC is refused
    open();
    ASSERT_GE(calls.ioctlRequests.size(), 2U);
    EXPECT_EQ(calls.ioctlRequests[1], static_cast<unsigned long>(TIOCMBIC));
    EXPECT_EQ(calls.ioctlArguments[1], TIOCM_DTR | TIOCM_RTS);

    port.Close();
    EXPECT_EQ(calls.ioctlRequests.back(), static_cast<unsigned long>(TIOCNXCL));
}

TEST_F(SerialPortFaults, ClosedPortMakesNoSystemCall) {
    char buffer[16];
    EXPECT_EQ(port.Write("{QV}\"", 5), 0);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(port.Purge(), 0);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(calls.calls, 0);
}

TEST_F(SerialPortFaults, InterruptedCallsAreRetried) {
    open(1000);
    ASSERT_TRUE(pty.send("{NA 2}~"));
    calls.pollErrors = {EINTR};
    calls.readErrors = {EINTR, EINTR};
    EXPECT_EQ(readOnce(), "{NA 2}~");
    EXPECT_FALSE(port.lineLost());

    calls.writeErrors = {EINTR, EAGAIN, EINTR};
    calls.writeChunk = 3;
    EXPECT_EQ(port.Write("{MO 1234 -56}:", 14), 1);
    EXPECT_EQ(pty.receive(14, 2000), "{MO 1234 -56}:");
}

TEST_F(SerialPortFaults, ReadOfNothingReadyReturnsZero) {
    open(1000);
    ASSERT_TRUE(pty.send("x"));
    calls.readErrors = {EAGAIN};
    EXPECT_EQ(readOnce(), "");
    EXPECT_FALSE(port.lineLost());
    EXPECT_EQ(readOnce(), "x");
}

TEST_F(SerialPortFaults, InputOutputErrorsMeanTheDeviceHasGone) {
    open(1000);
    ASSERT_TRUE(pty.send("{NA 2}~"));
    calls.readErrors = {EIO};
    EXPECT_EQ(readOnce(), "");
    EXPECT_TRUE(port.lineLost());
    // A lost line stays lost without touching the device again.
    const int before = calls.calls;
    EXPECT_EQ(readOnce(), "");
    EXPECT_EQ(port.Write("{QV}\"", 5), 0);
    EXPECT_EQ(calls.calls, before);

    // Close and Open recover it.
    port.Close();
    open();
    EXPECT_FALSE(port.lineLost());
    calls.writeErrors = {EIO};
    EXPECT_EQ(port.Write("{QV}\"", 5), 0);
    EXPECT_TRUE(port.lineLost());
}

TEST_F(SerialPortFaults, WriteThatIsNeverTakenGivesUpInBoundedTime) {
    open();
    calls.writesRefused = true;
    const auto start = Clock::now();
    EXPECT_EQ(port.Write("{QV}\"", 5), 0);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(took.count(), SerialPort::WriteGiveUpMs - 50) << "gave up before its time";
    EXPECT_LT(took.count(), SerialPort::WriteGiveUpMs * 5);
    EXPECT_FALSE(port.lineLost());
    // A device that takes bytes again is written to as before.
    calls.writesRefused = false;
    EXPECT_EQ(port.Write("{QV}\"", 5), 1);
    EXPECT_EQ(pty.receive(5, 2000), "{QV}\"");
}

}  // namespace
}  // namespace kelvandor
