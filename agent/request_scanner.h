// SPDX-License-Identifier: GPL-3.0-or-later
// What the HTTP guard reads of a connection's bytes before the HTTP server parses them:
// where each request's head (request line and header lines) ends, how long its body is,
// and whether either is beyond the limits. It follows the connection request after
// request, whatever pieces the bytes come in, and keeps nothing but the current line.
//
// A head ends at its first empty line; lines end at LF, a CR before it dropped. Empty
// lines before a request line are skipped, as HTTP parsers do, but count towards the
// head. A body is exactly Content-Length bytes (none without the header). Refused:
//   - a head longer than the limit (431),
//   - a Content-Length above the limit (413), as soon as its line is read,
//   - Transfer-Encoding (411: a body needs a Content-Length here),
//   - a malformed or repeated Content-Length, or a folded header line (400).
// After a head that asks to upgrade the connection to a WebSocket (Upgrade: websocket and
// Connection: upgrade) the connection is no longer HTTP: nothing more is scanned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvandor::agent {

struct RequestLimits {
    std::size_t maxHead = 8 * 1024;     // bytes of request line and headers, line ends included
    std::uint64_t maxBody = 64 * 1024;  // bytes of body
};

enum class Refusal {
    None,
    BadRequest,      // 400
    LengthRequired,  // 411
    BodyTooLarge,    // 413
    HeadTooLarge,    // 431
};

class RequestScanner {
  public:
    explicit RequestScanner(RequestLimits limits = {}) : limits_(limits) {}

    // Reads the connection's next bytes. Returns the refusal, None while the bytes are
    // within the limits; once refused, the refusal stays and later bytes are ignored.
    Refusal feed(std::string_view bytes);

    Refusal refusal() const { return refusal_; }
    // Some bytes of a request have come, but not the whole of it.
    bool midRequest() const { return phase_ == Phase::Body || headBytes_ > 0; }
    // Whether the last whole head asked for a WebSocket (the bytes after it are not scanned).
    bool upgraded() const { return phase_ == Phase::Upgraded; }
    // Whole requests (head and body) read so far.
    std::uint64_t requests() const { return requests_; }

  private:
    enum class Phase { Head, Body, Upgraded };

    // A header line has ended (`line_` holds it without its line end).
    void headerLine();
    void headEnded();
    void refuse(Refusal refusal) { refusal_ = refusal; }

    RequestLimits limits_;
    Refusal refusal_ = Refusal::None;
    Phase phase_ = Phase::Head;
    std::size_t headBytes_ = 0;  // bytes of the current head so far
    bool sawRequestLine_ = false;
    std::string line_;  // the current line (never longer than the head limit)
    bool hasLength_ = false;
    std::uint64_t length_ = 0;
    bool upgrade_ = false;            // Upgrade: websocket
    bool connectionUpgrade_ = false;  // Connection: upgrade
    std::uint64_t bodyLeft_ = 0;
    std::uint64_t requests_ = 0;
};

}  // namespace kelvandor::agent
