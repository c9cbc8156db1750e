// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/network_line.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace kelvandor {

namespace {

using Clock = std::chrono::steady_clock;

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

constexpr short HangUpEvents = POLLHUP | POLLERR | POLLNVAL;
// Bytes taken from the socket at a time.
constexpr std::size_t DrainChunk = 256;
// A silent far end is found gone within about 5 + 3 x 2 s, or 10 s after data it never
// acknowledged.
constexpr int KeepAliveIdleS = 5;
constexpr int KeepAliveIntervalS = 2;
constexpr int KeepAliveProbes = 3;
constexpr unsigned UnacknowledgedMs = 10000;

// A numeric IPv4 or IPv6 address needs no lookup: false for a name.
bool numericAddress(const NetworkUrl& url, std::vector<SystemCalls::Address>& found) {
    unsigned port = 0;
    const char* const last = url.port.data() + url.port.size();
    if (std::from_chars(url.port.data(), last, port).ptr != last || port > 0xFFFF) {
        return false;
    }
    SystemCalls::Address entry;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (::inet_pton(AF_INET, url.host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(port));
        entry.family = AF_INET;
        entry.length = sizeof v4;
        std::memcpy(&entry.address, &v4, sizeof v4);
    } else if (::inet_pton(AF_INET6, url.host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(port));
        entry.family = AF_INET6;
        entry.length = sizeof v6;
        std::memcpy(&entry.address, &v6, sizeof v6);
    } else {
        return false;
    }
    found.push_back(entry);
    return true;
}

}  // namespace

// What a name lookup on a helper thread hands back. The thread holds a share of this block
// and touches nothing else, so a lookup given up (time-out, close, exit) ends on its own
// and frees what it found.
struct NetworkLine::Lookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int status = 0;
    std::vector<SystemCalls::Address> addresses;
};

NetworkLine::~NetworkLine() {
    close();
}

NetworkLine::Progress NetworkLine::fail(NetworkFailure reason) {
    close();
    failure_ = reason;
    return Progress::Done;
}

NetworkLine::Progress NetworkLine::succeed() {
    stage_ = Stage::Idle;
    addresses_.clear();
    return Progress::Done;
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
    Progress progress = start(url, baud);
    while (progress == Progress::Pending) {
        progress = advance(WaitSliceMs);
        if (progress == Progress::Pending && whileWaiting) {
            whileWaiting();
        }
    }
    return fd_ >= 0 && failure_ == NetworkFailure::None;
}

NetworkLine::Progress NetworkLine::start(const std::string& url, int baud) {
    close();
    failure_ = NetworkFailure::None;
    lost_ = false;
    aborted_ = false;
    telnet_ = TelnetSession{};
    pending_.clear();
    reason_ = NetworkFailure::Refused;
    heardAtMs_ = -1;
    const std::optional<NetworkUrl> parsed = parseNetworkUrl(url);
    if (!parsed || baud <= 0) {
        return fail(NetworkFailure::BadAddress);
    }
    rfc2217_ = parsed->scheme == NetworkScheme::Rfc2217;
    baud_ = static_cast<std::uint32_t>(baud);
    deadlineMs_ = nowMs() + OpenTimeoutMs;
    if (numericAddress(*parsed, addresses_)) {
        return connectNext();
    }
    lookup_ = std::make_shared<Lookup>();
    try {
        std::thread([lookup = lookup_, find = sys_.nameLookup(), host = parsed->host,
                     port = parsed->port] {
            std::vector<SystemCalls::Address> found;
            const int status = find ? find(host, port, found) : EAI_FAIL;
            const std::lock_guard lock(lookup->mutex);
            lookup->status = status;
            lookup->addresses = std::move(found);
            lookup->done = true;
            lookup->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return fail(NetworkFailure::Failed);  // no thread to be had
    }
    stage_ = Stage::Resolving;
    return Progress::Pending;
}

NetworkLine::Progress NetworkLine::advance(int waitMs) {
    const int wait =
        static_cast<int>(std::clamp<long long>(deadlineMs_ - nowMs(), 0, std::max(waitMs, 0)));
    switch (stage_) {
        case Stage::Resolving:
            return resolve(wait);
        case Stage::Connecting:
            return awaitConnect(wait);
        case Stage::Negotiating:
            return negotiate(wait);
        case Stage::Idle:
            break;
    }
    return Progress::Done;
}

NetworkLine::Progress NetworkLine::resolve(int waitMs) {
    int status = 0;
    {
        std::unique_lock lock(lookup_->mutex);
        if (!aborted_ && waitMs > 0) {
            lookup_->finished.wait_for(lock, std::chrono::milliseconds(waitMs),
                                       [&] { return lookup_->done; });
        }
        if (!lookup_->done) {
            lock.unlock();
            return expired() ? fail(NetworkFailure::NoAnswer) : Progress::Pending;
        }
        status = lookup_->status;
        addresses_ = std::move(lookup_->addresses);
    }
    lookup_.reset();
    if (status != 0 || addresses_.empty()) {
        return fail(status == EAI_SYSTEM || status == EAI_MEMORY ? NetworkFailure::Failed
                                                                 : NetworkFailure::UnknownHost);
    }
    return connectNext();
}

NetworkLine::Progress NetworkLine::connectNext() {
    // Each address in turn ("localhost" is ::1 and 127.0.0.1, a server may listen on one).
    while (nextAddress_ < addresses_.size()) {
        if (expired()) {
            return fail(NetworkFailure::NoAnswer);
        }
        const SystemCalls::Address& entry = addresses_[nextAddress_];
        const int fd =
            sys_.socket(entry.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, entry.protocol);
        if (fd < 0) {
            reason_ = NetworkFailure::Failed;
            ++nextAddress_;
            continue;
        }
        fd_ = fd;
        int error = 0;
        if (sys_.connect(fd, reinterpret_cast<const sockaddr*>(&entry.address), entry.length) !=
            0) {
            error = errno;
        }
        if (error == 0) {
            return connected();
        }
        if (error == EINPROGRESS || error == EINTR) {
            // This address gets an even share of the time left with the ones after it;
            // the last one gets all that is left.
            const long long now = nowMs();
            const auto untried = static_cast<long long>(addresses_.size() - nextAddress_);
            addressDeadlineMs_ = now + (deadlineMs_ - now) / untried;
            stage_ = Stage::Connecting;
            return Progress::Pending;
        }
        dropAddress(error);
    }
    return fail(reason_);
}

void NetworkLine::dropAddress(int error) {
    sys_.close(fd_);
    fd_ = -1;
    ++nextAddress_;
    if (error == ETIMEDOUT) {
        reason_ = NetworkFailure::NoAnswer;
    } else if (error != ECONNREFUSED && reason_ == NetworkFailure::Refused) {
        reason_ = NetworkFailure::Failed;
    }
}

NetworkLine::Progress NetworkLine::awaitConnect(int waitMs) {
    if (aborted_) {
        return fail(NetworkFailure::NoAnswer);
    }
    pollfd entry{fd_, POLLOUT, 0};
    const int wait =
        static_cast<int>(std::clamp<long long>(addressDeadlineMs_ - nowMs(), 0, waitMs));
    const int ready = sys_.poll(&entry, 1, wait);
    if (ready > 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (sys_.getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error == 0) {
            return connected();
        }
        dropAddress(error);
        return connectNext();
    }
    if (ready < 0 && errno != EINTR) {
        dropAddress(errno);
        return connectNext();
    }
    if (expired()) {
        return fail(NetworkFailure::NoAnswer);
    }
    if (nowMs() >= addressDeadlineMs_) {
        dropAddress(ETIMEDOUT);  // its share is up: on to the next
        return connectNext();
    }
    return Progress::Pending;
}

NetworkLine::Progress NetworkLine::connected() {
    keepWatch(fd_);
    if (!rfc2217_) {
        return succeed();
    }
    std::string requests;
    telnet_.start(baud_, requests);
    if (!sendAll(requests, OpenTimeoutMs)) {
        return fail(NetworkFailure::Closed);
    }
    stage_ = Stage::Negotiating;
    return Progress::Pending;
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

NetworkLine::Progress NetworkLine::negotiate(int waitMs) {
    if (telnet_.comPort() != ComPortState::Asked) {
        return succeed();
    }
    if (telnet_.heardTelnet() && heardAtMs_ < 0) {
        heardAtMs_ = nowMs();
    }
    if (heardAtMs_ >= 0 && nowMs() - heardAtMs_ >= ComPortAnswerMs) {
        return succeed();  // a Telnet server that does not answer: it has no COM port to set
    }
    if (aborted_) {
        return fail(NetworkFailure::NoAnswer);
    }
    if (expired()) {
        // Telnet, but no word on the COM port: the line keeps the server's settings.
        return telnet_.heardTelnet() ? succeed() : fail(NetworkFailure::NotTelnet);
    }
    pollfd entry{fd_, POLLIN, 0};
    const int ready = sys_.poll(&entry, 1, waitMs);
    if (ready < 0 && errno != EINTR) {
        return fail(NetworkFailure::Failed);
    }
    if (ready > 0 && !receiveAvailable()) {
        return fail(NetworkFailure::Closed);
    }
    return telnet_.comPort() != ComPortState::Asked ? succeed() : Progress::Pending;
}

void NetworkLine::close() {
    if (fd_ >= 0) {
        sys_.close(fd_);
    }
    fd_ = -1;
    stage_ = Stage::Idle;
    lookup_.reset();  // a lookup still running finishes on its own
    addresses_.clear();
    nextAddress_ = 0;
}

bool NetworkLine::receiveAvailable() {
    char bytes[DrainChunk];
    bool open = true;
    for (std::size_t taken = 0; taken < MaxPendingBytes;) {
        const ssize_t got = sys_.recv(fd_, bytes, sizeof bytes, MSG_DONTWAIT);
        if (got == 0) {
            open = false;
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            open = errno == EAGAIN || errno == EWOULDBLOCK;
            break;
        }
        taken += static_cast<std::size_t>(got);
        if (!rfc2217_) {
            pending_.append(bytes, static_cast<std::size_t>(got));
        } else {
            std::string answers;
            telnet_.receive(bytes, static_cast<std::size_t>(got), pending_, answers);
            if (!answers.empty() && !sendAll(answers, OpenTimeoutMs)) {
                open = false;
                break;
            }
        }
        if (static_cast<std::size_t>(got) < sizeof bytes) {
            break;
        }
    }
    if (pending_.size() > MaxPendingBytes) {
        pending_.erase(0, pending_.size() - MaxPendingBytes);
    }
    return open;
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
