#include "controller_harness.h"

#include <poll.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace kelvandor::testing {

ControllerHarness::ControllerHarness(int comNumber) : line_(std::make_unique<PtyPair>()) {
    resetReceiveBufferForTest();
    previous_ = ui::installPrompter(&prompter);
    if (comNumber > 0) {
        linkAs(comNumber);
    }
    dialog_ = std::make_unique<MainDialog>(naming());
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
}

std::string frameBytes(CommandId id, std::initializer_list<std::int32_t> params) {
    std::int32_t values[MaxParams] = {};
    std::copy(params.begin(), params.end(), values);
    char frame[FrameAreaSize];
    return std::string(frame, static_cast<std::size_t>(encodeFrame(frame, id, values)));
}

std::string frameLine(CommandId id, const std::int32_t* params) {
    const CommandEntry& entry = CommandTable[static_cast<std::size_t>(id)];
    std::string line{entry.first, entry.second};
    for (int k = 0; k < entry.paramCount; ++k) {
        line += ' ' + std::to_string(params[k]);
    }
    return line;
}

void ControllerHarness::inject(CommandId id, std::initializer_list<std::int32_t> params) {
    injectBytes(frameBytes(id, params));
}

void ControllerHarness::injectBytes(const std::string& bytes) {
    line_->send(bytes);
}

bool ControllerHarness::deliver(CommandId id, std::initializer_list<std::int32_t> params) {
    constexpr int DeliverTimeoutMs = 2000;
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
    constexpr int QuietMs = 60;
    std::vector<std::string> lines;
    for (;;) {
        pollfd entry{line_->master(), POLLIN, 0};
        if (::poll(&entry, 1, QuietMs) <= 0) {
            break;
        }
        char bytes[MaxHeldBytes];
        const ssize_t n = ::read(line_->master(), bytes, sizeof bytes);
        if (n <= 0) {
            break;
        }
        appendReceived(sent_, bytes, static_cast<int>(n));
        for (;;) {
            std::int32_t params[MaxParams] = {};
            CommandId id = 0;
            const int status = extractFrame(sent_, scratch_, &id, params);
            if (status == ErrBufferEmpty || status == ErrIncomplete) {
                break;
            }
            lines.push_back(status == FrameOk ? frameLine(id, params)
                                              : "error " + std::to_string(status));
        }
    }
    return lines;
}

}  // namespace kelvandor::testing
