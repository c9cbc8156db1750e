// SPDX-License-Identifier: GPL-3.0-or-later
// The seam between SerialPort (and the network line under it) and the operating system. Every
// system call the port makes goes through one SystemCalls object, so a test can derive from it,
// override a call and make it fail with EINTR, EAGAIN or EIO (or anything else) without a real
// device.
//
// Each member behaves exactly like the POSIX function of the same name: it returns what
// that function returns and leaves errno as that function leaves it.
#pragma once

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kelvandor {

class SystemCalls {
  public:
    SystemCalls() = default;
    virtual ~SystemCalls() = default;
    SystemCalls(const SystemCalls&) = delete;
    SystemCalls& operator=(const SystemCalls&) = delete;

    virtual int open(const char* path, int flags);
    virtual int close(int fd);
    virtual ssize_t read(int fd, void* buffer, std::size_t count);
    virtual ssize_t write(int fd, const void* bytes, std::size_t count);
    virtual int poll(pollfd* fds, nfds_t count, int timeoutMs);
    // ioctl with one pointer argument (null for requests that take none).
    virtual int ioctl(int fd, unsigned long request, void* argument);
    virtual int flock(int fd, int operation);
    virtual int tcgetattr(int fd, termios* settings);
    virtual int tcsetattr(int fd, int when, const termios* settings);
    virtual int tcflush(int fd, int queue);

    // The calls of network ports.
    virtual int socket(int domain, int type, int protocol);
    virtual int connect(int fd, const sockaddr* address, socklen_t length);
    virtual int getsockopt(int fd, int level, int name, void* value, socklen_t* length);
    virtual int setsockopt(int fd, int level, int name, const void* value, socklen_t length);
    virtual ssize_t send(int fd, const void* bytes, std::size_t count, int flags);
    virtual ssize_t recv(int fd, void* buffer, std::size_t count, int flags);

    // One address a name stands for, ready for socket() and connect().
    struct Address {
        int family = 0;
        int protocol = 0;
        sockaddr_storage address{};
        socklen_t length = 0;
    };
    // Looks up `host` for a stream connection to `port` (decimal digits), as getaddrinfo
    // does: returns its status (0, EAI_NONAME, ...) and, on 0, the addresses in the order
    // to try them.
    using NameLookup =
        std::function<int(const std::string& host, const std::string& port, std::vector<Address>&)>;
    // The lookup a network port runs on a helper thread. The port may give it up (time-out,
    // Close, exit) while it still runs, and this object and the port may be gone when it
    // ends: the function returned must own everything it uses.
    virtual NameLookup nameLookup();
};

// The operating system's own calls; one instance for the program, never destroyed early.
SystemCalls& realSystemCalls();

}  // namespace kelvandor
