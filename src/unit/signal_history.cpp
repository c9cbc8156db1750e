// SPDX-License-Identifier: GPL-3.0-or-later
#include "unit/signal_history.h"

#include <algorithm>
#include <limits>

#include "protocol/unit_reports.h"

namespace kelvandor {

SignalHistory::SignalHistory(std::size_t capacity) : capacity_(capacity) {}

void SignalHistory::append(const SignalSample& sample) {
    if (capacity_ == 0) {
        return;
    }
    if (slots_.empty()) {
        slots_.resize(capacity_);
    }
    if (size_ < capacity_) {
        slots_[(head_ + size_) % capacity_] = sample;
        ++size_;
    } else {
        slots_[head_] = sample;
        head_ = (head_ + 1) % capacity_;
    }
    if (!hasPeak_ || sample.level > peak_) {
        peak_ = sample.level;
        hasPeak_ = true;
    }
}

void SignalHistory::clear() {
    head_ = 0;
    size_ = 0;
    hasPeak_ = false;
    peak_ = 0;
}

std::size_t SignalHistory::firstAtOrAfter(std::int64_t msecs) const {
    std::size_t low = 0;
    std::size_t high = size_;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (at(mid).msecs < msecs) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

namespace {
constexpr int KeepLock = -1;  // a level report without a lock flag
}  // namespace

bool SignalRecorder::take(CommandId id, const std::int32_t* p, std::int64_t msecs,
                          std::int64_t msecsSinceEpoch) {
    switch (id) {
        case cmd::Ni:
            state_ = p[0];
            azimuth_ = p[3];
            elevation_ = p[4];
            skew_ = p[5];
            hasPointing_ = true;
            addLevel(p[1], p[2] != 0 ? 1 : 0, msecs, msecsSinceEpoch);
            return true;
        case cmd::NV:
            addLevel(p[0], KeepLock, msecs, msecsSinceEpoch);
            return true;
        case cmd::Nv:
            addLevel(p[0], p[1] != 0 ? 1 : 0, msecs, msecsSinceEpoch);
            return true;
        case cmd::NA:
            state_ = p[0];
            return false;
        case cmd::AP:
            azimuth_ = p[0];
            elevation_ = p[1];
            hasPointing_ = true;
            return false;
        default:
            return false;
    }
}

void SignalRecorder::addLevel(std::int32_t raw, int lock, std::int64_t msecs,
                              std::int64_t msecsSinceEpoch) {
    if (lock != KeepLock) {
        lock_ = static_cast<std::uint8_t>(lock);
    }
    const long long level = signalLevelOf(raw);
    constexpr auto Int32Min = std::numeric_limits<std::int32_t>::min();
    constexpr auto Int32Max = std::numeric_limits<std::int32_t>::max();
    history_.append({msecs, msecsSinceEpoch,
                     static_cast<std::int32_t>(std::clamp<long long>(level, Int32Min, Int32Max)),
                     azimuth_, elevation_, skew_,
                     static_cast<std::int16_t>(std::clamp<std::int32_t>(
                         state_, std::numeric_limits<std::int16_t>::min(),
                         std::numeric_limits<std::int16_t>::max())),
                     lock_});
}

}  // namespace kelvandor
