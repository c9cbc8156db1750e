#include "controller_harness.h"

#include <poll.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include "protocol/frame_text.h"

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
        forEachChunk(sent_, scratch_, [&lines](int status, CommandId id, const std::int32_t* p) {
            lines.push_back(chunkLine(status, id, p));
        });
    }
    return lines;
}

}  // namespace kelvandor::testing
