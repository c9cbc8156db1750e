// SPDX-License-Identifier: GPL-3.0-or-later
// A test's side of the line to an in-process Simulator: a real SerialPort on the pty,
// frames encoded and decoded with the project's codec through a receive buffer of its own.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "protocol/frame_codec.h"
#include "sim/simulator.h"

namespace kelvandor::sim::testing {

// Generous: the tests run on a loaded two-core machine, twice (once under sanitizers).
inline constexpr int LongWaitMs = 10000;

struct Received {
    CommandId id = -1;  // negative: a chunk that failed to decode, with this FrameStatus
    std::array<std::int32_t, MaxParams> p{};
};

inline std::string unpackName(const std::int32_t* ints, int count) {
    char text[4 * MaxParams + 1] = {};
    unpackText(text, ints, count);
    return text;
}

// Options for a simulator that only speaks when spoken to.
inline SimOptions quietOptions() {
    SimOptions options;
    options.periodicReports = false;
    return options;
}

class SimClient {
  public:
    explicit SimClient(const std::string& path) { port_.Open(path.c_str(), 19200, ReadSliceMs); }

    bool open() const { return port_.isOpen == 1; }
    SerialPort& port() { return port_; }

    bool send(CommandId id, std::initializer_list<std::int32_t> params = {}) {
        std::array<std::int32_t, MaxParams> values{};
        std::copy(params.begin(), params.end(), values.begin());
        char frame[FrameAreaSize];
        const int length = encodeFrame(frame, id, values.data());
        return port_.Write(frame, length) == 1;
    }
    bool sendRaw(const std::string& bytes) {
        return port_.Write(bytes.data(), static_cast<int>(bytes.size())) == 1;
    }

    // Reads until `done` holds for the frames not yet taken, or `timeoutMs` passes.
    // Returns whether `done` held.
    bool readUntil(const std::function<bool(const std::vector<Received>&)>& done,
                   int timeoutMs = LongWaitMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done(pending())) {
            if (Clock::now() >= deadline) {
                return false;
            }
            pump();
        }
        return true;
    }

    // The first frame `id` not yet taken, reading for at most `timeoutMs`. The frames
    // before it and it are taken.
    std::optional<Received> next(CommandId id, int timeoutMs = LongWaitMs) {
        std::optional<Received> found;
        readUntil(
            [&](const std::vector<Received>& frames) {
                for (std::size_t k = 0; k < frames.size(); ++k) {
                    if (frames[k].id == id) {
                        found = frames[k];
                        cursor_ += k + 1;
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }

    // Reads for `ms` and returns every frame not yet taken, taking them.
    std::vector<Received> drain(int ms) {
        readUntil([](const std::vector<Received>&) { return false; }, ms);
        std::vector<Received> rest = pending();
        cursor_ = frames_.size();
        return rest;
    }

    // Frames not yet taken.
    std::vector<Received> pending() const {
        return std::vector<Received>(frames_.begin() + static_cast<std::ptrdiff_t>(cursor_),
                                     frames_.end());
    }
    // Takes everything received so far.
    void skipAll() {
        pump();
        cursor_ = frames_.size();
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr int ReadSliceMs = 10;

    void pump() {
        char chunk[64];
        const int got = port_.Read(chunk, sizeof chunk);
        if (got <= 0) {
            return;
        }
        appendReceived(buffer_, chunk, got);
        forEachChunk(buffer_, scratch_, [this](int status, CommandId id, const std::int32_t* p) {
            Received frame;
            std::copy(p, p + MaxParams, frame.p.begin());
            frame.id = status == FrameOk ? id : status;
            frames_.push_back(frame);
        });
    }

    SerialPort port_;
    ReceiveBuffer buffer_;
    FrameScratch scratch_;
    std::vector<Received> frames_;
    std::size_t cursor_ = 0;
};

inline int countOf(const std::vector<Received>& frames, CommandId id) {
    int n = 0;
    for (const Received& frame : frames) {
        n += frame.id == id ? 1 : 0;
    }
    return n;
}

}  // namespace kelvandor::sim::testing
