// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller_harness.h"

#include <poll.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include "protocol/frame_text.h"

namespace kelvandor::testing {

class ControllerHarness::CountingCalls : public SystemCalls {
  public:
    ssize_t write(int fd, const void* bytes, std::size_t count) override {
        const ssize_t taken = SystemCalls::write(fd, bytes, count);
        if (taken > 0) {
            written += static_cast<std::size_t>(taken);
        }
        return taken;
    }
    int open(const char* path, int flags) override {
        ++opens;
        return SystemCalls::open(path, flags);
    }
    int socket(int domain, int type, int protocol) override {
        ++opens;  // a network port's open
        return SystemCalls::socket(domain, type, protocol);
    }
    std::size_t written = 0;
    int opens = 0;
};

ControllerHarness::ControllerHarness(int comNumber)
    : calls_(std::make_unique<CountingCalls>()), line_(std::make_unique<PtyPair>()) {
    resetReceiveBufferForTest();
    previous_ = ui::installPrompter(&prompter);
    if (comNumber > 0) {
        linkAs(comNumber);
    }
    dialog_ = std::make_unique<MainDialog>(naming());
    dialog_->serialPort.setSystemCalls(*calls_);
}

SystemCalls& ControllerHarness::portCalls() {
    return *calls_;
}

int ControllerHarness::openAttempts() const {
    return calls_->opens;
}

ControllerHarness::~ControllerHarness() {
    dialog_.reset();
    ui::installPrompter(previous_);
    resetReceiveBufferForTest();
}

ComPortNaming ControllerHarness::naming() const {
    return ComPortNaming::linksOnlyIn(dir_.path().toStdString());
}

void ControllerHarness::linkAs(int comNumber) {
    QFile::link(QString::fromStdString(line_->path()),
                dir_.filePath(QStringLiteral("COM%1").arg(comNumber)));
    linkedAs_.push_back(comNumber);
}

void ControllerHarness::hangUp() {
    line_->closeMaster();
}

void ControllerHarness::replug() {
    line_ = std::make_unique<PtyPair>();
    const std::vector<int> numbers = std::move(linkedAs_);
    linkedAs_.clear();
    for (const int number : numbers) {
        QFile::remove(dir_.filePath(QStringLiteral("COM%1").arg(number)));
        linkAs(number);
    }
    bytesTaken_ = calls_->written;
    sent_ = ReceiveBuffer{};
}

std::string frameBytes(CommandId id, std::initializer_list<std::int32_t> params) {
    std::int32_t values[MaxParams] = {};
    std::copy(params.begin(), params.end(), values);
    char frame[FrameAreaSize];
    return std::string(frame, static_cast<std::size_t>(encodeFrame(frame, id, values)));
}

void ControllerHarness::inject(CommandId id, std::initializer_list<std::int32_t> params) {
    injectBytes(frameBytes(id, params));
}

void ControllerHarness::injectBytes(const std::string& bytes) {
    line_->send(bytes);
}

bool ControllerHarness::deliver(CommandId id, std::initializer_list<std::int32_t> params) {
    constexpr int DeliverTimeoutMs = 5000;
    // The main window notes every frame it handles against the awaited reply.
    LinkDriver& link = dialog_->link();
    link.awaitedReplyId = id;
    link.replyWaitState = LinkDriver::Waiting;
    inject(id, params);
    QElapsedTimer clock;
    clock.start();
    while (link.replyWaitState != LinkDriver::Arrived && clock.elapsed() < DeliverTimeoutMs) {
        QTest::qWait(5);
    }
    const bool arrived = link.replyWaitState == LinkDriver::Arrived;
    link.awaitedReplyId = LinkDriver::NoReply;
    link.replyWaitState = LinkDriver::Waiting;
    return arrived;
}

std::vector<std::string> ControllerHarness::sentLines() {
    constexpr int ArrivalTimeoutMs = 5000;
    std::vector<std::string> lines;
    QElapsedTimer clock;
    clock.start();
    while (bytesTaken_ < calls_->written && clock.elapsed() < ArrivalTimeoutMs) {
        pollfd entry{line_->master(), POLLIN, 0};
        if (::poll(&entry, 1, 10) <= 0) {
            continue;
        }
        char bytes[MaxHeldBytes];
        const std::size_t missing = calls_->written - bytesTaken_;
        const ssize_t n = ::read(line_->master(), bytes, std::min(sizeof bytes, missing));
        if (n <= 0) {
            continue;
        }
        bytesTaken_ += static_cast<std::size_t>(n);
        appendReceived(sent_, bytes, static_cast<int>(n));
        forEachChunk(sent_, scratch_, [&lines](int status, CommandId id, const std::int32_t* p) {
            lines.push_back(chunkLine(status, id, p));
        });
    }
    return lines;
}

std::array<std::int32_t, 2> packedName(const char* name) {
    std::array<std::int32_t, 2> words{0, 0};
    packText(name, words.data());
    return words;
}

QStringList linesOf(const std::vector<std::string>& lines) {
    QStringList list;
    for (const std::string& line : lines) {
        list << QString::fromStdString(line);
    }
    return list;
}

}  // namespace kelvandor::testing
