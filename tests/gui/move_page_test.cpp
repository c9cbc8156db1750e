// SPDX-License-Identifier: GPL-3.0-or-later
// The Move page against frames injected on the line and clicks on its controls: the angle
// texts, the step buttons with their range checks, the skew command by antenna state, the
// diagnosis with its time-out, the skew rows' visibility and the layout.
#include <poll.h>

#include <QAccessible>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <limits>
#include <memory>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "protocol/frame_codec.h"
#include "ui/bitmaps.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
namespace bm = kelvandor::ui::bitmap;
using P = kelvandor::MovePage;

namespace {

constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();
using Params = std::array<std::int32_t, 6>;

// Every control that the skew feature shows and hides as one.
constexpr int SkewControls[] = {1085, 1086, 1087, 1088, 1089, 1090, 1091, 1092, 1093, 1094,
                                1095, 1096, 1075, 1063, 1013, 1014, 1084, 1066, 1077, 1069,
                                1078, 1081, 1074, 1068, 1067, 1070, 1098, 1083, 1076};
constexpr int SatCRow[] = {1068, 1067, 1070, 1074, 1081};
constexpr int DiseqcRows[] = {1050, 1052, 1053, 1051, 1054, 1065, 1071, 1079, 1073, 1080};
// Controls that stay whatever the product is.
constexpr int AlwaysShown[] = {1055, 1056, 1047, 1048, 1049, 1057, 1064, 1009, 1010, 1011, 1012,
                               1060, 1058, 1008, 1061, 1062, 1059, 1082, 1097, 1099, 1101};

struct StepFace {
    int button;
    int normal;
    int pressed;
};
constexpr StepFace StepFaces[] = {
    {P::StepUp, 149, 153},    {P::StepDown, 150, 154},  {P::StepLeft, 151, 155},
    {P::StepRight, 152, 156}, {P::StepMinus, 163, 164}, {P::StepPlus, 165, 166},
};

const StepFace& faceOf(int button) {
    for (const StepFace& f : StepFaces) {
        if (f.button == button) {
            return f;
        }
    }
    return StepFaces[0];
}

template <class Ids>
bool allShown(const MovePage& page, const Ids& ids, bool shown) {
    for (const int id : ids) {
        if (page.isControlShown(id) != shown) {
            qWarning("control %d is %s", id, shown ? "hidden" : "shown");
            return false;
        }
    }
    return true;
}

// The prompter of the step tests: besides answering, it notes at each pause and message
// which face the step button shows and whether a frame has already gone out.
class WatchingPrompter : public ui::ScriptedPrompter {
  public:
    WatchingPrompter(const MovePage& page, int lineFd) : page_(page), lineFd_(lineFd) {}

    struct Seen {
        bool pause;
        int face;
        bool sent;
    };
    std::vector<Seen> seen;
    int button = 0;

    ui::Answer message(const QString& text, ui::Buttons buttons, ui::Icon icon) override {
        note(false);
        return ScriptedPrompter::message(text, buttons, icon);
    }
    void pause(int ms) override {
        note(true);
        ScriptedPrompter::pause(ms);
    }

  private:
    void note(bool pause) {
        pollfd entry{lineFd_, POLLIN, 0};
        seen.push_back({pause, page_.bitmapOf(button), ::poll(&entry, 1, 0) > 0});
    }
    const MovePage& page_;
    int lineFd_;
};

std::array<std::int32_t, 5> productName(const char* name) {
    std::array<std::int32_t, 5> packed{};
    packText(name, packed.data());
    return packed;
}

}  // namespace

Q_DECLARE_METATYPE(Params)

class MovePageTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void cleanupTestCase();
    void angleTexts_data();
    void angleTexts();
    void stepButtons_data();
    void stepButtons();
    void skewStepCommandByState_data();
    void skewStepCommandByState();
    void goToTargetAndSkewChecks();
    void diagnosisAnswered_data();
    void diagnosisAnswered();
    void diagnosisTimesOut();
    void diagnosisNeedsTheLink();
    void skewRowsVisibility();
    void skewLed_data();
    void skewLed();
    void layoutIsTidy();
    void stepButtonsAnswerKeyboardAndAssistiveTechnology();

  private:
    // One window per test function, shown with the Move page on top; its rows share it.
    ControllerHarness& harness();
    MovePage& page() { return harness().dialog().movePage; }
    bool deliver(CommandId id, const Params& p) {
        return harness().deliver(id, {p[0], p[1], p[2], p[3], p[4], p[5]});
    }
    void showPremium(bool premium);

    std::unique_ptr<ControllerHarness> harness_;
    QByteArray builtFor_;
};

ControllerHarness& MovePageTest::harness() {
    if (!harness_ || builtFor_ != QTest::currentTestFunction()) {
        harness_.reset();
        harness_ = std::make_unique<ControllerHarness>();
        builtFor_ = QTest::currentTestFunction();
        MainDialog& d = harness_->dialog();
        d.show();
        d.listBox(main_id::PageList)->setCurrentRow(4);
        harness_->sentLines();  // what the start-up wrote, if anything
    }
    return *harness_;
}

void MovePageTest::cleanupTestCase() {
    harness_.reset();
}

void MovePageTest::showPremium(bool premium) {
    const auto name = productName(premium ? "KELVANDOR T6 PREMIUM" : "KELVANDOR T6 CLASSIC");
    QVERIFY(harness().deliver(cmd::Nn, {name[0], name[1], name[2], name[3], name[4]}));
    QCOMPARE(page().skewControlsVisible(), premium);
}

void MovePageTest::angleTexts_data() {
    QTest::addColumn<int>("report");
    QTest::addColumn<Params>("params");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, CommandId id, Params p, int control, const char* text) {
        QTest::newRow(name) << int{id} << p << control << QString::fromLatin1(text);
    };
    // Two decimals: AP and Ni.
    row("AP azimuth", cmd::AP, {18000, 4500}, P::CurrentAz, "180.00");
    row("AP small", cmd::AP, {5, 0}, P::CurrentAz, "  0.05");
    row("AP small negative", cmd::AP, {-5, 4500}, P::CurrentAz, "-  0.05");
    row("AP negative", cmd::AP, {-512, 0}, P::CurrentAz, "-  5.12");
    row("AP highest", cmd::AP, {Max32, 0}, P::CurrentAz, "21474836.47");
    row("AP lowest", cmd::AP, {0, Min32}, P::CurrentEl, "-21474836.48");
    row("Ni azimuth", cmd::Ni, {2, 300, 1, 16860, 2825, 1234}, P::CurrentAz, "168.60");
    row("Ni elevation", cmd::Ni, {2, 300, 1, 16860, 2825, 1234}, P::CurrentEl, " 28.25");
    row("Ni skew keeps two decimals", cmd::Ni, {2, 300, 1, 0, 0, 1234}, P::CurrentSkew, " 12.34");
    // One decimal, the hundredths dropped: TK and NK skews.
    row("TK", cmd::TK, {1234}, P::CurrentSkew, " 12.3");
    row("TK dropped, not rounded", cmd::TK, {-1299}, P::CurrentSkew, "- 12.9");
    row("TK small negative", cmd::TK, {-5}, P::CurrentSkew, "-  0.0");
    row("TK lowest", cmd::TK, {Min32}, P::CurrentSkew, "-21474836.4");
    row("NK SAT A skew", cmd::NK, {0, 2250, 15}, P::SlotSkew[0], " 22.5");
    row("NK SAT B negative skew", cmd::NK, {1, -1234, 0}, P::SlotSkew[1], "- 12.3");
    row("NK SAT A / 22kHz while hidden", cmd::NK, {2, 905, 0}, P::SlotSkew[2], "  9.0");
    row("NK SAT C while hidden", cmd::NK, {4, 2250, 15}, P::SlotSkew[4], " 22.5");
    row("NK lowest skew", cmd::NK, {1, Min32, 0}, P::SlotSkew[1], "-21474836.4");
    // Tenths: NK adjustments.
    row("NK SAT A adjustment", cmd::NK, {0, 2250, 15}, P::SlotAdjust[0], "  1.5");
    row("NK negative adjustment", cmd::NK, {1, 0, -15}, P::SlotAdjust[1], "-  1.5");
    row("NK lowest adjustment", cmd::NK, {2, 0, Min32}, P::SlotAdjust[2], "-214748364.8");
}

void MovePageTest::angleTexts() {
    QFETCH(int, report);
    QFETCH(Params, params);
    QFETCH(int, control);
    QFETCH(QString, text);
    QVERIFY(deliver(report, params));
    QCOMPARE(page().controlText(control), text);
}

void MovePageTest::stepButtons_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("outcome");  // the frame sent, or the message shown
    QTest::addColumn<QString>("pause");    // "before" or "after" the send, or "none"
    const QString elRefused = QStringLiteral("EL : Out of range");
    const QString azRefused = QStringLiteral("AZ : Out of range");
    const auto row = [](const char* name, int button, int edit, const char* typed,
                        const QString& outcome, const char* pause) {
        QTest::newRow(name) << button << edit << QString::fromLatin1(typed) << outcome
                            << QString::fromLatin1(pause);
    };
    const auto sent = [](const char* line) { return QString::fromLatin1(line); };
    row("EL up 90", P::StepUp, P::StepEl, "90", sent("MO 0 9000"), "after");
    row("EL down 90", P::StepDown, P::StepEl, "90", sent("MO 1 9000"), "after");
    row("EL no number counts as 0", P::StepDown, P::StepEl, "up", sent("MO 1 0"), "after");
    row("EL 90.01 refused", P::StepUp, P::StepEl, "90.01", elRefused, "none");
    row("EL up -1 refused", P::StepUp, P::StepEl, "-1", elRefused, "none");
    row("EL down -1 refused", P::StepDown, P::StepEl, "-1", elRefused, "none");
    row("AZ right 720", P::StepRight, P::StepAz, "720", sent("MO 2 72000"), "before");
    row("AZ left 720", P::StepLeft, P::StepAz, "720", sent("MO 3 72000"), "before");
    row("AZ left -720", P::StepLeft, P::StepAz, "-720", sent("MO 3 -72000"), "before");
    row("AZ 720.01 refused", P::StepRight, P::StepAz, "720.01", azRefused, "before");
    row("AZ beyond 32 bits refused", P::StepRight, P::StepAz, "1e12", azRefused, "before");
    row("AZ 0.019 cut toward zero", P::StepRight, P::StepAz, "0.019", sent("MO 2 1"), "before");
    row("AZ -0.019 cut toward zero", P::StepRight, P::StepAz, "-0.019", sent("MO 2 -1"), "before");
    row("AZ 1.15 cut, not rounded", P::StepRight, P::StepAz, "1.15", sent("MO 2 114"), "before");
    row("AZ leading number", P::StepLeft, P::StepAz, "12.5 deg", sent("MO 3 1250"), "before");
    row("SKEW minus", P::StepMinus, P::StepSkew, "2.5", sent("MS 4 250"), "before");
    row("SKEW plus has no range check", P::StepPlus, P::StepSkew, "1000", sent("MS 5 100000"),
        "before");
}

void MovePageTest::stepButtons() {
    QFETCH(int, button);
    QFETCH(int, edit);
    QFETCH(QString, typed);
    QFETCH(QString, outcome);
    QFETCH(QString, pause);
    ControllerHarness& h = harness();
    MovePage& p = page();
    showPremium(true);
    const StepFace& face = faceOf(button);
    QCOMPARE(p.bitmapOf(button), face.normal);

    WatchingPrompter watcher(p, h.line().master());
    watcher.button = button;
    watcher.answers = {ui::Answer::Cancel};  // the answer changes nothing
    ui::installPrompter(&watcher);
    p.edit(edit)->setText(typed);
    QTest::mouseClick(p.picture(button), Qt::LeftButton);
    ui::installPrompter(&h.prompter);

    const std::vector<std::string> lines = h.sentLines();
    const bool refused = outcome.contains(QStringLiteral("Out of range"));
    if (refused) {
        QVERIFY(lines.empty());
        QCOMPARE(watcher.messages.size(), std::size_t{1});
        QCOMPARE(watcher.messages[0].text, outcome);
        QCOMPARE(watcher.messages[0].buttons, ui::Buttons::OkCancel);
        QCOMPARE(watcher.messages[0].icon, ui::Icon::Exclamation);
    } else {
        QVERIFY(watcher.messages.empty());
        QCOMPARE(lines.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(lines[0]), outcome);
    }
    // The pressed face shows through the pause and the message; the normal face after.
    std::size_t pauses = 0;
    for (const WatchingPrompter::Seen& seen : watcher.seen) {
        QCOMPARE(seen.face, face.pressed);
        if (seen.pause) {
            ++pauses;
            QCOMPARE(seen.sent, pause == QStringLiteral("after"));
        }
    }
    QCOMPARE(pauses, std::size_t{pause == QStringLiteral("none") ? 0U : 1U});
    QCOMPARE(watcher.pauses, std::vector<int>(pauses, 100));
    QCOMPARE(p.bitmapOf(button), face.normal);
    QCOMPARE(p.controlText(edit), typed);
}

void MovePageTest::skewStepCommandByState_data() {
    QTest::addColumn<int>("report");  // how the state is reported; -1: not reported yet
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("minus");
    QTest::addColumn<QString>("plus");
    // The rows share one window: the first sees the state before any report.
    QTest::newRow("no state yet") << -1 << -1 << "MS 4 150"
                                  << "MS 5 150";
    QTest::newRow("set-up") << int{cmd::NA} << 0 << "MO 4 150"
                            << "MO 5 150";
    QTest::newRow("tracking") << int{cmd::NA} << 2 << "MS 4 150"
                              << "MS 5 150";
    QTest::newRow("set-up from Ni") << int{cmd::Ni} << 0 << "MO 4 150"
                                    << "MO 5 150";
}

void MovePageTest::skewStepCommandByState() {
    QFETCH(int, report);
    QFETCH(int, state);
    QFETCH(QString, minus);
    QFETCH(QString, plus);
    ControllerHarness& h = harness();
    MovePage& p = page();
    showPremium(true);
    if (report >= 0) {
        QVERIFY(deliver(report, {state, 0, 0, 0, 0, 0}));
    }
    QCOMPARE(h.dialog().model().antennaState, state);
    p.edit(P::StepSkew)->setText(QStringLiteral("1.5"));
    QTest::mouseClick(p.picture(P::StepMinus), Qt::LeftButton);
    QTest::mouseClick(p.picture(P::StepPlus), Qt::LeftButton);
    const std::vector<std::string> lines = h.sentLines();
    QCOMPARE(lines.size(), std::size_t{2});
    QCOMPARE(QString::fromStdString(lines[0]), minus);
    QCOMPARE(QString::fromStdString(lines[1]), plus);
}

void MovePageTest::goToTargetAndSkewChecks() {
    ControllerHarness& h = harness();
    MovePage& p = page();
    QCOMPARE(p.controlText(P::TargetAz), QStringLiteral("0"));
    QCOMPARE(p.controlText(P::TargetEl), QStringLiteral("45"));
    QCOMPARE(p.controlText(P::StepAz), QStringLiteral("10"));
    QCOMPARE(p.controlText(P::StepEl), QStringLiteral("10"));
    QCOMPARE(p.controlText(P::StepSkew), QStringLiteral("1"));
    struct Target {
        const char* az;
        const char* el;
        const char* line;
    };
    // No range check on targets; the same conversion as the steps.
    const Target targets[] = {
        {"0", "45", "GO 0 4500"},
        {"123.456", "-5.5x", "GO 12345 -550"},
        {"", "abc", "GO 0 0"},
        {"1.15", "100", "GO 114 10000"},
        {"-1e12", "1e12", "GO -2147483648 2147483647"},
    };
    for (const Target& t : targets) {
        p.edit(P::TargetAz)->setText(QString::fromLatin1(t.az));
        p.edit(P::TargetEl)->setText(QString::fromLatin1(t.el));
        p.button(P::GoToTarget)->click();
        QCOMPARE(h.sentLines(), std::vector<std::string>{t.line});
    }
    // The skew checks read nothing and send at once, whatever the product.
    p.button(P::SkewCalibration)->click();
    p.button(P::FindOptimalSkew)->click();
    QCOMPARE(h.sentLines(), (std::vector<std::string>{"CK 0", "CK 1"}));
    QVERIFY(h.prompter.pauses.empty());
}

void MovePageTest::diagnosisAnswered_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("led");  // 0: none
    QTest::addColumn<int>("image");
    QTest::newRow("Serial Comm blue") << 101 << 1 << 1058 << int{bm::LedBlue};
    QTest::newRow("AZ Limit (CW) green") << 102 << 2 << 1008 << int{bm::LedDiagGreen};
    QTest::newRow("(CCW) yellow") << 103 << 3 << 1061 << int{bm::LedYellow};
    QTest::newRow("EL Limit 4 red") << 104 << 4 << 1062 << int{bm::LedRed};
    QTest::newRow("Sub-Reflector 0 red") << 105 << 0 << 1059 << int{bm::LedRed};
    QTest::newRow("LNB -1 red") << 106 << -1 << 1082 << int{bm::LedRed};
    QTest::newRow("SKEW green") << 107 << 2 << 1084 << int{bm::LedDiagGreen};
    QTest::newRow("Power (Ant.) blue") << 108 << 1 << 1097 << int{bm::LedBlue};
    QTest::newRow("(ACU) yellow") << 109 << 3 << 1099 << int{bm::LedYellow};
    QTest::newRow("Receiver Connection green") << 110 << 2 << 1101 << int{bm::LedDiagGreen};
    QTest::newRow("item 111 lights none") << 111 << 1 << 0 << 0;
    QTest::newRow("item 100 lights none") << 100 << 1 << 0 << 0;
}

void MovePageTest::diagnosisAnswered() {
    QFETCH(int, item);
    QFETCH(int, result);
    QFETCH(int, led);
    QFETCH(int, image);
    ControllerHarness& h = harness();
    MovePage& p = page();
    showPremium(true);
    // A result of an earlier run, to see the button clear it.
    QVERIFY(deliver(cmd::ND, {110, 0, 0, 0, 0, 0}));
    QCOMPARE(p.bitmapOf(1101), int{bm::LedRed});

    p.button(P::DiagnosisButton)->click();
    QCOMPARE(h.sentLines(), std::vector<std::string>{"QD 0"});
    QVERIFY(allShown(p, P::DiagnosisLeds, true));
    for (const int each : P::DiagnosisLeds) {
        QCOMPARE(p.bitmapOf(each), int{bm::LedGrey});
    }
    QVERIFY(p.isDialogTimerActive(P::DiagnosisTimerId));

    QVERIFY(deliver(cmd::ND, {item, result, 0, 0, 0, 0}));
    for (const int each : P::DiagnosisLeds) {
        QCOMPARE(p.bitmapOf(each), each == led ? image : int{bm::LedGrey});
    }
    // Only Serial Comm ends the wait.
    QCOMPARE(p.isDialogTimerActive(P::DiagnosisTimerId), item != 101);
    p.stopDialogTimer(P::DiagnosisTimerId);  // the next row starts its own run
}

void MovePageTest::diagnosisTimesOut() {
    ControllerHarness& h = harness();
    MovePage& p = page();
    QElapsedTimer clock;
    clock.start();
    p.button(P::DiagnosisButton)->click();
    QCOMPARE(h.sentLines(), std::vector<std::string>{"QD 0"});
    // A result of another item arrives; Serial Comm never does.
    QVERIFY(deliver(cmd::ND, {103, 3, 0, 0, 0, 0}));
    QTRY_COMPARE_WITH_TIMEOUT(p.bitmapOf(1058), int{bm::LedDiagGreen}, 10000);
    QVERIFY2(clock.elapsed() >= 2800, "the time-out is 3 s");
    QVERIFY(!p.isDialogTimerActive(P::DiagnosisTimerId));
    for (const int each : P::DiagnosisLeds) {
        const int expected = each == 1058   ? int{bm::LedDiagGreen}
                             : each == 1061 ? int{bm::LedYellow}
                                            : int{bm::LedGrey};
        QCOMPARE(p.bitmapOf(each), expected);
    }
    QVERIFY(h.sentLines().empty());
}

void MovePageTest::diagnosisNeedsTheLink() {
    ControllerHarness& h = harness();
    MovePage& p = page();
    QVERIFY(deliver(cmd::ND, {102, 1, 0, 0, 0, 0}));
    QVERIFY(deliver(cmd::TC, {11, 0, 0, 0, 0, 0}));  // the unit reports no communication
    p.button(P::DiagnosisButton)->click();
    QVERIFY(h.sentLines().empty());
    QCOMPARE(p.bitmapOf(1008), int{bm::LedBlue});
    QVERIFY(!p.isDialogTimerActive(P::DiagnosisTimerId));

    QVERIFY(deliver(cmd::TC, {11, 1, 0, 0, 0, 0}));
    p.button(P::DiagnosisButton)->click();
    QCOMPARE(h.sentLines(), std::vector<std::string>{"QD 0"});
    QCOMPARE(p.bitmapOf(1008), int{bm::LedGrey});
    p.stopDialogTimer(P::DiagnosisTimerId);
}

void MovePageTest::skewRowsVisibility() {
    MovePage& p = page();
    QVERIFY(!p.skewControlsVisible());
    QVERIFY(allShown(p, SkewControls, false));
    QVERIFY(allShown(p, DiseqcRows, false));
    QVERIFY(allShown(p, AlwaysShown, true));

    // Ignored while the skew controls are off.
    QVERIFY(deliver(cmd::NQ, {2, 0, 0, 0, 0, 0}));
    QVERIFY(deliver(cmd::TR, {1, 0, 0, 0, 0, 0}));
    QVERIFY(allShown(p, DiseqcRows, false));
    QVERIFY(allShown(p, SatCRow, false));

    showPremium(true);
    QVERIFY(allShown(p, SkewControls, true));  // the SAT C row included
    QVERIFY(allShown(p, DiseqcRows, false));
    QVERIFY(deliver(cmd::TR, {0, 0, 0, 0, 0, 0}));
    QVERIFY(allShown(p, SatCRow, false));
    QVERIFY(p.isControlShown(1091) && p.isControlShown(1066) && p.isControlShown(1092));
    QVERIFY(deliver(cmd::NQ, {2, 0, 0, 0, 0, 0}));
    QVERIFY(allShown(p, DiseqcRows, true));
    // The first "/ 22kHz" row stands where SAT C stood.
    QCOMPARE(p.control(1050)->geometry(), p.control(1068)->geometry());
    QCOMPARE(p.control(1071)->geometry(), p.control(1074)->geometry());
    QCOMPARE(p.control(1079)->geometry(), p.control(1081)->geometry());
    QVERIFY(deliver(cmd::NQ, {3, 0, 0, 0, 0, 0}));  // no such mode: nothing changes
    QVERIFY(allShown(p, DiseqcRows, true));
    QVERIFY(deliver(cmd::NQ, {1, 0, 0, 0, 0, 0}));
    QVERIFY(allShown(p, DiseqcRows, false));
    QVERIFY(deliver(cmd::NQ, {2, 0, 0, 0, 0, 0}));
    QVERIFY(deliver(cmd::TR, {1, 0, 0, 0, 0, 0}));
    QVERIFY(allShown(p, SatCRow, true));
    QVERIFY(deliver(cmd::TR, {0, 0, 0, 0, 0, 0}));

    // Without PREMIUM every skew control goes, but the "/ 22kHz" rows follow NQ only.
    showPremium(false);
    QVERIFY(allShown(p, SkewControls, false));
    QVERIFY(allShown(p, DiseqcRows, true));
    QVERIFY(deliver(cmd::NQ, {0, 0, 0, 0, 0, 0}));
    QVERIFY(allShown(p, DiseqcRows, true));
    QVERIFY(allShown(p, AlwaysShown, true));

    // Reports for slots that do not exist change no row.
    QVERIFY(deliver(cmd::NK, {0, 100, 1, 0, 0, 0}));
    for (const std::int32_t slot : {5, -1, Min32}) {
        QVERIFY(deliver(cmd::NK, {slot, 2250, 15, 0, 0, 0}));
    }
    QCOMPARE(p.controlText(P::SlotSkew[0]), QStringLiteral("  1.0"));
    QCOMPARE(p.controlText(P::SlotAdjust[0]), QStringLiteral("  0.1"));
    for (std::size_t slot = 1; slot < P::SlotSkew.size(); ++slot) {
        QCOMPARE(p.controlText(P::SlotSkew[slot]), QString());
    }
}

void MovePageTest::skewLed_data() {
    QTest::addColumn<int>("report");
    QTest::addColumn<Params>("params");
    QTest::addColumn<int>("image");
    // Each row starts with a skew check running (TC 10 1).
    QTest::newRow("running") << int{cmd::TC} << Params{10, 1} << int{bm::LedRed};
    QTest::newRow("check over") << int{cmd::TC} << Params{10, 0} << int{bm::LedGrey};
    QTest::newRow("other value") << int{cmd::TC} << Params{10, 2} << int{bm::LedGrey};
    QTest::newRow("other subject") << int{cmd::TC} << Params{11, 0} << int{bm::LedRed};
    QTest::newRow("initialise 4") << int{cmd::NA} << Params{4} << int{bm::LedGrey};
    QTest::newRow("initialise 6") << int{cmd::NA} << Params{6} << int{bm::LedGrey};
    QTest::newRow("tracking keeps it") << int{cmd::NA} << Params{2} << int{bm::LedRed};
}

void MovePageTest::skewLed() {
    QFETCH(int, report);
    QFETCH(Params, params);
    QFETCH(int, image);
    MovePage& p = page();
    QVERIFY(deliver(cmd::TC, {10, 1, 0, 0, 0, 0}));
    QCOMPARE(p.bitmapOf(P::SkewLed), int{bm::LedRed});
    QVERIFY(deliver(report, params));
    QCOMPARE(p.bitmapOf(P::SkewLed), image);
}

void MovePageTest::layoutIsTidy() {
    MovePage& p = page();
    showPremium(true);
    // The widest texts the antenna's range gives.
    QVERIFY(deliver(cmd::AP, {-72000, 9000, 0, 0, 0, 0}));
    QVERIFY(deliver(cmd::TK, {-9000, 0, 0, 0, 0, 0}));
    for (std::int32_t slot = 0; slot < 5; ++slot) {
        QVERIFY(deliver(cmd::NK, {slot, -9000, -999, 0, 0, 0}));
    }
    struct Mode {
        const char* name;
        std::int32_t diseqc;
        std::int32_t triple;
    };
    for (const Mode mode : {Mode{"two per slot", 2, 0}, Mode{"triple", 0, 1}}) {
        QVERIFY(deliver(cmd::TR, {mode.triple, 0, 0, 0, 0, 0}));
        QVERIFY(deliver(cmd::NQ, {mode.diseqc, 0, 0, 0, 0, 0}));
        const QRect pageRect = p.rect();
        QList<QWidget*> shown;
        for (QWidget* w : p.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isHidden()) {
                continue;
            }
            QVERIFY2(pageRect.contains(w->geometry()), qPrintable(w->objectName()));
            // Group boxes and frames surround other controls.
            if (qobject_cast<QGroupBox*>(w) != nullptr ||
                w->metaObject() == &QFrame::staticMetaObject) {
                continue;
            }
            shown.append(w);
            const QFontMetrics metrics(w->font());
            if (auto* label = qobject_cast<QLabel*>(w);
                label != nullptr && label->pixmap().isNull()) {
                QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->contentsRect().width(),
                         qPrintable(mode.name + QStringLiteral(": ") + label->text()));
                QVERIFY2(metrics.height() <= label->contentsRect().height(),
                         qPrintable(label->text()));
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->text()));
            } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                QVERIFY2(edit->minimumSizeHint().height() <= edit->height(),
                         qPrintable(edit->objectName()));
            }
        }
        for (int a = 0; a < shown.size(); ++a) {
            for (int b = a + 1; b < shown.size(); ++b) {
                const QString what = QStringLiteral("%1: %2 %3 overlap")
                                         .arg(QString::fromLatin1(mode.name),
                                              shown[a]->objectName(), shown[b]->objectName());
                QVERIFY2(!shown[a]->geometry().intersects(shown[b]->geometry()), qPrintable(what));
            }
        }
    }
}

void MovePageTest::stepButtonsAnswerKeyboardAndAssistiveTechnology() {
    ControllerHarness& h = harness();
    MovePage& p = page();
    p.edit(P::StepEl)->setText(QStringLiteral("1"));
    ui::ClickableLabel* up = p.picture(P::StepUp);
    QCOMPARE(up->focusPolicy(), Qt::StrongFocus);  // reached with Tab
    up->setFocus();
    QTest::keyClick(up, Qt::Key_Space);
    QCOMPARE(h.sentLines(), std::vector<std::string>{"MO 0 100"});

    // A screen reader sees a named button, tells its face, and can press it.
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(up);
    QVERIFY(a != nullptr);
    QCOMPARE(a->role(), QAccessible::Button);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("EL step up"));
    QCOMPARE(a->text(QAccessible::Description), QStringLiteral("released"));
    QVERIFY(a->actionInterface() != nullptr);
    a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(h.sentLines(), std::vector<std::string>{"MO 0 100"});
    // The diagnosis LEDs are not buttons.
    QVERIFY(QAccessible::queryAccessibleInterface(p.control(P::DiagnosisLeds[0]))->role() !=
            QAccessible::Button);
}

KELVANDOR_QTEST(MovePageTest, "move_page_test")
#include "move_page_test.moc"
