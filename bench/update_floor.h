// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of a complete Update Default: the time its pauses and its frames on a line of
// 19200 baud take at the least, from the simulated unit's frame log (one line per frame
// received, "<- SA 0 ...", and sent, "-> NR 0 ...").
#pragma once

#include <algorithm>
#include <sstream>
#include <string>

#include "protocol/frame_codec.h"

namespace kelvandor::bench {

inline constexpr double LineBytesPerSecond = 1920.0;  // 19200 baud, 10 bits a byte
inline constexpr int UpdatePauses = 63;
inline constexpr double UpdatePauseSeconds = 0.1;

// The length of the frame a decode-format line ("EI 0 1920 0 ...") stands for; 0 for a
// line that is not a frame.
inline int frameLength(const std::string& line) {
    std::istringstream in(line);
    std::string mnemonic;
    in >> mnemonic;
    if (mnemonic.size() != 2) {
        return 0;
    }
    const CommandId id = findCommand(mnemonic[0], mnemonic[1]);
    if (id < 0) {
        return 0;
    }
    std::int32_t params[MaxParams] = {};
    for (std::int32_t& p : params) {
        if (!(in >> p)) {
            break;
        }
    }
    char frame[FrameAreaSize];
    return encodeFrame(frame, id, params);
}

inline std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The bytes of kelvandor-cli write-default's steps in the log from line `from` on: every
// command but the opening QS, and every frame the unit sent after the last frame of its
// answer to QS (Ni), which is everything the steps brought back: the unit answers in order.
inline long writeDefaultStepBytes(const std::string& log, std::size_t from) {
    std::istringstream in(log);
    std::string line;
    long bytes = 0;
    std::size_t number = 0;
    bool pictureDone = false;
    while (std::getline(in, line)) {
        if (number++ < from) {
            continue;
        }
        if (line.rfind("<- ", 0) == 0 && line != "<- QS") {
            bytes += frameLength(line.substr(3));
        } else if (line.rfind("-> ", 0) == 0) {
            if (pictureDone) {
                bytes += frameLength(line.substr(3));
            }
            pictureDone = pictureDone || line.rfind("-> Ni ", 0) == 0;
        }
    }
    return bytes;
}

// The floor of write-default's steps logged from line `from` on.
inline double writeDefaultFloorSeconds(const std::string& log, std::size_t from) {
    return UpdatePauses * UpdatePauseSeconds +
           static_cast<double>(writeDefaultStepBytes(log, from)) / LineBytesPerSecond;
}

}  // namespace kelvandor::bench
