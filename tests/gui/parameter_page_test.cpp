// SPDX-License-Identifier: GPL-3.0-or-later
// The antenna parameters page: what its reports show, what its buttons send (with the
// confirmation and the pause before TL), how typed texts become numbers, the
// tracking-pattern file (also when it cannot be written), and the page against the
// simulated unit.
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <climits>
#include <cstring>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "pages/pattern_file.h"
#include "protocol/frame_codec.h"
#include "sim/simulator.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
using P = kelvandor::ParameterPage;
using Lines = std::vector<std::string>;

namespace {

constexpr int ParameterListRow = 5;

// Delivers a frame whose parameters come from a data row.
bool deliverFrame(ControllerHarness& h, CommandId id, const QList<int>& params) {
    std::int32_t v[MaxParams] = {};
    std::copy(params.begin(), params.begin() + std::min<qsizetype>(params.size(), MaxParams), v);
    return h.deliver(
        id, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12]});
}

// The three integers of an EN report carrying `text` (at most twelve bytes).
QList<int> packedSerial(const char* text) {
    std::int32_t packed[4] = {};
    packText(text, packed);
    return {packed[0], packed[1], packed[2]};
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A Prompter that notes, at each pause, the frames written before it.
class PauseWitness : public ui::ScriptedPrompter {
  public:
    explicit PauseWitness(ControllerHarness& h) : h_(h) {}
    void pause(int ms) override {
        ScriptedPrompter::pause(ms);
        beforePause = h_.sentLines();
    }
    Lines beforePause;

  private:
    ControllerHarness& h_;
};

// Ways the pattern file cannot be written, each of them also for root.
enum class Blocked { ReadOnlyFolder, NameIsFolder, FullDisk, PipeNobodyReads };

}  // namespace

Q_DECLARE_METATYPE(Blocked)

class ParameterPageTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void layoutHidesWhatIsNeverShownAndClipsNothing();
    void reportTexts_data();
    void reportTexts();
    void antennaSize_data();
    void antennaSize();
    void repliesFillTheFieldsAndKeepWhatIsTyped();
    void confirmationComesBeforeSaAndThePauseBeforeTl();
    void buttonsSendTheirFrames();
    void typedTexts_data();
    void typedTexts();
    void patternRowsAreAppendedAndTcZeroEmpties();
    void patternFileNotWritable_data();
    void patternFileNotWritable();
    void theUnitFillsThePageAndStreamsItsPattern();

  private:
    // The window of the current test function, built at its first use.
    ControllerHarness& harness();
    P& page() { return harness().dialog().parameterPage; }
    // Makes the pattern file unwritable; returns the errno the page should name.
    int block(Blocked how);
    // Undoes block().
    void unblock(Blocked how);

    std::unique_ptr<ControllerHarness> h_;
    QByteArray builtFor_;
    QString startDir_;
    std::unique_ptr<QTemporaryDir> work_;  // the working directory of each test
};

void ParameterPageTest::initTestCase() {
    startDir_ = QDir::currentPath();
}

void ParameterPageTest::init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    QVERIFY(QDir::setCurrent(work_->path()));
}

void ParameterPageTest::cleanup() {
    QDir::setCurrent(startDir_);
    if (work_) {
        // A read-only folder left by a failed row must not stop the removal.
        QFile::setPermissions(work_->filePath(QStringLiteral("ro")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    work_.reset();
}

void ParameterPageTest::cleanupTestCase() {
    h_.reset();
}

ControllerHarness& ParameterPageTest::harness() {
    const QByteArray function = QTest::currentTestFunction();
    if (!h_ || builtFor_ != function) {
        h_.reset();
        h_ = std::make_unique<ControllerHarness>();
        builtFor_ = function;
    }
    return *h_;
}

void ParameterPageTest::layoutHidesWhatIsNeverShownAndClipsNothing() {
    MainDialog& d = harness().dialog();
    d.show();
    d.listBox(main_id::PageList)->setCurrentRow(ParameterListRow);
    QVERIFY(page().isVisible());
    // The longest texts the value labels show.
    page().setControlText(P::AntennaSizeText, QStringLiteral(" 130 cm / 51 inch"));
    page().setControlText(P::SerialNumberText, QStringLiteral("  WWWWWWWWWWWW"));
    page().setControlText(P::VoltageText, QStringLiteral(" 999.9V  /  999.9V"));
    page().setControlText(P::SoftwareVersionText, QStringLiteral(" V 99.99  /  V 99.99"));
    page().setControlText(P::RegionVersionText, QStringLiteral("EUROPE WEST 99.9"));
    // The captions of the hidden edits go with them.
    const QStringList hiddenCaptions = {
        QStringLiteral("Sat Verify Time"), QStringLiteral("Tracking Stable Count"),
        QStringLiteral("Initial Sat Count"), QStringLiteral("Offset Diff AZ - EL")};

    QList<QWidget*> shown;
    for (QWidget* w : page().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        auto* label = qobject_cast<QLabel*>(w);
        bool isNumber = false;
        const int id = w->objectName().toInt(&isNumber);
        const bool neverShown = (isNumber && std::ranges::count(P::HiddenControls, id) > 0) ||
                                (label != nullptr && hiddenCaptions.contains(label->text()));
        QVERIFY2(w->isHidden() == neverShown, qPrintable(w->objectName()));
        if (neverShown) {
            continue;
        }
        QVERIFY2(page().rect().contains(w->geometry()), qPrintable(w->objectName()));
        if (qobject_cast<QGroupBox*>(w) != nullptr) {
            continue;
        }
        auto* button = qobject_cast<QAbstractButton*>(w);
        const QString text = label != nullptr    ? label->text()
                             : button != nullptr ? button->text()
                                                 : QString();
        QVERIFY2(text.isEmpty() || w->sizeHint().width() <= w->width(), qPrintable(text));
        for (QWidget* other : shown) {
            QVERIFY2(!other->geometry().intersects(w->geometry()),
                     qPrintable(other->objectName() + QStringLiteral(" / ") + w->objectName()));
        }
        shown.append(w);
    }
    QCOMPARE(shown.size(), qsizetype{36});  // labels, edits, check boxes and buttons
}

void ParameterPageTest::reportTexts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QList<int>>("params");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, CommandId id, const QList<int>& params, int control,
                        const QString& expected) {
        QTest::newRow(name) << int{id} << params << control << expected;
    };
    const int version = P::SoftwareVersionText;
    const int volts = P::VoltageText;
    const int serial = P::SerialNumberText;
    const int adjust = P::ElevationAdjustEdit;
    row("versions", cmd::NW, {123, 0, 456}, version, QStringLiteral(" V 1.23  /  V 4.56"));
    row("versions negative", cmd::NW, {-5, 3, 0}, version, QStringLiteral(" V -0.05  /  V 0.00"));
    // The factors are single-precision: 100000000 hundredths read 999999.98.
    row("versions single-precision factor", cmd::NW, {100000000, 1, 5}, version,
        QStringLiteral(" V 999999.98  /  V 0.05"));
    row("voltages", cmd::VL, {125, 238, 999}, volts, QStringLiteral(" 12.5V  /  23.8V"));
    row("voltages padded", cmd::VL, {5, 0, 0}, volts, QStringLiteral("  0.5V  /   0.0V"));
    row("voltages single-precision factor", cmd::VL, {1000000000, 3, 0}, volts,
        QStringLiteral(" 100000001.5V  /   0.3V"));
    row("serial number", cmd::EN, packedSerial("KV6-0412873"), serial,
        QStringLiteral("  KV6-0412873"));
    row("serial number of twelve, no zero byte", cmd::EN, packedSerial("ABCDEFGHIJKL"), serial,
        QStringLiteral("  ABCDEFGHIJKL"));
    row("serial number ends at the first zero", cmd::EN, {0x00434241, 0x44444444, 0x45454545},
        serial, QStringLiteral("  ABC"));
    row("serial number markup is text", cmd::EN, packedSerial("<b>X</b>&lt;"), serial,
        QStringLiteral("  <b>X</b>&lt;"));
    row("serial number high bytes", cmd::EN, packedSerial("SN\xE9\xFF\xA0"), serial,
        QStringLiteral("  SN\u00E9\u00FF\u00A0"));
    row("serial number control bytes", cmd::EN, packedSerial("A\r\nB\tC\x7F\x85\x9F"), serial,
        QStringLiteral("  A??B?C???"));
    row("elevation adjust", cmd::DL, {-15}, adjust, QStringLiteral("-1.5"));
    row("elevation adjust zero", cmd::DL, {0}, adjust, QStringLiteral("0.0"));
    row("elevation adjust smallest", cmd::DL, {INT_MIN}, adjust, QStringLiteral("-214748364.8"));
}

void ParameterPageTest::reportTexts() {
    QFETCH(int, id);
    QFETCH(QList<int>, params);
    QFETCH(int, control);
    QFETCH(QString, expected);
    ControllerHarness& h = harness();
    QVERIFY(deliverFrame(h, id, params));
    QCOMPARE(page().controlText(control), expected);
    QCOMPARE(page().label(P::SerialNumberText)->textFormat(), Qt::PlainText);
    QVERIFY(h.prompter.messages.empty());
}

void ParameterPageTest::antennaSize_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    const QString previous = QStringLiteral(" 37 cm / 15 inch");  // code 2, shown first
    QTest::newRow("1") << 1 << QStringLiteral(" 60 cm / 24 inch");
    QTest::newRow("6 reads as 1") << 6 << QStringLiteral(" 60 cm / 24 inch");
    QTest::newRow("8") << 8 << QStringLiteral(" 130 cm / 51 inch");
    QTest::newRow("9 wraps to 0") << 9 << QStringLiteral(" 45 cm / 18 inch");
    QTest::newRow("-9 is a multiple of 9") << -9 << QStringLiteral(" 45 cm / 18 inch");
    QTest::newRow("-1 keeps the text") << -1 << previous;
    QTest::newRow("INT_MIN keeps the text") << INT_MIN << previous;
}

void ParameterPageTest::antennaSize() {
    QFETCH(int, code);
    QFETCH(QString, expected);
    ControllerHarness& h = harness();
    QVERIFY(h.deliver(cmd::NW, {100, 2, 100}));
    QCOMPARE(page().controlText(P::AntennaSizeText), QStringLiteral(" 37 cm / 15 inch"));
    QVERIFY(h.deliver(cmd::NW, {312, code, 200}));
    QCOMPARE(page().controlText(P::AntennaSizeText), expected);
    QCOMPARE(page().antennaSize, expected);
}

void ParameterPageTest::repliesFillTheFieldsAndKeepWhatIsTyped() {
    ControllerHarness& h = harness();
    P& p = page();
    QVERIFY(h.deliver(cmd::NR, {-5, 12, 30}));
    QVERIFY(h.deliver(cmd::NC, {20, 150, 10, 5, 3, 105, 40}));
    QVERIFY(h.deliver(cmd::Np, {-7, 15, 8}));
    QVERIFY(h.deliver(cmd::NF, {1, 0, 1}));
    const std::pair<int, const char*> shown[] = {
        {P::ScanOffsetEdit, "-5"},         {P::TrackingScaleEdit, "12"},
        {P::DetectLevelOffsetEdit, "30"},  {P::SatVerifyTimeEdit, "20"},
        {P::WrsDetectLevelEdit, "150"},    {P::TrackingLevelOffsetEdit, "10"},
        {P::TrackingStableCountEdit, "5"}, {P::InitialSatCountEdit, "3"},
        {P::VoltageThresholdEdit, "105"},  {P::DiseqcThresholdEdit, "40"},
        {P::OffsetDiffAzElEdit, "-7"},     {P::OffsetDiffRhLhEdit, "15"},
        {P::SearchLockCountEdit, "8"},
    };
    for (const auto& [id, text] : shown) {
        QVERIFY2(p.controlText(id) == QString::fromLatin1(text), qPrintable(QString::number(id)));
    }
    QVERIFY(p.checkable(P::UseLatestElevationCheck)->isChecked());
    QVERIFY(!p.checkable(P::UseWrsMethodCheck)->isChecked());
    QVERIFY(p.checkable(P::UseOffsetDifferenceCheck)->isChecked());

    // What the user has typed survives a reply that ends with writeControls, and so does
    // the region version the default-set loader shows.
    p.showRegionVersion(QStringLiteral("<i>EUROPE%s</i>"), 312);
    p.edit(P::ScanOffsetEdit)->setText(QStringLiteral("77"));
    QVERIFY(h.deliver(cmd::NF, {0, 1, 0}));
    QCOMPARE(p.controlText(P::ScanOffsetEdit), QStringLiteral("77"));
    QCOMPARE(p.controlText(P::RegionVersionText), QStringLiteral("<i>EUROPE%s</i> 3.1"));
    QVERIFY(!p.checkable(P::UseLatestElevationCheck)->isChecked());
    QVERIFY(p.checkable(P::UseWrsMethodCheck)->isChecked());

    // Another page's report refreshes the model from the controls and shows nothing new.
    p.edit(P::TrackingScaleEdit)->setText(QStringLiteral("88"));
    QVERIFY(h.deliver(cmd::AP, {1234, 567}));
    QCOMPARE(p.trackingScale, QStringLiteral("88"));
    QCOMPARE(p.controlText(P::TrackingScaleEdit), QStringLiteral("88"));
    QCOMPARE(p.controlText(P::DetectLevelOffsetEdit), QStringLiteral("30"));
    QVERIFY(h.prompter.messages.empty());
    QCOMPARE(h.sentLines(), Lines{});  // the page sends no query of its own
}

void ParameterPageTest::confirmationComesBeforeSaAndThePauseBeforeTl() {
    ControllerHarness& h = harness();
    QVERIFY(h.deliver(cmd::NR, {-5, 12, 30}));
    QVERIFY(h.deliver(cmd::DL, {-15}));
    h.prompter.answers = {ui::Answer::No};
    page().button(P::SetScanParametersButton)->click();
    QCOMPARE(h.sentLines(), Lines{});
    QVERIFY(h.prompter.pauses.empty());
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QCOMPARE(h.prompter.messages[0].text, QStringLiteral("Do you want to change parameters?"));
    QCOMPARE(h.prompter.messages[0].buttons, ui::Buttons::YesNo);
    QCOMPARE(h.prompter.messages[0].icon, ui::Icon::Exclamation);

    PauseWitness witness(h);
    witness.answers = {ui::Answer::Yes};
    ui::Prompter* previous = ui::installPrompter(&witness);
    page().button(P::SetScanParametersButton)->click();
    ui::installPrompter(previous);
    QCOMPARE(witness.messages.size(), std::size_t{1});
    QCOMPARE(witness.pauses, std::vector<int>{100});
    QCOMPARE(witness.beforePause, Lines{"SA -5 12 30"});
    QCOMPARE(h.sentLines(), Lines{"TL -15 0 0"});
}

void ParameterPageTest::buttonsSendTheirFrames() {
    ControllerHarness& h = harness();
    P& p = page();
    QVERIFY(h.deliver(cmd::NC, {20, 150, 10, 5, 3, 105, 40}));
    QVERIFY(h.deliver(cmd::Np, {-7, 15, 8}));
    QVERIFY(h.deliver(cmd::NF, {1, 0, 1}));
    // The hidden fields travel with what the antenna last reported; no confirmation.
    p.button(P::SetControlParametersButton)->click();
    p.button(P::SetAntennaParametersButton)->click();
    p.button(P::SetFlagsButton)->click();
    QCOMPARE(h.sentLines(), (Lines{"SC 20 150 10 5 3 105 40", "Sa -7 15 8", "FG 1 0 1"}));

    p.edit(P::WrsDetectLevelEdit)->setText(QStringLiteral("151"));
    p.edit(P::OffsetDiffRhLhEdit)->setText(QStringLiteral("-16"));
    p.checkable(P::UseWrsMethodCheck)->click();
    p.checkable(P::UseOffsetDifferenceCheck)->click();
    p.button(P::SetControlParametersButton)->click();
    p.button(P::SetAntennaParametersButton)->click();
    p.button(P::SetFlagsButton)->click();
    QCOMPARE(h.sentLines(), (Lines{"SC 20 151 10 5 3 105 40", "Sa -7 -16 8", "FG 1 1 0"}));
    QVERIFY(h.prompter.messages.empty());
    QVERIFY(h.prompter.pauses.empty());
}

void ParameterPageTest::typedTexts_data() {
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("expected");  // the line of the command the text goes into
    const auto row = [](const char* name, int edit, const char* text, int button,
                        const char* expected) {
        QTest::newRow(name) << edit << QString::fromLatin1(text) << button
                            << QString::fromLatin1(expected);
    };
    const int sa = P::SetScanParametersButton;
    const int adjust = P::ElevationAdjustEdit;
    row("elevation -1.57 cut toward zero", adjust, "-1.57", sa, "TL -15 0 0");
    row("elevation abc", adjust, "abc", sa, "TL 0 0 0");
    row("elevation leading number", adjust, " 3.14deg", sa, "TL 31 0 0");
    row("elevation beyond 32 bits", adjust, "99999999999", sa, "TL 2147483647 0 0");
    row("scan offset 12abc", P::ScanOffsetEdit, "12abc", sa, "SA 12 1 1");
    row("tracking scale abc", P::TrackingScaleEdit, "abc", sa, "SA 1 0 1");
    row("detect level -1.57", P::DetectLevelOffsetEdit, "-1.57", sa, "SA 1 1 -1");
    row("scan offset below 32 bits", P::ScanOffsetEdit, "-99999999999", sa, "SA -2147483648 1 1");
    row("WRS detect level beyond 32 bits", P::WrsDetectLevelEdit, "4294967297",
        P::SetControlParametersButton, "SC 1 2147483647 1 1 1 1 1");
    row("search lock count 3.9", P::SearchLockCountEdit, "3.9", P::SetAntennaParametersButton,
        "Sa 1 1 3");
}

void ParameterPageTest::typedTexts() {
    QFETCH(int, edit);
    QFETCH(QString, text);
    QFETCH(int, button);
    QFETCH(QString, expected);
    ControllerHarness& h = harness();
    for (QLineEdit* e : page().findChildren<QLineEdit*>()) {
        e->setText(QStringLiteral("1"));
    }
    page().edit(edit)->setText(text);
    page().button(button)->click();
    const Lines sent = h.sentLines();
    const std::string command = expected.left(2).toStdString();
    const auto line =
        std::ranges::find_if(sent, [&](const std::string& s) { return s.starts_with(command); });
    QVERIFY2(line != sent.end(), qPrintable(expected));
    QCOMPARE(QString::fromStdString(*line), expected);
}

void ParameterPageTest::patternRowsAreAppendedAndTcZeroEmpties() {
    ControllerHarness& h = harness();
    const QString path = QDir::current().filePath(QString::fromLatin1(PatternFileName));
    const QByteArray held = "earlier\r\n";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(held);
    }
    QVERIFY(h.deliver(cmd::PT, {1, -2, 3, INT_MAX, INT_MIN, 0, 7}));
    QVERIFY(h.deliver(cmd::PT, {2, 16860, 2825, 825, 232, 1, 2}));
    const QByteArray rows =
        held + "1\t-2\t3\t2147483647\t-2147483648\t0\t7\r\n" + "2\t16860\t2825\t825\t232\t1\t2\r\n";
    QCOMPARE(fileBytes(path), rows);

    // Other test-and-control subjects leave the file alone; subject 0 empties it.
    QVERIFY(h.deliver(cmd::TC, {10, 1}));
    QVERIFY(h.deliver(cmd::TC, {11, 0}));
    QVERIFY(h.deliver(cmd::TC, {13, 0}));
    QCOMPARE(fileBytes(path), rows);
    QVERIFY(h.deliver(cmd::TC, {0, 5}));
    QCOMPARE(fileBytes(path), QByteArray());
    QVERIFY(h.deliver(cmd::PT, {3, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(fileBytes(path), QByteArray("3\t0\t0\t0\t0\t0\t0\r\n"));

    // A missing file is created, by a row or by emptying.
    QVERIFY(QFile::remove(path));
    QVERIFY(h.deliver(cmd::TC, {0, 0}));
    QCOMPARE(fileBytes(path), QByteArray());
    QVERIFY(QFile::remove(path));
    QVERIFY(h.deliver(cmd::PT, {4, 0, 0, 0, 0, 0, -1}));
    QCOMPARE(fileBytes(path), QByteArray("4\t0\t0\t0\t0\t0\t-1\r\n"));
    QVERIFY(h.prompter.messages.empty());
}

int ParameterPageTest::block(Blocked how) {
    const QByteArray name = PatternFileName;
    switch (how) {
        case Blocked::ReadOnlyFolder: {
            // Permission bits do not stop root; nobody creates files in /proc.
            const QString folder = work_->filePath(QStringLiteral("ro"));
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            QDir::setCurrent(::geteuid() == 0 ? QStringLiteral("/proc") : folder);
            return ::geteuid() == 0 ? ENOENT : EACCES;
        }
        case Blocked::NameIsFolder:
            QDir().mkdir(QString::fromLatin1(name));
            return EISDIR;
        case Blocked::FullDisk:
            QFile::link(QStringLiteral("/dev/full"), QString::fromLatin1(name));
            return ENOSPC;
        case Blocked::PipeNobodyReads:
            ::mkfifo(name.constData(), 0600);
            return ENXIO;
    }
    return 0;
}

void ParameterPageTest::unblock(Blocked how) {
    QDir::setCurrent(work_->path());
    const QString name = QString::fromLatin1(PatternFileName);
    if (how == Blocked::NameIsFolder) {
        QDir().rmdir(name);
    } else if (how != Blocked::ReadOnlyFolder) {
        QFile::remove(name);
    }
}

void ParameterPageTest::patternFileNotWritable_data() {
    QTest::addColumn<Blocked>("how");
    QTest::newRow("folder that is not writable") << Blocked::ReadOnlyFolder;
    QTest::newRow("pattern.tab is a folder") << Blocked::NameIsFolder;
    QTest::newRow("full disk (linked to /dev/full)") << Blocked::FullDisk;
    QTest::newRow("a pipe nobody reads") << Blocked::PipeNobodyReads;
}

void ParameterPageTest::patternFileNotWritable() {
    QFETCH(Blocked, how);
    ControllerHarness& h = harness();
    h.prompter.messages.clear();
    const int error = block(how);
    QVERIFY(error != 0);
    const QString reason = QString::fromLocal8Bit(std::strerror(error));

    // Every row is dropped, without a crash or a stall; the first failure is said once.
    QVERIFY(h.deliver(cmd::PT, {1, 2, 3, 4, 5, 6, 7}));
    QVERIFY(h.deliver(cmd::PT, {2, 2, 3, 4, 5, 6, 7}));
    QVERIFY(h.deliver(cmd::TC, {0, 0}));
    QVERIFY(h.deliver(cmd::PT, {3, 2, 3, 4, 5, 6, 7}));
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    const ui::ScriptedPrompter::Shown& said = h.prompter.messages[0];
    QVERIFY2(said.text.contains(QStringLiteral("pattern.tab")), qPrintable(said.text));
    QVERIFY2(said.text.contains(reason), qPrintable(said.text + QStringLiteral(" / ") + reason));
    QCOMPARE(said.buttons, ui::Buttons::Ok);
    QCOMPARE(said.icon, ui::Icon::Warning);
    // The page goes on: its fields still fill.
    QVERIFY(h.deliver(cmd::DL, {-15}));
    QCOMPARE(page().controlText(P::ElevationAdjustEdit), QStringLiteral("-1.5"));

    // Once the file can be written again rows are kept, and a new failure is said again.
    unblock(how);
    QVERIFY(h.deliver(cmd::PT, {4, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(fileBytes(QString::fromLatin1(PatternFileName)),
             QByteArray("4\t0\t0\t0\t0\t0\t0\r\n"));
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QFile::remove(QString::fromLatin1(PatternFileName));
    QCOMPARE(block(how), error);
    QVERIFY(h.deliver(cmd::PT, {5, 0, 0, 0, 0, 0, 0}));
    QVERIFY(h.deliver(cmd::PT, {6, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(h.prompter.messages.size(), std::size_t{2});
    // Leaves the page as it found it: the last row was written.
    unblock(how);
    QVERIFY(h.deliver(cmd::PT, {7, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(h.prompter.messages.size(), std::size_t{2});
    QFile::remove(QString::fromLatin1(PatternFileName));
}

void ParameterPageTest::theUnitFillsThePageAndStreamsItsPattern() {
    h_.reset();
    resetReceiveBufferForTest();
    ui::ScriptedPrompter prompter;
    struct Restore {
        ui::Prompter* previous;
        ~Restore() {
            ui::installPrompter(previous);
            resetReceiveBufferForTest();
        }
    } restore{ui::installPrompter(&prompter)};
    QTemporaryDir ports;
    sim::SimOptions options;
    options.periodicReports = false;
    sim::Simulator unit(options);
    QVERIFY(unit.start());
    QVERIFY(unit.linkAs(ports.path().toStdString(), 2));
    {
        MainDialog d(ComPortNaming::linksOnlyIn(ports.path().toStdString()));
        P& p = d.parameterPage;
        QCOMPARE(d.serialPort.isOpen, 1);
        const sim::UnitState state = unit.state();
        d.button(main_id::GetAntennaInfo)->click();
        QTRY_COMPARE_WITH_TIMEOUT(p.controlText(P::ElevationAdjustEdit), QStringLiteral("0.0"),
                                  8000);
        QCOMPARE(p.controlText(P::SerialNumberText), QStringLiteral("  KV6-0412873"));
        QCOMPARE(p.controlText(P::AntennaSizeText), QStringLiteral(" 60 cm / 24 inch"));
        QCOMPARE(p.controlText(P::SoftwareVersionText), QStringLiteral(" V 3.12  /  V 2.00"));
        QCOMPARE(p.controlText(P::VoltageText), QStringLiteral(" 12.4V  /  18.2V"));
        QCOMPARE(p.scanOffset.toInt(), state.scanParams[0]);
        QCOMPARE(p.satVerifyTime.toInt(), state.controlParams[0]);
        QCOMPARE(p.diseqcThreshold.toInt(), state.controlParams[6]);
        QCOMPARE(p.searchLockCount.toInt(), state.antennaParams[2]);
        QCOMPARE(p.checkable(P::UseWrsMethodCheck)->isChecked(), state.flags[1] == 1);

        // The pattern record replaces what the file held.
        QFile::remove(QString::fromLatin1(PatternFileName));
        {
            QFile file(QString::fromLatin1(PatternFileName));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("stale\r\n");
        }
        unit.streamPattern({3, 50, false});
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(QString::fromLatin1(PatternFileName)).count('\n'),
                                  qsizetype{3}, 5000);
        const QList<QByteArray> rows = fileBytes(QString::fromLatin1(PatternFileName)).split('\n');
        for (int k = 0; k < 3; ++k) {
            QVERIFY2(rows[k].startsWith(QByteArray::number(k + 1) + '\t') && rows[k].endsWith('\r'),
                     rows[k].constData());
            QCOMPARE(rows[k].count('\t'), qsizetype{6});
        }
        QVERIFY(prompter.messages.empty());
    }
    unit.stop();
}

KELVANDOR_QTEST(ParameterPageTest, "parameter_page_test")
#include "parameter_page_test.moc"
