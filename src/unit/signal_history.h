// SPDX-License-Identifier: GPL-3.0-or-later
// The signal history: every level report the antenna sent, with its lock flag, state and
// pointing, in a ring of fixed capacity. Memory is taken once, on the first sample, and
// never grows; when the ring is full the oldest sample gives way. Pure C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/command_table.h"

namespace kelvandor {

struct SignalSample {
    // When the report arrived, on a monotonic clock (any origin): orders the samples and
    // places them on the chart, whatever is done to the wall clock meanwhile.
    std::int64_t msecs;
    std::int64_t msecsSinceEpoch;  // wall-clock time of the report, for display and export
    std::int32_t level;            // the value the status panel shows (800 - raw)
    std::int32_t azimuth;          // hundredths of a degree, as Ni carries them
    std::int32_t elevation;
    std::int32_t skew;
    std::int16_t state;  // antenna state as NA reports it
    std::uint8_t lock;   // 1 locked, 0 not
};

class SignalHistory {
  public:
    // 24 hours of reports at two a second: a unit reports about once a second, so a day
    // fits with room to spare; faster reports keep a shorter span in the same memory.
    static constexpr std::size_t DefaultCapacity = 24U * 3600U * 2U;

    explicit SignalHistory(std::size_t capacity = DefaultCapacity);

    // Appends a sample; when full, the oldest sample is dropped. A capacity of 0 keeps
    // nothing.
    void append(const SignalSample& sample);
    // Forgets every sample and the peak; the memory stays taken.
    void clear();

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    // The sample `i` places after the oldest (0 the oldest, size() - 1 the newest).
    const SignalSample& at(std::size_t i) const { return slots_[(head_ + i) % capacity_]; }
    const SignalSample& newest() const { return at(size_ - 1); }
    // The index of the first sample whose monotonic time is at or after `msecs`; size()
    // when there is none. Samples arrive in the order of their monotonic times.
    std::size_t firstAtOrAfter(std::int64_t msecs) const;

    // The highest level since the last clear; meaningful only when hasPeak().
    bool hasPeak() const { return hasPeak_; }
    std::int32_t peak() const { return peak_; }

    // Bytes the ring holds for its samples, whatever their count.
    std::size_t memoryBytes() const { return slots_.capacity() * sizeof(SignalSample); }

  private:
    std::vector<SignalSample> slots_;
    std::size_t capacity_;
    std::size_t head_ = 0;  // slot of the oldest sample
    std::size_t size_ = 0;
    bool hasPeak_ = false;
    std::int32_t peak_ = 0;
};

// Turns a unit's reports into samples of a history, the one way every watcher of a unit
// (the window's sky view, the agent) keeps it: Ni, NV and Nv each add a sample; NV and Nv
// carry the level alone (Nv its lock too), and the sample takes the state, lock and
// pointing the latest NA, Ni and AP said.
class SignalRecorder {
  public:
    explicit SignalRecorder(SignalHistory& history) : history_(history) {}

    // Takes one decoded frame that arrived at `msecs` (monotonic) and `msecsSinceEpoch`
    // (wall clock). True when it added a sample.
    bool take(CommandId id, const std::int32_t* params, std::int64_t msecs,
              std::int64_t msecsSinceEpoch);

    // The latest state (-1 before any) and pointing, in hundredths of a degree.
    std::int32_t state() const { return state_; }
    bool hasPointing() const { return hasPointing_; }
    std::int32_t azimuth() const { return azimuth_; }
    std::int32_t elevation() const { return elevation_; }

  private:
    void addLevel(std::int32_t raw, int lock, std::int64_t msecs, std::int64_t msecsSinceEpoch);

    SignalHistory& history_;
    std::int32_t state_ = -1;
    std::uint8_t lock_ = 0;
    std::int32_t azimuth_ = 0;
    std::int32_t elevation_ = 0;
    std::int32_t skew_ = 0;
    bool hasPointing_ = false;
};

}  // namespace kelvandor
