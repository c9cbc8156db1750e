// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kelvandor {

int SystemCalls::open(const char* path, int flags) {
    return ::open(path, flags);
}

int SystemCalls::close(int fd) {
    return ::close(fd);
}

ssize_t SystemCalls::read(int fd, void* buffer, std::size_t count) {
    return ::read(fd, buffer, count);
}

ssize_t SystemCalls::write(int fd, const void* bytes, std::size_t count) {
    return ::write(fd, bytes, count);
}

int SystemCalls::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

int SystemCalls::ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

int SystemCalls::flock(int fd, int operation) {
    return ::flock(fd, operation);
}

int SystemCalls::tcgetattr(int fd, termios* settings) {
    return ::tcgetattr(fd, settings);
}

int SystemCalls::tcsetattr(int fd, int when, const termios* settings) {
    return ::tcsetattr(fd, when, settings);
}

int SystemCalls::tcflush(int fd, int queue) {
    return ::tcflush(fd, queue);
}

int SystemCalls::socket(int domain, int type, int protocol) {
    return ::socket(domain, type, protocol);
}

int SystemCalls::connect(int fd, const sockaddr* address, socklen_t length) {
    return ::connect(fd, address, length);
}

int SystemCalls::getsockopt(int fd, int level, int name, void* value, socklen_t* length) {
    return ::getsockopt(fd, level, name, value, length);
}

int SystemCalls::setsockopt(int fd, int level, int name, const void* value, socklen_t length) {
    return ::setsockopt(fd, level, name, value, length);
}

ssize_t SystemCalls::send(int fd, const void* bytes, std::size_t count, int flags) {
    return ::send(fd, bytes, count, flags);
}

ssize_t SystemCalls::recv(int fd, void* buffer, std::size_t count, int flags) {
    return ::recv(fd, buffer, count, flags);
}

int SystemCalls::getaddrinfo(const char* host, const char* service, const addrinfo* hints,
                             addrinfo** result) {
    return ::getaddrinfo(host, service, hints, result);
}

void SystemCalls::freeaddrinfo(addrinfo* list) {
    ::freeaddrinfo(list);
}

SystemCalls& realSystemCalls() {
    static SystemCalls calls;
    return calls;
}

}  // namespace kelvandor
