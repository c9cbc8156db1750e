// SPDX-License-Identifier: GPL-3.0-or-later
// Load Default and Update Default in the main window, against a line the test holds:
// what a loaded set shows on every page, the product size question, the files that are
// refused with nothing changed, and the checks before anything is sent.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "support/qt_test_main.h"
#include "controller_harness.h"
#include "shell/product_size_dialog.h"

using namespace kelvandor;
using kelvandor::testing::ControllerHarness;
namespace id = kelvandor::main_id;
using Lines = std::vector<std::string>;

namespace {

const QString SampleSet = QStringLiteral(KELVANDOR_SAMPLE_RIF);

// A scripted user of "Select Product Size" that checks `caption` (none when empty) and
// presses OK, or presses Cancel.
std::function<int(QDialog&)> chooseSize(const QString& caption, bool ok = true) {
    return [caption, ok](QDialog& dialog) {
        auto& d = static_cast<ProductSizeDialog&>(dialog);
        for (QRadioButton* radio : d.findChildren<QRadioButton*>()) {
            if (radio->text() == caption) {
                radio->click();
            }
        }
        d.button(ok ? ProductSizeDialog::OkButton : ProductSizeDialog::CancelButton)->click();
        return d.result();
    };
}

// The sample set with one token replaced (tokens counted from 1).
QString sampleWith(const QTemporaryDir& dir, int token, const QString& replacement) {
    QFile in(SampleSet);
    in.open(QIODevice::ReadOnly);
    QStringList tokens = QString::fromLatin1(in.readAll())
                             .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    tokens[token - 1] = replacement;
    const QString path = dir.filePath(QStringLiteral("changed.rif"));
    QFile out(path);
    out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    out.write(tokens.join(QLatin1Char(' ')).toLatin1());
    return path;
}

}  // namespace

class DefaultSettingsTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void productSizeDialogIndexesFollowTheTable_data();
    void productSizeDialogIndexesFollowTheTable();
    void loadShowsTheSetEverywhereAndSendsNothing();
    void refusedLoadsChangeNothing_data();
    void refusedLoadsChangeNothing();
    void productSizesWithoutAProfile();
    void updateChecksBeforeSending();
};

void DefaultSettingsTest::productSizeDialogIndexesFollowTheTable_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("selection");
    QTest::newRow("T4") << "T4" << true << 0;
    QTest::newRow("T6") << "T6" << true << 1;
    QTest::newRow("T1, shown first") << "T1" << true << 3;
    QTest::newRow("T6R") << "T6R" << true << 6;
    QTest::newRow("OK with none checked") << "" << true << -1;
    QTest::newRow("Cancel after a choice") << "T9" << false << -1;
}

void DefaultSettingsTest::productSizeDialogIndexesFollowTheTable() {
    QFETCH(QString, caption);
    QFETCH(bool, ok);
    QFETCH(int, selection);
    ProductSizeDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Product Size"));
    QCOMPARE(dialog.selection, -1);
    for (QRadioButton* radio : dialog.findChildren<QRadioButton*>()) {
        QVERIFY(!radio->isChecked());
    }
    QCOMPARE(chooseSize(caption, ok)(dialog), ok ? int{QDialog::Accepted} : int{QDialog::Rejected});
    QCOMPARE(dialog.selection, selection);
}

void DefaultSettingsTest::loadShowsTheSetEverywhereAndSendsNothing() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    h.prompter.files = {SampleSet};
    h.prompter.dialogUsers.push_back(chooseSize(QStringLiteral("T6")));
    d.button(id::LoadDefault)->click();

    QCOMPARE(h.prompter.dialogTitles, QStringList{QStringLiteral("Select Product Size")});
    QCOMPARE(h.prompter.fileFilters, QStringList{QStringLiteral("RIF Files (*.rif)")});
    QVERIFY(h.prompter.messages.empty());
    QCOMPARE(d.model().productSize, 1);
    QCOMPARE(QString::fromStdString(d.model().rifPath), SampleSet);
    QVERIFY(d.control(id::UpdateDefault)->isEnabled());

    // The main window: 13 satellites, the slots' names, the local frequency in use.
    QCOMPARE(d.model().satellites.satelliteCount, 13);
    QCOMPARE(QString::fromLatin1(d.model().satellites.records[12].primary.name),
             QStringLiteral("YAMAL402"));
    QCOMPARE(d.controlText(id::NameA), QStringLiteral("ASTRA1"));
    QCOMPARE(d.controlText(id::NameB), QStringLiteral("HOTBIRD"));
    QCOMPARE(d.model().satellites.currentSatellite, 0);
    QCOMPARE(d.controlText(id::LocalFreqValue), QStringLiteral("9750"));
    // The pages: GPS position, satellite list, the T6 parameters, the skew rows.
    QCOMPARE(d.gpsPage.controlText(GpsPage::AntennaLongitude).trimmed(), QStringLiteral("11.34"));
    QCOMPARE(d.gpsPage.controlText(GpsPage::AntennaLatitude).trimmed(), QStringLiteral("48.08"));
    QCOMPARE(d.satelliteInfoPage.comboBox(GpsPage::SatelliteList)->count(), 13);
    QCOMPARE(d.parameterPage.controlText(ParameterPage::TrackingScaleEdit), QStringLiteral("14"));
    QCOMPARE(d.parameterPage.controlText(ParameterPage::WrsDetectLevelEdit), QStringLiteral("152"));
    QCOMPARE(d.parameterPage.controlText(ParameterPage::RegionVersionText),
             QStringLiteral("EUROPE 3.2"));
    // SAT A is ASTRA1 at 19.2 E, seen from the set's position in whole degrees (11 E,
    // 48 N): 4.68 degrees, where the minutes would give 5.20. Its adjustment is 1 (x 10).
    QCOMPARE(d.movePage.controlText(MovePage::SlotSkew[0]), QStringLiteral("  4.6"));
    QCOMPARE(d.movePage.controlText(MovePage::SlotAdjust[0]), QStringLiteral("  1.0"));
    QCOMPARE(d.movePage.controlText(MovePage::SlotSkew[4]).isEmpty(), false);  // SAT C too
    QCOMPARE(h.prompter.pauses, std::vector<int>{100});
    QCOMPARE(h.sentLines(), Lines{});

    // A second load takes the size chosen before.
    h.prompter.files = {SampleSet};
    d.button(id::LoadDefault)->click();
    QCOMPARE(h.prompter.dialogTitles.size(), 1);
    QVERIFY(h.prompter.messages.empty());
}

void DefaultSettingsTest::refusedLoadsChangeNothing_data() {
    QTest::addColumn<int>("token");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("message");
    QTest::newRow("later version") << 4 << "100.5"
                                   << "This rif file is later version and cannot be loaded.\r\n.";
    QTest::newRow("version not a number") << 4 << "nan"
                                          << "token 4 \"nan\"";
    QTest::newRow("value with junk") << 40 << "12x"
                                     << "token 40 \"12x\": not a whole number";
    QTest::newRow("skew slot outside the table") << 510 << "13"
                                                 << "outside 0..12";
    QTest::newRow("missing file") << 0 << ""
                                  << "cannot be opened";
}

void DefaultSettingsTest::refusedLoadsChangeNothing() {
    QFETCH(int, token);
    QFETCH(QString, replacement);
    QFETCH(QString, message);
    ControllerHarness h;
    MainDialog& d = h.dialog();
    h.deliver(cmd::NW, {312, 1, 200});  // the antenna has said its size: no question
    const std::string before = d.model().satellites.records[0].primary.name;
    QTemporaryDir dir;
    const QString path = token > 0 ? sampleWith(dir, token, replacement)
                                   : dir.filePath(QStringLiteral("missing.rif"));
    h.prompter.files = {path};
    d.button(id::LoadDefault)->click();

    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QVERIFY2(h.prompter.messages[0].text.contains(message),
             qPrintable(h.prompter.messages[0].text));
    QVERIFY(!d.control(id::UpdateDefault)->isEnabled());
    QVERIFY(d.model().rifPath.empty());
    QVERIFY(d.defaultSet.regionName.empty());
    QCOMPARE(std::string(d.model().satellites.records[0].primary.name), before);
    QCOMPARE(d.satelliteInfoPage.comboBox(GpsPage::SatelliteList)->count(), 0);

    // A cancelled file dialog after a good load keeps that file as the one to update.
    h.prompter.messages.clear();
    h.prompter.files = {SampleSet};
    d.button(id::LoadDefault)->click();
    QVERIFY(h.prompter.messages.empty());
    d.button(id::LoadDefault)->click();  // no file queued: the dialog is cancelled
    QCOMPARE(QString::fromStdString(d.model().rifPath), SampleSet);
    QVERIFY(d.control(id::UpdateDefault)->isEnabled());
}

void DefaultSettingsTest::productSizesWithoutAProfile() {
    ControllerHarness h;
    MainDialog& d = h.dialog();
    // A size code the antenna reports but no profile exists for (7), and a negative one
    // the status panel keeps (-2): Load Default stops without reading, and asks next time.
    for (const int code : {7, -2}) {
        h.deliver(cmd::NW, {312, code, 200});
        h.prompter.files = {SampleSet};
        d.button(id::LoadDefault)->click();
        QCOMPARE(d.model().productSize, -1);
        QVERIFY(!d.control(id::UpdateDefault)->isEnabled());
        QVERIFY(h.prompter.dialogTitles.isEmpty());
    }
    // The size dialog cancelled: nothing read either.
    h.prompter.files = {SampleSet};
    h.prompter.dialogUsers.push_back(chooseSize(QStringLiteral("T2"), false));
    d.button(id::LoadDefault)->click();
    QCOMPARE(d.model().productSize, -1);
    QVERIFY(!d.control(id::UpdateDefault)->isEnabled());

    // Loaded as T6; then the antenna reports size 7: Update Default refuses and sends
    // nothing.
    h.prompter.files = {SampleSet};
    h.prompter.dialogUsers.push_back(chooseSize(QStringLiteral("T6")));
    d.button(id::LoadDefault)->click();
    QVERIFY(d.control(id::UpdateDefault)->isEnabled());
    h.deliver(cmd::NA, {0});
    h.deliver(cmd::NW, {312, 7, 200});
    h.prompter.messages.clear();
    d.button(id::UpdateDefault)->click();
    QCOMPARE(h.prompter.messages.size(), std::size_t{1});
    QVERIFY(h.prompter.messages[0].text.contains(QStringLiteral("product size (7)")));
    QCOMPARE(h.sentLines(), Lines{});
}

void DefaultSettingsTest::updateChecksBeforeSending() {
    {
        // No port at all: said, nothing sent, not even the set-up question.
        ControllerHarness h(0);
        MainDialog& d = h.dialog();
        h.prompter.files = {SampleSet};
        h.prompter.dialogUsers.push_back(chooseSize(QStringLiteral("T4")));
        d.button(id::LoadDefault)->click();
        d.button(id::UpdateDefault)->click();
        QCOMPARE(h.prompter.messages.size(), std::size_t{1});
        QVERIFY(
            h.prompter.messages[0].text.startsWith(QStringLiteral("The antenna is not connected")));
        QVERIFY(d.progressBar(id::Progress)->isHidden());
    }
    ControllerHarness h;
    MainDialog& d = h.dialog();
    h.prompter.files = {SampleSet};
    h.prompter.dialogUsers.push_back(chooseSize(QStringLiteral("T4")));
    d.button(id::LoadDefault)->click();

    // Before any state report, and in tracking: not set-up mode, whatever the answer.
    for (const ui::Answer answer : {ui::Answer::Ok, ui::Answer::Cancel}) {
        h.prompter.answers = {answer};
        d.button(id::UpdateDefault)->click();
        QCOMPARE(h.prompter.messages.back().text, QStringLiteral("Antenna is not SETUP mode."));
        QCOMPARE(h.prompter.messages.back().buttons, ui::Buttons::OkCancel);
        QCOMPARE(h.prompter.messages.back().icon, ui::Icon::Warning);
        h.deliver(cmd::NA, {2});
    }
    // In set-up mode the question names the file; No sends nothing.
    h.deliver(cmd::NA, {0});
    h.prompter.answers = {ui::Answer::No};
    d.button(id::UpdateDefault)->click();
    QCOMPARE(h.prompter.messages.back().text,
             QStringLiteral("Do you want to update default set \"%1\" ?").arg(SampleSet));
    QCOMPARE(h.prompter.messages.back().buttons, ui::Buttons::YesNo);
    QCOMPARE(h.sentLines(), Lines{});
    QVERIFY(d.progressBar(id::Progress)->isHidden());
}

KELVANDOR_QTEST(DefaultSettingsTest, "default_settings_test")
#include "default_settings_test.moc"
