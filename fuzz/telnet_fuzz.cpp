// SPDX-License-Identifier: GPL-3.0-or-later
// The Telnet client of rfc2217:// ports on arbitrary server bytes: it must neither crash
// nor reach undefined behaviour; where the reads split the bytes must not matter; it
// must never hand out more data than it received; and what escape() makes of any data
// must come back as that data, with nothing to answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/telnet_session.h"

using namespace kelvandor;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Run {
    TelnetSession session;
    std::string data;
    std::string answers;
};

// Feeds `bytes` after start(), in pieces of `piece` bytes.
void feed(Run& run, const std::string& bytes, std::size_t piece) {
    std::string opening;
    run.session.start(19200, opening);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::string part = bytes.substr(at, piece);
        run.session.receive(part.data(), part.size(), run.data, run.answers);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses how the reads split the rest.
    const std::size_t piece = data[0] % 16 + 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    Run whole;
    feed(whole, bytes, bytes.size() + 1);
    Run split;
    feed(split, bytes, piece);
    check(whole.data == split.data);
    check(whole.answers == split.answers);
    check(whole.session.comPort() == split.session.comPort());
    check(whole.session.confirmedBaud() == split.session.confirmedBaud());
    check(whole.data.size() <= bytes.size());
    // Every answer is a whole command: it starts with IAC.
    check(whole.answers.empty() || static_cast<unsigned char>(whole.answers[0]) == telnet::Iac);

    // Any data escaped comes back unchanged, with nothing to answer.
    std::string wire;
    TelnetSession::escape(bytes.data(), bytes.size(), wire);
    Run back;
    feed(back, wire, piece);
    check(back.data == bytes);
    check(back.answers.empty());
    check(!back.session.heardTelnet());
    return 0;
}
