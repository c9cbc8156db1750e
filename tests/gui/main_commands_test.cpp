// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands: what each button sends, after which confirmation.
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "ui/bitmaps.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
namespace id = kelvandor::main_id;
using Lines = std::vector<std::string>;

class MainCommandsTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void restart();
    void setupAsksFirst();
    void getAntennaInformationSendsTwoQueries();
    void factorySettingAsksAndShowsProgress();
    void factorySettingWithoutLinkOnlyShowsTheBar();
    void satelliteButtons();
    void signalLevelLabelAsksForTheLevel();
};

void MainCommandsTest::restart() {
    ControllerHarness h;
    h.dialog().button(id::Restart)->click();
    QCOMPARE(h.sentLines(), Lines{"OR"});
}

void MainCommandsTest::setupAsksFirst() {
    ControllerHarness h;
    h.prompter.answers = {ui::Answer::Cancel, ui::Answer::Ok};
    h.dialog().button(id::Setup)->click();
    QCOMPARE(h.sentLines(), Lines{});
    QCOMPARE(h.prompter.messages.at(0).text, QStringLiteral("Antenna Setup Mode?"));
    QCOMPARE(h.prompter.messages.at(0).buttons, ui::Buttons::OkCancel);
    QCOMPARE(h.prompter.messages.at(0).icon, ui::Icon::Warning);
    h.dialog().button(id::Setup)->click();
    QCOMPARE(h.sentLines(), Lines{"OS"});
}

void MainCommandsTest::getAntennaInformationSendsTwoQueries() {
    ControllerHarness h;
    h.dialog().button(id::GetAntennaInfo)->click();
    QCOMPARE(h.sentLines(), (Lines{"QS", "QI"}));
    QVERIFY(h.prompter.pauses.empty());  // back to back, no pause between them
}

void MainCommandsTest::factorySettingAsksAndShowsProgress() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    QProgressBar* bar = d.progressBar(id::Progress);
    h.prompter.answers = {ui::Answer::No};
    d.button(id::FactorySetting)->click();
    QCOMPARE(h.sentLines(), Lines{});
    QVERIFY(bar->isHidden());
    QCOMPARE(h.prompter.messages.at(0).text,
             QStringLiteral("Do you want to execuet default setting?"));
    QCOMPARE(h.prompter.messages.at(0).buttons, ui::Buttons::YesNo);
    QCOMPARE(h.prompter.messages.at(0).icon, ui::Icon::None);

    h.prompter.answers = {ui::Answer::Yes};
    d.button(id::FactorySetting)->click();
    QCOMPARE(h.sentLines(), Lines{"Sd"});
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 6);
    QCOMPARE(bar->value(), 1);
}

void MainCommandsTest::factorySettingWithoutLinkOnlyShowsTheBar() {
    ControllerHarness h(0);
    MainDialog& d = h.dialog();
    d.show();
    d.button(id::FactorySetting)->click();
    QCOMPARE(d.progressBar(id::Progress)->value(), 1);
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});  // the confirmation, nothing else
    QVERIFY(!d.close());
    QVERIFY(d.isVisible());
    QCOMPARE(d.progressBar(id::Progress)->value(), 0);
    QVERIFY(d.close());
    QVERIFY(!d.isVisible());
}

void MainCommandsTest::satelliteButtons() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    d.button(id::SatA)->click();
    d.button(id::SatB)->click();
    QCOMPARE(h.sentLines(), (Lines{"LT 0 0", "LT 1 0"}));
    // The LEDs wait for the antenna's answer.
    QCOMPARE(d.bitmapOf(id::LedSatB), ui::bitmap::LedGrey);
    QVERIFY(h.deliver(cmd::TR, {1}));
    d.button(id::TripleA)->click();
    d.button(id::TripleB)->click();
    d.button(id::TripleC)->click();
    QCOMPARE(h.sentLines(), (Lines{"LT 0 0", "LT 1 0", "LT 4 0"}));
}

void MainCommandsTest::signalLevelLabelAsksForTheLevel() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    d.show();
    QTest::mouseClick(d.control(id::SignalLabel), Qt::LeftButton);
    QCOMPARE(h.sentLines(), Lines{"QV"});
    QTest::mouseClick(d.control(id::LocalFreqLabel), Qt::LeftButton);  // not a command
    QCOMPARE(h.sentLines(), Lines{});
}

KELVANDOR_QTEST(MainCommandsTest, "main_commands_test")
#include "main_commands_test.moc"
