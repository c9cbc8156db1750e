// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/tcp_listener.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "sim/simulator.h"

namespace kelvandor::sim {

namespace {

constexpr int PollMs = 50;
constexpr int Backlog = 4;
constexpr int HighestPort = 65535;
constexpr std::size_t RelayChunk = 512;

bool isPort(const std::string& text) {
    int number = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, number);
    return !text.empty() && error == std::errc{} && ptr == end && number >= 0 &&
           number <= HighestPort;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
    }
    fd = -1;
}

// Writes all of `bytes` to the non-blocking `fd`, waiting for it while it is full. False
// when `fd` fails.
bool writeAll(int fd, const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::send(fd, bytes + done, count - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t written = ::write(fd, bytes + done, count - done);
            if (written > 0) {
                done += static_cast<std::size_t>(written);
                continue;
            }
            if (written < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
        } else if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, PollMs) < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
    ListenAddress address;
    std::string port = text;
    if (text.starts_with('[')) {
        const std::size_t close = text.find("]:");
        if (close == std::string::npos) {
            return std::nullopt;
        }
        address.host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        address.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (address.host.empty() || !isPort(port)) {
        return std::nullopt;
    }
    address.port = port;
    return address;
}

TcpListener::~TcpListener() {
    dropClient();
    closeFd(listenFd_);
}

bool TcpListener::listen(const ListenAddress& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int status = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &list);
    if (status != 0) {
        error_ = address.host + ": " + ::gai_strerror(status);
        return false;
    }
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        const int fd = ::socket(entry->ai_family, SOCK_STREAM | SOCK_CLOEXEC, entry->ai_protocol);
        if (fd < 0) {
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, entry->ai_addr, entry->ai_addrlen) == 0 && ::listen(fd, Backlog) == 0) {
            sockaddr_storage bound{};
            socklen_t length = sizeof bound;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
            port_ = ntohs(bound.ss_family == AF_INET6
                              ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
            listenFd_ = fd;
            break;
        }
        error_ = std::string("cannot listen on ") + address.host + ":" + address.port + ": " +
                 std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(list);
    return listenFd_ >= 0;
}

bool TcpListener::openLine() {
    const std::string path = unit_.slavePath();
    if (path.empty()) {
        return false;  // the line is hung up
    }
    line_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line_ < 0) {
        return false;
    }
    termios settings{};
    if (::tcgetattr(line_, &settings) == 0) {
        cfmakeraw(&settings);
        ::tcsetattr(line_, TCSANOW, &settings);
    }
    // What the unit sent to the client before is not the new client's.
    ::tcflush(line_, TCIOFLUSH);
    return true;
}

void TcpListener::acceptClient() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    dropClient();  // a new client replaces the old one
    client_ = fd;
    if (!openLine()) {
        dropClient();  // no line to serve: the client is told by the closed connection
    }
}

void TcpListener::dropClient() {
    closeFd(client_);
    closeFd(line_);
}

bool TcpListener::relay(int from, int to) {
    char bytes[RelayChunk];
    const ssize_t got = ::read(from, bytes, sizeof bytes);
    if (got > 0) {
        return writeAll(to, bytes, static_cast<std::size_t>(got));
    }
    return got < 0 && (errno == EAGAIN || errno == EINTR);
}

void TcpListener::run(const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd entries[3] = {{listenFd_, POLLIN, 0}, {client_, POLLIN, 0}, {line_, POLLIN, 0}};
        const int ready = ::poll(entries, 3, PollMs);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (ready <= 0) {
            continue;
        }
        if ((entries[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !relay(client_, line_)) {
            dropClient();
        }
        if (line_ >= 0 && (entries[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
            !relay(line_, client_)) {
            dropClient();  // the unit's line was hung up
        }
        if ((entries[0].revents & POLLIN) != 0) {
            acceptClient();
        }
    }
}

}  // namespace kelvandor::sim
