// SPDX-License-Identifier: GPL-3.0-or-later
// The Serial Communication page: the automatic connection at start, Connect and
// Disconnect, and the messages for a port that cannot be opened.
#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QtTest>
#include <cerrno>

#include "controller_harness.h"
#include "link/system_calls.h"
#include "support/input_delay_probe.h"
#include "support/loopback_listener.h"
#include "support/qt_test_main.h"
#include "ui/bitmaps.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;

namespace {

// Every open() fails as it does for a user outside the dialout group.
class PermissionDenied : public SystemCalls {
  public:
    int open(const char* /*path*/, int /*flags*/) override {
        errno = EACCES;
        return -1;
    }
};

constexpr int Com1Radio = 1064;
constexpr int Com2Radio = 1065;
constexpr int Com3Radio = 1066;
constexpr int Com5Radio = 1068;

void check(MainDialog& d, int radioId) {
    d.serialPage.checkable(radioId)->setChecked(true);
}

}  // namespace

class SerialPageTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void connectsByItselfToTheFirstPortFound();
    void clickWhileConnectedOnlyDisconnects();
    void noPortLeavesTheButtonAtConnect();
    void com1IsNotSearchedButCanBeChosen();
    void busyPortGetsTheBusyMessage();
    void permissionFailureNamesDeviceAndGroup();
    void lostLineShowsClosedAndComesBackByItself();
    void clickEndsTheRetrying();
    void closingTheWindowEndsTheRetrying();
    void remainsOfALostLineAreDropped();
    void startPortIsTriedAloneAndWhereANameLeadsIsShown();
    void retriesOfANetworkPortLeaveTheWindowTakingClicks();
};

void SerialPageTest::connectsByItselfToTheFirstPortFound() {
    ControllerHarness h(3);
    MainDialog& d = h.dialog();
    SerialPage& page = d.serialPage;
    QCOMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComPlates[2]);
    QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Disconnect"));
    QVERIFY(page.checkable(Com2Radio)->isChecked());  // the search does not move the radios
    QCOMPARE(page.comboBox(SerialPage::BaudList)->currentText(), QStringLiteral("19200"));
    QVERIFY(!page.control(SerialPage::BaudList)->isEnabled());
    QVERIFY(d.link().isReceiving());
    QVERIFY(h.prompter.messages.empty());

    // The link is live: a frame from the antenna reaches the status panel.
    h.inject(cmd::NV, {300});
    QTRY_COMPARE(d.controlText(main_id::SignalValue), QStringLiteral(" 500"));

    // Disconnect, then the radio buttons decide: COM2 is not there, COM3 is.
    page.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 0);
    QVERIFY(!d.link().isReceiving());
    QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComDisconnected);
    QCOMPARE(h.prompter.pauses, std::vector<int>{100});

    page.button(SerialPage::ConnectButton)->click();
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QCOMPARE(h.prompter.messages[0].text, QStringLiteral("COM2 is used by another application."));
    QCOMPARE(d.serialPort.isOpen, 0);

    check(d, Com3Radio);
    page.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(page.portIndex, 2);
    QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Disonnect"));
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComPlates[2]);
    QVERIFY(d.link().isReceiving());
}

void SerialPageTest::clickWhileConnectedOnlyDisconnects() {
    ControllerHarness h(3);
    h.linkAs(5);
    MainDialog& d = h.dialog();
    check(d, Com5Radio);
    d.serialPage.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 0);
    QCOMPARE(d.serialPage.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));
}

void SerialPageTest::noPortLeavesTheButtonAtConnect() {
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    QCOMPARE(d.serialPort.isOpen, 0);
    QCOMPARE(d.serialPage.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));
    QCOMPARE(d.serialPage.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComDisconnected);
    QVERIFY(!d.link().isReceiving());
    QVERIFY(h.prompter.messages.empty());  // the search is silent
    // Sending with no port open is harmless and shows nothing.
    d.onGetAntennaInfo();
    QVERIFY(h.prompter.messages.empty());
}

void SerialPageTest::com1IsNotSearchedButCanBeChosen() {
    ControllerHarness h(1);
    MainDialog& d = h.dialog();
    QCOMPARE(d.serialPort.isOpen, 0);
    check(d, Com1Radio);
    d.serialPage.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(d.serialPage.controlText(SerialPage::ConnectButton), QStringLiteral("Disonnect"));
    QCOMPARE(d.serialPage.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComPlates[0]);
}

void SerialPageTest::busyPortGetsTheBusyMessage() {
    ControllerHarness h(0);
    SerialPort other;
    other.setNaming(h.naming());
    h.linkAs(2);
    QCOMPARE(other.Open("COM2", 19200, 1), 1);  // another program holds the port
    MainDialog& d = h.dialog();
    d.serialPage.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 0);
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QCOMPARE(h.prompter.messages[0].text, QStringLiteral("COM2 is used by another application."));
}

void SerialPageTest::permissionFailureNamesDeviceAndGroup() {
    ControllerHarness h(2);
    MainDialog& d = h.dialog();
    d.serialPage.button(SerialPage::ConnectButton)->click();  // disconnect
    PermissionDenied denied;
    d.serialPort.setSystemCalls(denied);
    d.serialPage.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 0);
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    const QString text = h.prompter.messages[0].text;
    const QString device = QString::fromStdString(d.serialPort.lastDevicePath());
    QVERIFY(!device.isEmpty());
    QVERIFY2(text.contains(device), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("dialout")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("used by another application")), qPrintable(text));
    QCOMPARE(d.serialPage.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));
    d.serialPort.setSystemCalls(h.portCalls());
}

void SerialPageTest::lostLineShowsClosedAndComesBackByItself() {
    ControllerHarness h(3);  // found by the automatic search, with COM2 still checked
    MainDialog& d = h.dialog();
    SerialPage& page = d.serialPage;
    QVERIFY(h.deliver(cmd::TC, {11, 1}));
    QCOMPARE(d.bitmapOf(main_id::LedComm), ui::bitmap::LedGreen);

    h.hangUp();
    QTRY_COMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));
    QCOMPARE(d.serialPort.isOpen, 0);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComDisconnected);
    QVERIFY(!d.link().isReceiving());
    QCOMPARE(d.bitmapOf(main_id::LedComm), ui::bitmap::LedGrey);
    QVERIFY(page.isReconnecting());

    // Tries of the vanished port fail silently until the line is back, on COM3.
    const int attempts = h.openAttempts();
    QTRY_VERIFY_WITH_TIMEOUT(h.openAttempts() >= attempts + 2, 10000);
    QCOMPARE(d.serialPort.isOpen, 0);
    QVERIFY(h.prompter.messages.empty());
    QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));
    h.replug();
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                              QStringLiteral("Disconnect"), 10000);
    QCOMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComPlates[2]);
    QVERIFY(d.link().isReceiving());
    QVERIFY(!page.isReconnecting());
    QVERIFY(page.checkable(Com2Radio)->isChecked());
    QVERIFY(h.prompter.messages.empty());
    QVERIFY(h.deliver(cmd::NV, {300}));  // frames flow again
    QCOMPARE(d.controlText(main_id::SignalValue), QStringLiteral(" 500"));

    // A second loss is handled like the first.
    h.hangUp();
    QTRY_VERIFY(page.isReconnecting());
    QCOMPARE(d.serialPort.isOpen, 0);
    h.replug();
    QTRY_COMPARE_WITH_TIMEOUT(d.serialPort.isOpen, 1, 10000);
}

void SerialPageTest::clickEndsTheRetrying() {
    ControllerHarness h(2);
    MainDialog& d = h.dialog();
    SerialPage& page = d.serialPage;
    h.hangUp();
    QTRY_VERIFY(page.isReconnecting());

    // The user clicks Connect: the click decides, and the retrying ends.
    page.button(SerialPage::ConnectButton)->click();
    QVERIFY(!page.isReconnecting());
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QCOMPARE(h.prompter.messages[0].text, QStringLiteral("COM2 is used by another application."));
    QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));

    h.replug();
    page.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Disonnect"));

    // A port the user closed is not lost: nothing tries it again.
    page.button(SerialPage::ConnectButton)->click();
    QCOMPARE(d.serialPort.isOpen, 0);
    QVERIFY(!page.isReconnecting());
}

void SerialPageTest::closingTheWindowEndsTheRetrying() {
    ControllerHarness h(2);
    MainDialog& d = h.dialog();
    SerialPage& page = d.serialPage;
    d.show();
    h.hangUp();
    QTRY_VERIFY(page.isReconnecting());
    QVERIFY(d.close());
    h.replug();
    QTRY_VERIFY_WITH_TIMEOUT(!page.isReconnecting(), 10000);
    QCOMPARE(d.serialPort.isOpen, 0);
    QVERIFY(!d.link().isReceiving());
}

void SerialPageTest::remainsOfALostLineAreDropped() {
    // Bytes of a frame that was being received when the line was lost. Joined to what the
    // next line sends they either become a frame the antenna never sent ("{NA 2}" has the
    // checksum "{", so the next frame's first byte completes it) or spoil the next frame.
    struct Case {
        const char* what;
        std::string remains;
    };
    const std::string tracking = testing::frameBytes(cmd::NA, {2});
    const Case cases[] = {
        {"a frame short of its checksum", tracking.substr(0, tracking.size() - 1)},
        {"a frame short of its end", testing::frameBytes(cmd::NN, {13}).substr(0, 5)},
    };
    ControllerHarness h(2);
    MainDialog& d = h.dialog();
    for (const Case& c : cases) {
        h.injectBytes(c.remains);
        QTRY_VERIFY2(receiveBufferHeld() == static_cast<int>(c.remains.size()), c.what);
        h.hangUp();
        QTRY_VERIFY2(d.serialPage.isReconnecting(), c.what);
        h.replug();
        QTRY_VERIFY2_WITH_TIMEOUT(d.serialPort.isOpen == 1, c.what, 10000);

        QVERIFY2(h.deliver(cmd::NA, {1}), c.what);  // the new line's first frame
        QVERIFY2(d.model().antennaState == 1, c.what);
        QVERIFY2(d.bitmapOf(main_id::LedSearch) == ui::bitmap::LedBlue, c.what);
        QVERIFY2(d.bitmapOf(main_id::LedTracking) == ui::bitmap::LedGrey, c.what);
        QVERIFY2(d.model().satellites.satelliteCount == 0, c.what);
    }
}

void SerialPageTest::startPortIsTriedAloneAndWhereANameLeadsIsShown() {
    ControllerHarness h(0);
    h.linkAs(3);
    const QString dir = QString::fromStdString(h.naming().portDir);
    {
        // --port COM5: COM3 would open, but only COM5 is tried.
        MainDialog d(h.naming().withStartPort("COM5"));
        QCOMPARE(d.serialPort.isOpen, 0);
        QVERIFY(d.serialPage.checkable(Com5Radio)->isChecked());
        QCOMPARE(d.serialPage.controlText(SerialPage::PortTargetText),
                 QStringLiteral("COM5: %1/ttyS4").arg(dir));
        d.serialPage.checkable(Com3Radio)->click();  // a link: shown as its device
        QCOMPARE(d.serialPage.controlText(SerialPage::PortTargetText),
                 QStringLiteral("COM3: ") + QString::fromStdString(h.line().path()));
    }
    {
        // --port with a device path: reached, and shown, as COM2.
        MainDialog d(h.naming().withStartPort(h.line().path()));
        QCOMPARE(d.serialPort.isOpen, 1);
        QVERIFY(d.serialPage.checkable(Com2Radio)->isChecked());
        QCOMPARE(d.serialPage.controlText(SerialPage::PortTargetText),
                 QStringLiteral("COM2: ") + QString::fromStdString(h.line().path()));
    }
}

void SerialPageTest::retriesOfANetworkPortLeaveTheWindowTakingClicks() {
    // Longest a click may wait, whatever the network does.
    constexpr double MaxClickDelayMs = 100;
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    SerialPage& page = d.serialPage;
    testing::LoopbackListener server;
    testing::LoopbackListener goneHost(testing::LoopbackListener::NeverAnswers);
    QFile entry(QString::fromStdString(h.naming().portDir) + QStringLiteral("/COM2"));
    const auto leadCom2To = [&](const std::string& url) {
        QVERIFY(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        entry.write(QByteArray::fromStdString(url + "\n"));
        entry.close();
    };
    leadCom2To(server.url("tcp"));
    page.button(SerialPage::ConnectButton)->click();
    QTRY_COMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Disonnect"));

    // The server leaves, and COM2 now leads to a host that never answers.
    leadCom2To(goneHost.url("tcp"));
    QVERIFY(server.dropConnection());
    QTRY_VERIFY(page.isReconnecting());
    testing::InputDelayProbe clicks(d.serialPort);
    clicks.start();
    const int attempts = h.openAttempts();
    // The first retry waits out the whole time-out, then the next one begins.
    QTRY_VERIFY_WITH_TIMEOUT(h.openAttempts() >= attempts + 2, 10000);
    clicks.stop();
    QVERIFY(clicks.clicks() > 0);
    QVERIFY2(clicks.maxMs() <= MaxClickDelayMs,
             qPrintable(QStringLiteral("a click waited %1 ms").arg(clicks.maxMs())));

    // Connect during a retry gives the retry up and opens afresh at once; closing the
    // window gives that open up.
    QVERIFY(d.serialPort.isOpening());
    page.button(SerialPage::ConnectButton)->click();
    QVERIFY(!page.isReconnecting());
    QVERIFY(d.serialPort.isOpening());
    QVERIFY(d.close());
    QVERIFY(!d.serialPort.isOpening());
    QVERIFY(h.prompter.messages.empty());
}

KELVANDOR_QTEST(SerialPageTest, "serial_page_test")
#include "serial_page_test.moc"
