// SPDX-License-Identifier: GPL-3.0-or-later
// The controller against the simulated unit behind a real ser2net, raw TCP and RFC 2217,
// each reached through a port-directory entry that holds its URL: the automatic connection
// at start finds it, Get Antenna Information fills the panel, Update Default leaves the
// unit holding the sample set, RFC 2217 sets the far line to 19200 8N1, and a killed and
// restarted ser2net is a lost line that comes back. Then the failures a real server shows:
// a raw port under rfc2217://, a port that never answers, and nothing listening.
#include <fcntl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "defaults/rif_reader.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "support/default_set_check.h"
#include "support/event_loop_gaps.h"
#include "support/qt_test_main.h"
#include "support/ser2net_server.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"

using namespace kelvandor;
namespace id = kelvandor::main_id;

namespace {

constexpr int Patience = 15000;
const QString FullProductText = QStringLiteral("KELVANDOR T6 PREMIUM  Ver 3.12");

// The pty's line settings as the server left them.
struct LineSettings {
    speed_t speed = 0;
    tcflag_t cflag = 0;
};

LineSettings lineSettingsOf(const std::string& device) {
    LineSettings settings;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t{};
    if (fd >= 0 && ::tcgetattr(fd, &t) == 0) {
        settings.speed = cfgetospeed(&t);
        settings.cflag = t.c_cflag;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return settings;
}

bool is19200EightNOne(const LineSettings& s) {
    return s.speed == B19200 && (s.cflag & CSIZE) == CS8 && (s.cflag & PARENB) == 0 &&
           (s.cflag & CSTOPB) == 0;
}

}  // namespace

class Ser2netTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init();
    void cleanup();
    void connectsQueriesAndWritesTheDefaultSet_data();
    void connectsQueriesAndWritesTheDefaultSet();
    void killedServerIsALostLineThatComesBack_data();
    void killedServerIsALostLineThatComesBack();
    void failuresOfARealServerAreSaidWithoutFreezingTheWindow();

  private:
    // Makes COM2 of the port folder a file holding `url`.
    void linkCom2To(const QString& url);

    std::unique_ptr<QTemporaryDir> ports_;
    std::unique_ptr<sim::Simulator> unit_;
    std::unique_ptr<testing::Ser2net> server_;
    ui::ScriptedPrompter prompter_;
};

void Ser2netTest::init() {
    if (testing::Ser2net::program().isEmpty()) {
        QFAIL("ser2net is not installed (the test command installs it)");
    }
    resetReceiveBufferForTest();
    prompter_ = ui::ScriptedPrompter{};
    ui::installPrompter(&prompter_);
    ports_ = std::make_unique<QTemporaryDir>();
    sim::SimOptions options;
    options.periodicReports = false;
    unit_ = std::make_unique<sim::Simulator>(options);
    QVERIFY(unit_->start());
    server_ = std::make_unique<testing::Ser2net>(QString::fromStdString(unit_->slavePath()));
    QVERIFY2(server_->start(), qPrintable(server_->output()));
}

void Ser2netTest::cleanup() {
    server_.reset();  // kills ser2net whatever the test's outcome
    unit_.reset();
    ports_.reset();
    ui::installPrompter(nullptr);
    resetReceiveBufferForTest();
}

void Ser2netTest::linkCom2To(const QString& url) {
    QFile entry(QDir(ports_->path()).filePath(QStringLiteral("COM2")));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write((url + QLatin1Char('\n')).toUtf8());
}

void Ser2netTest::connectsQueriesAndWritesTheDefaultSet_data() {
    QTest::addColumn<bool>("rfc2217");
    QTest::newRow("raw tcp") << false;
    QTest::newRow("rfc2217") << true;
}

void Ser2netTest::connectsQueriesAndWritesTheDefaultSet() {
    QFETCH(bool, rfc2217);
    const QString url = rfc2217 ? server_->rfc2217Url() : server_->rawUrl();
    linkCom2To(url);

    MainDialog d(ComPortNaming::linksOnlyIn(ports_->path().toStdString()));
    // Found by the automatic connection at start.
    QVERIFY2(d.serialPort.isOpen == 1, describeOpenFailure(d.serialPort.lastOpenFailure()));
    QVERIFY(d.serialPort.isNetwork());
    QCOMPARE(d.serialPage.controlText(SerialPage::PortTargetText), QStringLiteral("COM2: ") + url);
    if (rfc2217) {
        // ser2net opened the pty at 9600; the controller asked for 19200 8N1.
        QTRY_VERIFY_WITH_TIMEOUT(is19200EightNOne(lineSettingsOf(unit_->slavePath())), Patience);
        QVERIFY(d.serialPort.lineNotice().empty());
    }

    prompter_.answers = {ui::Answer::Ok};
    d.button(id::Setup)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.model().antennaState, 0, Patience);
    d.button(id::GetAntennaInfo)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.controlText(id::ProductText), FullProductText, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(d.model().productSize, 1, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(!d.movePage.controlText(MovePage::SlotSkew[4]).isEmpty(), Patience);

    prompter_.files = {QStringLiteral(KELVANDOR_SAMPLE_RIF)};
    d.button(id::LoadDefault)->click();
    QVERIFY(d.control(id::UpdateDefault)->isEnabled());
    prompter_.messages.clear();
    d.button(id::UpdateDefault)->click();  // returns when the run has ended
    QCOMPARE(prompter_.messages.size(), std::size_t{2});
    QCOMPARE(prompter_.messages[1].text, QStringLiteral("Default update complete successfully."));

    DefaultSet set;
    QVERIFY(readRifFile(KELVANDOR_SAMPLE_RIF, set).ok());
    QTRY_VERIFY_WITH_TIMEOUT(
        !unit_->receivedLines().empty() && unit_->receivedLines().back().rfind("KO ", 0) == 0,
        Patience);
    QCOMPARE(testing::defaultSetMismatch(set, set.productProfiles[1], unit_->state()), QString());
}

void Ser2netTest::killedServerIsALostLineThatComesBack_data() {
    connectsQueriesAndWritesTheDefaultSet_data();
}

void Ser2netTest::killedServerIsALostLineThatComesBack() {
    QFETCH(bool, rfc2217);
    linkCom2To(rfc2217 ? server_->rfc2217Url() : server_->rawUrl());
    MainDialog d(ComPortNaming::linksOnlyIn(ports_->path().toStdString()));
    SerialPage& page = d.serialPage;
    QCOMPARE(d.serialPort.isOpen, 1);

    server_->kill();
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                              QStringLiteral("Connect"), Patience);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComDisconnected);
    QCOMPARE(d.serialPort.isOpen, 0);
    QVERIFY(page.isReconnecting());

    QVERIFY2(server_->start(), qPrintable(server_->output()));
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                              QStringLiteral("Disconnect"), Patience);
    QCOMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComPlates[1]);
    d.setControlText(id::ProductText, QString());
    d.button(id::GetAntennaInfo)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.controlText(id::ProductText), FullProductText, Patience);
    QVERIFY(prompter_.messages.empty());
}

void Ser2netTest::failuresOfARealServerAreSaidWithoutFreezingTheWindow() {
    // Longest the window may go without a turn of its event loop, its own share.
    constexpr double MaxGapMs = 100;
    // A loopback listener with a full queue: a connection request there is never answered.
    const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QCOMPARE(::bind(full, reinterpret_cast<sockaddr*>(&address), length), 0);
    QCOMPARE(::listen(full, 0), 0);
    QCOMPARE(::getsockname(full, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
    const int silentPort = ntohs(address.sin_port);

    struct Case {
        QString url;
        QString said;  // the end of the message the click shows
    };
    const Case cases[] = {
        {QString(server_->rawUrl()).replace(QStringLiteral("tcp://"), QStringLiteral("rfc2217://")),
         QStringLiteral("the server does not speak Telnet (a raw port? use tcp://).")},
        {QStringLiteral("tcp://127.0.0.1:%1").arg(silentPort),
         QStringLiteral("the host did not answer within 3 seconds.")},
        {QStringLiteral("tcp://127.0.0.1:%1").arg(testing::freeLoopbackPort()),
         QStringLiteral("the connection was refused (is the serial server running?).")},
    };
    MainDialog d(ComPortNaming::linksOnlyIn(ports_->path().toStdString()));
    d.show();
    QCOMPARE(d.serialPort.isOpen, 0);  // nothing in the port folder yet
    testing::EventLoopGaps gaps;
    for (const Case& c : cases) {
        linkCom2To(c.url);
        prompter_.messages.clear();
        gaps.start();
        d.serialPage.button(SerialPage::ConnectButton)->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter_.messages.size(), std::size_t{1}, Patience);
        gaps.stop();
        QCOMPARE(d.serialPort.isOpen, 0);
        QCOMPARE(prompter_.messages[0].text,
                 QStringLiteral("COM2 (%1) cannot be opened: %2").arg(c.url, c.said));
        QVERIFY2(gaps.longestOwn().ownMs() <= MaxGapMs,
                 qPrintable(QStringLiteral("%1: the window stood still for %2 ms")
                                .arg(c.url)
                                .arg(gaps.longestOwn().ownMs())));
        QCOMPARE(d.serialPage.controlText(SerialPage::PortTargetText),
                 QStringLiteral("COM2: ") + c.url);
    }
    ::close(filler);
    ::close(full);
}

KELVANDOR_QTEST(Ser2netTest, "ser2net_test")
#include "ser2net_test.moc"
