// SPDX-License-Identifier: GPL-3.0-or-later
// The link driver's observer (the traffic log's hook): told of every frame sent, whether
// the port took it, of every decoded frame before any listener, and of every failed chunk
// with its bytes exactly as they arrived.
#include <sys/ioctl.h>

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "link/link_driver.h"
#include "link/link_observer.h"
#include "link/serial_port.h"
#include "protocol/frame_text.h"

using namespace kelvandor;
using kelvandor::testing::frameBytes;
using kelvandor::testing::PtyPair;

namespace {

// Writes what the observer and the first listener are told into one list, in order.
class Witness : public LinkObserver, public ReplyListener {
  public:
    void onFrameSent(CommandId id, const std::int32_t* params, bool written) override {
        static constexpr std::int32_t none[MaxParams] = {};
        events << QStringLiteral("sent %1%2")
                      .arg(QString::fromStdString(frameLine(id, params != nullptr ? params : none)),
                           written ? QString() : QStringLiteral(" (not written)"));
    }
    void onFrameReceived(CommandId id, const std::int32_t* params) override {
        events << QStringLiteral("seen ") + QString::fromStdString(frameLine(id, params));
    }
    void onChunkFailed(int status, const char* bytes, int length) override {
        events << QStringLiteral("failed %1 [%2]")
                      .arg(status)
                      .arg(QString::fromLatin1(QByteArray(bytes, length).toHex(' ')));
    }
    void onReply(CommandId id, const std::int32_t* params) override {
        events << QStringLiteral("heard ") + QString::fromStdString(frameLine(id, params));
    }

    QStringList events;
};

struct Rig {
    Rig() {
        resetReceiveBufferForTest();
        port.Open(line.path().c_str(), 19200, 1);
        link.setPort(&port);
        link.setListeners({&witness, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr});
        link.setObserver(&witness);
    }
    ~Rig() { resetReceiveBufferForTest(); }

    int pending() const {
        int count = 0;
        ::ioctl(port.handle, FIONREAD, &count);
        return count;
    }
    // Sends `bytes` as the antenna would and ticks until the driver has read them all.
    bool deliver(const QByteArray& bytes) {
        const int expected = pending() + static_cast<int>(bytes.size());
        if (!line.send(bytes.toStdString())) {
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (pending() < expected && clock.elapsed() < 5000) {
            QThread::msleep(1);
        }
        while (pending() > 0) {
            link.onReceiveTick();
        }
        return true;
    }

    PtyPair line;
    SerialPort port;
    LinkDriver link;
    Witness witness;
};

QString hexOf(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' '));
}

}  // namespace

class LinkObserverTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void initTestCase() { rig_ = std::make_unique<Rig>(); }
    void cleanupTestCase() { rig_.reset(); }
    void receivedChunks_data();
    void receivedChunks();
    void sentFramesSayWhetherThePortTookThem();

  private:
    std::unique_ptr<Rig> rig_;  // one line for every row of receivedChunks
};

void LinkObserverTest::receivedChunks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    const QByteArray na2 = QByteArray::fromStdString(frameBytes(cmd::NA, {2}));
    const QByteArray sg = QByteArray::fromStdString(frameBytes(cmd::SG, {12659, 0, 3733, 3}));
    // A frame with a mnemonic no command has, and a checksum that is right for it.
    QByteArray unknown = "{ZZ}";
    unknown += frameChecksum(unknown.constData(), static_cast<int>(unknown.size()));

    QTest::newRow("a frame, told before the listeners")
        << na2 << QStringList{"seen NA 2", "heard NA 2"};
    QTest::newRow("two frames in one read")
        << na2 + sg
        << QStringList{"seen NA 2", "heard NA 2", "seen SG 12659 0 3733 3",
                       "heard SG 12659 0 3733 3"};
    QTest::newRow("junk before a frame is not a failure")
        << QByteArray("xx") + na2 << QStringList{"seen NA 2", "heard NA 2"};
    QTest::newRow("wrong checksum")
        << QByteArray("{QV}#") << QStringList{"failed -4 [" + hexOf("{QV}#") + "]"};
    QTest::newRow("junk before a wrong checksum stays in the bytes")
        << QByteArray("zz{QV}#") << QStringList{"failed -4 [" + hexOf("zz{QV}#") + "]"};
    QTest::newRow("no frame start")
        << QByteArray("ab}x") << QStringList{"failed -3 [" + hexOf("ab}x") + "]"};
    QTest::newRow("zero and high bytes")
        << QByteArray("\x00\xff}x", 4) << QStringList{"failed -3 [00 ff 7d 78]"};
    QTest::newRow("unknown mnemonic")
        << unknown << QStringList{"failed -7 [" + hexOf(unknown) + "]"};
}

void LinkObserverTest::receivedChunks() {
    Rig& rig = *rig_;  // each row leaves the receive buffer empty
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QVERIFY(rig.port.isOpen);
    rig.witness.events.clear();
    QVERIFY(rig.deliver(bytes));
    QCOMPARE(rig.witness.events, expected);
    QCOMPARE(receiveBufferHeld(), 0);
}

void LinkObserverTest::sentFramesSayWhetherThePortTookThem() {
    Rig rig;
    QVERIFY(rig.port.isOpen);
    const std::int32_t target[] = {1234, -56};
    rig.link.sendCommand(cmd::MO, target);
    rig.link.sendCommand(cmd::QS, nullptr);
    const std::string written = frameBytes(cmd::MO, {1234, -56}) + frameBytes(cmd::QS);
    QCOMPARE(rig.line.receive(written.size(), 5000), written);

    rig.port.Close();
    rig.link.sendCommand(cmd::QV, nullptr);
    rig.link.setPort(nullptr);
    rig.link.sendCommand(cmd::QI, nullptr);
    QCOMPARE(rig.witness.events, (QStringList{"sent MO 1234 -56", "sent QS",
                                              "sent QV (not written)", "sent QI (not written)"}));
}

KELVANDOR_QTEST(LinkObserverTest, "link_observer_test")
#include "link_observer_test.moc"
