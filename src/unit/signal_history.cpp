// SPDX-License-Identifier: GPL-3.0-or-later
#include "unit/signal_history.h"

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

}  // namespace kelvandor
