// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/paced_line.h"

#include <algorithm>
#include <cmath>

namespace kelvandor::sim {

namespace {
constexpr double BitsPerByte = 10.0;  // start bit, 8 data bits, stop bit
constexpr double MicrosPerSecond = 1e6;
}  // namespace

PacedLine::PacedLine(int baud)
    : bytesPerMicro_(baud > 0 ? baud / BitsPerByte / MicrosPerSecond : 0.0) {}

bool PacedLine::push(std::string bytes, Micros pauseBefore) {
    if (bytes.empty()) {
        return true;
    }
    if (queued_ >= MaxQueuedBytes) {
        return false;
    }
    queued_ += bytes.size();
    pieces_.push_back({std::move(bytes), 0, pauseBefore, false});
    return true;
}

void PacedLine::clear() {
    pieces_.clear();
    queued_ = 0;
}

void PacedLine::refill(Micros now) {
    if (budgetAt_ < 0 || now < budgetAt_) {
        budgetAt_ = now;
        return;
    }
    budget_ = std::min(budget_ + static_cast<double>(now - budgetAt_) * bytesPerMicro_,
                       static_cast<double>(MaxBudgetBytes));
    budgetAt_ = now;
}

bool PacedLine::flush(Micros now, const Writer& write) {
    refill(now);
    while (!pieces_.empty()) {
        Piece& piece = pieces_.front();
        if (!piece.started) {
            if (now < lastPieceEnd_ + piece.pauseBefore) {
                return true;
            }
            piece.started = true;
        }
        std::size_t count = piece.bytes.size() - piece.sent;
        if (paced_) {
            count = std::min(count, static_cast<std::size_t>(budget_));
            if (count == 0) {
                return true;
            }
        }
        const long taken = write(piece.bytes.data() + piece.sent, count);
        if (taken < 0) {
            return false;
        }
        const auto took = static_cast<std::size_t>(taken);
        piece.sent += took;
        queued_ -= took;
        if (paced_) {
            budget_ -= static_cast<double>(took);
        }
        if (piece.sent == piece.bytes.size()) {
            lastPieceEnd_ = now;
            pieces_.pop_front();
        }
        if (took < count) {
            return true;  // the device is full for now
        }
    }
    return true;
}

Micros PacedLine::nextWrite(Micros now) const {
    if (pieces_.empty()) {
        return -1;
    }
    const Piece& piece = pieces_.front();
    Micros at = now;
    if (!piece.started) {
        at = std::max(at, lastPieceEnd_ + piece.pauseBefore);
    }
    if (!paced_ || bytesPerMicro_ <= 0) {
        return at;
    }
    // Wait for a full burst, or for the rest of the piece when that is shorter.
    const double want = static_cast<double>(std::min(BurstBytes, piece.bytes.size() - piece.sent));
    if (budget_ >= want) {
        return at;
    }
    const auto wait = static_cast<Micros>(std::ceil((want - budget_) / bytesPerMicro_));
    return std::max(at, budgetAt_ + wait);
}

}  // namespace kelvandor::sim
