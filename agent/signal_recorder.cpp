// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/signal_recorder.h"

#include <algorithm>
#include <limits>

namespace kelvandor::agent {

namespace {

constexpr std::int64_t SignalReference = 800;  // the level shown is 800 minus the raw level

std::int32_t shownLevel(std::int32_t raw) {
    const std::int64_t v = SignalReference - static_cast<std::int64_t>(raw);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

SignalRecorder::SignalRecorder(std::size_t capacity) : history_(capacity) {}

std::optional<AntennaPointing> SignalRecorder::pointing() const {
    if (!hasPointing_) {
        return std::nullopt;
    }
    return AntennaPointing{azimuth_, elevation_};
}

bool SignalRecorder::takeFrame(CommandId id, const std::int32_t* p, std::int64_t steadyMs,
                               std::int64_t wallMs) {
    switch (id) {
        case cmd::Ni:
            state_ = p[0];
            azimuth_ = p[3];
            elevation_ = p[4];
            skew_ = p[5];
            hasPointing_ = true;
            addLevel(p[1], p[2] != 0 ? 1 : 0, steadyMs, wallMs);
            return true;
        case cmd::NV:
            addLevel(p[0], std::nullopt, steadyMs, wallMs);
            return true;
        case cmd::Nv:
            addLevel(p[0], p[1] != 0 ? 1 : 0, steadyMs, wallMs);
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

void SignalRecorder::addLevel(std::int32_t raw, std::optional<std::int32_t> lock,
                              std::int64_t steadyMs, std::int64_t wallMs) {
    if (lock) {
        lock_ = static_cast<std::uint8_t>(*lock);
    }
    history_.append({steadyMs, wallMs, shownLevel(raw), azimuth_, elevation_, skew_,
                     static_cast<std::int16_t>(
                         std::clamp<std::int32_t>(state_, std::numeric_limits<std::int16_t>::min(),
                                                  std::numeric_limits<std::int16_t>::max())),
                     lock_});
}

}  // namespace kelvandor::agent
