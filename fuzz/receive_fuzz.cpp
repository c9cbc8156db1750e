// SPDX-License-Identifier: GPL-3.0-or-later
// The receive path on arbitrary bytes: the first byte of the input chooses the chunk
// sizes, the rest is the line. Every chunk goes through appendReceived, then frames are
// extracted until the buffer has no complete frame; a decoded frame is checked against
// its own re-encoding, and every chunk is also handed to decodeFrame directly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "protocol/frame_codec.h"

using namespace kelvandor;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const unsigned seed = data[0];
    const char* line = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    static ReceiveBuffer buffer;
    static FrameScratch scratch;
    buffer = ReceiveBuffer{};
    std::size_t pos = 0;
    unsigned step = seed;
    while (pos < length) {
        // Chunk sizes 1..255, as many as a receive tick reads: some overflow the buffer.
        step = step * 1103515245U + 12345U;
        std::size_t chunk = 1 + (step >> 16) % 255;
        if (chunk > length - pos) {
            chunk = length - pos;
        }
        appendReceived(buffer, line + pos, static_cast<int>(chunk));
        pos += chunk;
        check(buffer.count >= 0 && buffer.count <= MaxHeldBytes);
        for (int guard = 0; guard < ReceiveBufferSize; ++guard) {
            std::int32_t params[MaxParams + 2] = {};
            CommandId id = -100;
            const int status = extractFrame(buffer, scratch, &id, params);
            check(buffer.count >= 0 && buffer.count <= MaxHeldBytes);
            if (status == ErrBufferEmpty || status == ErrIncomplete) {
                break;
            }
            check(status == FrameOk || status == ErrTooShort || status == ErrChecksum ||
                  status == ErrNoSuchMnemonic);
            if (status == FrameOk) {
                check(id >= 0 && id < CommandCount);
                check(params[MaxParams] == 0 && params[MaxParams + 1] == 0);
                // What decoded must encode into a frame that decodes to the same values.
                char frame[FrameAreaSize];
                encodeFrame(frame, id, params);
                std::int32_t again[MaxParams] = {};
                check(decodeFrame(frame, again) == id);
                const auto carried = static_cast<std::size_t>(paramCount(id));
                check(std::memcmp(again, params, sizeof(std::int32_t) * carried) == 0);
            }
        }
    }

    // decodeFrame on the raw input as one zero-terminated text.
    static char text[4096];
    const std::size_t n = length < sizeof text - 1 ? length : sizeof text - 1;
    std::memcpy(text, line, n);
    text[n] = '\0';
    std::int32_t params[MaxParams] = {};
    const int result = decodeFrame(text, params);
    check(result >= ErrNoSuchMnemonic && result < CommandCount && result != -6);
    return 0;
}
