// SPDX-License-Identifier: GPL-3.0-or-later
// The controller against the simulated unit when the line is lost and comes back: the
// Serial Communication page shows the link closed, tries the same port once a second,
// and the link works again once the unit is plugged in again.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "support/qt_test_main.h"
#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"

using namespace kelvandor;
namespace id = kelvandor::main_id;

namespace {

constexpr int Patience = 10000;
const QString FullProductText = QStringLiteral("KELVANDOR T6 PREMIUM  Ver 3.12");

bool received(const sim::Simulator& unit, const std::string& line) {
    const std::vector<std::string> lines = unit.receivedLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

class LostLineTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init();
    void cleanup();
    void hangUpAndReplugOfTheUnit();
    void simulatorProgramHangsUpAndReplugs();

  private:
    std::unique_ptr<QTemporaryDir> ports_;
    ui::ScriptedPrompter prompter_;
};

void LostLineTest::init() {
    resetReceiveBufferForTest();
    prompter_ = ui::ScriptedPrompter{};
    ui::installPrompter(&prompter_);
    ports_ = std::make_unique<QTemporaryDir>();
}

void LostLineTest::cleanup() {
    ports_.reset();
    ui::installPrompter(nullptr);
    resetReceiveBufferForTest();
}

void LostLineTest::hangUpAndReplugOfTheUnit() {
    sim::Simulator unit;  // with its unasked reports: the Comm. LED follows them
    QVERIFY(unit.start());
    QVERIFY(unit.linkAs(ports_->path().toStdString(), 2));
    MainDialog d(ComPortNaming::linksOnlyIn(ports_->path().toStdString()));
    SerialPage& page = d.serialPage;
    QCOMPARE(d.serialPort.isOpen, 1);
    QTRY_COMPARE_WITH_TIMEOUT(d.bitmapOf(id::LedComm), ui::bitmap::LedGreen, Patience);

    unit.setFault(sim::Fault::HangUp, true);
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                              QStringLiteral("Connect"), Patience);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComDisconnected);
    QCOMPARE(d.serialPort.isOpen, 0);
    QVERIFY(!d.link().isReceiving());
    QCOMPARE(d.bitmapOf(id::LedComm), ui::bitmap::LedGrey);
    QVERIFY(page.isReconnecting());

    unit.setFault(sim::Fault::HangUp, false);
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                              QStringLiteral("Disconnect"), Patience);
    QCOMPARE(d.serialPort.isOpen, 1);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), ui::bitmap::ComPlates[1]);
    QVERIFY(d.link().isReceiving());
    QVERIFY(prompter_.messages.empty());

    // Both directions work on the new line.
    QTRY_COMPARE_WITH_TIMEOUT(d.bitmapOf(id::LedComm), ui::bitmap::LedGreen, Patience);
    d.setControlText(id::ProductText, QString());
    d.button(id::GetAntennaInfo)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d.controlText(id::ProductText), FullProductText, Patience);
    QVERIFY(received(unit, "QS"));
}

void LostLineTest::simulatorProgramHangsUpAndReplugs() {
    const QString portDir = ports_->path();
    const QString link = QDir(portDir).filePath(QStringLiteral("COM2"));
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(
        QStringLiteral(KELVANDOR_SIM_PROGRAM),
        {QStringLiteral("--port-dir"), portDir, QStringLiteral("--hang-up-after"),
         QStringLiteral("4000"), QStringLiteral("--replug-after"), QStringLiteral("1500")});
    QVERIFY(simulator.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), Patience);

    {
        MainDialog d(ComPortNaming::linksOnlyIn(portDir.toStdString()));
        SerialPage& page = d.serialPage;
        QCOMPARE(d.serialPort.isOpen, 1);
        QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                                  QStringLiteral("Connect"), Patience);
        QVERIFY(!d.link().isReceiving());
        QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                                  QStringLiteral("Disconnect"), Patience);
        QCOMPARE(d.serialPort.isOpen, 1);
        QVERIFY(QFileInfo(link).isSymLink());
        d.button(id::GetAntennaInfo)->click();
        QTRY_COMPARE_WITH_TIMEOUT(d.controlText(id::ProductText), FullProductText, Patience);
        QVERIFY(prompter_.messages.empty());
    }
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(Patience));
    QCOMPARE(simulator.exitCode(), 0);
}

KELVANDOR_QTEST(LostLineTest, "lost_line_test")
#include "lost_line_test.moc"
