// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/network_line.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace kelvandor {

namespace {

using Clock = std::chrono::steady_clock;

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

constexpr short HangUpEvents = POLLHUP | POLLERR | POLLNVAL;
// Bytes taken from the socket at a time while purging.
constexpr std::size_t DrainChunk = 256;
// A silent far end is found gone within about 5 + 3 x 2 s, or 10 s after data it never
// acknowledged.
constexpr int KeepAliveIdleS = 5;
constexpr int KeepAliveIntervalS = 2;
constexpr int KeepAliveProbes = 3;
constexpr unsigned UnacknowledgedMs = 10000;

// A name lookup on a helper thread. The thread owns a share of it, so a lookup given up
// at the time-out finishes on its own and frees its result.
struct Lookup {
    explicit Lookup(SystemCalls& calls) : sys(calls) {}
    ~Lookup() {
        if (list != nullptr) {
            sys.freeaddrinfo(list);
        }
    }
    SystemCalls& sys;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int status = 0;
    addrinfo* list = nullptr;
};

}  // namespace

NetworkLine::~NetworkLine() {
    close();
}

bool NetworkLine::fail(NetworkFailure reason) {
    close();
    failure_ = reason;
    return false;
}

bool NetworkLine::expired() const {
    return aborted_ || nowMs() >= deadlineMs_;
}

std::optional<ComPortState> NetworkLine::comPort() const {
    if (!rfc2217_) {
        return std::nullopt;
    }
    return telnet_.comPort();
}

bool NetworkLine::open(const std::string& url, int baud,
                       const std::function<void()>& whileWaiting) {
    close();
    failure_ = NetworkFailure::None;
    lost_ = false;
    aborted_ = false;
    telnet_ = TelnetSession{};
    pending_.clear();
    const std::optional<NetworkUrl> parsed = parseNetworkUrl(url);
    if (!parsed || baud <= 0) {
        return fail(NetworkFailure::BadAddress);
    }
    rfc2217_ = parsed->scheme == NetworkScheme::Rfc2217;
    deadlineMs_ = nowMs() + OpenTimeoutMs;
    if (!connectTo(*parsed, whileWaiting)) {
        return false;
    }
    if (!rfc2217_) {
        return true;
    }
    std::string requests;
    telnet_.start(static_cast<std::uint32_t>(baud), requests);
    if (!sendAll(requests, OpenTimeoutMs)) {
        return fail(NetworkFailure::Closed);
    }
    return negotiate(whileWaiting);
}

bool NetworkLine::connectTo(const NetworkUrl& url, const std::function<void()>& whileWaiting) {
    auto lookup = std::make_shared<Lookup>(sys_);
    std::thread([lookup, host = url.host, port = url.port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        // No AI_ADDRCONFIG: it would refuse 127.0.0.1 on a machine with only a loopback.
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* list = nullptr;
        const int status = lookup->sys.getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
        const std::lock_guard lock(lookup->mutex);
        lookup->status = status;
        lookup->list = status == 0 ? list : nullptr;
        lookup->done = true;
        lookup->finished.notify_all();
    }).detach();
    for (;;) {
        {
            std::unique_lock lock(lookup->mutex);
            if (lookup->finished.wait_for(lock, std::chrono::milliseconds(WaitSliceMs),
                                          [&] { return lookup->done; })) {
                break;
            }
        }
        if (whileWaiting) {
            whileWaiting();
        }
        if (expired()) {
            return fail(NetworkFailure::NoAnswer);
        }
    }
    if (lookup->status != 0 || lookup->list == nullptr) {
        return fail(lookup->status == EAI_SYSTEM || lookup->status == EAI_MEMORY
                        ? NetworkFailure::Failed
                        : NetworkFailure::UnknownHost);
    }

    // Each address in turn ("localhost" is ::1 and 127.0.0.1, a server may listen on one).
    NetworkFailure reason = NetworkFailure::Refused;
    for (const addrinfo* entry = lookup->list; entry != nullptr; entry = entry->ai_next) {
        const int fd = sys_.socket(entry->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                   entry->ai_protocol);
        if (fd < 0) {
            reason = NetworkFailure::Failed;
            continue;
        }
        fd_ = fd;
        int error = 0;
        if (sys_.connect(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
            error = errno;
        }
        while (error == EINPROGRESS || error == EINTR) {
            pollfd entryFd{fd, POLLOUT, 0};
            const int ready = sys_.poll(&entryFd, 1, WaitSliceMs);
            if (ready > 0) {
                socklen_t length = sizeof error;
                if (sys_.getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                    error = errno;
                }
                break;
            }
            if (ready < 0 && errno != EINTR) {
                error = errno;
                break;
            }
            if (whileWaiting) {
                whileWaiting();
            }
            if (expired()) {
                return fail(NetworkFailure::NoAnswer);
            }
        }
        if (error == 0) {
            keepWatch(fd);
            return true;
        }
        sys_.close(fd);
        fd_ = -1;
        if (error == ETIMEDOUT) {
            reason = NetworkFailure::NoAnswer;
        } else if (error != ECONNREFUSED && reason == NetworkFailure::Refused) {
            reason = NetworkFailure::Failed;
        }
        if (expired()) {
            return fail(NetworkFailure::NoAnswer);
        }
    }
    return fail(reason);
}

void NetworkLine::keepWatch(int fd) {
    const int on = 1;
    // Frames go out as they are written, not held back to be joined to the next.
    sys_.setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A far end that vanishes without a word (its power or network gone) would otherwise
    // look like a quiet line for many minutes: probe an idle connection, and count data
    // unacknowledged for a while as a lost line.
    sys_.setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    sys_.setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &KeepAliveIdleS, sizeof KeepAliveIdleS);
    sys_.setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &KeepAliveIntervalS, sizeof KeepAliveIntervalS);
    sys_.setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &KeepAliveProbes, sizeof KeepAliveProbes);
    sys_.setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &UnacknowledgedMs, sizeof UnacknowledgedMs);
}

bool NetworkLine::negotiate(const std::function<void()>& whileWaiting) {
    long long heardAtMs = -1;
    while (telnet_.comPort() == ComPortState::Asked) {
        if (telnet_.heardTelnet() && heardAtMs < 0) {
            heardAtMs = nowMs();
        }
        if (heardAtMs >= 0 && nowMs() - heardAtMs >= ComPortAnswerMs) {
            return true;  // a Telnet server that does not answer: it has no COM port to set
        }
        if (aborted_) {
            return fail(NetworkFailure::NoAnswer);
        }
        if (expired()) {
            // Telnet, but no word on the COM port: the line keeps the server's settings.
            return telnet_.heardTelnet() ? true : fail(NetworkFailure::NotTelnet);
        }
        pollfd entry{fd_, POLLIN, 0};
        const int ready = sys_.poll(&entry, 1, WaitSliceMs);
        if (ready < 0 && errno != EINTR) {
            return fail(NetworkFailure::Failed);
        }
        if (ready > 0 && !receiveAvailable()) {
            return fail(NetworkFailure::Closed);
        }
        if (ready <= 0 && whileWaiting) {
            whileWaiting();
        }
    }
    return true;
}

void NetworkLine::close() {
    if (fd_ >= 0) {
        sys_.close(fd_);
    }
    fd_ = -1;
}

bool NetworkLine::receiveAvailable() {
    char bytes[DrainChunk];
    for (;;) {
        const ssize_t got = sys_.recv(fd_, bytes, sizeof bytes, MSG_DONTWAIT);
        if (got == 0) {
            return false;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        if (!rfc2217_) {
            pending_.append(bytes, static_cast<std::size_t>(got));
        } else {
            std::string answers;
            telnet_.receive(bytes, static_cast<std::size_t>(got), pending_, answers);
            if (!answers.empty() && !sendAll(answers, OpenTimeoutMs)) {
                return false;
            }
        }
        if (static_cast<std::size_t>(got) < sizeof bytes) {
            return true;
        }
    }
}

int NetworkLine::takePending(char* buffer, int maxCount) {
    const std::size_t count = std::min(pending_.size(), static_cast<std::size_t>(maxCount));
    std::copy_n(pending_.data(), count, buffer);
    pending_.erase(0, count);
    return static_cast<int>(count);
}

int NetworkLine::read(char* buffer, int maxCount, int timeoutMs) {
    if (fd_ < 0 || lost_ || buffer == nullptr || maxCount <= 0) {
        return 0;
    }
    if (!pending_.empty()) {
        return takePending(buffer, maxCount);
    }
    pollfd entry{fd_, POLLIN, 0};
    int ready = sys_.poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) {
        entry.revents = 0;
        ready = sys_.poll(&entry, 1, 0);
    }
    if (ready <= 0) {
        return 0;
    }
    if ((entry.revents & POLLIN) == 0) {
        lost_ = (entry.revents & HangUpEvents) != 0;
        return 0;
    }
    // Never more raw bytes than the caller can take: data bytes are at most as many.
    const std::size_t room = static_cast<std::size_t>(maxCount);
    std::string raw(room, '\0');
    ssize_t got = 0;
    do {
        got = sys_.recv(fd_, raw.data(), room, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got == 0) {
        lost_ = true;  // the server closed the connection
        return 0;
    }
    if (got < 0) {
        lost_ = errno != EAGAIN && errno != EWOULDBLOCK;
        return 0;
    }
    if (!rfc2217_) {
        std::copy_n(raw.data(), got, buffer);
        return static_cast<int>(got);
    }
    std::string answers;
    telnet_.receive(raw.data(), static_cast<std::size_t>(got), pending_, answers);
    if (!answers.empty() && !sendAll(answers, OpenTimeoutMs)) {
        lost_ = true;
        return 0;
    }
    return takePending(buffer, maxCount);
}

bool NetworkLine::write(const char* bytes, int length, int giveUpMs) {
    if (fd_ < 0 || lost_ || length < 0 || (bytes == nullptr && length > 0)) {
        return false;
    }
    std::string wire;
    if (rfc2217_) {
        TelnetSession::escape(bytes, static_cast<std::size_t>(length), wire);
    } else {
        wire.assign(bytes, static_cast<std::size_t>(length));
    }
    return sendAll(wire, giveUpMs);
}

bool NetworkLine::sendAll(const std::string& bytes, int giveUpMs) {
    const long long giveUpAt = nowMs() + giveUpMs;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent =
            sys_.send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
            continue;
        }
        const int error = sent < 0 ? errno : EAGAIN;
        if (error == EINTR) {
            continue;
        }
        if (error != EAGAIN && error != EWOULDBLOCK) {
            lost_ = true;  // EPIPE, ECONNRESET: the server has gone
            return false;
        }
        const long long left = giveUpAt - nowMs();
        if (left <= 0) {
            return false;
        }
        pollfd entry{fd_, POLLOUT, 0};
        const int ready = sys_.poll(&entry, 1, static_cast<int>(left));
        if (ready > 0 && (entry.revents & POLLOUT) == 0 && (entry.revents & HangUpEvents) != 0) {
            lost_ = true;
            return false;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool NetworkLine::purge() {
    if (fd_ < 0 || lost_) {
        return false;
    }
    if (!receiveAvailable()) {
        lost_ = true;
        return false;
    }
    pending_.clear();
    if (rfc2217_ && telnet_.comPort() == ComPortState::Accepted) {
        std::string request;
        TelnetSession::purgeRequest(request);
        return sendAll(request, OpenTimeoutMs);
    }
    return true;
}

}  // namespace kelvandor
