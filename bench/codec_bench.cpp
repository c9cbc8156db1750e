// SPDX-License-Identifier: GPL-3.0-or-later
// Frames per second through the codec: encoding, and the receive path (append +
// extract + decode) over a realistic mix of reports, in the chunk sizes a receive tick
// reads.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "protocol/frame_codec.h"

using namespace kelvandor;

namespace {

struct Frame {
    CommandId id;
    std::int32_t params[MaxParams];
};

// What a tracking antenna reports most: status, signal, tracking blocks, names.
std::vector<Frame> reportMix() {
    return {
        {cmd::Ni, {2, 312, 1, 12345, 3850, -1250}},
        {cmd::Nv, {310, 1}},
        {cmd::NA, {2}},
        {cmd::TC, {11, 1}},
        {cmd::NT, {3, 11778, 11856, 12188, 12284, 27500, 27500, 22000, 27500, 1, 4}},
        {cmd::NI, {3, 1920, 0, 1, 2, 3, 4, 827741252, 12592}},
        {cmd::KT, {-2147483647, 5, -5, 10, -10, 15, -15, 20, -20, 25, -25, 30, -30}},
        {cmd::QV, {}},
    };
}

void BM_Encode(benchmark::State& state) {
    const std::vector<Frame> frames = reportMix();
    char out[FrameAreaSize];
    std::size_t k = 0;
    for (auto _ : state) {
        const Frame& f = frames[k++ % frames.size()];
        benchmark::DoNotOptimize(encodeFrame(out, f.id, f.params));
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Encode);

// Appends the encoded mix in chunks of state.range(0) bytes and extracts every frame.
void BM_AppendExtractDecode(benchmark::State& state) {
    std::string stream;
    int framesInStream = 0;
    for (int repeat = 0; repeat < 64; ++repeat) {
        for (const Frame& f : reportMix()) {
            char out[FrameAreaSize];
            stream.append(out, static_cast<std::size_t>(encodeFrame(out, f.id, f.params)));
            ++framesInStream;
        }
    }
    const auto chunk = static_cast<std::size_t>(state.range(0));
    ReceiveBuffer buffer;
    FrameScratch scratch;
    std::int64_t frames = 0;
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < stream.size(); pos += chunk) {
            const std::size_t size = std::min(chunk, stream.size() - pos);
            appendReceived(buffer, stream.data() + pos, static_cast<int>(size));
            CommandId id = 0;
            std::int32_t params[MaxParams];
            while (extractFrame(buffer, scratch, &id, params) == FrameOk) {
                benchmark::DoNotOptimize(params);
                ++frames;
            }
        }
    }
    if (frames != framesInStream * static_cast<std::int64_t>(state.iterations())) {
        state.SkipWithError("frames were lost");
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AppendExtractDecode)->Arg(16)->Arg(64)->Arg(128);

}  // namespace
