// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "protocol/frame_text.h"

namespace kelvandor::sim {

namespace {

constexpr std::array<const char*, FaultCount> FaultNames = {
    "drop-replies", "corrupt-checksums", "split-frames", "garbage", "echo-delay",
    "silent",       "hang-up",           "flood",
};

// The longest the loop sleeps, so stop requests and fault changes are seen promptly.
constexpr int MaxWaitMs = 50;
constexpr Micros MicrosPerMilli = 1000;
// Bytes read from the master at a time: well below what one receive-buffer append takes.
constexpr std::size_t ReadChunk = 128;
// Unasked reports are skipped while the line holds more unread bytes than this: nobody is
// reading, and a client that connects later should not find a pile of stale reports.
constexpr int UnreadBacklogLimit = 256;
// How long setFault(HangUp) waits for the loop to act.
constexpr auto HangUpWait = std::chrono::seconds(2);

// Fault shapes.
constexpr int GarbageMin = 8;
constexpr int GarbageMax = 32;
constexpr int SplitPiecesMax = 3;
constexpr Micros SplitPauseMinUs = 20 * MicrosPerMilli;
constexpr Micros SplitPauseMaxUs = 60 * MicrosPerMilli;
constexpr int ChecksumSpan = 95;  // checksum characters run from 32 to 126
constexpr int ChecksumBase = 32;
constexpr unsigned RandomSeed = 19200;

std::string readLinkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

}  // namespace

const char* faultName(Fault fault) {
    return FaultNames[static_cast<std::size_t>(fault)];
}

Simulator::Simulator(SimOptions options)
    : options_(options),
      epoch_(Clock::now()),
      periodicReports_(options.periodicReports),
      unit_({options.premium, options.periodicReports, options.diagnosisResults,
             options.answerDiagnosis, options.statusPeriodMs}),
      line_(options.baud),
      random_(RandomSeed) {
    snapshot_ = unit_.state();
    line_.setPaced(options.paced);
}

Simulator::~Simulator() {
    stop();
}

Micros Simulator::nowMicros() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - epoch_).count();
}

void Simulator::log(const std::string& line) const {
    if (options_.log != nullptr) {
        *options_.log << line << std::endl;
    }
}

bool Simulator::open() {
    if (master_ >= 0) {
        return true;
    }
    if (wakeFd_ < 0) {
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    return openLine();
}

bool Simulator::openLine() {
    const auto failWith = [this](const std::string& what) {
        const std::string reason = what + ": " + std::strerror(errno);
        closeLine();
        std::lock_guard lock(mutex_);
        lastError_ = reason;
        return false;
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        return failWith("posix_openpt");
    }
    char name[PATH_MAX] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        return failWith("pseudo-terminal set-up");
    }
    guard_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (guard_ < 0) {
        return failWith(std::string("open ") + name);
    }
    // Raw from the start: a cooked slave would echo the unit's own frames back to it.
    termios settings{};
    if (::tcgetattr(guard_, &settings) != 0) {
        return failWith("tcgetattr");
    }
    cfmakeraw(&settings);
    if (::tcsetattr(guard_, TCSANOW, &settings) != 0) {
        return failWith("tcsetattr");
    }
    receive_ = ReceiveBuffer{};
    line_.clear();
    lineFull_ = false;
    std::lock_guard lock(mutex_);
    slavePath_ = name;
    return true;
}

void Simulator::closeLine() {
    if (guard_ >= 0) {
        ::close(guard_);
        guard_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    line_.clear();
    std::lock_guard lock(mutex_);
    slavePath_.clear();
}

bool Simulator::claimLoop() {
    if (looping_.exchange(true)) {
        return false;
    }
    if (!open()) {
        looping_ = false;
        return false;
    }
    stopRequested_ = false;
    return true;
}

bool Simulator::start() {
    if (!claimLoop()) {
        return false;
    }
    worker_ = std::thread([this] { loop(nullptr); });
    return true;
}

bool Simulator::run(const std::atomic<bool>& stopFlag) {
    if (!claimLoop()) {
        return false;
    }
    loop(&stopFlag);
    looping_ = false;
    return true;
}

void Simulator::stop() {
    stopRequested_ = true;
    wake();
    if (worker_.joinable()) {
        worker_.join();
    }
    {
        // run() on another thread: let it leave the loop before the line goes.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !inLoop_; });
    }
    looping_ = false;
    removeLink();
    {
        std::lock_guard lock(mutex_);
        linkDir_.clear();
    }
    closeLine();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

void Simulator::wake() const {
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    }
}

std::string Simulator::slavePath() const {
    std::lock_guard lock(mutex_);
    return slavePath_;
}

std::string Simulator::linkPath() const {
    std::lock_guard lock(mutex_);
    return linkPath_;
}

std::vector<std::string> Simulator::receivedLines() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void Simulator::clearReceivedLines() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

UnitState Simulator::state() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

std::string Simulator::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void Simulator::setCommandDelay(CommandId command, int delayMs) {
    if (command >= 0 && command < CommandCount) {
        commandDelayMs_[static_cast<std::size_t>(command)] = delayMs;
    }
}

bool Simulator::fault(Fault which) const {
    return faults_[static_cast<std::size_t>(which)];
}

void Simulator::setPeriodicReports(bool on) {
    periodicReports_ = on;
    wake();
}

void Simulator::streamPattern(const PatternStream& stream) {
    {
        std::lock_guard lock(mutex_);
        patternRequest_ = stream;
    }
    wake();
}

void Simulator::setFault(Fault which, bool on) {
    faults_[static_cast<std::size_t>(which)] = on;
    if (which != Fault::HangUp) {
        wake();
        return;
    }
    if (!looping_) {
        applyHangUp();
        return;
    }
    wake();
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, HangUpWait, [this, on] { return hungUp_ == on; });
}

void Simulator::applyHangUp() {
    const bool wanted = fault(Fault::HangUp);
    bool current = false;
    {
        std::lock_guard lock(mutex_);
        current = hungUp_;
    }
    if (wanted == current) {
        return;
    }
    if (wanted) {
        log("-- line hung up");
        removeLink();
        closeLine();
    } else if (openLine()) {
        std::string dir;
        int number = 0;
        bool replaceLive = false;
        {
            std::lock_guard lock(mutex_);
            dir = linkDir_;
            number = linkNumber_;
            replaceLive = linkReplaceLive_;
        }
        log("-- line plugged in again on " + slavePath());
        if (!dir.empty()) {
            std::string note;
            makeLink(dir, number, replaceLive, &note);
            log("-- " + note);
        }
    }
    {
        std::lock_guard lock(mutex_);
        hungUp_ = wanted;
    }
    changed_.notify_all();
}

bool Simulator::linkAs(const std::string& portDir, int comNumber, std::string* note,
                       bool replaceLive) {
    return makeLink(portDir, comNumber, replaceLive, note);
}

bool Simulator::makeLink(const std::string& portDir, int comNumber, bool replaceLive,
                         std::string* note) {
    const auto result = [note](bool ok, const std::string& text) {
        if (note != nullptr) {
            *note = text;
        }
        return ok;
    };
    if (comNumber < 1) {
        return result(false, "COM numbers start at 1");
    }
    const std::string slave = slavePath();
    if (slave.empty()) {
        return result(false, "the line is not open");
    }
    std::error_code error;
    std::filesystem::create_directories(portDir, error);
    if (error) {
        return result(false, "cannot create " + portDir + ": " + error.message());
    }
    const std::string path = portDir + "/COM" + std::to_string(comNumber);
    std::string replaced;
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) == 0) {
        if (!S_ISLNK(entry.st_mode)) {
            return result(false, path + " exists and is not a link; left alone");
        }
        const std::string target = readLinkTarget(path);
        struct stat device {};
        if (target == slave) {
            replaced.clear();
        } else if (::stat(path.c_str(), &device) != 0) {
            replaced = "replaced the dangling link to " + target + "; ";
        } else if (!replaceLive) {
            return result(false, path + " already links to " + target +
                                     ", a device that exists; left alone (choose another "
                                     "COM number, or replace it)");
        } else {
            replaced = "replaced the link to " + target + "; ";
        }
    }
    // Link under a temporary name, then rename: the port is never missing in between.
    const std::string temporary = path + ".new." + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(slave.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        return result(false, "cannot link " + path + ": " + reason);
    }
    if (linkPath() != path) {
        removeLink();  // a simulator has one link: linking again moves it
    }
    {
        std::lock_guard lock(mutex_);
        linkPath_ = path;
        linkTarget_ = slave;
        linkDir_ = portDir;
        linkNumber_ = comNumber;
        linkReplaceLive_ = replaceLive;
    }
    return result(true, replaced + "linked " + path + " -> " + slave);
}

void Simulator::removeLink() {
    std::lock_guard lock(mutex_);
    // Only our own link goes: someone may have pointed the name elsewhere meanwhile.
    if (!linkPath_.empty() && readLinkTarget(linkPath_) == linkTarget_) {
        ::unlink(linkPath_.c_str());
    }
    linkPath_.clear();
    linkTarget_.clear();
}

bool Simulator::backlogged() const {
    int unread = 0;
    return guard_ >= 0 && ::ioctl(guard_, FIONREAD, &unread) == 0 && unread > UnreadBacklogLimit;
}

void Simulator::readCommands() {
    char chunk[ReadChunk];
    for (;;) {
        const ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got <= 0) {
            return;  // nothing more now (EAGAIN), or no client (EIO)
        }
        appendReceived(receive_, chunk, static_cast<int>(got));
        forEachChunk(receive_, scratch_, [this](int status, CommandId id, const std::int32_t* p) {
            const std::string line = chunkLine(status, id, p);
            log("<- " + line);
            {
                std::lock_guard lock(mutex_);
                received_.push_back(line);
            }
            if (status != FrameOk) {
                return;
            }
            const int extraDelay = commandDelayMs_[static_cast<std::size_t>(id)];
            if (extraDelay == NeverTaken) {
                log("   (not taken)");
                return;
            }
            unit_.setReplyDelay((fault(Fault::EchoDelay) ? options_.echoDelayMs : 0) + extraDelay);
            unit_.handle(id, p, nowMicros() / MicrosPerMilli);
        });
    }
}

void Simulator::emit(const OutFrame& out) {
    const std::string line = frameLine(out.frame.id, out.frame.params.data());
    if (fault(Fault::Silent)) {
        log("-> " + line + " (silent)");
        return;
    }
    if (out.origin == Origin::Reply && fault(Fault::DropReplies)) {
        log("-> " + line + " (dropped)");
        return;
    }
    if (out.origin == Origin::Unasked && backlogged()) {
        return;
    }
    char frame[FrameAreaSize];
    const int length = encodeFrame(frame, out.frame.id, out.frame.params.data());
    std::string bytes(frame, static_cast<std::size_t>(length));
    std::string notes;
    if (fault(Fault::CorruptChecksums)) {
        const int good = static_cast<unsigned char>(bytes.back()) - ChecksumBase;
        bytes.back() = static_cast<char>(ChecksumBase + (good + 1) % ChecksumSpan);
        notes += " (checksum corrupted)";
    }
    if (fault(Fault::GarbageBursts)) {
        std::uniform_int_distribution<int> size(GarbageMin, GarbageMax);
        std::uniform_int_distribution<int> value(0, UCHAR_MAX);
        std::string junk;
        for (int n = size(random_); static_cast<int>(junk.size()) < n;) {
            const char c = static_cast<char>(value(random_));
            if (c != '{' && c != '}') {
                junk += c;
            }
        }
        line_.push(std::move(junk));
        notes += " (after garbage)";
    }
    if (fault(Fault::SplitFrames) && bytes.size() > 1) {
        std::uniform_int_distribution<int> count(2, SplitPiecesMax);
        std::uniform_int_distribution<Micros> pause(SplitPauseMinUs, SplitPauseMaxUs);
        const int pieces = std::min(count(random_), static_cast<int>(bytes.size()));
        std::size_t at = 0;
        for (int k = 0; k < pieces; ++k) {
            const std::size_t end =
                bytes.size() * static_cast<std::size_t>(k + 1) / static_cast<std::size_t>(pieces);
            line_.push(bytes.substr(at, end - at), k == 0 ? 0 : pause(random_));
            at = end;
        }
        notes += " (split in " + std::to_string(pieces) + ")";
    } else if (!line_.push(std::move(bytes))) {
        notes += " (lost: output queue full)";
    }
    log("-> " + line + notes);
}

void Simulator::flushLine() {
    lineFull_ = false;
    const bool alive = line_.flush(nowMicros(), [this](const char* bytes, std::size_t count) {
        const ssize_t written = ::write(master_, bytes, count);
        if (written >= 0) {
            lineFull_ = static_cast<std::size_t>(written) < count;
            return static_cast<long>(written);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            lineFull_ = true;
            return 0L;
        }
        return -1L;
    });
    if (!alive) {
        line_.clear();
    }
}

int Simulator::pollTimeoutMs() const {
    const Micros now = nowMicros();
    Micros wakeAt = now + MaxWaitMs * MicrosPerMilli;
    const Millis due = unit_.nextDue();
    if (due != Never) {
        wakeAt = std::min(wakeAt, due * MicrosPerMilli);
    }
    const Micros write = line_.nextWrite(now);
    if (write >= 0 && !lineFull_) {
        wakeAt = std::min(wakeAt, write);
    }
    const Micros wait = wakeAt - now;
    return wait <= 0 ? 0 : static_cast<int>((wait + MicrosPerMilli - 1) / MicrosPerMilli);
}

void Simulator::loop(const std::atomic<bool>* externalStop) {
    {
        std::lock_guard lock(mutex_);
        inLoop_ = true;
    }
    runLoop(externalStop);
    {
        std::lock_guard lock(mutex_);
        inLoop_ = false;
    }
    changed_.notify_all();
}

void Simulator::applySettings() {
    applyHangUp();
    unit_.setPeriodicReports(periodicReports_);
    unit_.setReplyDelay(fault(Fault::EchoDelay) ? options_.echoDelayMs : 0);
    line_.setPaced(options_.paced && !fault(Fault::FloodUnpaced));
}

void Simulator::runLoop(const std::atomic<bool>* externalStop) {
    std::vector<OutFrame> due;
    while (!stopRequested_ && (externalStop == nullptr || !*externalStop)) {
        applySettings();
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {master_, POLLIN, 0}};
        if (lineFull_) {
            fds[1].events |= POLLOUT;
        }
        const nfds_t count = master_ >= 0 ? 2 : 1;
        if (::poll(fds, count, pollTimeoutMs()) > 0 && (fds[0].revents & POLLIN) != 0) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const ssize_t ignored = ::read(wakeFd_, &drained, sizeof drained);
        }
        // Again after the wait: a fault switched on while it lasted applies to the commands
        // that arrived with the wake-up, not only to those of the next turn.
        applySettings();
        if (master_ >= 0) {
            readCommands();
        }
        std::optional<PatternStream> pattern;
        {
            std::lock_guard lock(mutex_);
            pattern.swap(patternRequest_);
        }
        if (pattern) {
            unit_.streamPattern(*pattern, nowMicros() / MicrosPerMilli);
        }
        due.clear();
        unit_.collectDue(nowMicros() / MicrosPerMilli, due);
        {
            // Published before anything is written, so a client that has read a report
            // finds the state it describes.
            std::lock_guard lock(mutex_);
            snapshot_ = unit_.state();
        }
        if (master_ >= 0) {
            for (const OutFrame& out : due) {
                emit(out);
            }
            flushLine();
        }
    }
}

}  // namespace kelvandor::sim
