// SPDX-License-Identifier: GPL-3.0-or-later
// The controller against every fault the simulated unit can put on the line. One window
// and one unit serve every row, as one controller would meet one faulty line after another.
// A row switches its fault on, runs the main commands as a user would (Setup, Get Antenna
// Information, Signal Level, satellites B and A, Restart, Factory Setting), ends the fault,
// runs Get Antenna Information again and checks:
// - what the user sees while the fault lasts (answers, or none, and no success message
//   for a step that got no answer);
// - the status panel and the satellite table agree with the unit once the fault has ended;
// - every frame the unit sent intact reached the listeners, in order, and nothing else did
//   (only where the line damaged frames may the receive rules drop a few good ones);
// - the window's event loop kept turning throughout.
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "support/qt_test_main.h"
#include "defaults/rif_reader.h"
#include "protocol/frame_codec.h"
#include "protocol/frame_text.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "support/default_set_check.h"
#include "support/event_loop_gaps.h"
#include "support/simulated_unit.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"

using namespace kelvandor;
namespace id = kelvandor::main_id;
namespace bm = kelvandor::ui::bitmap;
using kelvandor::sim::Fault;

namespace {

// Generous: a loaded two-core machine, a line paced at 19200 baud, a unit that takes
// seconds to restart.
constexpr int Patience = 30000;
// The longest the window's event loop may go without a turn by its own doing (running,
// or blocked in a handler); time spent waiting for a CPU on a busy machine is not its
// doing and is left out (see event_loop_gaps.h).
constexpr double StallBoundMs = 200;
// Where the kernel does not tell waiting for a CPU apart, a bound a busy machine cannot
// reach, that still catches a window that freezes.
constexpr double FreezeBoundMs = 1000;

const QString FullProductText = QStringLiteral("KELVANDOR T6 PREMIUM  Ver 3.12");
const QString FactoryDone = QStringLiteral("Default setting complete successfully.");
const QString PortUnavailable = QStringLiteral("COM2 is used by another application.");
const QString UpdateDone = QStringLiteral("Default update complete successfully.");
const QString UpdateIncomplete =
    QStringLiteral("Default update finished, but 61 of 61 steps got no reply");
const QString NotConnected = QStringLiteral("The antenna is not connected");
const QString UpdateQuestion = QStringLiteral("Do you want to update default set");
// An Update Default step that will get no echo waits this long (the program waits 2 s;
// 61 such waits would make a row take two minutes).
constexpr int UnansweredStepWaitMs = 150;
// The unit's T6 profile: the simulated unit reports product size 1.
constexpr int UnitProductSize = 1;

// Everything the simulator logs, kept for the test thread to read while the unit's thread
// writes. Only complete lines are handed out.
class SharedLog : public std::streambuf {
  public:
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> result;
        std::size_t start = 0;
        for (std::size_t end = text_.find('\n'); end != std::string::npos;
             end = text_.find('\n', start)) {
            result.push_back(text_.substr(start, end - start));
            start = end + 1;
        }
        return result;
    }
    void note(const std::string& line) {
        std::lock_guard lock(mutex_);
        text_ += line + '\n';
    }

  protected:
    int overflow(int c) override {
        if (c != traits_type::eof()) {
            std::lock_guard lock(mutex_);
            text_ += static_cast<char>(c);
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard lock(mutex_);
        text_.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    mutable std::mutex mutex_;
    std::string text_;
};

// Sits in front of the main window's reply handler and records every frame dispatched.
class FrameTap : public ReplyListener {
  public:
    explicit FrameTap(ReplyListener& next) : next_(next) {}
    void onReply(CommandId commandId, const std::int32_t* params) override {
        lines.push_back(frameLine(commandId, params));
        next_.onReply(commandId, params);
    }
    std::vector<std::string> lines;

  private:
    ReplyListener& next_;
};

// A scripted prompter whose pauses block the thread as the program's own do, so that
// they count in the event-loop gaps.
class PausingPrompter : public ui::ScriptedPrompter {
  public:
    void pause(int ms) override {
        ui::ScriptedPrompter::pause(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

constexpr const char* SentPrefix = "-> ";
constexpr const char* TestMark = "-- test: fault off";

// The frames the unit sent whole, from its log: each "-> LINE" without a note that says
// it never went out intact.
struct SentFrame {
    std::string line;
    bool afterFaultEnd = false;
};

std::vector<SentFrame> intactFramesSent(const std::vector<std::string>& log, std::size_t from) {
    static const char* const Spoilt[] = {"(dropped)", "(silent)", "(checksum corrupted)", "(lost"};
    std::vector<SentFrame> sent;
    bool ended = false;
    for (std::size_t k = from; k < log.size(); ++k) {
        const std::string& line = log[k];
        if (line == TestMark) {
            ended = true;
        }
        if (line.rfind(SentPrefix, 0) != 0) {
            continue;
        }
        if (std::any_of(std::begin(Spoilt), std::end(Spoilt), [&line](const char* note) {
                return line.find(note) != std::string::npos;
            })) {
            continue;
        }
        const std::size_t notes = line.find(" (");
        sent.push_back(
            {line.substr(3, notes == std::string::npos ? std::string::npos : notes - 3), ended});
    }
    return sent;
}

// Which frames the unit sent intact may fail to reach the listeners.
enum class Loss {
    None,
    // Those sent before the fault ended: a line that is gone takes what it carried along.
    UntilFaultEnds,
    // Those too, and after the fault's end what the receive rules drop while they clear
    // the remains of broken frames: one buffer's worth thrown away by the overflow rule
    // and one frame glued to a broken one, before the first frame sent after the fault's
    // end comes through; none after that.
    ByReceiveRules,
};

// Checks the frames the controller dispatched against those the unit sent intact. They
// must be the sent ones, in order, with at most the losses `loss` allows (nothing
// invented, nothing reordered, no damaged frame taken). Returns what is wrong, empty when
// nothing is.
QString deliveryProblem(const std::vector<SentFrame>& sent, const std::vector<std::string>& got,
                        Loss loss) {
    // Match from the end: the latest sent frame that each dispatched one can be.
    std::vector<bool> delivered(sent.size(), false);
    std::size_t s = sent.size();
    for (std::size_t g = got.size(); g-- > 0;) {
        while (s > 0 && sent[s - 1].line != got[g]) {
            --s;
        }
        if (s == 0) {
            return QStringLiteral(
                       "dispatched \"%1\" (frame %2 of %3), which the unit never sent "
                       "intact in this order")
                .arg(QString::fromStdString(got[g]))
                .arg(g + 1)
                .arg(got.size());
        }
        delivered[--s] = true;
    }
    int lostAfterEnd = 0;
    bool recovered = false;
    for (std::size_t k = 0; k < sent.size(); ++k) {
        if (delivered[k]) {
            recovered = recovered || sent[k].afterFaultEnd;
            continue;
        }
        const QString lost = QStringLiteral("the intact frame \"%1\" (%2 of %3 sent) was lost")
                                 .arg(QString::fromStdString(sent[k].line))
                                 .arg(k + 1)
                                 .arg(sent.size());
        if (loss == Loss::None || recovered) {
            return lost;
        }
        if (sent[k].afterFaultEnd) {
            lostAfterEnd += static_cast<int>(sent[k].line.size()) + 3;  // "{", "}", checksum
            if (loss == Loss::UntilFaultEnds || lostAfterEnd > MaxHeldBytes + MaxFrameLength) {
                return lost + QStringLiteral(" after the fault had ended");
            }
        }
    }
    return {};
}

bool anyLineStartsWith(const std::vector<std::string>& lines, std::size_t from,
                       const std::string& prefix) {
    return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())),
                       lines.end(),
                       [&prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

std::size_t indexOf(const std::vector<std::string>& lines, std::size_t from,
                    const std::string& line) {
    for (std::size_t k = from; k < lines.size(); ++k) {
        if (lines[k] == line) {
            return k;
        }
    }
    return lines.size();
}

int countMessages(const ui::ScriptedPrompter& prompter, const QString& text) {
    return static_cast<int>(
        std::count_if(prompter.messages.begin(), prompter.messages.end(),
                      [&text](const ui::ScriptedPrompter::Shown& m) { return m.text == text; }));
}

int countMessagesStartingWith(const ui::ScriptedPrompter& prompter, const QString& start) {
    return static_cast<int>(std::count_if(
        prompter.messages.begin(), prompter.messages.end(),
        [&start](const ui::ScriptedPrompter::Shown& m) { return m.text.startsWith(start); }));
}

// The first difference between the controller's satellite table and the unit's, empty
// when they agree.
QString tableMismatch(const SatelliteTable& table, const sim::UnitState& unit) {
    if (table.satelliteCount != unit.satelliteCount) {
        return QStringLiteral("%1 satellites, the unit has %2")
            .arg(table.satelliteCount)
            .arg(unit.satelliteCount);
    }
    const QString satellites = testing::satelliteTableMismatch(table, unit, unit.satelliteCount);
    if (!satellites.isEmpty()) {
        return satellites;
    }
    for (std::size_t slot = 0; slot < unit.slotMap.size(); ++slot) {
        if (table.slotMap[slot] != unit.slotMap[slot]) {
            return QStringLiteral("slot %1 holds satellite %2").arg(slot).arg(table.slotMap[slot]);
        }
    }
    return {};
}

// The signal text a report gives: "%4d" of 800 minus the raw level.
QString signalTextOf(std::int32_t raw) {
    char text[16];
    std::snprintf(text, sizeof text, "%4d", 800 - raw);
    return QString::fromLatin1(text);
}

// The signal text the last signal report of `lines` gives, empty when there is none.
QString lastSignalText(const std::vector<std::string>& lines) {
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        int values[6] = {};
        if (std::sscanf(line->c_str(), "Ni %d %d", &values[0], &values[1]) == 2) {
            return signalTextOf(values[1]);
        }
        if (std::sscanf(line->c_str(), "Nv %d", &values[0]) == 1 ||
            std::sscanf(line->c_str(), "NV %d", &values[0]) == 1) {
            return signalTextOf(values[0]);
        }
    }
    return {};
}

// How the row takes the line away, if it does.
enum class Unplug {
    No,
    Replugged,  // the unit is plugged in again; the controller reconnects by itself
    ByHand,     // the user clicks Connect while the unit is away, then again once it is back
};

}  // namespace

class LineFaultsTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void mainCommandsUnderFault_data();
    void mainCommandsUnderFault();
    void updateDefaultUnderFault_data();
    void updateDefaultUnderFault();

  private:
    // The fault rows, shared by every session run under faults. Update Default gets a test
    // function of its own over the same rows (updateDefaultUnderFault_data calls this),
    // running the update between faultOn and faultOff: no completion message when an echo
    // never came, the unit's stored settings after the fault, the same delivery and gap
    // checks in endRow.
    static void addFaultRows();

    // Starts a row: a quiet line, empty records, blank texts and grey LEDs for the reports
    // to fill, the gap probe running.
    void beginRow();
    // Switches the row's fault on, then the unit's unasked reports (so that every frame of
    // the row meets the fault). A hang-up comes while the unit is answering; the row then
    // waits until the window shows the link lost.
    void faultOn(Fault fault, Unplug unplug);
    // Ends the row's fault and marks the moment in the unit's log; for a hang-up, gets the
    // link back as the row's user would.
    void faultOff(Fault fault, Unplug unplug);
    void runMainCommands();
    // On a sound line: the unit back to its factory table, in set-up mode, the window
    // knowing its product size and the sample default set loaded.
    void prepareUpdate();
    void blankAnswers();
    // Get Antenna Information once the fault has ended, then the panel against the unit.
    void checkPanelAfterFault();
    // Ends a row: the unit's reports off, every frame sent accounted for, the gaps.
    void endRow(Loss loss);

    MainDialog& d() { return *dialog_; }
    std::vector<std::string> log() const { return log_.lines(); }

    std::unique_ptr<QTemporaryDir> ports_;
    SharedLog log_;
    std::ostream logStream_{&log_};
    std::unique_ptr<sim::Simulator> unit_;
    PausingPrompter prompter_;
    std::unique_ptr<MainDialog> dialog_;
    std::unique_ptr<FrameTap> tap_;
    testing::EventLoopGaps gaps_;
    std::size_t rowLogStart_ = 0;
};

void LineFaultsTest::initTestCase() {
    resetReceiveBufferForTest();
    ui::installPrompter(&prompter_);
    ports_ = std::make_unique<QTemporaryDir>();
    sim::SimOptions options;
    options.periodicReports = false;  // each row turns them on while it runs
    options.log = &logStream_;
    unit_ = std::make_unique<sim::Simulator>(options);
    QVERIFY(unit_->start());
    QVERIFY(unit_->linkAs(ports_->path().toStdString(), 2));

    dialog_ =
        std::make_unique<MainDialog>(ComPortNaming::linksOnlyIn(ports_->path().toStdString()));
    tap_ = std::make_unique<FrameTap>(d());
    d().link().setListeners({tap_.get(), &d().gpsPage, &d().movePage, &d().parameterPage,
                             &d().satelliteInfoPage, &d().primaryTrackingPage,
                             &d().secondaryTrackingPage});
    d().show();
    QCOMPARE(d().serialPort.isOpen, 1);
}

void LineFaultsTest::cleanupTestCase() {
    dialog_.reset();
    tap_.reset();
    unit_.reset();
    ports_.reset();
    ui::installPrompter(nullptr);
    resetReceiveBufferForTest();
}

// What the user sees while each fault lasts:
// - drop replies: no command gets an answer (the product text and the satellite table stay
//   empty, Factory Setting's bar stays at 1 of 6 and says nothing), but the state LEDs and
//   the Comm. LED keep following the unit's unasked reports;
// - corrupt checksums, silent: nothing the unit sends is shown, and no success either;
// - split frames, garbage bursts, echo delay, unpaced flood: every answer, as on a sound
//   line (later, in the case of the echo delay);
// - hang-up: the Serial Communication page shows the link closed (grey plate, "Connect"),
//   the Comm. LED goes grey, commands send nothing and show no success; plugged in again,
//   the link comes back by itself within a second or two. A user who clicks Connect while
//   the unit is away is told the port cannot be had and connects by hand later.
// Once the fault has ended, Factory Setting (if it never finished) and Get Antenna
// Information work again and the panel shows the unit as it is.
void LineFaultsTest::addFaultRows() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("answersArrive");  // while the fault lasts
    QTest::addColumn<int>("loss");            // what the line may take of intact frames
    QTest::addColumn<int>("unplug");

    const auto row = [](const char* name, Fault fault, bool answers, Loss loss, Unplug unplug) {
        QTest::newRow(name) << static_cast<int>(fault) << answers << static_cast<int>(loss)
                            << static_cast<int>(unplug);
    };
    row("drop replies", Fault::DropReplies, false, Loss::None, Unplug::No);
    row("corrupt checksums", Fault::CorruptChecksums, false, Loss::ByReceiveRules, Unplug::No);
    row("split frames", Fault::SplitFrames, true, Loss::None, Unplug::No);
    row("garbage bursts", Fault::GarbageBursts, true, Loss::None, Unplug::No);
    row("echo delay", Fault::EchoDelay, true, Loss::None, Unplug::No);
    row("silent", Fault::Silent, false, Loss::None, Unplug::No);
    row("hang-up, plugged in again", Fault::HangUp, false, Loss::UntilFaultEnds, Unplug::Replugged);
    row("hang-up, reconnected by hand", Fault::HangUp, false, Loss::UntilFaultEnds, Unplug::ByHand);
    row("unpaced flood", Fault::FloodUnpaced, true, Loss::None, Unplug::No);
}

void LineFaultsTest::mainCommandsUnderFault_data() {
    addFaultRows();
}

void LineFaultsTest::blankAnswers() {
    d().productText.clear();
    d().localFrequencyText.clear();
    d().signalText.clear();
    d().writeControls();
    d().setControlText(id::NameA, QString());
    d().setControlText(id::NameB, QString());
    d().model().satellites = SatelliteTable{};
    d().model().antennaState = -1;
    for (const int led : id::StateLeds) {
        d().setBitmap(led, bm::LedGrey);
    }
    d().setBitmap(id::LedComm, bm::LedGrey);
}

void LineFaultsTest::beginRow() {
    prompter_.messages.clear();
    prompter_.answers.clear();
    unit_->clearReceivedLines();
    log_.note(std::string("-- test: row ") + QTest::currentDataTag());
    rowLogStart_ = log().size();
    tap_->lines.clear();
    blankAnswers();
    gaps_.start();
}

void LineFaultsTest::faultOn(Fault fault, Unplug unplug) {
    if (unplug != Unplug::No) {
        // The unit goes while it is reporting and answering, as an adapter pulled at any
        // moment would.
        unit_->setPeriodicReports(true);
        QTRY_COMPARE_WITH_TIMEOUT(d().bitmapOf(id::LedComm), bm::LedGreen, Patience);
        d().button(id::GetAntennaInfo)->click();
        QTRY_COMPARE_WITH_TIMEOUT(d().controlText(id::ProductText), FullProductText, Patience);
    }
    unit_->setFault(fault, true);
    gaps_.skip();  // a hang-up waits for the unit's thread
    unit_->setPeriodicReports(true);
    if (unplug == Unplug::No) {
        return;
    }
    SerialPage& page = d().serialPage;
    QTRY_COMPARE_WITH_TIMEOUT(page.controlText(SerialPage::ConnectButton),
                              QStringLiteral("Connect"), Patience);
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), bm::ComDisconnected);
    QCOMPARE(d().bitmapOf(id::LedComm), bm::LedGrey);
    QVERIFY(!d().link().isReceiving());
    QVERIFY(page.isReconnecting());
    blankAnswers();  // nothing more can come in
    unit_->clearReceivedLines();
    if (unplug == Unplug::ByHand) {
        page.button(SerialPage::ConnectButton)->click();
        QCOMPARE(countMessages(prompter_, PortUnavailable), 1);
        QVERIFY(!page.isReconnecting());  // the user has taken over
        QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Connect"));
    }
}

void LineFaultsTest::faultOff(Fault fault, Unplug unplug) {
    unit_->setFault(fault, false);
    gaps_.skip();
    log_.note(TestMark);
    if (unplug == Unplug::No) {
        return;
    }
    SerialPage& page = d().serialPage;
    if (unplug == Unplug::ByHand) {
        QCOMPARE(d().serialPort.isOpen, 0);
        page.button(SerialPage::ConnectButton)->click();
        QCOMPARE(page.controlText(SerialPage::ConnectButton), QStringLiteral("Disonnect"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(d().serialPort.isOpen, 1, Patience);
    QVERIFY(page.controlText(SerialPage::ConnectButton).startsWith(QStringLiteral("Dis")));
    QCOMPARE(page.bitmapOf(SerialPage::PortPicture), bm::ComPlates[1]);
    QVERIFY(d().link().isReceiving());
    QVERIFY(!page.isReconnecting());
}

void LineFaultsTest::runMainCommands() {
    prompter_.answers = {ui::Answer::Ok, ui::Answer::Yes};  // Setup, then Factory Setting
    d().button(id::Setup)->click();
    d().button(id::GetAntennaInfo)->click();
    QTest::mouseClick(d().control(id::SignalLabel), Qt::LeftButton);
    d().button(id::SatB)->click();
    d().button(id::SatA)->click();
    d().button(id::Restart)->click();
    d().button(id::FactorySetting)->click();
    QProgressBar* bar = d().progressBar(id::Progress);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), 1);
}

void LineFaultsTest::checkPanelAfterFault() {
    QProgressBar* bar = d().progressBar(id::Progress);
    if (bar->isVisible()) {
        // Factory Setting never finished: the user runs it again.
        const int before = countMessages(prompter_, FactoryDone);
        prompter_.answers = {ui::Answer::Yes};
        d().button(id::FactorySetting)->click();
        QTRY_COMPARE_WITH_TIMEOUT(countMessages(prompter_, FactoryDone), before + 1, Patience);
        QVERIFY(bar->isHidden());
        QCOMPARE(bar->value(), 0);
    }
    blankAnswers();
    d().button(id::GetAntennaInfo)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d().controlText(id::ProductText), FullProductText, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(tableMismatch(d().model().satellites, unit_->state()), QString(),
                              Patience);
    const sim::UnitState unit = unit_->state();
    // Each value waits for itself: the answers to QS and QI may come in either order (a
    // unit whose delay has just changed answers the second first).
    QTRY_COMPARE_WITH_TIMEOUT(d().model().satellites.currentSlot, unit.currentSlot, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(d().controlText(id::NameA),
                              QString::fromStdString(sim::satelliteName(unit, unit.slotMap[0])),
                              Patience);
    QTRY_COMPARE_WITH_TIMEOUT(d().controlText(id::NameB),
                              QString::fromStdString(sim::satelliteName(unit, unit.slotMap[1])),
                              Patience);
    QTRY_COMPARE_WITH_TIMEOUT(d().bitmapOf(unit.currentSlot % 2 == 0 ? id::LedSatA : id::LedSatB),
                              bm::LedBlue, Patience);
    const std::int32_t inUse = unit.band >= 2 ? unit.lnb[1] : unit.lnb[0];
    QTRY_COMPARE_WITH_TIMEOUT(d().controlText(id::LocalFreqValue), QString::number(inUse),
                              Patience);

    // The state LEDs show the unit's state, and only that one; the signal value is the
    // last one reported.
    QTRY_COMPARE_WITH_TIMEOUT(d().model().antennaState, unit_->state().antennaState, Patience);
    QCOMPARE(d().model().antennaState, int{sim::StateTracking});
    for (const int led : id::StateLeds) {
        QCOMPARE(d().bitmapOf(led), led == id::LedTracking ? bm::LedBlue : bm::LedGrey);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!d().controlText(id::SignalValue).isEmpty(), Patience);
    QCOMPARE(d().controlText(id::SignalValue), lastSignalText(tap_->lines));
    QTRY_COMPARE_WITH_TIMEOUT(d().bitmapOf(id::LedComm), bm::LedGreen, Patience);
    QVERIFY(bar->isHidden());
}

void LineFaultsTest::endRow(Loss loss) {
    gaps_.stop();
    const testing::EventLoopGaps::Gap wall = gaps_.longestWall();
    const testing::EventLoopGaps::Gap own = gaps_.longestOwn();
    qInfo(
        "longest event-loop gap %.1f ms (ran %.1f, waited for a CPU %.1f); longest by the "
        "window's own doing %.1f ms (ran %.1f); %lld turns%s",
        wall.wallMs, wall.cpuMs, wall.waitedMs, own.ownMs(), own.cpuMs, gaps_.turns(),
        gaps_.separatesWaiting() ? "" : "; no scheduler figures, waits count as the window's");

    // No more unasked reports: once the line is quiet, everything sent has had its time.
    unit_->setPeriodicReports(false);
    QTRY_COMPARE_WITH_TIMEOUT(
        deliveryProblem(intactFramesSent(log(), rowLogStart_), tap_->lines, loss), QString(),
        Patience);

    const double bound = gaps_.separatesWaiting() ? StallBoundMs : FreezeBoundMs;
    QVERIFY2(own.ownMs() <= bound,
             qPrintable(QStringLiteral("the window's event loop stood still for %1 ms by its own "
                                       "doing")
                            .arg(own.ownMs())));
    // No box but the confirmations, the success of Factory Setting and, for a user who
    // clicked Connect while the unit was away, the port that cannot be had; and what an
    // Update Default may say of its own run.
    const QString expected[] = {QStringLiteral("Antenna Setup Mode?"),
                                QStringLiteral("Do you want to execuet default setting?"),
                                FactoryDone, PortUnavailable, UpdateDone};
    const QString expectedStarts[] = {UpdateQuestion, UpdateIncomplete, NotConnected};
    for (const ui::ScriptedPrompter::Shown& shown : prompter_.messages) {
        QVERIFY2(
            std::find(std::begin(expected), std::end(expected), shown.text) != std::end(expected) ||
                std::any_of(
                    std::begin(expectedStarts), std::end(expectedStarts),
                    [&shown](const QString& start) { return shown.text.startsWith(start); }),
            qPrintable(shown.text));
    }
}

void LineFaultsTest::mainCommandsUnderFault() {
    QFETCH(int, fault);
    QFETCH(bool, answersArrive);
    QFETCH(int, loss);
    QFETCH(int, unplug);
    const auto which = static_cast<Fault>(fault);
    const auto away = static_cast<Unplug>(unplug);
    QProgressBar* bar = d().progressBar(id::Progress);
    // Nothing of the session came back, and nothing claimed success.
    const auto checkNoAnswers = [this, bar] {
        QCOMPARE(d().controlText(id::ProductText), QString());
        QCOMPARE(d().model().satellites.satelliteCount, 0);
        QCOMPARE(countMessages(prompter_, FactoryDone), 0);
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 1);
    };

    beginRow();
    faultOn(which, away);
    if (QTest::currentTestFailed()) {
        return;
    }
    runMainCommands();
    if (QTest::currentTestFailed()) {
        return;
    }

    if (answersArrive) {
        QTRY_COMPARE_WITH_TIMEOUT(d().controlText(id::ProductText), FullProductText, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(countMessages(prompter_, FactoryDone), 1, Patience);
        QVERIFY(bar->isHidden());
        QCOMPARE(bar->value(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(tableMismatch(d().model().satellites, unit_->state()), QString(),
                                  Patience);
        QTRY_COMPARE_WITH_TIMEOUT(d().model().antennaState, int{sim::StateTracking}, Patience);
        QVERIFY(!d().controlText(id::SignalValue).trimmed().isEmpty());
    } else if (away != Unplug::No) {
        QVERIFY(unit_->receivedLines().empty());  // the port was closed: nothing was sent
    } else {
        // The unit acted on every command; wait until it has let go of its last answers
        // (the end of Factory Setting and of the restart), which the fault spoils.
        QTRY_VERIFY_WITH_TIMEOUT(indexOf(log(), rowLogStart_, "<- OR") < log().size(), Patience);
        const std::size_t restart = indexOf(log(), rowLogStart_, "<- OR");
        QTRY_VERIFY_WITH_TIMEOUT(anyLineStartsWith(log(), rowLogStart_, "-> TC 13 100 ("),
                                 Patience);
        QTRY_VERIFY_WITH_TIMEOUT(anyLineStartsWith(log(), restart, "-> NA 2 ("), Patience);
        if (which == Fault::DropReplies) {
            // The answers were never sent, but the unasked reports come: the LEDs follow
            // the unit.
            checkNoAnswers();
            if (QTest::currentTestFailed()) {
                return;
            }
            QTRY_COMPARE_WITH_TIMEOUT(d().model().antennaState, int{sim::StateTracking}, Patience);
            QCOMPARE(d().bitmapOf(id::LedTracking), bm::LedBlue);
            QTRY_COMPARE_WITH_TIMEOUT(d().bitmapOf(id::LedComm), bm::LedGreen, Patience);
            QCOMPARE(d().controlText(id::SignalValue), lastSignalText(tap_->lines));
        } else {
            QVERIFY(tap_->lines.empty());
        }
    }

    const std::size_t dispatchedBeforeEnd = tap_->lines.size();
    faultOff(which, away);
    if (QTest::currentTestFailed()) {
        return;
    }
    if (!answersArrive && which != Fault::DropReplies) {
        // Nothing came through while the fault lasted; once a frame sent after it has, the
        // line has delivered everything sent before it.
        QTRY_VERIFY_WITH_TIMEOUT(tap_->lines.size() > dispatchedBeforeEnd, Patience);
        checkNoAnswers();
        if (QTest::currentTestFailed()) {
            return;
        }
    }
    checkPanelAfterFault();
    if (QTest::currentTestFailed()) {
        return;
    }
    endRow(static_cast<Loss>(loss));
}

void LineFaultsTest::updateDefaultUnderFault_data() {
    addFaultRows();
}

void LineFaultsTest::prepareUpdate() {
    const int factoryBefore = countMessages(prompter_, FactoryDone);
    prompter_.answers = {ui::Answer::Yes, ui::Answer::Ok};  // Factory Setting, then Setup
    d().button(id::FactorySetting)->click();
    QTRY_COMPARE_WITH_TIMEOUT(countMessages(prompter_, FactoryDone), factoryBefore + 1, Patience);
    d().button(id::Setup)->click();
    QTRY_COMPARE_WITH_TIMEOUT(d().model().antennaState, 0, Patience);
    // The whole table has come in (its last frame is the skew of slot 4), so that no
    // report of the query is still on its way to answer a step of the run.
    const std::size_t from = tap_->lines.size();
    d().button(id::GetAntennaInfo)->click();
    QTRY_VERIFY_WITH_TIMEOUT(anyLineStartsWith(tap_->lines, from, "NK 4 "), Patience);
    QCOMPARE(d().model().productSize, UnitProductSize);
    prompter_.files = {QStringLiteral(KELVANDOR_SAMPLE_RIF)};
    d().button(id::LoadDefault)->click();
    QVERIFY(d().control(id::UpdateDefault)->isEnabled());
}

// What the user sees of an Update Default run under each fault:
// - split frames, garbage bursts, echo delay, unpaced flood: every step answered, the
//   success message, the unit holding the set;
// - drop replies, corrupt checksums, silent: the unit takes every command and holds the
//   set, but no echo reaches the window: the run says that all 61 steps got no reply, never
//   that it succeeded;
// - hang-up: the link is closed when the user asks, so the run says the antenna is not
//   connected and sends nothing; the unit keeps what it had.
// After the fault the unit is restarted into tracking and the panel shows it as it is.
void LineFaultsTest::updateDefaultUnderFault() {
    QFETCH(int, fault);
    QFETCH(bool, answersArrive);
    QFETCH(int, loss);
    QFETCH(int, unplug);
    const auto which = static_cast<Fault>(fault);
    const auto away = static_cast<Unplug>(unplug);
    DefaultSet set;
    QVERIFY(readRifFile(KELVANDOR_SAMPLE_RIF, set).ok());
    const ProductProfile& profile = set.productProfiles[UnitProductSize];

    beginRow();
    prepareUpdate();
    if (QTest::currentTestFailed()) {
        return;
    }
    faultOn(which, away);
    if (QTest::currentTestFailed()) {
        return;
    }
    d().updateReplyTimeoutMs = answersArrive ? 2000 : UnansweredStepWaitMs;
    unit_->clearReceivedLines();
    prompter_.answers = {ui::Answer::Yes};
    d().button(id::UpdateDefault)->click();  // returns when the run has ended
    QProgressBar* bar = d().progressBar(id::Progress);
    QVERIFY(bar->isHidden());
    QVERIFY(d().control(id::LoadDefault)->isEnabled());
    QVERIFY(d().control(id::UpdateDefault)->isEnabled());
    if (away != Unplug::No) {
        QCOMPARE(countMessagesStartingWith(prompter_, NotConnected), 1);
        QCOMPARE(countMessagesStartingWith(prompter_, UpdateQuestion), 0);
        QVERIFY(unit_->receivedLines().empty());
    } else {
        QCOMPARE(countMessagesStartingWith(prompter_, UpdateQuestion), 1);
        QCOMPARE(countMessages(prompter_, UpdateDone), answersArrive ? 1 : 0);
        QCOMPARE(countMessagesStartingWith(prompter_, UpdateIncomplete), answersArrive ? 0 : 1);
        // The unit took the whole run, its last frame included.
        QTRY_VERIFY_WITH_TIMEOUT(
            !unit_->receivedLines().empty() && unit_->receivedLines().back().rfind("KO ", 0) == 0,
            Patience);
        QTRY_COMPARE_WITH_TIMEOUT(testing::defaultSetMismatch(set, profile, unit_->state()),
                                  QString(), Patience);
    }
    d().updateReplyTimeoutMs = 2000;

    faultOff(which, away);
    if (QTest::currentTestFailed()) {
        return;
    }
    d().button(id::Restart)->click();
    QTRY_COMPARE_WITH_TIMEOUT(unit_->state().antennaState, int{sim::StateTracking}, Patience);
    checkPanelAfterFault();
    if (QTest::currentTestFailed()) {
        return;
    }
    endRow(static_cast<Loss>(loss));
}

KELVANDOR_QTEST(LineFaultsTest, "line_faults_test")
#include "line_faults_test.moc"
