// SPDX-License-Identifier: GPL-3.0-or-later
// A listening IPv4 loopback socket on a free port, for a network port to connect to. The
// kernel completes a connection into its queue without anyone accepting it. One that
// never answers has a queue of none, filled by a connection of its own: further
// connection requests go unanswered, as a host that is gone leaves them.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace kelvandor::testing {

class LoopbackListener {
  public:
    enum Kind { Answers, NeverAnswers };

    explicit LoopbackListener(Kind kind = Answers) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* any = reinterpret_cast<sockaddr*>(&address);
        if (::bind(fd_, any, length) != 0 || ::listen(fd_, kind == Answers ? 4 : 0) != 0 ||
            ::getsockname(fd_, any, &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        if (kind == NeverAnswers) {
            filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(filler_, any, length);
        }
    }
    ~LoopbackListener() {
        for (const int fd : {filler_, fd_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int port() const { return port_; }
    std::string url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }
    // Takes the connection waiting in the queue and closes it: its client sees the
    // server leave. False when none was waiting.
    bool dropConnection() const {
        const int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (peer < 0) {
            return false;
        }
        ::close(peer);
        return true;
    }

  private:
    int fd_ = -1;
    int filler_ = -1;
    int port_ = 0;
};

}  // namespace kelvandor::testing
