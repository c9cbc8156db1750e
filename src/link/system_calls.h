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

    // The calls of network ports. getaddrinfo may be called from a helper thread (a name
    // lookup that must not hold up the window): an override must be safe for that, and
    // must outlive a lookup that the port gave up at its time-out.
    virtual int socket(int domain, int type, int protocol);
    virtual int connect(int fd, const sockaddr* address, socklen_t length);
    virtual int getsockopt(int fd, int level, int name, void* value, socklen_t* length);
    virtual int setsockopt(int fd, int level, int name, const void* value, socklen_t length);
    virtual ssize_t send(int fd, const void* bytes, std::size_t count, int flags);
    virtual ssize_t recv(int fd, void* buffer, std::size_t count, int flags);
    virtual int getaddrinfo(const char* host, const char* service, const addrinfo* hints,
                            addrinfo** result);
    virtual void freeaddrinfo(addrinfo* list);
};

// The operating system's own calls; one instance for the program, never destroyed early.
SystemCalls& realSystemCalls();

}  // namespace kelvandor
