// SPDX-License-Identifier: GPL-3.0-or-later
// SerialPort opened on a network URL against loopback servers the test plays: bytes both
// ways unchanged (raw) or through Telnet (rfc2217), a port-directory entry that holds a
// URL, and every way a connection can fail, each ending in its own outcome within the
// time-out while the wait hook keeps being called.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/network_line.h"
#include "link/serial_port.h"
#include "link/telnet_session.h"

namespace kelvandor {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int Baud = 19200;
constexpr int PatienceMs = 5000;

// A listening loopback socket on a free port.
class Listener {
  public:
    explicit Listener(int family = AF_INET, int backlog = 4) {
        fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            length = sizeof *v6;
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *v4;
        }
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(fd_, backlog) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        }
    }
    ~Listener() {
        closePeer();
        closeListener();
    }
    int port() const { return port_; }
    std::string url(const char* scheme, const char* host = "127.0.0.1") const {
        return std::string(scheme) + "://" + host + ":" + std::to_string(port_);
    }
    bool accept() {
        peer_ = ::accept(fd_, nullptr, nullptr);
        return peer_ >= 0;
    }
    void send(const std::string& bytes) const {
        ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // What arrives within `ms`, or until `count` bytes have come.
    std::string receive(std::size_t count, int ms = PatienceMs) const {
        std::string got;
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < count && Clock::now() < until) {
            pollfd entry{peer_, POLLIN, 0};
            if (::poll(&entry, 1, 10) > 0) {
                char buffer[256];
                const ssize_t n = ::recv(peer_, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                got.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return got;
    }
    void closePeer() {
        if (peer_ >= 0) {
            ::close(peer_);
        }
        peer_ = -1;
    }
    void closeListener() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

  private:
    int fd_ = -1;
    int peer_ = -1;
    int port_ = 0;
};

std::string readFor(SerialPort& port, std::size_t count) {
    std::string got;
    const auto until = Clock::now() + std::chrono::milliseconds(PatienceMs);
    char buffer[255];
    while (got.size() < count && Clock::now() < until && !port.lineLost()) {
        const int n = port.Read(buffer, sizeof buffer);
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int value : values) {
        out.push_back(static_cast<char>(value));
    }
    return out;
}

TEST(NetworkPort, RawPortFromAPortDirectoryEntryCarriesBytesUnchangedUntilTheServerCloses) {
    Listener server;
    ASSERT_GT(server.port(), 0);
    char pattern[] = "/tmp/kelvandor-ports-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    std::ofstream(dir / "COM3") << "  " << server.url("tcp", "localhost") << "\n";

    SerialPort port;
    port.setNaming(ComPortNaming::linksOnlyIn(dir.string()));
    ASSERT_EQ(port.Open("COM3", Baud, 1), 1);
    fs::remove_all(dir);
    EXPECT_EQ(port.lastDevicePath(), server.url("tcp", "localhost"));
    EXPECT_TRUE(port.isNetwork());
    ASSERT_TRUE(server.accept());

    const std::string frame = "{QS}\xff";
    ASSERT_EQ(port.Write(frame.data(), static_cast<int>(frame.size())), 1);
    EXPECT_EQ(server.receive(frame.size()), frame);
    const std::string reply = bytes({'{', 'N', 'A', ' ', '2', '}', 0xFF, 0x00});
    server.send(reply);
    EXPECT_EQ(readFor(port, reply.size()), reply);

    server.closePeer();
    readFor(port, 1);
    EXPECT_TRUE(port.lineLost());
    EXPECT_EQ(port.isOpen, 1) << "a lost line stays open until its owner closes it";
    EXPECT_EQ(port.Write(frame.data(), static_cast<int>(frame.size())), 0);
    port.Close();
    EXPECT_EQ(port.isOpen, 0);
}

TEST(NetworkPort, Ipv6AddressesInBrackets) {
    Listener server(AF_INET6);
    if (server.port() == 0) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    SerialPort port;
    ASSERT_EQ(port.Open(server.url("tcp", "[::1]").c_str(), Baud, 1), 1);
    ASSERT_TRUE(server.accept());
    ASSERT_EQ(port.Write("{QS}", 4), 1);
    EXPECT_EQ(server.receive(4), "{QS}");
}

// The test's side of an rfc2217:// connection: what the port asked for before the
// server answered, then `answer` (DO or DONT COM-PORT-OPTION) sent back.
void playTelnetServer(Listener& server, unsigned char answer, std::string* heard) {
    if (!server.accept()) {
        return;
    }
    *heard = server.receive(9);  // WILL COM-PORT, WILL BINARY, DO BINARY
    server.send(bytes({telnet::Iac, answer, telnet::OptComPort}));
}

TEST(NetworkPort, Rfc2217SetsTheFarLineAndKeepsTelnetOutOfTheData) {
    Listener server;
    std::string heard;
    std::thread telnetServer(playTelnetServer, std::ref(server), telnet::Do, &heard);
    SerialPort port;
    const int opened = port.Open(server.url("rfc2217").c_str(), Baud, 1);
    telnetServer.join();
    ASSERT_EQ(opened, 1);
    EXPECT_TRUE(port.lineNotice().empty());
    EXPECT_EQ(heard, bytes({255, 251, 44, 255, 251, 0, 255, 253, 0}));
    // The settings follow at once: 19200 baud, 8 data bits, no parity, 1 stop bit, no
    // flow control, DTR off, RTS off.
    const std::string settings =
        bytes({255, 250, 44, 1, 0, 0, 0x4B, 0, 255, 240}) + bytes({255, 250, 44, 2, 8, 255, 240}) +
        bytes({255, 250, 44, 3, 1, 255, 240}) + bytes({255, 250, 44, 4, 1, 255, 240}) +
        bytes({255, 250, 44, 5, 1, 255, 240}) + bytes({255, 250, 44, 5, 9, 255, 240}) +
        bytes({255, 250, 44, 5, 12, 255, 240});
    EXPECT_EQ(server.receive(settings.size()), settings);

    ASSERT_EQ(port.Write("{\xff}", 3), 1);
    EXPECT_EQ(server.receive(4), "{\xff\xff}");
    server.send("{N" + bytes({255, 250, 44, 107, 0, 255, 240}) + "A}" + bytes({255, 255}));
    EXPECT_EQ(readFor(port, 5), "{NA}\xff");
}

TEST(NetworkPort, Rfc2217ServerThatRefusesComPortLeavesAWorkingLineAndANotice) {
    Listener server;
    std::string heard;
    std::thread telnetServer(playTelnetServer, std::ref(server), telnet::Dont, &heard);
    SerialPort port;
    const int opened = port.Open(server.url("rfc2217").c_str(), Baud, 1);
    telnetServer.join();
    ASSERT_EQ(opened, 1);
    EXPECT_NE(port.lineNotice().find("server's own settings"), std::string::npos);
    ASSERT_EQ(port.Write("{QS}", 4), 1);
    EXPECT_EQ(server.receive(4), "{QS}");
}

// The real calls, with a name lookup that knows no host.
class NoSuchHosts : public SystemCalls {
  public:
    NameLookup nameLookup() override {
        return [](const std::string&, const std::string&, std::vector<Address>&) {
            return EAI_NONAME;
        };
    }
};

struct Attempt {
    int opened = 0;
    OpenFailure failure = OpenFailure::None;
    long long elapsedMs = 0;
    long long longestGapMs = 0;  // between two calls of the wait hook, or to its ends
};

Attempt attemptOpen(const std::string& url, SystemCalls* calls = nullptr) {
    SerialPort port;
    if (calls != nullptr) {
        port.setSystemCalls(*calls);
    }
    Attempt attempt;
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    const auto gapTo = [&](Clock::time_point now) {
        attempt.longestGapMs = std::max<long long>(
            attempt.longestGapMs,
            std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
        last = now;
    };
    port.setWaitHook([&] { gapTo(Clock::now()); });
    attempt.opened = port.Open(url.c_str(), Baud, 1);
    const Clock::time_point end = Clock::now();
    gapTo(end);
    attempt.failure = port.lastOpenFailure();
    attempt.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
    EXPECT_EQ(port.isOpen, attempt.opened);
    return attempt;
}

TEST(NetworkPort, EachFailureHasItsOutcomeWithinTheTimeOutAndTheHookKeepsRunning) {
    // Longest the hook may go uncalled: a window that waits no longer does not freeze.
    constexpr long long MaxGapMs = 100;
    constexpr long long MaxOpenMs = NetworkLine::OpenTimeoutMs + 300;

    int unusedPort = 0;
    {
        Listener closed;
        unusedPort = closed.port();
    }
    const Attempt refused = attemptOpen("tcp://127.0.0.1:" + std::to_string(unusedPort));
    EXPECT_EQ(refused.failure, OpenFailure::Refused);

    NoSuchHosts noHosts;
    const Attempt unknown = attemptOpen("tcp://antenna.invalid:2000", &noHosts);
    EXPECT_EQ(unknown.failure, OpenFailure::UnknownHost);

    EXPECT_EQ(attemptOpen("tcp://[::1:2000").failure, OpenFailure::BadAddress);
    EXPECT_EQ(attemptOpen("rfc2217://host:99999").failure, OpenFailure::BadAddress);

    // A listener whose queue is full drops further connection requests unanswered.
    Listener full(AF_INET, 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(full.port()));
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const Attempt noAnswer = attemptOpen(full.url("tcp"));
    ::close(filler);
    EXPECT_EQ(noAnswer.failure, OpenFailure::NoAnswer);
    EXPECT_GE(noAnswer.elapsedMs, NetworkLine::OpenTimeoutMs - 50);

    // A raw server under an rfc2217:// URL: it never says a Telnet word.
    Listener raw;
    const Attempt notTelnet = attemptOpen(raw.url("rfc2217"));
    EXPECT_EQ(notTelnet.failure, OpenFailure::NotTelnet);

    // A server that takes the connection and drops it at once.
    Listener dropping;
    std::thread dropper([&] {
        if (dropping.accept()) {
            dropping.closePeer();
        }
    });
    const Attempt closed = attemptOpen(dropping.url("rfc2217"));
    dropper.join();
    EXPECT_EQ(closed.failure, OpenFailure::Closed);

    for (const Attempt& attempt : {refused, unknown, noAnswer, notTelnet, closed}) {
        EXPECT_EQ(attempt.opened, 0);
        EXPECT_LE(attempt.elapsedMs, MaxOpenMs);
        EXPECT_LE(attempt.longestGapMs, MaxGapMs);
    }
}

TEST(NetworkPort, OpenFromTheWaitHookIsRefusedAndCloseAbandonsTheOpen) {
    Listener server;  // accepts, never answers Telnet
    SerialPort port;
    int nestedOpen = -1;
    port.setWaitHook([&] {
        if (nestedOpen < 0) {
            nestedOpen = port.Open("tcp://127.0.0.1:1", Baud, 1);
            EXPECT_EQ(port.lastOpenFailure(), OpenFailure::AlreadyOpen);
        } else {
            port.Close();
        }
    });
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(port.Open(server.url("rfc2217").c_str(), Baud, 1), 0);
    EXPECT_EQ(nestedOpen, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(port.isOpen, 0);
    EXPECT_EQ(port.handle, -1);
}

// The real calls, with names that stand for the given loopback ports, in that order.
class NameForPorts : public SystemCalls {
  public:
    explicit NameForPorts(std::vector<int> ports) : ports_(std::move(ports)) {}
    NameLookup nameLookup() override {
        return
            [ports = ports_](const std::string&, const std::string&, std::vector<Address>& found) {
                for (const int port : ports) {
                    sockaddr_in v4{};
                    v4.sin_family = AF_INET;
                    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    v4.sin_port = htons(static_cast<std::uint16_t>(port));
                    Address address;
                    address.family = AF_INET;
                    address.length = sizeof v4;
                    std::memcpy(&address.address, &v4, sizeof v4);
                    found.push_back(address);
                }
                return 0;
            };
    }

  private:
    std::vector<int> ports_;
};

TEST(NetworkPort, NameWithSeveralAddressesGoesOnWhenOneDoesNotAnswer) {
    Listener full(AF_INET, 0);  // its queue filled: it never answers
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(full.port()));
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    Listener server;
    NameForPorts calls({full.port(), server.port()});

    const Attempt attempt = attemptOpen("tcp://mast.example:2000", &calls);
    ::close(filler);
    ASSERT_EQ(attempt.opened, 1) << describeOpenFailure(attempt.failure);
    EXPECT_LE(attempt.elapsedMs, NetworkLine::OpenTimeoutMs);
    EXPECT_TRUE(server.accept());
}

// A name lookup that hangs until the test lets it go.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool passed = false;
};

class HangingLookup : public SystemCalls {
  public:
    explicit HangingLookup(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    NameLookup nameLookup() override {
        return [gate = gate_](const std::string&, const std::string&, std::vector<Address>&) {
            std::unique_lock lock(gate->mutex);
            gate->changed.wait(lock, [&] { return gate->open; });
            gate->passed = true;
            gate->changed.notify_all();
            return EAI_AGAIN;
        };
    }

  private:
    std::shared_ptr<Gate> gate_;
};

TEST(NetworkPort, LookupGivenUpOutlivesItsPortAndItsCalls) {
    auto gate = std::make_shared<Gate>();
    const Clock::time_point start = Clock::now();
    {
        auto calls = std::make_unique<HangingLookup>(gate);
        SerialPort port;
        port.setSystemCalls(*calls);
        ASSERT_EQ(port.beginOpen("tcp://mast.example:2000", Baud, 1),
                  SerialPort::OpenProgress::Pending);
        EXPECT_EQ(port.continueOpen(), SerialPort::OpenProgress::Pending);
        port.Close();
        EXPECT_FALSE(port.isOpening());
    }  // the port and its calls are gone; the lookup still hangs
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << "waited for the lookup";
    std::unique_lock lock(gate->mutex);
    gate->open = true;
    gate->changed.notify_all();
    // It ends on its own, touching only what it holds (the sanitizer build checks).
    EXPECT_TRUE(gate->changed.wait_for(lock, std::chrono::milliseconds(PatienceMs),
                                       [&] { return gate->passed; }));
}

TEST(NetworkPort, PeerStreamingDuringTheOpenNeitherStallsItNorPilesUp) {
    constexpr long long MaxGapMs = 100;
    constexpr std::size_t FloodBytes = 8 << 20;
    Listener server;
    std::thread floodingServer([&] {
        if (!server.accept()) {
            return;
        }
        // The unit's bytes at full speed, and only then the Telnet answer.
        const std::string chunk(64 << 10, 'x');
        for (std::size_t sent = 0; sent < FloodBytes; sent += chunk.size()) {
            server.send(chunk);
        }
        server.send(bytes({telnet::Iac, telnet::Do, telnet::OptComPort}));
    });
    SerialPort port;
    long long longestGapMs = 0;
    Clock::time_point last = Clock::now();
    port.setWaitHook([&] {
        const Clock::time_point now = Clock::now();
        longestGapMs = std::max<long long>(
            longestGapMs,
            std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
        last = now;
    });
    const int opened = port.Open(server.url("rfc2217").c_str(), Baud, 1);
    floodingServer.join();
    ASSERT_EQ(opened, 1);
    EXPECT_TRUE(port.lineNotice().empty()) << "the answer behind the flood was heard";
    EXPECT_LE(longestGapMs, MaxGapMs);
    // What is held for reading is bounded: the whole flood came before the answer, so
    // nothing more than that is left to read.
    std::size_t held = 0;
    char buffer[255];
    for (int count = 0; (count = port.Read(buffer, sizeof buffer)) > 0;) {
        held += static_cast<std::size_t>(count);
    }
    EXPECT_GT(held, 0U);
    EXPECT_LE(held, NetworkLine::MaxPendingBytes);
}

}  // namespace
}  // namespace kelvandor
