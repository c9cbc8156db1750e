// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-cli: the command-line companion of the controller.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/cli_angles.h"
#include "cli/cli_args.h"
#include "cli/cli_codec.h"
#include "cli/cli_port.h"
#include "cli/cli_rif.h"
#include "cli/cli_unit.h"
#include "kelvandor_version.h"

namespace {

constexpr const char* Usage =
    "usage: kelvandor-cli COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  encode MNEMONIC [PARAM...]   write the frame of a command to standard output\n"
    "                               (exact bytes, no line end)\n"
    "  decode [--chunk N]           read raw bytes from standard input and print one line\n"
    "                               per frame: MNEMONIC P1 P2 ... (N bytes at a time,\n"
    "                               default 64, 1..239); a failed chunk prints \"error CODE\"\n"
    "  send --port PORT MNEMONIC [PARAM...] [--wait MS]\n"
    "                               send one frame to PORT (COMn, a device path or a\n"
    "                               network URL) at\n"
    "                               19200 baud and print every frame received within MS\n"
    "                               milliseconds (default 500), one line each as decode does\n"
    "  monitor --port PORT          print every frame received on PORT until Ctrl-C\n"
    "  status [--port PORT] [--json] [--wait MS]\n"
    "                               ask the unit what Get Antenna Information asks and\n"
    "                               print its state, signal, pointing, product, GPS\n"
    "                               position, tracked satellite and satellite table (one\n"
    "                               JSON object with --json); PORT defaults to COM2\n"
    "  write-default FILE [--port PORT] [--size N] [--yes]\n"
    "                               write a default set into the unit, which must be in\n"
    "                               set-up mode, as the controller's Update Default does;\n"
    "                               --size (0..6 or T4, T6, T3, T1, T9, T2, T6R) replaces\n"
    "                               the size the unit reports, --yes skips the question\n"
    "  angles --sat LON{E|W} --lon DDD.MM{E|W} --lat DD.MM{N|S}\n"
    "                               print the azimuth, elevation and skew towards a\n"
    "                               satellite from an antenna position (\"%.2f\" each)\n"
    "  rif FILE                     read a default-set file as the controller does and\n"
    "                               print what it holds; a file it would refuse: the\n"
    "                               reason on standard error, exit status 1\n"
    "  -h, --help                   show this text\n"
    "  --version                    show the version\n"
    "\n"
    "COMn is looked up as a link named COMn in $KELVANDOR_PORT_DIR (default\n"
    "~/.config/kelvandor/ports), or a file there holding one URL, else taken as\n"
    "/dev/ttyS<n-1>. A URL reaches a serial server over the network:\n"
    "tcp://HOST:PORT (raw bytes) or rfc2217://HOST:PORT (Telnet COM-PORT-OPTION, which\n"
    "sets the far line to 19200 8N1); an IPv6 HOST goes in brackets: [::1].\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed (for send, monitor and rif: a port that\n"
    "cannot be opened or that hangs up, a default-set file that is refused; for\n"
    "write-default: a step got no reply, or the run was stopped, or a failed write or a\n"
    "hang-up ended it after something was sent), 2 wrong command line (and for\n"
    "write-default a refused file), 3 for status and write-default: the port cannot be\n"
    "opened, the unit does not answer or is not in set-up mode; for status also an\n"
    "incomplete picture (the line hung up, the unit fell quiet), for write-default a run\n"
    "that sent nothing. 130 write-default interrupted at its question, nothing sent.\n";

std::atomic<bool> interrupted{false};
// Set while write-default waits for the answer to its question.
std::atomic<bool> asking{false};

extern "C" void onInterrupt(int signal) {
    if (asking) {
        // Nothing has been sent, and a read of the answer would only restart: end here,
        // with what is async-signal-safe.
        constexpr char Note[] = "\nNothing was sent.\n";
        const ssize_t written = write(STDOUT_FILENO, Note, sizeof Note - 1);
        (void)written;
        _exit(128 + signal);
    }
    interrupted = true;
}

// Ctrl-C and SIGTERM end send, monitor and status cleanly (the port is closed and the
// output flushed); write-default stops after the step under way and says how far it got,
// and ends at once when they come while it asks whether to write.
void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvandor::cli;
    std::ios::sync_with_stdio(false);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        (argc < 2 ? std::cerr : std::cout) << Usage;
        return argc < 2 ? ExitUsage : ExitOk;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << "kelvandor-cli " KELVANDOR_VERSION "\n" KELVANDOR_VERSION_NOTICE;
        return ExitOk;
    }
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "encode") {
        return runEncode(args, std::cout, std::cerr);
    }
    if (command == "decode") {
        return runDecode(args, std::cin, std::cout, std::cerr);
    }
    if (command == "rif") {
        return runRif(args, std::cout, std::cerr);
    }
    if (command == "angles") {
        return runAngles(args, std::cout, std::cerr);
    }
    if (command == "status") {
        installInterruptHandlers();
        return runStatus(args, std::cout, std::cerr, interrupted);
    }
    if (command == "write-default") {
        installInterruptHandlers();
        const Console console{isatty(STDIN_FILENO) == 1, isatty(STDOUT_FILENO) == 1, &asking};
        return runWriteDefault(args, std::cin, std::cout, std::cerr, console, interrupted);
    }
    if (command == "send" || command == "monitor") {
        installInterruptHandlers();
        return command == "send" ? runSend(args, std::cout, std::cerr, interrupted)
                                 : runMonitor(args, std::cout, std::cerr, interrupted);
    }
    std::cerr << "kelvandor-cli: unknown command \"" << command
              << "\" (see kelvandor-cli --help)\n";
    return ExitUsage;
}
