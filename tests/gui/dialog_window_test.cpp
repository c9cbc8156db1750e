// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog layer: controls built from a layout table, model bindings in both
// directions, the integer-entry stop, images by bitmap id and timers by id.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>
#include <limits>

#include "support/qt_test_main.h"
#include "ui/bitmaps.h"
#include "ui/dialog_window.h"
#include "ui/prompter.h"

using namespace kelvandor::ui;

namespace {

enum : int {
    NameEdit = 10,
    CountEdit = 11,
    LaterEdit = 12,
    Check = 20,
    RadioA = 30,
    RadioB = 31,
    RadioC = 32,
    OtherRadio = 33,
    Choice = 40,
    Led = 50,
    Caption = 60,
};

constexpr ControlTemplate Controls[] = {
    {NoId, ControlKind::GroupBox, "Group", 2, 2, 150, 100},
    {NameEdit, ControlKind::Edit, nullptr, 10, 10, 60, 12},
    {CountEdit, ControlKind::Edit, nullptr, 10, 26, 60, 12, AlignRight},
    {LaterEdit, ControlKind::Edit, nullptr, 10, 42, 60, 12},
    {Check, ControlKind::CheckBox, "Use it", 80, 10, 60, 10},
    {RadioA, ControlKind::Radio, "A", 80, 26, 30, 10, GroupStart},
    {RadioB, ControlKind::Radio, "B", 80, 38, 30, 10},
    {RadioC, ControlKind::Radio, "C", 80, 50, 30, 10},
    {OtherRadio, ControlKind::Radio, "Other group", 80, 62, 60, 10, GroupStart},
    {Choice, ControlKind::DropDownList, "E\nW", 10, 58, 30, 40},
    {Led, ControlKind::Picture, nullptr, 10, 80, 10, 10, Hidden, bitmap::LedGrey},
    {Caption, ControlKind::Label, "", 30, 80, 100, 10},
};
constexpr DialogTemplate Layout = {900, "Test window", 160, 110, Controls};

class TestWindow : public DialogWindow {
  public:
    TestWindow() : DialogWindow(Layout) {
        bindText(NameEdit, &name);
        bindInt(CountEdit, &count);
        bindInt(LaterEdit, &later);
        bindCheck(Check, &checked);
        bindRadioGroup(RadioA, &radio);
        bindComboIndex(Choice, &choice);
        bindBitmap(Led, &led);
        bindText(Caption, &caption);
        createWindow(nullptr);
    }
    void onTimer(int timerId) override {
        fired.push_back(timerId);
        if (fired.size() >= 3) {
            stopDialogTimer(timerId);
        }
    }

    QString name = QStringLiteral("first");
    int count = 7;
    int later = 8;
    int checked = 1;
    int radio = 1;
    int choice = 1;
    int led = bitmap::LedBlue;
    QString caption;
    std::vector<int> fired;
};

}  // namespace

class DialogWindowTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init() { installPrompter(&prompter_); }
    void cleanup() {
        installPrompter(nullptr);
        prompter_ = ScriptedPrompter{};
    }
    void buildsControlsByIdWithTheirFlags();
    void writeThenReadRoundTrips();
    void integerEntryStopsTheCopy();
    void outOfRangeValuesAreShownSafely();
    void labelsShowTextVerbatim();
    void timersById();

  private:
    ScriptedPrompter prompter_;
};

void DialogWindowTest::buildsControlsByIdWithTheirFlags() {
    TestWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Test window"));
    QVERIFY(w.edit(NameEdit) != nullptr);
    QVERIFY(w.control(999) == nullptr);
    QVERIFY(w.edit(Check) == nullptr);  // typed lookups refuse the wrong kind
    QVERIFY(!w.isControlShown(Led));
    QCOMPARE(w.comboBox(Choice)->count(), 2);
    QCOMPARE(w.picture(Led)->pixmap().size(), QSize(17, 17));  // a picture takes its image's size
    // Positions scale with the dialog units.
    const QRect r = w.edit(CountEdit)->geometry();
    QCOMPARE(r.topLeft(), QPoint(w.units().toPixelsX(10), w.units().toPixelsY(26)));
    QCOMPARE(w.size(), QSize(w.units().toPixelsX(160), w.units().toPixelsY(110)));
    // Unknown ids are ignored by every helper.
    w.setControlText(999, QStringLiteral("x"));
    w.showControl(999, true);
    QCOMPARE(w.bitmapOf(999), 0);
}

void DialogWindowTest::writeThenReadRoundTrips() {
    TestWindow w;
    QCOMPARE(w.controlText(NameEdit), QStringLiteral("first"));
    QCOMPARE(w.controlText(CountEdit), QStringLiteral("7"));
    QVERIFY(w.checkable(Check)->isChecked());
    QVERIFY(w.checkable(RadioB)->isChecked());
    QCOMPARE(w.comboBox(Choice)->currentIndex(), 1);
    QCOMPARE(w.bitmapOf(Led), bitmap::LedBlue);

    w.edit(NameEdit)->setText(QStringLiteral("typed"));
    w.edit(CountEdit)->setText(QStringLiteral("  -42 "));
    w.checkable(Check)->setChecked(false);
    w.checkable(RadioC)->setChecked(true);
    w.checkable(OtherRadio)->setChecked(true);  // another group leaves this one alone
    w.comboBox(Choice)->setCurrentIndex(0);
    w.setBitmap(Led, bitmap::LedRed);
    QVERIFY(w.readControls());
    QCOMPARE(w.name, QStringLiteral("typed"));
    QCOMPARE(w.count, -42);
    QCOMPARE(w.checked, 0);
    QCOMPARE(w.radio, 2);
    QCOMPARE(w.choice, 0);
    QCOMPARE(w.led, bitmap::LedRed);
    QVERIFY(prompter_.messages.empty());

    // Writing what the controls already show leaves the edit's cursor where it is.
    w.edit(NameEdit)->setCursorPosition(2);
    w.writeControls();
    QCOMPARE(w.edit(NameEdit)->cursorPosition(), 2);
}

void DialogWindowTest::integerEntryStopsTheCopy() {
    TestWindow w;
    w.edit(NameEdit)->setText(QStringLiteral("kept"));
    w.edit(CountEdit)->setText(QStringLiteral("12abc"));
    w.edit(LaterEdit)->setText(QStringLiteral("99"));
    QVERIFY(!w.readControls());
    QCOMPARE(w.name, QStringLiteral("kept"));  // bound before: copied
    QCOMPARE(w.count, 7);                      // the bad field keeps its value
    QCOMPARE(w.later, 8);                      // bound after: not copied
    QCOMPARE(prompter_.messages.size(), std::size_t{1});
    QCOMPARE(prompter_.messages[0].text, QString::fromUtf8("정수를 입력하십시오."));
    for (const char* bad : {"", "1.5", "+", "--3", "4 2"}) {
        w.edit(CountEdit)->setText(QString::fromLatin1(bad));
        QVERIFY2(!w.readControls(), bad);
    }
    // A whole integer beyond 32 bits is an integer: it saturates, without a message.
    prompter_.messages.clear();
    w.edit(CountEdit)->setText(QStringLiteral("99999999999"));
    w.edit(LaterEdit)->setText(QStringLiteral("-99999999999"));
    QVERIFY(w.readControls());
    QCOMPARE(w.count, std::numeric_limits<int>::max());
    QCOMPARE(w.later, std::numeric_limits<int>::min());
    QVERIFY(prompter_.messages.empty());
}

void DialogWindowTest::outOfRangeValuesAreShownSafely() {
    TestWindow w;
    w.checked = 5;
    w.radio = 9;
    w.choice = 7;
    w.writeControls();
    QVERIFY(!w.checkable(Check)->isChecked());
    QCOMPARE(w.checked, 0);  // stored back as 0
    for (const int id : {RadioA, RadioB, RadioC}) {
        QVERIFY(!w.checkable(id)->isChecked());
    }
    QCOMPARE(w.comboBox(Choice)->currentIndex(), -1);
    // With no button of the group checked, reading keeps the stored value: a later send
    // carries what the antenna reported, not a -1 the user never chose.
    QVERIFY(w.readControls());
    QCOMPARE(w.radio, 9);
    w.checkable(RadioA)->setChecked(true);
    QVERIFY(w.readControls());
    QCOMPARE(w.radio, 0);
}

void DialogWindowTest::labelsShowTextVerbatim() {
    TestWindow w;
    w.caption = QStringLiteral("<b>BOLD</b> & <i>x</i>");
    w.writeControls();
    QCOMPARE(w.label(Caption)->text(), w.caption);
    // Labels built by the layer never interpret markup.
    for (QLabel* label : w.findChildren<QLabel*>()) {
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
}

void DialogWindowTest::timersById() {
    TestWindow w;
    w.startDialogTimer(3, 10);
    QVERIFY(w.isDialogTimerActive(3));
    QVERIFY(!w.isDialogTimerActive(4));
    QTRY_COMPARE(w.fired.size(), std::size_t{3});
    QVERIFY(!w.isDialogTimerActive(3));
    QCOMPARE(w.fired, (std::vector<int>{3, 3, 3}));
    w.stopDialogTimer(4);  // a timer never started: harmless
}

KELVANDOR_QTEST(DialogWindowTest, "dialog_window_test")
#include "dialog_window_test.moc"
