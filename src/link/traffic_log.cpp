// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/traffic_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "protocol/frame_codec.h"
#include "protocol/frame_text.h"

namespace kelvandor {

namespace {

const char* directionMark(TrafficLog::Direction direction) {
    switch (direction) {
        case TrafficLog::Direction::Sent:
            return "->";
        case TrafficLog::Direction::Received:
            return "<-";
        default:
            return "--";
    }
}

}  // namespace

std::string trafficLine(TrafficLog::Clock::time_point time, TrafficLog::Direction direction,
                        const std::string& text) {
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    localtime_r(&whole, &local);
    char stamp[64];
    const std::size_t used = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(stamp + used, sizeof stamp - used, ".%03d", static_cast<int>(millis));
    std::string line = stamp;
    line += ' ';
    line += directionMark(direction);
    line += ' ';
    line += text;
    return line;
}

std::string quotedBytes(const char* bytes, int length) {
    std::string out = "\"";
    for (int k = 0; k < length; ++k) {
        const auto c = static_cast<unsigned char>(bytes[k]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    char hex[5];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                }
        }
    }
    out += '"';
    return out;
}

TrafficLog::~TrafficLog() {
    if (file_ == nullptr) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    writer_.join();
    std::fclose(file_);
}

bool TrafficLog::open(const std::string& path, std::string& error) {
    if (file_ != nullptr) {
        return true;
    }
    // "e": the descriptor is not inherited by programs the controller might start.
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    file_ = file;
    writer_ = std::thread(&TrafficLog::writeLoop, this);
    return true;
}

void TrafficLog::onFrameSent(CommandId id, const std::int32_t* params, bool written) {
    static constexpr std::int32_t none[MaxParams] = {};
    std::string text = frameLine(id, params != nullptr ? params : none);
    if (!written) {
        text += " (not written)";
    }
    queue(Direction::Sent, std::move(text));
}

void TrafficLog::onFrameReceived(CommandId id, const std::int32_t* params) {
    queue(Direction::Received, frameLine(id, params));
}

void TrafficLog::onChunkFailed(int status, const char* bytes, int length) {
    queue(Direction::Received, chunkLine(status, 0, nullptr) + ' ' + quotedBytes(bytes, length));
}

void TrafficLog::note(const std::string& text) {
    queue(Direction::Note, text);
}

void TrafficLog::queue(Direction direction, std::string text) {
    if (file_ == nullptr) {
        return;
    }
    const Clock::time_point now = Clock::now();
    {
        const std::lock_guard lock(mutex_);
        pending_.push_back(Entry{now, direction, std::move(text)});
        ++queued_;
    }
    wake_.notify_one();
}

void TrafficLog::flush() {
    if (file_ == nullptr) {
        return;
    }
    std::unique_lock lock(mutex_);
    const std::uint64_t target = queued_;
    progress_.wait(lock, [this, target] { return done_ >= target; });
}

void TrafficLog::writeLoop() {
    bool failed = false;
    std::deque<Entry> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty()) {
            return;  // stopping, and everything is written
        }
        batch.swap(pending_);
        lock.unlock();
        std::string text;
        for (const Entry& entry : batch) {
            text += trafficLine(entry.time, entry.direction, entry.text);
            text += '\n';
        }
        if (!failed) {
            errno = 0;
            if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
                std::fflush(file_) != 0) {
                failed = true;
                if (onWriteFailure_) {
                    onWriteFailure_(errno != 0 ? std::strerror(errno) : "write failed");
                }
            }
        }
        const std::size_t written = batch.size();
        batch.clear();
        lock.lock();
        done_ += written;
        progress_.notify_all();
    }
}

}  // namespace kelvandor
