// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/frame_codec.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace kelvandor {

namespace {

constexpr char FrameStart = '{';
constexpr char FrameEnd = '}';

bool isNumberChar(char c) {
    return (c >= '0' && c <= '9') || c == '-';
}

// An optional leading "-", then digits up to the first other character. Saturates at
// the limits of the signed 32-bit range instead of overflowing.
std::int32_t convertNumber(const char* text, int length) {
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    int pos = 0;
    bool negative = false;
    if (pos < length && text[pos] == '-') {
        negative = true;
        ++pos;
    }
    std::int64_t value = 0;
    for (; pos < length && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > limit) {
            value = limit;
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(-value);  // -limit is INT32_MIN
    }
    return static_cast<std::int32_t>(value == limit ? limit - 1 : value);
}

ReceiveBuffer programBuffer;
FrameScratch programScratch;

}  // namespace

char frameChecksum(const char* bytes, int length) {
    int a = 0;
    for (int k = 0; k < length; ++k) {
        a = ((a + static_cast<unsigned char>(bytes[k]) - 32) & 0xFF) % 95;
    }
    return static_cast<char>(a + 32);
}

int encodeFrame(char* out, CommandId id, const std::int32_t* params) {
    const CommandEntry& entry = CommandTable[static_cast<std::size_t>(id)];
    char* p = out;
    *p++ = FrameStart;
    *p++ = entry.first;
    *p++ = entry.second;
    for (int k = 0; k < entry.paramCount; ++k) {
        *p++ = ' ';
        // An int32 has at most 11 characters; the area holds 13 of them with blanks.
        p = std::to_chars(p, p + 11, params[k]).ptr;
    }
    *p++ = FrameEnd;
    const int length = static_cast<int>(p - out);
    *p++ = frameChecksum(out, length);
    *p = '\0';
    return length + 1;
}

int decodeFrame(const char* text, std::int32_t* params) {
    const int length = static_cast<int>(std::strlen(text));
    if (length < 1 || frameChecksum(text, length - 1) != text[length - 1]) {
        return ErrChecksum;
    }
    if (text[0] != FrameStart) {
        return ErrNoStart;
    }
    // A text this short ends before its mnemonic; no entry can match it.
    if (length < 3) {
        return ErrNoSuchMnemonic;
    }
    const CommandId id = findCommand(text[1], text[2]);
    if (id < 0) {
        return ErrNoSuchMnemonic;
    }
    const int count = paramCount(id);
    const int end = length - 1;  // the checksum byte is never read as text
    int p = 4;                   // byte 3, the blank after the mnemonic, is not examined
    for (int k = 0; k < count; ++k) {
        char number[MaxNumberText + 1];
        int used = 0;
        while (p < end && isNumberChar(text[p])) {
            if (used < MaxNumberText) {
                number[used++] = text[p];
            }
            ++p;
        }
        if (p >= end) {
            break;  // this slot and every later one stay unwritten
        }
        number[used] = '\0';
        params[k] = convertNumber(number, used);
        ++p;
    }
    return id;
}

void appendReceived(ReceiveBuffer& buffer, const char* bytes, int count) {
    if (count <= 0 || count >= ReceiveBufferSize) {
        return;
    }
    if (buffer.count + count >= ReceiveBufferSize) {
        buffer.count = 0;
        std::memset(buffer.data, 0, sizeof buffer.data);
        return;
    }
    std::memcpy(buffer.data + buffer.count, bytes, static_cast<std::size_t>(count));
    buffer.count += count;
}

int extractFrame(ReceiveBuffer& buffer, FrameScratch& scratch, CommandId* id,
                 std::int32_t* params) {
    const int held = buffer.count;
    if (held <= 0) {
        return ErrBufferEmpty;
    }
    int close = -1;
    for (int i = 0; i + 1 < held; ++i) {
        if (buffer.data[i] == FrameEnd) {
            close = i;
            break;
        }
    }
    if (close < 0) {
        return ErrIncomplete;
    }
    const int chunk = close + 2;
    std::memcpy(scratch.data, buffer.data, static_cast<std::size_t>(chunk));
    scratch.data[chunk] = '\0';
    scratch.length = chunk;
    std::memmove(buffer.data, buffer.data + chunk, static_cast<std::size_t>(held - chunk));
    buffer.count = held - chunk;

    int start = close;
    for (int j = 0; j < close; ++j) {
        if (scratch.data[j] == FrameStart) {
            start = j;
            break;
        }
    }
    const int frameLength = close - start + 2;
    if (frameLength <= 3) {
        return ErrTooShort;
    }
    // The frame runs from its "{" to the end of the chunk, where the zero byte is; the
    // chunk itself stays whole in the scratch area.
    const int result = decodeFrame(scratch.data + start, params);
    *id = result;
    return result < 0 ? result : FrameOk;
}

void appendReceived(const char* bytes, int count) {
    appendReceived(programBuffer, bytes, count);
}

int extractFrame(CommandId* id, std::int32_t* params) {
    return extractFrame(programBuffer, programScratch, id, params);
}

int receiveBufferHeld() {
    return programBuffer.count;
}

const FrameScratch& lastCutChunk() {
    return programScratch;
}

void discardReceived() {
    programBuffer = ReceiveBuffer{};
}

void resetReceiveBufferForTest() {
    programBuffer = ReceiveBuffer{};
}

int packText(const char* text, std::int32_t* out) {
    const int length = static_cast<int>(std::strlen(text));
    const int groups = length == 0 ? 1 : (length - 1) / 4 + 1;
    for (int g = 0; g < groups; ++g) {
        std::uint32_t value = 0;
        for (int b = 0; b < 4; ++b) {
            const int pos = 4 * g + b;
            const auto c = pos < length ? static_cast<unsigned char>(text[pos]) : 0U;
            value |= static_cast<std::uint32_t>(c) << (8 * b);
        }
        out[g] = static_cast<std::int32_t>(value);
    }
    return groups;
}

void packWireName(const char* name, std::int32_t* out) {
    char wire[WireNameLength + 1] = {};
    std::strncpy(wire, name, WireNameLength);
    out[0] = 0;
    out[1] = 0;
    packText(wire, out);
}

void unpackText(char* text, const std::int32_t* in, int count) {
    for (int g = 0; g < count; ++g) {
        const auto value = static_cast<std::uint32_t>(in[g]);
        for (int b = 0; b < 4; ++b) {
            text[4 * g + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
        }
    }
    text[4 * count] = '\0';
}

}  // namespace kelvandor
