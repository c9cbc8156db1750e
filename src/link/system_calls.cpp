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

SystemCalls& realSystemCalls() {
    static SystemCalls calls;
    return calls;
}

}  // namespace kelvandor
