// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <optional>

#include "link/network_line.h"
#include "link/network_url.h"

namespace kelvandor {

namespace {

using Clock = std::chrono::steady_clock;

struct BaudRate {
    int baud;
    speed_t speed;
};

// The rates a port can be opened at; any other rate fails Open.
constexpr std::array<BaudRate, 9> BaudRates = {{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
}};

// How often an interrupted read is retried before the Read gives up with 0.
constexpr int MaxInterruptedReads = 8;

std::optional<speed_t> speedFor(int baud) {
    for (const BaudRate& rate : BaudRates) {
        if (rate.baud == baud) {
            return rate.speed;
        }
    }
    return std::nullopt;
}

// Why an open() of the device failed, from its errno.
OpenFailure failureFromOpenErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return OpenFailure::Permission;
        default:
            // ENOENT, ENXIO, ENODEV, EBUSY and the rest: the port cannot be had.
            return OpenFailure::Unavailable;
    }
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

constexpr short HangUpEvents = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

const char* describeOpenFailure(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::None:
            return "";
        case OpenFailure::AlreadyOpen:
            return "the port is already open or being opened";
        case OpenFailure::Unavailable:
            return "it does not exist or another program is using it";
        case OpenFailure::Permission:
            return "permission denied";
        case OpenFailure::Setup:
            return "it refused the serial line settings (is it a serial device?)";
        case OpenFailure::BadAddress:
            return "the address is not tcp://HOST:PORT or rfc2217://HOST:PORT";
        case OpenFailure::UnknownHost:
            return "the host name is unknown";
        case OpenFailure::Refused:
            return "the connection was refused (is the serial server running?)";
        case OpenFailure::NoAnswer:
            return "the host did not answer within 3 seconds";
        case OpenFailure::Closed:
            return "the server closed the connection (is another client connected?)";
        case OpenFailure::NotTelnet:
            return "the server does not speak Telnet (a raw port? use tcp://)";
    }
    return "";
}

SerialPort::SerialPort() : naming_(ComPortNaming::fromEnvironment()) {}

SerialPort::~SerialPort() {
    if (handle >= 0) {
        SerialPort::Close();
    }
}

namespace {

OpenFailure fromNetworkFailure(NetworkFailure failure) {
    switch (failure) {
        case NetworkFailure::BadAddress:
            return OpenFailure::BadAddress;
        case NetworkFailure::UnknownHost:
            return OpenFailure::UnknownHost;
        case NetworkFailure::Refused:
            return OpenFailure::Refused;
        case NetworkFailure::NoAnswer:
            return OpenFailure::NoAnswer;
        case NetworkFailure::Closed:
            return OpenFailure::Closed;
        case NetworkFailure::NotTelnet:
            return OpenFailure::NotTelnet;
        case NetworkFailure::None:
        case NetworkFailure::Failed:
            break;
    }
    return OpenFailure::Unavailable;
}

}  // namespace

int SerialPort::finishNetworkOpen(int readTimeoutMs) {
    opening_ = false;
    if (network_->fd() < 0 || network_->failure() != NetworkFailure::None) {
        const OpenFailure reason = fromNetworkFailure(network_->failure());
        network_.reset();
        return fail(reason);
    }
    handle = network_->fd();
    readTimeoutMs_ = readTimeoutMs;
    const std::optional<ComPortState> comPort = network_->comPort();
    if (comPort && *comPort != ComPortState::Accepted) {
        notice_ =
            "the server did not take the COM-PORT-OPTION: the line keeps the server's "
            "own settings";
    }
    isOpen = 1;
    lineLost_ = false;
    lastFailure_ = OpenFailure::None;
    return 1;
}

SerialPort::OpenProgress SerialPort::beginOpen(const char* name, int baud, int readTimeoutMs) {
    if (handle >= 0 || opening_) {
        fail(OpenFailure::AlreadyOpen);
        return OpenProgress::Done;
    }
    lastDevice_ = resolveComPort(name != nullptr ? name : "", naming_);
    if (!isNetworkUrl(lastDevice_)) {
        Open(name, baud, readTimeoutMs);
        return OpenProgress::Done;
    }
    notice_.clear();
    if (!speedFor(baud) || readTimeoutMs < 0) {
        fail(OpenFailure::Setup);
        return OpenProgress::Done;
    }
    network_ = std::make_unique<NetworkLine>(*sys_);
    opening_ = true;
    pendingReadTimeoutMs_ = readTimeoutMs;
    if (network_->start(lastDevice_, baud) == NetworkLine::Progress::Pending) {
        return OpenProgress::Pending;
    }
    finishNetworkOpen(readTimeoutMs);
    return OpenProgress::Done;
}

SerialPort::OpenProgress SerialPort::continueOpen() {
    if (!opening_ || waiting_) {
        return opening_ ? OpenProgress::Pending : OpenProgress::Done;
    }
    if (network_->advance(0) == NetworkLine::Progress::Pending) {
        return OpenProgress::Pending;
    }
    finishNetworkOpen(pendingReadTimeoutMs_);
    return OpenProgress::Done;
}

int SerialPort::fail(OpenFailure reason) {
    lastFailure_ = reason;
    return 0;
}

int SerialPort::Open(const char* name, int baud, int readTimeoutMs) {
    if (handle >= 0 || opening_) {
        return fail(OpenFailure::AlreadyOpen);
    }
    lastDevice_ = resolveComPort(name != nullptr ? name : "", naming_);
    notice_.clear();
    if (!speedFor(baud) || readTimeoutMs < 0) {
        return fail(OpenFailure::Setup);
    }
    if (isNetworkUrl(lastDevice_)) {
        network_ = std::make_unique<NetworkLine>(*sys_);
        opening_ = true;
        waiting_ = true;
        network_->open(lastDevice_, baud, waitHook_);
        waiting_ = false;
        return finishNetworkOpen(readTimeoutMs);
    }
    const int fd = sys_->open(lastDevice_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(failureFromOpenErrno(errno));
    }
    // The lock comes first: a port that another program holds must not have its
    // exclusive flag touched by this failed attempt.
    if (sys_->flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        sys_->close(fd);
        return fail(error == EWOULDBLOCK ? OpenFailure::Unavailable : OpenFailure::Setup);
    }
    if (sys_->ioctl(fd, TIOCEXCL, nullptr) != 0) {
        const int error = errno;
        sys_->close(fd);
        return fail(error == EBUSY ? OpenFailure::Unavailable : OpenFailure::Setup);
    }
    handle = fd;
    if (applyLineSettings(baud) == 0 || SetTimeouts(readTimeoutMs) == 0) {
        Close();
        return fail(OpenFailure::Setup);
    }
    isOpen = 1;
    lineLost_ = false;
    lastFailure_ = OpenFailure::None;
    return 1;
}

int SerialPort::applyLineSettings(int baud) {
    termios settings{};
    if (sys_->tcgetattr(handle, &settings) != 0) {
        return 0;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK);
    settings.c_cc[VSTART] = 0;
    settings.c_cc[VSTOP] = 0;
    // Reads never wait in the driver: Read waits with poll for at most its time-out.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = *speedFor(baud);
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) {
        return 0;
    }
    if (sys_->tcsetattr(handle, TCSANOW, &settings) != 0) {
        return 0;
    }
    // DTR and RTS are held off. Pseudo-terminals have no modem lines and refuse this;
    // that is not a failure of the port.
    int lines = TIOCM_DTR | TIOCM_RTS;
    sys_->ioctl(handle, TIOCMBIC, &lines);
    return 1;
}

int SerialPort::SetTimeouts(int readTimeoutMs) {
    if (handle < 0 || readTimeoutMs < 0) {
        return 0;
    }
    readTimeoutMs_ = readTimeoutMs;
    return 1;
}

int SerialPort::Purge() {
    if (handle < 0) {
        return 0;
    }
    if (network_) {
        const bool purged = network_->purge();
        if (network_->lost()) {
            markLineLost();
        }
        return purged ? 1 : 0;
    }
    return sys_->tcflush(handle, TCIOFLUSH) == 0 ? 1 : 0;
}

int SerialPort::Close() {
    if (waiting_) {
        // Called from the wait hook of an Open in progress: that Open gives up and cleans up.
        network_->abort();
        return 1;
    }
    opening_ = false;  // an open begun without waiting is given up
    if (network_) {
        network_.reset();
        handle = -1;
        isOpen = 0;
        return 1;
    }
    if (handle >= 0) {
        // The exclusive flag belongs to the tty, not to this descriptor: clear it, or a
        // device that someone else keeps open (the simulator's guard) stays barred.
        sys_->ioctl(handle, TIOCNXCL, nullptr);
        sys_->close(handle);
    }
    handle = -1;
    isOpen = 0;
    return 1;
}

int SerialPort::waitFor(short events, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd entry{handle, events, 0};
        const int ready = sys_->poll(&entry, 1, millisecondsUntil(deadline));
        if (ready > 0) {
            return entry.revents;
        }
        if (ready == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
        if (Clock::now() >= deadline) {
            return 0;
        }
    }
}

int SerialPort::Write(const char* bytes, int length) {
    if (handle < 0 || length < 0 || (bytes == nullptr && length > 0) || lineLost_) {
        return 0;
    }
    if (network_) {
        const bool written = network_->write(bytes, length, WriteGiveUpMs);
        if (network_->lost()) {
            markLineLost();
        }
        return written ? 1 : 0;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(WriteGiveUpMs);
    int done = 0;
    while (done < length) {
        const ssize_t written =
            sys_->write(handle, bytes + done, static_cast<std::size_t>(length - done));
        if (written > 0) {
            done += static_cast<int>(written);
            continue;
        }
        const int error = written < 0 ? errno : EAGAIN;
        if (error == EINTR) {
            if (Clock::now() >= deadline) {
                return 0;
            }
            continue;
        }
        if (error != EAGAIN && error != EWOULDBLOCK) {
            markLineLost();
            return 0;
        }
        const int remaining = millisecondsUntil(deadline);
        if (remaining <= 0) {
            return 0;
        }
        const int revents = waitFor(POLLOUT, remaining);
        if (revents <= 0) {
            return 0;
        }
        if ((revents & POLLOUT) == 0 && (revents & HangUpEvents) != 0) {
            markLineLost();
            return 0;
        }
    }
    return 1;
}

int SerialPort::Read(char* buffer, int maxCount) {
    if (handle < 0 || buffer == nullptr || maxCount <= 0 || lineLost_) {
        return 0;
    }
    if (network_) {
        const int count = network_->read(buffer, maxCount, readTimeoutMs_);
        if (network_->lost()) {
            markLineLost();
        }
        return count;
    }
    const int revents = waitFor(POLLIN, readTimeoutMs_);
    if (revents <= 0) {
        return 0;
    }
    if ((revents & POLLIN) == 0) {
        if ((revents & HangUpEvents) != 0) {
            markLineLost();
        }
        return 0;
    }
    for (int attempt = 0; attempt < MaxInterruptedReads; ++attempt) {
        const ssize_t got = sys_->read(handle, buffer, static_cast<std::size_t>(maxCount));
        if (got > 0) {
            return static_cast<int>(got);
        }
        if (got == 0) {
            // A tty that signalled input but has none has been hung up.
            markLineLost();
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            markLineLost();
        }
        return 0;
    }
    return 0;
}

}  // namespace kelvandor
