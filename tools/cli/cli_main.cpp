// kelvandor-cli: the command-line companion of the controller.
#include <cstring>
#include <iostream>
#include <string>

#include "cli/cli_args.h"
#include "cli/cli_codec.h"

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
    "  --help                       show this text\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed, 2 wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvandor::cli;
    std::ios::sync_with_stdio(false);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        (argc < 2 ? std::cerr : std::cout) << Usage;
        return argc < 2 ? ExitUsage : ExitOk;
    }
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "encode") {
        return runEncode(args, std::cout, std::cerr);
    }
    if (command == "decode") {
        return runDecode(args, std::cin, std::cout, std::cerr);
    }
    std::cerr << "kelvandor-cli: unknown command \"" << command << "\" (see kelvandor-cli --help)\n";
    return ExitUsage;
}
