// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's outgoing line: a queue of byte pieces written no faster than a serial
// line of the configured baud rate would carry them. A pty has no baud rate, so the
// pacing is done here: a byte budget grows at baud / 10 bytes per second (8N1 takes ten
// bit times per byte) and the queue is written in small bursts as the budget allows. A
// piece may ask for a pause before it starts (split frames). Unpaced, everything the
// device takes is written at once.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace kelvandor::sim {

using Micros = std::int64_t;

class PacedLine {
  public:
    // Writes up to `count` bytes; returns how many the device took (0 when it is full),
    // or -1 when the device has gone.
    using Writer = std::function<long(const char* bytes, std::size_t count)>;

    explicit PacedLine(int baud);

    // Queues `bytes` to start no earlier than `pauseBefore` after the previous piece ended.
    // Returns false (and queues nothing) when the queue already holds MaxQueuedBytes.
    bool push(std::string bytes, Micros pauseBefore = 0);

    // Writes what the budget allows at `now`. Returns false when the writer reported the
    // device gone (the queue is kept).
    bool flush(Micros now, const Writer& write);

    // When flush next has something to write (now or later), or -1 when the queue is empty.
    Micros nextWrite(Micros now) const;

    void setPaced(bool paced) { paced_ = paced; }
    bool paced() const { return paced_; }
    std::size_t queuedBytes() const { return queued_; }
    void clear();

    // Bytes written in one burst at most; at 19200 baud eight bytes take about 4 ms.
    static constexpr std::size_t BurstBytes = 8;
    // The budget an idle or late-woken line may carry over: four bursts, so a wake-up
    // up to about 16 ms late costs no line time, and an idle line does not save up.
    static constexpr std::size_t MaxBudgetBytes = 4 * BurstBytes;
    static constexpr std::size_t MaxQueuedBytes = 64 * 1024;

  private:
    struct Piece {
        std::string bytes;
        std::size_t sent = 0;
        Micros pauseBefore = 0;
        bool started = false;
    };

    void refill(Micros now);

    double bytesPerMicro_;
    bool paced_ = true;
    std::deque<Piece> pieces_;
    std::size_t queued_ = 0;
    double budget_ = 0;
    Micros budgetAt_ = -1;
    Micros lastPieceEnd_ = 0;
};

}  // namespace kelvandor::sim
