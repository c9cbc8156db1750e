// SPDX-License-Identifier: GPL-3.0-or-later
// Frames on the serial line: "{", a two-character mnemonic, one blank-led decimal
// field per parameter, "}" and a one-character checksum. This file turns commands
// into frames, keeps received bytes in the receive buffer, cuts frames out of it
// and decodes them, and packs texts into the integers they travel in.
//
// Fixed-size storage only: nothing here allocates.
#pragma once

#include <cstdint>

#include "protocol/command_table.h"

namespace kelvandor {

// Results of extractFrame and decodeFrame. There is no code -6.
enum FrameStatus : int {
    FrameOk = 0,
    ErrBufferEmpty = -1,     // the buffer holds no byte
    ErrIncomplete = -2,      // no "}" with at least one byte after it
    ErrTooShort = -3,        // the cut chunk has no usable "{...}" frame
    ErrChecksum = -4,        // the last byte is not the checksum of the bytes before it
    ErrNoStart = -5,         // the frame does not begin with "{" (decodeFrame only)
    ErrNoSuchMnemonic = -7,  // the mnemonic is in no CommandTable entry
};

inline constexpr int MaxFrameLength = 161;                // 3 + 13 * 12 + 2
inline constexpr int FrameAreaSize = MaxFrameLength + 1;  // room for the frame and a zero
inline constexpr int ReceiveBufferSize = 240;             // storage; holds at most 239 bytes
inline constexpr int MaxHeldBytes = ReceiveBufferSize - 1;
inline constexpr int MaxNumberText = 19;  // digits and "-" kept per field

// Bytes received from the line that have not been cut into frames yet.
struct ReceiveBuffer {
    char data[ReceiveBufferSize] = {};
    std::int32_t count = 0;
};

// Work area into which a cut chunk is copied, zero-terminated, for decoding. After a cut
// it holds the chunk exactly as received (any bytes before its "{" included): `length`
// bytes, which may contain zero bytes.
struct FrameScratch {
    char data[ReceiveBufferSize] = {};
    std::int32_t length = 0;
};

// The checksum character over `length` bytes: a = ((a + b - 32) mod 256) mod 95 for
// each byte, then a + 32. Always in 32..126.
char frameChecksum(const char* bytes, int length);

// Writes the frame of `id` (valid, 0..78) into `out` (at least FrameAreaSize bytes),
// followed by one zero byte. `params` may be null when the command has no parameters.
// Returns the frame length without the zero byte.
int encodeFrame(char* out, CommandId id, const std::int32_t* params);

// Decodes a zero-terminated frame text that ends with its checksum character.
// Returns the CommandId (>= 0) or a negative FrameStatus. Writes the parameters it
// finds into `params` (at least paramCount slots); slots the frame does not carry are
// left untouched. A field of more than MaxNumberText digit and "-" characters is
// truncated to its first MaxNumberText characters; a value outside the signed 32-bit
// range saturates to INT32_MIN or INT32_MAX.
int decodeFrame(const char* text, std::int32_t* params);

// Adds a received chunk to `buffer`. A chunk of ReceiveBufferSize bytes or more is
// dropped and the buffer is untouched; a chunk that would make the buffer hold more
// than MaxHeldBytes empties the buffer and is dropped too.
void appendReceived(ReceiveBuffer& buffer, const char* bytes, int count);

// Cuts the next chunk (everything up to the first "}" that has a byte after it, and
// that byte) out of `buffer` and decodes it. Returns FrameOk with *id set, or a
// negative FrameStatus. *id receives the decoder's result only when the decoder ran
// (not on -1, -2 and -3). On -1 and -2 nothing is consumed; otherwise the chunk is.
int extractFrame(ReceiveBuffer& buffer, FrameScratch& scratch, CommandId* id, std::int32_t* params);

// Cuts every chunk out of `buffer` until it holds no complete frame, and calls
// onChunk(status, id, params) for each: status is FrameOk or the chunk's failure code,
// params are zeroed before each chunk. Unlike the receive tick, a failed chunk does not
// stop the draining.
template <class OnChunk>
void forEachChunk(ReceiveBuffer& buffer, FrameScratch& scratch, OnChunk&& onChunk) {
    for (;;) {
        std::int32_t params[MaxParams] = {};
        CommandId id = -1;
        const int status = extractFrame(buffer, scratch, &id, params);
        if (status == ErrBufferEmpty || status == ErrIncomplete) {
            return;
        }
        onChunk(status, id, static_cast<const std::int32_t*>(params));
    }
}

// The controller's one receive buffer and scratch area, and the calls that use them.
void appendReceived(const char* bytes, int count);
int extractFrame(CommandId* id, std::int32_t* params);
int receiveBufferHeld();
// The scratch area of the program-wide extractFrame: after a call that consumed a chunk
// (any result but -1 and -2), the bytes of that chunk.
const FrameScratch& lastCutChunk();
// Empties the program-wide buffer. For a line that has gone (a hung-up device): what it
// held of a frame would otherwise be joined to the first bytes of the next line.
void discardReceived();
// Empties the program-wide buffer. For tests only: the program itself never does.
void resetReceiveBufferForTest();

// Packs `text` into max(1, ceil(length / 4)) integers, four characters each, first
// character in the lowest byte; unused bytes of the last integer are zero. Returns the
// number of integers written.
int packText(const char* text, std::int32_t* out);

// Characters of a satellite name that travel in a frame (two packed integers).
inline constexpr int WireNameLength = 8;

// Packs the first WireNameLength characters of `name` (fewer when it ends sooner) into
// two integers; the bytes after the end of the name are 0.
void packWireName(const char* name, std::int32_t* out);

// Unpacks `count` integers into 4 * count characters followed by a zero byte; `text`
// must hold 4 * count + 1 bytes. The text ends at its first zero byte.
void unpackText(char* text, const std::int32_t* in, int count);

}  // namespace kelvandor
