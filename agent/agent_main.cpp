// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-agent: the antenna service. Runs until SIGINT or SIGTERM.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

#include "agent/agent.h"
#include "agent/agent_config.h"
#include "kelvandor_version.h"

namespace {

constexpr int ExitServe = 1;
constexpr int ExitUsage = 2;

int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(stopPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop through a socket pair, as Qt advises for Unix
// signals.
bool installStopSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stopPipe) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) {
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto line = kelvandor::agent::parseCommandLine(args, error);
    if (!line) {
        std::cerr << "kelvandor-agent: " << error << '\n';
        return ExitUsage;
    }
    if (line->help) {
        std::cout << kelvandor::agent::AgentUsage;
        return 0;
    }
    if (line->version) {
        std::cout << "kelvandor-agent " KELVANDOR_VERSION "\n" KELVANDOR_VERSION_NOTICE;
        return 0;
    }
    QCoreApplication app(argc, argv);
    if (!installStopSignals()) {
        std::cerr << "kelvandor-agent: cannot watch for signals\n";
        return ExitServe;
    }
    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    kelvandor::agent::Agent agent(line->config);
    if (!agent.start(std::cout, std::cerr)) {
        return ExitServe;
    }
    return QCoreApplication::exec();
}
