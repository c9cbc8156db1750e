// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated unit's command handling on arbitrary bytes: the line is cut into frames
// with a receive buffer of its own, every decoded frame is handed to an AntennaUnit at a
// time that advances with the input, and everything the unit sends is collected. The
// unit must stay within its table's bounds, send only frames that encode and decode back
// to themselves, and finish all its work within a bounded time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "protocol/frame_codec.h"
#include "sim/antenna_unit.h"

using namespace kelvandor;
using namespace kelvandor::sim;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every activity of the unit ends within this long of its command.
constexpr Millis SettleMs = 10000;

void checkSent(const std::vector<OutFrame>& sent) {
    for (const OutFrame& out : sent) {
        check(out.frame.id >= 0 && out.frame.id < CommandCount);
        char frame[FrameAreaSize];
        encodeFrame(frame, out.frame.id, out.frame.params.data());
        std::int32_t back[MaxParams] = {};
        check(decodeFrame(frame, back) == out.frame.id);
        check(std::memcmp(
                  back, out.frame.params.data(),
                  sizeof(std::int32_t) * static_cast<std::size_t>(paramCount(out.frame.id))) == 0);
    }
}

void checkState(const UnitState& s) {
    check(s.satelliteCount >= 1 && s.satelliteCount <= MaxSatellites);
    check(s.currentSlot >= 0 && s.currentSlot < SlotCount);
    check(s.band >= 0 && s.band < TransponderCount);
    check(s.diseqcMode >= 0 && s.diseqcMode <= 2);
    check(s.tripleMode == 0 || s.tripleMode == 1);
    check(s.elevation >= 0 && s.elevation <= 9000);
    check(s.azimuth >= -72000 && s.azimuth <= 72000);
    check(s.skew >= -9000 && s.skew <= 9000);
    check(s.antennaState >= StateSetup && s.antennaState <= StateInitialise);
    for (const std::int32_t index : s.slotMap) {
        check(index >= 0 && index < MaxSatellites);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool premium = (data[0] & 1) != 0;
    const Millis step = data[1];  // milliseconds between frames
    AntennaUnit::Settings settings;
    settings.premium = premium;
    settings.periodicReports = (data[0] & 2) != 0;
    settings.answerDiagnosis = (data[0] & 8) == 0;
    AntennaUnit unit(settings);
    unit.setReplyDelay((data[0] & 4) != 0 ? 300 : 0);
    ReceiveBuffer buffer;
    FrameScratch scratch;
    std::vector<OutFrame> sent;
    Millis now = 0;
    const char* line = reinterpret_cast<const char*>(data + 2);
    const std::size_t length = size - 2;
    constexpr std::size_t Chunk = 32;
    for (std::size_t pos = 0; pos < length; pos += Chunk) {
        const std::size_t count = length - pos < Chunk ? length - pos : Chunk;
        appendReceived(buffer, line + pos, static_cast<int>(count));
        forEachChunk(buffer, scratch, [&](int status, CommandId id, const std::int32_t* params) {
            if (status == FrameOk) {
                unit.handle(id, params, now);
                now += step;
                unit.collectDue(now, sent);
                checkSent(sent);
                sent.clear();
                checkState(unit.state());
            }
        });
    }
    unit.setPeriodicReports(false);
    unit.collectDue(now + SettleMs, sent);
    checkSent(sent);
    checkState(unit.state());
    check(unit.nextDue() == Never);
    return 0;
}
