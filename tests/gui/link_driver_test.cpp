// SPDX-License-Identifier: GPL-3.0-or-later
// The link driver: dispatch order, what one tick takes from the line, bursts larger than
// the receive buffer, junk, and the reply wait.
#include <sys/ioctl.h>

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <string>
#include <vector>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "link/link_driver.h"
#include "link/serial_port.h"
#include "protocol/frame_text.h"

using namespace kelvandor;
using kelvandor::testing::frameBytes;
using kelvandor::testing::PtyPair;

namespace {

// Records every frame it is given, with the listener's position, into a shared log.
class Recorder : public ReplyListener {
  public:
    Recorder(int position, std::vector<std::string>& log) : position_(position), log_(log) {}
    void onReply(CommandId id, const std::int32_t* params) override {
        log_.push_back(std::to_string(position_) + ":" + frameLine(id, params));
        // Slots the frame did not carry are zero.
        for (int k = paramCount(id); k < LinkDriver::ParamSlots; ++k) {
            if (params[k] != 0) {
                log_.push_back("dirty slot");
            }
        }
    }

  private:
    int position_;
    std::vector<std::string>& log_;
};

struct Rig {
    Rig() {
        resetReceiveBufferForTest();
        port.Open(line.path().c_str(), 19200, 1);
        link.setPort(&port);
        link.setListeners({&r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]});
    }
    ~Rig() { resetReceiveBufferForTest(); }

    // Bytes that have arrived at the port and wait to be read.
    int pending() const {
        int count = 0;
        ::ioctl(port.handle, FIONREAD, &count);
        return count;
    }
    // Sends `bytes` as the antenna would and waits until all of them wait at the port, so
    // the next tick finds them however slow the machine is. False after 5 s without.
    bool arrive(const std::string& bytes) {
        const int expected = pending() + static_cast<int>(bytes.size());
        if (!line.send(bytes)) {
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (pending() < expected && clock.elapsed() < 5000) {
            QThread::msleep(1);
        }
        return pending() >= expected;
    }
    // Ticks until the port has nothing more for the driver, as the timer would.
    void drain() {
        while (pending() > 0) {
            link.onReceiveTick();
        }
        link.onReceiveTick();
    }
    // Frames seen by the first listener.
    std::vector<std::string> firstListener() const {
        std::vector<std::string> seen;
        for (const std::string& entry : log) {
            if (entry.rfind("0:", 0) == 0) {
                seen.push_back(entry.substr(2));
            }
        }
        return seen;
    }

    PtyPair line;
    SerialPort port;
    LinkDriver link;
    std::vector<std::string> log;
    Recorder r[7] = {{0, log}, {1, log}, {2, log}, {3, log}, {4, log}, {5, log}, {6, log}};
};

}  // namespace

class LinkDriverTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void everyListenerSeesEveryFrameInOrder();
    void badChunkEndsTheTicksDispatch();
    void burstLargerThanTheBufferLosesNoFrame();
    void junkWithoutFrameEndDoesNotStallTheLink();
    void halfFrameSurvivesAReconnect();
    void sendWritesTheFrame();
    void waitEndsOnTimeoutOrReply();
};

void LinkDriverTest::everyListenerSeesEveryFrameInOrder() {
    Rig rig;
    QVERIFY(rig.port.isOpen);
    QVERIFY(rig.arrive(frameBytes(cmd::NA, {2}) + frameBytes(cmd::SG, {12659, 0, 3733, 3})));
    rig.link.onReceiveTick();
    std::vector<std::string> expected;
    for (const char* frame : {"NA 2", "SG 12659 0 3733 3"}) {
        for (int k = 0; k < 7; ++k) {
            expected.push_back(std::to_string(k) + ":" + frame);
        }
    }
    QCOMPARE(rig.log, expected);
}

void LinkDriverTest::badChunkEndsTheTicksDispatch() {
    Rig rig;
    QVERIFY(rig.arrive(std::string("{QV}#") + frameBytes(cmd::NA, {1})));
    rig.link.onReceiveTick();
    QVERIFY(rig.log.empty());
    rig.link.onReceiveTick();  // nothing new arrived: nothing is cut
    QVERIFY(rig.log.empty());
    QVERIFY(rig.arrive(frameBytes(cmd::QV)));
    rig.link.onReceiveTick();
    QCOMPARE(rig.firstListener(), (std::vector<std::string>{"NA 1", "QV"}));
}

void LinkDriverTest::burstLargerThanTheBufferLosesNoFrame() {
    Rig rig;
    std::string burst;
    std::vector<std::string> expected;
    for (int k = 0; k < 12; ++k) {
        burst +=
            frameBytes(cmd::NT, {k, 11778, 11856, 12188, 12284, 27500, 27500, 22000, 27500, 1, 4});
        expected.push_back(
            frameLine(cmd::NT, std::vector<std::int32_t>{k, 11778, 11856, 12188, 12284, 27500,
                                                         27500, 22000, 27500, 1, 4}
                                   .data()));
    }
    QVERIFY(burst.size() > 600);
    QVERIFY(rig.arrive(burst));  // all of it waits in the port before the first tick
    rig.drain();
    QCOMPARE(rig.firstListener(), expected);
    QVERIFY(std::find(rig.log.begin(), rig.log.end(), "dirty slot") == rig.log.end());
}

void LinkDriverTest::junkWithoutFrameEndDoesNotStallTheLink() {
    Rig rig;
    QVERIFY(rig.arrive(std::string(300, 'x') + frameBytes(cmd::NA, {7})));
    rig.drain();
    QCOMPARE(rig.firstListener(), std::vector<std::string>{"NA 7"});
}

void LinkDriverTest::halfFrameSurvivesAReconnect() {
    Rig rig;
    const std::string frame = frameBytes(cmd::NN, {13});
    QVERIFY(rig.arrive(frame.substr(0, 4)));
    rig.link.onReceiveTick();
    QCOMPARE(rig.pending(), 0);  // the half frame is in the receive buffer, not the port
    rig.port.Close();
    QCOMPARE(rig.port.Open(rig.line.path().c_str(), 19200, 1), 1);
    QVERIFY(rig.arrive(frame.substr(4)));
    rig.drain();
    QCOMPARE(rig.firstListener(), std::vector<std::string>{"NN 13"});
}

void LinkDriverTest::sendWritesTheFrame() {
    Rig rig;
    const std::int32_t params[] = {1234, -56};
    rig.link.sendCommand(cmd::MO, params);
    QCOMPARE(rig.line.receive(14, 1000), std::string("{MO 1234 -56}:"));

    // With the port closed, and with no port at all, a frame is lost: it is neither
    // written nor kept to be sent once a port is open again.
    rig.port.Close();
    rig.link.sendCommand(cmd::QV, nullptr);
    rig.link.setPort(nullptr);
    rig.link.sendCommand(cmd::QS, nullptr);
    rig.link.onReceiveTick();  // a tick without a port reads nothing and survives
    QVERIFY(rig.log.empty());
    QCOMPARE(rig.port.Open(rig.line.path().c_str(), 19200, 1), 1);
    rig.link.setPort(&rig.port);
    rig.link.sendCommand(cmd::OR, nullptr);
    // The first bytes on the line are the frame sent after the reopening.
    QCOMPARE(rig.line.receive(5, 1000), frameBytes(cmd::OR));
}

void LinkDriverTest::waitEndsOnTimeoutOrReply() {
    Rig rig;
    rig.link.startReceiveTimer();
    QElapsedTimer clock;

    // No reply: the time-out ends the wait and the state goes back to waiting.
    rig.link.awaitedReplyId = cmd::NI;
    rig.link.replyWaitState = 0;
    clock.start();
    QCOMPARE(rig.link.waitForReply(300), 1);
    QVERIFY(clock.elapsed() >= 290);
    QCOMPARE(rig.link.replyWaitState, 0);
    QVERIFY(!rig.link.lastWaitAnswered());

    // The reply arrives while waiting: the wait ends long before its time-out.
    class Noter : public ReplyListener {
      public:
        explicit Noter(LinkDriver& l) : link(l) {}
        void onReply(CommandId id, const std::int32_t* p) override { link.noteReply(id, p); }
        LinkDriver& link;
    } noter(rig.link);
    rig.link.setListeners({&noter, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr});
    // (Time-outs far beyond the bounds checked, so a loaded machine cannot blur them.)
    QTimer::singleShot(100, [&rig] { rig.line.send(frameBytes(cmd::NI, {1, 1920, 0})); });
    clock.restart();
    rig.link.waitForReply(30000);
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(rig.link.replyWaitState, 0);
    QVERIFY(rig.link.lastWaitAnswered());

    // A reply that came before the wait began ends it at once.
    rig.link.noteReply(cmd::NI);
    clock.restart();
    rig.link.waitForReply(30000);
    QVERIFY(clock.elapsed() < 15000);
    QVERIFY(rig.link.lastWaitAnswered());

    // Waiting for one satellite's echo: another satellite's report of the same kind does
    // not end the wait; the echo of the awaited index does.
    rig.link.awaitedReplyIndex = 4;
    const std::int32_t other[] = {3, 1920, 0};
    const std::int32_t echo[] = {4, 1300, 0};
    rig.link.noteReply(cmd::NI, other);
    rig.link.noteReply(cmd::NT, echo);
    QCOMPARE(rig.link.replyWaitState, 0);
    QCOMPARE(rig.link.waitForReply(100), 1);
    QVERIFY(!rig.link.lastWaitAnswered());
    rig.link.noteReply(cmd::NI, echo);
    QCOMPARE(rig.link.replyWaitState, 1);
    rig.link.waitForReply(30000);
    QVERIFY(rig.link.lastWaitAnswered());
}

KELVANDOR_QTEST(LinkDriverTest, "link_driver_test")
#include "link_driver_test.moc"
