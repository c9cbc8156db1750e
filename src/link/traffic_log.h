// SPDX-License-Identifier: GPL-3.0-or-later
// The traffic log: a text file to which the controller appends every frame it sends and
// receives, and every received chunk that failed to decode, one line each with the local
// time to the millisecond and the direction:
//
//   2025-03-14 09:26:53.589 -> QS
//   2025-03-14 09:26:53.641 <- NA 2
//   2025-03-14 09:26:53.702 <- error -4 "{NA 2}x"
//   2025-03-14 09:26:53.710 -- kelvandor-controller 3.12 started
//
// The frame text is the line kelvandor-cli decode and monitor print; a failed chunk adds
// its bytes, quoted, with backslash escapes for quotes, backslashes and bytes outside
// printable ASCII. A sent frame that no port took ends in " (not written)"; "--" lines are
// notes of the program itself.
//
// The calls that log only queue the line: a writer thread of its own writes the queue to
// the file, so a slow disk never holds up the caller, and the queue has no limit, so no
// frame is dropped. Pure C++: no Qt.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/link_observer.h"

namespace kelvandor {

class TrafficLog : public LinkObserver {
  public:
    using Clock = std::chrono::system_clock;
    enum class Direction { Sent, Received, Note };

    TrafficLog() = default;
    // Writes every line queued so far, then closes the file.
    ~TrafficLog() override;
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Opens `path` for appending (creating it) and starts the writer. Returns false with
    // `error` set to the system's reason when the file cannot be opened; the log then
    // stays closed and every logging call does nothing. A log already open stays as it is.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return file_ != nullptr; }

    // Called once, on the writer thread, with the reason when a write to the file fails;
    // the lines from then on are discarded. Set before open().
    void setWriteFailureHandler(std::function<void(const std::string&)> handler) {
        onWriteFailure_ = std::move(handler);
    }

    // LinkObserver: each queues one line.
    void onFrameSent(CommandId id, const std::int32_t* params, bool written) override;
    void onFrameReceived(CommandId id, const std::int32_t* params) override;
    void onChunkFailed(int status, const char* bytes, int length) override;

    // Queues a note line ("--") of the program's own.
    void note(const std::string& text);

    // Returns once every line queued before the call has been written (or discarded).
    void flush();

  private:
    struct Entry {
        Clock::time_point time;
        Direction direction;
        std::string text;
    };

    void queue(Direction direction, std::string text);
    void writeLoop();

    std::FILE* file_ = nullptr;
    std::function<void(const std::string&)> onWriteFailure_;
    std::mutex mutex_;
    std::condition_variable wake_;      // the writer: there are lines, or stop
    std::condition_variable progress_;  // flush(): the writer has written a batch
    std::deque<Entry> pending_;
    std::uint64_t queued_ = 0;
    std::uint64_t done_ = 0;
    bool stopping_ = false;
    std::thread writer_;
};

// One line of the log, without its line end: the local time of `time` as
// "YYYY-MM-DD HH:MM:SS.mmm", the direction ("->", "<-" or "--") and `text`.
std::string trafficLine(TrafficLog::Clock::time_point time, TrafficLog::Direction direction,
                        const std::string& text);

// `length` bytes as a quoted text: printable ASCII as it is, except \" and \\; \r, \n and
// \t by name; every other byte (zero bytes included) as \xHH.
std::string quotedBytes(const char* bytes, int length);

}  // namespace kelvandor
