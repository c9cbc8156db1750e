// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-agent as a boat or a fleet office runs it, a process of its own:
//
// - A fleet: 32 simulated units (kelvandor-sim over --listen, each sending Ni five times a
//   second) on one agent. The agent's share of one core over the window (from
//   /proc/PID/stat) and its resident memory; targets 5 % and 150 MB. Frames per second
//   taken in, from the agent's own counters, shows the reports flowed.
// - While that fleet's reports flow: GET /metrics and GET /api/v1/units/NAME, 200 a
//   second each on a keep-alive connection, paced; p50 and p99 of the time from sending a
//   request to holding its whole answer. Targets p99 10 ms and 5 ms.
// - One frame through the share port: QV and its answer Nv through the agent's share,
//   against the same exchange on another simulator's own port, exchanges of the two taken
//   in turn: what the agent adds to the round trip (two frames through it). And each
//   direction alone, the benchmark playing the unit at the far end of the agent's line,
//   beside a plain loopback connection. Target 1 ms a frame.
// - kelvandor-cli write-default through the agent's share, against its floor (pauses and
//   line time, bench/update_floor.h); target 1.10 x.
//
// Not a test: nothing is asserted. With --benchmark_min_time below 0.5 s (the test
// command's short pass, about 30 s in all) each window has its quick length; otherwise
// (scripts/bench.sh, about a minute) its long one, which shows in the benchmark's name
// (BM_AgentFleetLoad/window_s:10); --benchmark_filter picks single benchmarks of either.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cli/cli_port.h"
#include "cli/cli_unit.h"
#include "process_figures.h"
#include "protocol/frame_codec.h"
#include "sim/simulator.h"
#include "support/child_program.h"
#include "update_floor.h"

using namespace kelvandor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int FleetUnits = 32;
constexpr int StatusPeriodMs = 200;  // Ni five times a second
// Frames a second from the fleet once the answers to the agent's questions at start are
// in: at most twice the Ni alone.
constexpr double SettledFramesPerSecond = 2.0 * FleetUnits * 1000 / StatusPeriodMs;
constexpr int ConnectPatienceMs = 15000;
constexpr int AnswerPatienceMs = 5000;
constexpr auto RequestSpacing = std::chrono::milliseconds(5);  // 200 requests a second
// The agent asks QS only after this long without a report: never, within a benchmark.
const QString NoOwnQueries = QStringLiteral("3600");

// Starts the agent on the unit at `port` as "roof", shared on a free loopback port, HTTP on
// another, asking nothing of its own after its start-up questions, its token in `dir`.
bool startSharingAgent(testing::AgentProgram& agent, const QString& port,
                       const QTemporaryDir& dir) {
    return agent.start(QStringLiteral(KELVANDOR_AGENT_PROGRAM),
                       {QStringLiteral("--unit"), QStringLiteral("roof=") + port,
                        QStringLiteral("--share"), QStringLiteral("roof=127.0.0.1:0"),
                        QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"),
                        QStringLiteral("--query-after"), NoOwnQueries,
                        QStringLiteral("--token-file"), dir.filePath(QStringLiteral("token"))});
}

// The measuring lengths of the two forms.
struct Windows {
    int fleetSeconds;
    int latencySeconds;
    int exchanges;  // round trips with a simulator on each route
    int hops;       // frames each way through the agent alone
};
constexpr Windows QuickWindows{3, 2, 200, 200};
constexpr Windows LongWindows{10, 10, 500, 2000};

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The value at fraction `q` (0..1) of `values`, by nearest rank; 0 when empty.
double percentile(std::vector<double> values, double q) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(rank, values.size() - 1)];
}

// A blocking loopback TCP connection with a time-out on every wait.
class Connection {
  public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open(int port) {
        close();
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    // Takes the connection `listener` accepts within `timeoutMs`.
    bool accept(int listener, int timeoutMs) {
        close();
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return false;
        }
        fd_ = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd_ >= 0;
    }
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    bool send(const std::string& bytes) {
        return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                               static_cast<ssize_t>(bytes.size());
    }
    // Appends what arrives within `timeoutMs` to `into`; false on time-out or end.
    bool receive(std::string& into, int timeoutMs) {
        if (fd_ < 0) {
            return false;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return false;
        }
        char piece[16384];
        const ssize_t got = ::recv(fd_, piece, sizeof piece, 0);
        if (got <= 0) {
            return false;
        }
        into.append(piece, static_cast<std::size_t>(got));
        return true;
    }

  private:
    int fd_ = -1;
};

// GET requests on one keep-alive connection (opened again if the server closes it).
class HttpClient {
  public:
    explicit HttpClient(int port) : port_(port) {}

    // The body of a 200 answer to GET `path`; nothing on any other answer or failure.
    std::optional<std::string> get(const std::string& path) {
        if (!open_) {
            open_ = connection_.open(port_);
            reopened += open_ ? 1 : 0;
        }
        const std::string request =
            "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n";
        if (!open_ || !connection_.send(request)) {
            open_ = false;
            return std::nullopt;
        }
        std::string bytes;
        std::size_t headerEnd = std::string::npos;
        while ((headerEnd = bytes.find("\r\n\r\n")) == std::string::npos) {
            if (!connection_.receive(bytes, AnswerPatienceMs)) {
                open_ = false;
                return std::nullopt;
            }
        }
        std::string head = bytes.substr(0, headerEnd);
        std::transform(head.begin(), head.end(), head.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::size_t field = head.find("\r\ncontent-length:");
        if (field == std::string::npos) {
            open_ = false;  // no length: the answer ends with the connection
            return std::nullopt;
        }
        const std::size_t length = std::stoul(head.substr(field + 17));
        while (bytes.size() < headerEnd + 4 + length) {
            if (!connection_.receive(bytes, AnswerPatienceMs)) {
                open_ = false;
                return std::nullopt;
            }
        }
        if (head.find("\r\nconnection: close") != std::string::npos) {
            open_ = false;
            connection_.close();
        }
        if (head.rfind("http/1.1 200", 0) != 0) {
            return std::nullopt;
        }
        return bytes.substr(headerEnd + 4, length);
    }

    int reopened = 0;  // connections opened, the first one included

  private:
    int port_;
    Connection connection_;
    bool open_ = false;
};

// The units the agent reports connected and with a report in.
int unitsReporting(HttpClient& http) {
    const std::optional<std::string> body = http.get("/api/v1/units");
    if (!body) {
        return 0;
    }
    int count = 0;
    const QJsonArray units = QJsonDocument::fromJson(QByteArray::fromStdString(*body))
                                 .object()
                                 .value(QStringLiteral("units"))
                                 .toArray();
    for (const QJsonValue& unit : units) {
        const QJsonObject u = unit.toObject();
        count += u.value(QStringLiteral("connected")).toBool() &&
                         u.value(QStringLiteral("lastReport")).isString()
                     ? 1
                     : 0;
    }
    return count;
}

// The sum of one counter family over every unit, from a metrics page.
double metricSum(const std::string& page, const std::string& family) {
    std::istringstream in(page);
    std::string line;
    double sum = 0.0;
    while (std::getline(in, line)) {
        if (line.rfind(family + "{", 0) == 0) {
            sum += std::stod(line.substr(line.rfind(' ') + 1));
        }
    }
    return sum;
}

// Waits until the agent's units send at most `framesPerSecond` frames a second in all:
// the answers to the agent's QS and QI at start (a hundred frames a unit, paced at 19200
// baud) take seconds, and the steady flow comes after them. False when they never settle
// within the patience.
bool settled(HttpClient& http, double framesPerSecond) {
    double before = -1.0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ConnectPatienceMs);
    for (auto at = Clock::now(); at < deadline; at += std::chrono::seconds(1)) {
        const std::optional<std::string> page = http.get("/metrics");
        const double now = page ? metricSum(*page, "kelvandor_frames_received_total") : 0.0;
        if (before > 0.0 && now - before <= framesPerSecond) {
            return true;
        }
        before = now;
        std::this_thread::sleep_until(at + std::chrono::seconds(1));
    }
    return false;
}

// 32 simulators, each with Ni five times a second, on one agent. Started by the first
// benchmark that needs it and kept for the others.
class Fleet {
  public:
    bool start() {
        for (int k = 0; k < FleetUnits; ++k) {
            units_.push_back(std::make_unique<testing::ListeningSimulator>());
            if (!units_.back()->start(
                    QStringLiteral(KELVANDOR_SIM_PROGRAM),
                    {QStringLiteral("--status-period"), QString::number(StatusPeriodMs)})) {
                return false;
            }
        }
        QStringList args{QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"),
                         QStringLiteral("--token-file"), dir_.filePath(QStringLiteral("token"))};
        for (int k = 0; k < FleetUnits; ++k) {
            args << QStringLiteral("--unit")
                 << QStringLiteral("u%1=%2").arg(k).arg(units_[static_cast<std::size_t>(k)]->url());
        }
        if (!agent_.start(QStringLiteral(KELVANDOR_AGENT_PROGRAM), args)) {
            return false;
        }
        HttpClient http(agent_.httpPort());
        const auto deadline = Clock::now() + std::chrono::milliseconds(ConnectPatienceMs);
        while (unitsReporting(http) < FleetUnits) {
            if (Clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return settled(http, SettledFramesPerSecond);
    }
    int httpPort() const { return agent_.httpPort(); }
    std::string pid() { return std::to_string(agent_.process().pid()); }

  private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<testing::ListeningSimulator>> units_;
    testing::AgentProgram agent_;
};

std::unique_ptr<Fleet> fleet;

// The fleet, started on first use; nothing when it cannot start (the state says why).
Fleet* fleetFor(benchmark::State& state) {
    if (!fleet) {
        fleet = std::make_unique<Fleet>();
        if (!fleet->start()) {
            fleet.reset();
        }
    }
    if (!fleet) {
        state.SkipWithError(
            "the simulators and the agent did not start, or not every unit reported");
    }
    return fleet.get();
}

void BM_AgentFleetLoad(benchmark::State& state) {
    Fleet* f = fleetFor(state);
    if (f == nullptr) {
        return;
    }
    const auto window = std::chrono::seconds(state.range(0));
    HttpClient http(f->httpPort());
    double cpu = 0.0;
    double framesPerSecond = 0.0;
    for (auto _ : state) {
        const std::optional<std::string> before = http.get("/metrics");
        const double cpuBefore = bench::processorSeconds(f->pid());
        const auto start = Clock::now();
        std::this_thread::sleep_for(window);
        const double cpuAfter = bench::processorSeconds(f->pid());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const std::optional<std::string> after = http.get("/metrics");
        state.SetIterationTime(seconds);
        if (!before || !after || cpuBefore < 0 || cpuAfter < 0) {
            state.SkipWithError("the agent's figures could not be read");
            return;
        }
        cpu = (cpuAfter - cpuBefore) / seconds;
        framesPerSecond = (metricSum(*after, "kelvandor_frames_received_total") -
                           metricSum(*before, "kelvandor_frames_received_total")) /
                          seconds;
    }
    state.counters["cpu_pct_of_core"] = cpu * 100.0;
    state.counters["rss_MB"] = static_cast<double>(bench::residentKiB(f->pid())) / 1024.0;
    state.counters["frames_per_s"] = framesPerSecond;
}

// GET `path` at 200 a second for the window, while the fleet's reports flow.
void pacedGets(benchmark::State& state, const std::string& path) {
    Fleet* f = fleetFor(state);
    if (f == nullptr) {
        return;
    }
    const auto window = std::chrono::seconds(state.range(0));
    HttpClient http(f->httpPort());
    std::vector<double> latencies;
    int failed = 0;
    int late = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto next = start;
        while (next - start < window) {
            std::this_thread::sleep_until(next);
            const auto sent = Clock::now();
            if (!http.get(path)) {
                ++failed;
            }
            const auto done = Clock::now();
            latencies.push_back(milliseconds(done - sent));
            next += RequestSpacing;
            if (next < done) {
                ++late;  // the answer took longer than the spacing: no burst to catch up
                next = done;
            }
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    if (failed > 0) {
        state.SkipWithError("some requests got no 200 answer");
    }
    state.counters["p50_ms"] = percentile(latencies, 0.50);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
    state.counters["requests"] = static_cast<double>(latencies.size());
    state.counters["late"] = late;
    state.counters["connections"] = http.reopened;
}

void BM_AgentMetricsLatency(benchmark::State& state) {
    pacedGets(state, "/metrics");
}

void BM_AgentUnitStateLatency(benchmark::State& state) {
    pacedGets(state, "/api/v1/units/u0");
}

QByteArray frameOf(CommandId id) {
    std::int32_t params[MaxParams] = {};
    char frame[FrameAreaSize];
    return QByteArray(frame, encodeFrame(frame, id, params));
}

// QV on `line`, then everything that arrives until the unit's Nv: the round trip in ms;
// nothing when no Nv came within `patienceMs` of a byte.
std::optional<double> exchangeQv(Connection& line, int patienceMs = AnswerPatienceMs) {
    static const std::string ask = frameOf(cmd::QV).toStdString();
    static const std::string answer = frameOf(cmd::Nv).left(4).toStdString();  // "{Nv "
    const auto sent = Clock::now();
    if (!line.send(ask)) {
        return std::nullopt;
    }
    std::string bytes;
    for (;;) {
        const std::size_t at = bytes.find(answer);
        if (at != std::string::npos && bytes.find('}', at) != std::string::npos) {
            return milliseconds(Clock::now() - sent);
        }
        if (!line.receive(bytes, patienceMs)) {
            return std::nullopt;
        }
    }
}

void BM_AgentShareFrameLatency(benchmark::State& state) {
    const long exchanges = state.range(0);
    // Two quiet simulators (no unasked reports): one reached on its own port, one through
    // the agent's share.
    testing::ListeningSimulator direct;
    testing::ListeningSimulator shared;
    const QStringList quiet{QStringLiteral("--quiet")};
    if (!direct.start(QStringLiteral(KELVANDOR_SIM_PROGRAM), quiet) ||
        !shared.start(QStringLiteral(KELVANDOR_SIM_PROGRAM), quiet)) {
        state.SkipWithError("kelvandor-sim did not start");
        return;
    }
    QTemporaryDir dir;
    testing::AgentProgram agent;
    if (!startSharingAgent(agent, shared.url(), dir)) {
        state.SkipWithError("kelvandor-agent did not start");
        return;
    }
    HttpClient http(agent.httpPort());
    if (!settled(http, 0.0)) {
        state.SkipWithError("the agent's unit did not answer");
        return;
    }
    Connection toUnit;
    Connection toShare;
    if (!toUnit.open(QUrl(direct.url()).port()) || !toShare.open(agent.sharePort("roof"))) {
        state.SkipWithError("could not connect to the simulator or the share");
        return;
    }
    // Once each first; both lines carry only the exchanges after.
    if (!exchangeQv(toUnit) || !exchangeQv(toShare)) {
        state.SkipWithError("no answer to QV");
        return;
    }
    std::vector<double> directMs;
    std::vector<double> sharedMs;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (long k = 0; k < exchanges; ++k) {
            const std::optional<double> a = exchangeQv(toUnit);
            const std::optional<double> b = exchangeQv(toShare);
            if (!a || !b) {
                state.SkipWithError("an exchange got no answer");
                return;
            }
            directMs.push_back(*a);
            sharedMs.push_back(*b);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    // The simulator's own round trip varies by tens of ms at its tail, on both routes
    // alike: the medians compare; BM_AgentShareFrameHop measures the agent's part alone.
    state.counters["direct_p50_ms"] = percentile(directMs, 0.50);
    state.counters["shared_p50_ms"] = percentile(sharedMs, 0.50);
    state.counters["direct_p99_ms"] = percentile(directMs, 0.99);
    state.counters["shared_p99_ms"] = percentile(sharedMs, 0.99);
    state.counters["added_p50_ms"] = percentile(sharedMs, 0.50) - percentile(directMs, 0.50);
}

// A listening loopback socket on a free port, closed with the object.
class Listener {
  public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* any = reinterpret_cast<sockaddr*>(&address);
        if (::bind(fd_, any, length) == 0 && ::listen(fd_, 4) == 0 &&
            ::getsockname(fd_, any, &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~Listener() { ::close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    int fd() const { return fd_; }
    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

// Sends `frame` on `from` and waits until its end has come out of `to`: the time in ms;
// nothing when it did not come.
std::optional<double> carry(Connection& from, Connection& to, const std::string& frame) {
    const auto sent = Clock::now();
    if (!from.send(frame)) {
        return std::nullopt;
    }
    std::string bytes;
    while (bytes.find('}') == std::string::npos) {
        if (!to.receive(bytes, AnswerPatienceMs)) {
            return std::nullopt;
        }
    }
    return milliseconds(Clock::now() - sent);
}

// One frame each way through the agent, the bench playing the unit at the far end of its
// tcp:// line: a share client's QV to the unit, the unit's Nv back to the client. Beside
// the same frames on a plain loopback connection, taken in turn.
void BM_AgentShareFrameHop(benchmark::State& state) {
    const long frames = state.range(0);
    Listener unitPort;
    Listener plainPort;
    QTemporaryDir dir;
    testing::AgentProgram agent;
    if (!agent.start(
            QStringLiteral(KELVANDOR_AGENT_PROGRAM),
            {QStringLiteral("--unit"),
             QStringLiteral("hop=tcp://127.0.0.1:%1").arg(unitPort.port()),
             QStringLiteral("--share"), QStringLiteral("hop=127.0.0.1:0"), QStringLiteral("--http"),
             QStringLiteral("127.0.0.1:0"), QStringLiteral("--query-after"), NoOwnQueries,
             QStringLiteral("--token-file"), dir.filePath(QStringLiteral("token"))})) {
        state.SkipWithError("kelvandor-agent did not start");
        return;
    }
    Connection unitSide;
    Connection client;
    Connection plainFrom;
    Connection plainTo;
    if (!unitSide.accept(unitPort.fd(), ConnectPatienceMs) ||
        !client.open(agent.sharePort("hop")) || !plainFrom.open(plainPort.port()) ||
        !plainTo.accept(plainPort.fd(), ConnectPatienceMs)) {
        state.SkipWithError("the agent did not open its line, or the share did not answer");
        return;
    }
    std::string asked;  // the agent's own QS and QI at start, which no one answers
    while (unitSide.receive(asked, 200)) {
    }
    const std::string ask = frameOf(cmd::QV).toStdString();
    std::int32_t level[MaxParams] = {300, 1};
    char nv[FrameAreaSize];
    const std::string answer(nv, static_cast<std::size_t>(encodeFrame(nv, cmd::Nv, level)));
    std::vector<double> up;
    std::vector<double> down;
    std::vector<double> plain;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (long k = 0; k < frames; ++k) {
            const std::optional<double> a = carry(client, unitSide, ask);
            const std::optional<double> b = carry(unitSide, client, answer);
            const std::optional<double> c = carry(plainFrom, plainTo, ask);
            if (!a || !b || !c) {
                state.SkipWithError("a frame did not come through");
                return;
            }
            up.push_back(*a);
            down.push_back(*b);
            plain.push_back(*c);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double plain50 = percentile(plain, 0.50);
    const double plain99 = percentile(plain, 0.99);
    state.counters["plain_p50_ms"] = plain50;
    state.counters["to_unit_added_p50_ms"] = percentile(up, 0.50) - plain50;
    state.counters["to_unit_added_p99_ms"] = percentile(up, 0.99) - plain99;
    state.counters["to_client_added_p50_ms"] = percentile(down, 0.50) - plain50;
    state.counters["to_client_added_p99_ms"] = percentile(down, 0.99) - plain99;
}

void BM_AgentWriteDefaultThroughShare(benchmark::State& state) {
    std::ostringstream log;
    sim::SimOptions options;
    options.periodicReports = false;
    options.log = &log;
    sim::Simulator unit(options);
    if (!unit.start()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    QTemporaryDir dir;
    testing::AgentProgram agent;
    if (!startSharingAgent(agent, QString::fromStdString(unit.slavePath()), dir)) {
        state.SkipWithError("kelvandor-agent did not start");
        return;
    }
    // The agent's questions at start (QS, QI) answered in full: the unit is idle after.
    HttpClient http(agent.httpPort());
    if (!settled(http, 0.0)) {
        state.SkipWithError("the unit did not settle after the agent's questions");
        return;
    }
    const std::string port = "tcp://127.0.0.1:" + std::to_string(agent.sharePort("roof"));
    const std::atomic<bool> stop{false};
    {
        std::ostringstream out;
        std::ostringstream err;
        const cli::Args setup{"--port", port, "OS", "--wait", "1000"};
        if (cli::runSend(setup, out, err, stop) != cli::ExitOk ||
            out.str().find("NA 0") == std::string::npos) {
            state.SkipWithError("the unit did not enter set-up mode through the share");
            return;
        }
    }
    // The unit has been idle since the answer to OS: its log can be read.
    const std::size_t from = bench::lineCount(log.str());
    double wall = 0.0;
    for (auto _ : state) {
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        const cli::Args args{KELVANDOR_SAMPLE_RIF, "--port", port, "--yes"};
        const auto start = Clock::now();
        const int status = cli::runWriteDefault(args, in, out, err, cli::Console{}, stop);
        wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(wall);
        if (status != cli::ExitOk) {
            state.SkipWithError("write-default did not complete with every echo");
        }
    }
    unit.stop();
    const double floor = bench::writeDefaultFloorSeconds(log.str(), from);
    state.counters["wall_s"] = wall;
    state.counters["floor_s"] = floor;
    state.counters["ratio"] = floor > 0.0 ? wall / floor : 0.0;
}

// Whether --benchmark_min_time asks for a short pass (below the library's 0.5 s).
bool shortPass(int argc, char** argv) {
    const std::string flag = "--benchmark_min_time=";
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg.rfind(flag, 0) == 0) {
            return std::stod(arg.substr(flag.size())) < 0.5;
        }
    }
    return false;
}

// Each benchmark runs once (its window is its measure), timed by hand.
benchmark::internal::Benchmark* once(benchmark::internal::Benchmark* b) {
    return b->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
}

void registerBenchmarks(const Windows& w) {
    once(benchmark::RegisterBenchmark("BM_AgentFleetLoad", BM_AgentFleetLoad))
        ->ArgName("window_s")
        ->Arg(w.fleetSeconds);
    once(benchmark::RegisterBenchmark("BM_AgentMetricsLatency", BM_AgentMetricsLatency))
        ->ArgName("window_s")
        ->Arg(w.latencySeconds);
    once(benchmark::RegisterBenchmark("BM_AgentUnitStateLatency", BM_AgentUnitStateLatency))
        ->ArgName("window_s")
        ->Arg(w.latencySeconds);
    once(benchmark::RegisterBenchmark("BM_AgentShareFrameLatency", BM_AgentShareFrameLatency))
        ->ArgName("exchanges")
        ->Arg(w.exchanges);
    once(benchmark::RegisterBenchmark("BM_AgentShareFrameHop", BM_AgentShareFrameHop))
        ->ArgName("frames")
        ->Arg(w.hops);
    once(benchmark::RegisterBenchmark("BM_AgentWriteDefaultThroughShare",
                                      BM_AgentWriteDefaultThroughShare));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    registerBenchmarks(shortPass(argc, argv) ? QuickWindows : LongWindows);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fleet.reset();  // ends the agent and the simulators before the application
    return 0;
}
