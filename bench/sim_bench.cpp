// SPDX-License-Identifier: GPL-3.0-or-later
// What the simulated unit's line delivers, measured through a real pty and SerialPort:
// the time from sending QS to its last reply, and the bytes per second the simulator's
// pacing lets through (QI, the longest answer), paced and flooded.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "link/serial_port.h"
#include "protocol/frame_codec.h"
#include "sim/simulator.h"

namespace {

using namespace kelvandor;
using Clock = std::chrono::steady_clock;

constexpr int ReadSliceMs = 5;
constexpr auto GiveUp = std::chrono::seconds(20);

struct Delivery {
    double firstByteSeconds = 0;  // after the command was written
    double lastFrameSeconds = 0;  // after the command was written
    std::int64_t bytes = 0;
    bool complete = false;
};

// Sends `command` and reads until `last` has arrived `lastCount` times.
Delivery exchange(SerialPort& port, CommandId command, CommandId last, int lastCount) {
    ReceiveBuffer buffer;
    FrameScratch scratch;
    char frame[FrameAreaSize];
    const int length = encodeFrame(frame, command, nullptr);
    port.Purge();
    const Clock::time_point sent = Clock::now();
    Delivery delivery;
    if (port.Write(frame, length) != 1) {
        return delivery;
    }
    int seen = 0;
    while (seen < lastCount && Clock::now() - sent < GiveUp) {
        char chunk[64];
        const int got = port.Read(chunk, sizeof chunk);
        if (got <= 0) {
            continue;
        }
        const double at = std::chrono::duration<double>(Clock::now() - sent).count();
        if (delivery.bytes == 0) {
            delivery.firstByteSeconds = at;
        }
        delivery.bytes += got;
        appendReceived(buffer, chunk, got);
        forEachChunk(buffer, scratch, [&](int status, CommandId id, const std::int32_t*) {
            if (status == FrameOk && id == last) {
                ++seen;
                delivery.lastFrameSeconds = at;
            }
        });
    }
    delivery.complete = seen == lastCount;
    return delivery;
}

void runExchange(benchmark::State& state, CommandId command, CommandId last, int lastCount,
                 bool flood) {
    sim::SimOptions options;
    options.periodicReports = false;
    sim::Simulator simulator(options);
    if (!simulator.start()) {
        state.SkipWithError("no pty");
        return;
    }
    simulator.setFault(sim::Fault::FloodUnpaced, flood);
    SerialPort port;
    if (port.Open(simulator.slavePath().c_str(), 19200, ReadSliceMs) != 1) {
        state.SkipWithError("cannot open the pty");
        return;
    }
    double streamSeconds = 0;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const Delivery delivery = exchange(port, command, last, lastCount);
        if (!delivery.complete) {
            state.SkipWithError("the answer did not complete");
            return;
        }
        state.SetIterationTime(delivery.lastFrameSeconds);
        streamSeconds += delivery.lastFrameSeconds - delivery.firstByteSeconds;
        bytes += delivery.bytes;
    }
    state.counters["bytes"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
    // Bytes over the time from the first byte to the last: the line's rate.
    state.counters["line_bytes_per_s"] =
        streamSeconds > 0 ? static_cast<double>(bytes) / streamSeconds : 0;
}

// QS: from writing the command to the closing Ni of the status picture.
void BM_StatusPictureAfterQS(benchmark::State& state) {
    runExchange(state, cmd::QS, cmd::Ni, 1, false);
}
BENCHMARK(BM_StatusPictureAfterQS)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// QI: the whole table, ending with the five NK frames.
void BM_TablePictureAfterQI(benchmark::State& state) {
    runExchange(state, cmd::QI, cmd::NK, 5, false);
}
BENCHMARK(BM_TablePictureAfterQI)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// The same table with pacing off, for comparison.
void BM_TablePictureFlooded(benchmark::State& state) {
    runExchange(state, cmd::QI, cmd::NK, 5, true);
}
BENCHMARK(BM_TablePictureFlooded)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
