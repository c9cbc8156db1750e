// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP guard's request scanner on arbitrary connection bytes: it must neither crash
// nor reach undefined behaviour; where the reads split the bytes must not matter; a
// refusal stays; and limits only ever refuse more: with the limits smaller, bytes that
// pass read as the same requests, and bytes that pass with the limits larger are refused
// only for a size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "agent/request_scanner.h"

using namespace kelvandor::agent;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Outcome {
    Refusal refusal;
    std::uint64_t requests;
    bool midRequest;
    bool upgraded;
    bool operator==(const Outcome&) const = default;
};

Outcome scan(std::string_view bytes, RequestLimits limits, std::size_t piece) {
    RequestScanner scanner(limits);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const Refusal said = scanner.feed(bytes.substr(at, piece));
        check(said == scanner.refusal());
    }
    return {scanner.refusal(), scanner.requests(), scanner.midRequest(), scanner.upgraded()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // The first bytes choose how the reads split the rest and how small the limits are.
    const std::size_t piece = data[0] % 32 + 1;
    const RequestLimits small{static_cast<std::size_t>(data[1]) * 4 + 1,
                              static_cast<std::uint64_t>(data[2]) * 4};
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
    const RequestLimits large{};

    const Outcome whole = scan(bytes, large, bytes.size() + 1);
    check(scan(bytes, large, piece) == whole);
    check(whole.requests <= bytes.size() / 2 + 1);  // every request has at least "\n\n"

    const Outcome strict = scan(bytes, small, piece);
    check(scan(bytes, small, 1) == strict);
    if (strict.refusal == Refusal::None) {
        check(whole == strict);
    }
    if (whole.refusal == Refusal::None) {
        check(strict.refusal == Refusal::None || strict.refusal == Refusal::HeadTooLarge ||
              strict.refusal == Refusal::BodyTooLarge);
        check(strict.requests <= whole.requests);
    }

    // Once refused, nothing more is read.
    RequestScanner scanner(small);
    scanner.feed(bytes);
    if (scanner.refusal() != Refusal::None) {
        const std::uint64_t before = scanner.requests();
        check(scanner.feed("GET / HTTP/1.1\r\n\r\n") == strict.refusal);
        check(scanner.requests() == before);
    }
    return 0;
}
