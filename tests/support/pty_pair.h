// SPDX-License-Identifier: GPL-3.0-or-later
// A pseudo-terminal pair for tests: the slave's path is opened by the code under test,
// the test plays the device's side on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace kelvandor::testing {

class PtyPair {
  public:
    PtyPair() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
            path_ = name;
            ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair() {
        closeMaster();
        if (slave_ >= 0) {
            ::close(slave_);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string& path() const { return path_; }
    int master() const { return master_; }
    // The descriptor openpty left open on the slave; it keeps the tty alive.
    int guard() const { return slave_; }

    // Hangs the line up, as a pulled USB adapter does.
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

    bool send(const std::string& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads from the master until `want` bytes arrived or `timeoutMs` passed.
    std::string receive(std::size_t want, int timeoutMs) const {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string got;
        while (got.size() < want && Clock::now() < deadline) {
            pollfd entry{master_, POLLIN, 0};
            if (::poll(&entry, 1, 10) > 0) {
                char chunk[512];
                const ssize_t n = ::read(master_, chunk, sizeof chunk);
                if (n > 0) {
                    got.append(chunk, static_cast<std::size_t>(n));
                }
            }
        }
        return got;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace kelvandor::testing
