// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-sim: the simulated antenna control unit as a program. It runs the unit on the
// main thread until SIGINT or SIGTERM, then removes its COM link.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "kelvandor_version.h"
#include "link/com_port_name.h"
#include "sim/sim_command_line.h"
#include "sim/simulator.h"
#include "sim/tcp_listener.h"

namespace {

using kelvandor::sim::Fault;
using kelvandor::sim::Simulator;

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onStopSignal(int) {
    stopRequested = true;
}

void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

// Hangs the line up, and plugs it in again, at the times the command line asked for.
// Returns at once when nothing is scheduled; ends early when the program stops.
void runHangUpSchedule(std::stop_token stop, Simulator& simulator, int hangUpAfterMs,
                       int replugAfterMs) {
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    const auto sleepFor = [&](int ms) {
        return !wakeUp.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
    };
    if (hangUpAfterMs < 0 || !sleepFor(hangUpAfterMs)) {
        return;
    }
    simulator.setFault(Fault::HangUp, true);
    if (replugAfterMs < 0 || !sleepFor(replugAfterMs)) {
        return;
    }
    simulator.setFault(Fault::HangUp, false);
}

// Reads fault switches from standard input (see parseFaultSwitch), one a line, and applies
// each, saying on standard error what it switched, until the input ends or the program
// stops.
void runControlInput(std::stop_token stop, Simulator& simulator) {
    constexpr int PollMs = 100;
    std::string pending;
    char chunk[256];
    while (!stop.stop_requested()) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&input, 1, PollMs);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;  // the input has ended: the faults stay as they are
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end = pending.find('\n'); end != std::string::npos;
             end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            std::string error;
            const std::optional<kelvandor::sim::FaultSwitch> change =
                kelvandor::sim::parseFaultSwitch(line, error);
            if (!change) {
                std::cerr << "kelvandor-sim: " + error + "\n";
                continue;
            }
            for (const Fault fault : change->faults) {
                simulator.setFault(fault, change->on);
            }
            if (!change->faults.empty()) {
                std::cerr << "kelvandor-sim: " + line + "\n";
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvandor::sim;
    std::string error;
    const std::optional<SimCommandLine> line =
        parseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!line) {
        std::cerr << "kelvandor-sim: " << error << '\n';
        return 2;
    }
    if (line->help) {
        std::cout << SimUsage;
        return 0;
    }
    if (line->version) {
        std::cout << "kelvandor-sim " KELVANDOR_VERSION "\n" KELVANDOR_VERSION_NOTICE;
        return 0;
    }
    SimOptions options = line->options;
    if (line->verbose) {
        options.log = &std::cout;
    }
    Simulator simulator(options);
    if (!simulator.open()) {
        std::cerr << "kelvandor-sim: cannot make a pseudo-terminal: " << simulator.lastError()
                  << '\n';
        return 1;
    }
    for (const Fault fault : line->faults) {
        simulator.setFault(fault, true);
    }
    if (line->pattern.rows > 0) {
        simulator.streamPattern(line->pattern);
    }
    std::string where = simulator.slavePath();
    if (line->link) {
        const std::string dir = line->portDir.empty()
                                    ? kelvandor::ComPortNaming::fromEnvironment().portDir
                                    : line->portDir;
        std::string note;
        const bool linked = simulator.linkAs(dir, line->comNumber, &note, line->replaceLink);
        std::cerr << "kelvandor-sim: " << note << '\n';
        if (!linked) {
            return 1;
        }
        where += " as COM" + std::to_string(line->comNumber);
    }
    if (line->printPath) {
        std::cout << simulator.slavePath() << std::endl;
    }
    TcpListener listener(simulator);
    if (!line->listen.empty()) {
        if (!listener.listen(*parseListenAddress(line->listen))) {
            std::cerr << "kelvandor-sim: " << listener.error() << '\n';
            return 1;
        }
        where += ", and on TCP port " + std::to_string(listener.port());
    }
    std::cerr << "kelvandor-sim: antenna control unit on " << where
              << (options.premium ? "" : ", not PREMIUM")
              << (options.periodicReports ? "" : ", quiet")
              << (line->pattern.rows > 0 ? ", streaming its tracking pattern" : "")
              << "; Ctrl-C ends it\n";

    installSignalHandlers();
    std::jthread schedule(runHangUpSchedule, std::ref(simulator), line->hangUpAfterMs,
                          line->replugAfterMs);
    std::jthread control;
    if (line->control) {
        control = std::jthread(runControlInput, std::ref(simulator));
    }
    std::thread network;
    if (!line->listen.empty()) {
        network = std::thread([&listener] { listener.run(stopRequested); });
    }
    simulator.run(stopRequested);
    stopRequested = true;  // also when the unit stopped by itself
    if (network.joinable()) {
        network.join();
    }
    schedule.request_stop();
    schedule.join();
    if (control.joinable()) {
        control.request_stop();
        control.join();
    }
    simulator.stop();
    std::cerr << "kelvandor-sim: stopped" << (line->link ? ", link removed" : "") << '\n';
    return 0;
}
