// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

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

SystemCalls::NameLookup SystemCalls::nameLookup() {
    return [](const std::string& host, const std::string& port, std::vector<Address>& found) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        // No AI_ADDRCONFIG: it would refuse 127.0.0.1 on a machine with only a loopback.
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* list = nullptr;
        const int status = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
        if (status != 0) {
            return status;
        }
        for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_addrlen > sizeof(sockaddr_storage)) {
                continue;
            }
            Address address;
            address.family = entry->ai_family;
            address.protocol = entry->ai_protocol;
            std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
            address.length = entry->ai_addrlen;
            found.push_back(address);
        }
        ::freeaddrinfo(list);
        return found.empty() ? EAI_NONAME : 0;
    };
}

SystemCalls& realSystemCalls() {
    static SystemCalls calls;
    return calls;
}

}  // namespace kelvandor
