// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/request_scanner.h"

#include <algorithm>

namespace kelvandor::agent {

namespace {

constexpr std::uint64_t DecimalBase = 10;

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
               return lower(x) == lower(y);
           });
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether the comma-separated list `value` holds `token`, whatever its case.
bool listHolds(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        if (sameWord(trimmed(value.substr(0, comma)), token)) {
            return true;
        }
        value = comma == std::string_view::npos ? std::string_view{} : value.substr(comma + 1);
    }
    return false;
}

}  // namespace

Refusal RequestScanner::feed(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size() && refusal_ == Refusal::None && phase_ != Phase::Upgraded) {
        if (phase_ == Phase::Body) {
            const std::uint64_t take = std::min<std::uint64_t>(bodyLeft_, bytes.size() - at);
            at += static_cast<std::size_t>(take);
            bodyLeft_ -= take;
            if (bodyLeft_ == 0) {
                ++requests_;
                phase_ = Phase::Head;
            }
            continue;
        }
        const char c = bytes[at++];
        if (++headBytes_ > limits_.maxHead) {
            refuse(Refusal::HeadTooLarge);
            break;
        }
        if (c != '\n') {
            line_ += c;
            continue;
        }
        if (!line_.empty() && line_.back() == '\r') {
            line_.pop_back();
        }
        if (line_.empty()) {
            if (sawRequestLine_) {
                headEnded();
            }
        } else if (!sawRequestLine_) {
            sawRequestLine_ = true;
        } else {
            headerLine();
        }
        line_.clear();
    }
    return refusal_;
}

void RequestScanner::headerLine() {
    if (line_.front() == ' ' || line_.front() == '\t') {
        refuse(Refusal::BadRequest);  // a folded line: no longer allowed, and ambiguous
        return;
    }
    const std::string_view line = line_;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return;  // not a header at all: the HTTP parser refuses it
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (sameWord(name, "Content-Length")) {
        if (hasLength_ || value.empty()) {
            refuse(Refusal::BadRequest);
            return;
        }
        std::uint64_t length = 0;
        for (const char digit : value) {
            if (digit < '0' || digit > '9') {
                refuse(Refusal::BadRequest);
                return;
            }
            length = length * DecimalBase + static_cast<std::uint64_t>(digit - '0');
            if (length > limits_.maxBody) {
                refuse(Refusal::BodyTooLarge);  // before it could overflow
                return;
            }
        }
        hasLength_ = true;
        length_ = length;
    } else if (sameWord(name, "Transfer-Encoding")) {
        refuse(Refusal::LengthRequired);
    } else if (sameWord(name, "Upgrade")) {
        upgrade_ = upgrade_ || sameWord(value, "websocket");
    } else if (sameWord(name, "Connection")) {
        connectionUpgrade_ = connectionUpgrade_ || listHolds(value, "upgrade");
    }
}

void RequestScanner::headEnded() {
    headBytes_ = 0;
    sawRequestLine_ = false;
    const bool upgrade = upgrade_ && connectionUpgrade_;
    bodyLeft_ = hasLength_ ? length_ : 0;
    hasLength_ = false;
    length_ = 0;
    upgrade_ = false;
    connectionUpgrade_ = false;
    if (upgrade) {
        ++requests_;
        phase_ = Phase::Upgraded;
    } else if (bodyLeft_ == 0) {
        ++requests_;
    } else {
        phase_ = Phase::Body;
    }
}

}  // namespace kelvandor::agent
