// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-screenshot: runs the controller offscreen against an in-process simulated
// antenna control unit, plays a short session (Get Antenna Information, and Load Default
// of a default set with --load-default) and writes a PNG of the main window with each page
// shown.
//
//   kelvandor-screenshot [--out DIR] [--no-premium] [--load-default FILE.rif] [--startup-only]
//
// --no-premium runs the simulated unit with a product name that lacks "PREMIUM".
// --startup-only measures the time from the start of main() to the first shown and
// painted main window, prints it and exits (no simulator).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"

namespace {

constexpr int SessionMs = 4000;  // long enough for the QS and QI replies at 19200 baud

using Dialog = kelvandor::MainDialog;
using Unit = kelvandor::sim::Simulator;

// What each page's picture shows beyond Get Antenna Information: a page may play a short
// session of its own against the simulator before it is taken (the page is shown).

// After Get Antenna Information the page shows the antenna's position, its nearest city
// and the satellite in use; the angles come with "Find Angles && Skew Antenna GPS".
void prepareGps(Dialog& dialog, Unit& /*unit*/) {
    dialog.gpsPage.button(kelvandor::GpsPage::AntennaAnglesButton)->click();
}

void prepareSatelliteInfo(Dialog& /*dialog*/, Unit& /*unit*/) {}

void prepareTrackingPrimary(Dialog& /*dialog*/, Unit& /*unit*/) {}

void prepareTrackingSecondary(Dialog& /*dialog*/, Unit& /*unit*/) {}

// A move to a typed target and a diagnosis, both followed until the unit has reported.
void prepareMove(Dialog& dialog, Unit& /*unit*/) {
    constexpr int MoveWaitMs = 6000;
    kelvandor::MovePage& page = dialog.movePage;
    page.edit(kelvandor::MovePage::TargetAz)->setText(QStringLiteral("123.45"));
    page.edit(kelvandor::MovePage::TargetEl)->setText(QStringLiteral("32.5"));
    page.button(kelvandor::MovePage::GoToTarget)->click();
    page.button(kelvandor::MovePage::DiagnosisButton)->click();
    constexpr int LastLed = kelvandor::MovePage::DiagnosisLeds.back();
    const bool reported = QTest::qWaitFor(
        [&page] {
            return page.controlText(kelvandor::MovePage::CurrentAz) == QStringLiteral("123.45") &&
                   page.bitmapOf(LastLed) != kelvandor::ui::bitmap::LedGrey;
        },
        MoveWaitMs);
    if (!reported) {
        std::fprintf(stderr, "move page: the unit did not report the move and the diagnosis\n");
    }
}

void prepareParameters(Dialog& /*dialog*/, Unit& /*unit*/) {}

void prepareSerial(Dialog& /*dialog*/, Unit& /*unit*/) {}

// The unit goes through initialise, search and tracking while the page watches, so the
// picture has a curve, its bands and a trail; Refresh asks for the level and the position.
void prepareSkyView(Dialog& dialog, Unit& /*unit*/) {
    constexpr int WatchMs = 8000;
    constexpr int OneMinuteWindow = 0;
    dialog.skyViewPage.comboBox(kelvandor::SkyViewPage::WindowList)
        ->setCurrentIndex(OneMinuteWindow);
    dialog.onRestart();
    dialog.skyViewPage.button(kelvandor::SkyViewPage::RefreshButton)->click();
    QTest::qWait(WatchMs);
    dialog.skyViewPage.refreshView();
}

struct PageShot {
    const char* file;
    void (*prepare)(Dialog&, Unit&);
};

// In page-list order.
const PageShot PageShots[] = {
    {"gps", prepareGps},
    {"satellite-info", prepareSatelliteInfo},
    {"tracking-primary", prepareTrackingPrimary},
    {"tracking-secondary", prepareTrackingSecondary},
    {"move", prepareMove},
    {"parameters", prepareParameters},
    {"serial", prepareSerial},
    {"sky-view", prepareSkyView},
};

bool save(kelvandor::MainDialog& dialog, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    const bool ok = dialog.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// Shows the main window and waits until it has been painted once.
bool showAndPaint(kelvandor::MainDialog& dialog) {
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) {
        std::fprintf(stderr, "the main window was not shown\n");
        return false;
    }
    dialog.repaint();
    return true;
}

int startupOnly(QElapsedTimer& sinceMain) {
    kelvandor::ui::ScriptedPrompter prompter;
    kelvandor::ui::installPrompter(&prompter);
    QTemporaryDir ports;
    const auto naming = kelvandor::ComPortNaming::linksOnlyIn(ports.path().toStdString());
    kelvandor::MainDialog dialog(naming);
    if (!showAndPaint(dialog)) {
        return 1;
    }
    std::printf("first window shown after %lld ms\n", static_cast<long long>(sinceMain.elapsed()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QString outDir = QStringLiteral("screenshots");
    kelvandor::sim::SimOptions options;
    constexpr int StatusPeriodMs = 200;  // Ni five times a second: a live signal history
    options.statusPeriodMs = StatusPeriodMs;
    QString defaultSet;  // a default set loaded before the pages' pictures, when given
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--startup-only") == 0) {
            return startupOnly(sinceMain);
        }
        if (std::strcmp(argv[k], "--out") == 0 && k + 1 < argc) {
            outDir = QString::fromLocal8Bit(argv[++k]);
        } else if (std::strcmp(argv[k], "--no-premium") == 0) {
            options.premium = false;
        } else if (std::strcmp(argv[k], "--load-default") == 0 && k + 1 < argc) {
            defaultSet = QFileInfo(QString::fromLocal8Bit(argv[++k])).absoluteFilePath();
        } else {
            std::fprintf(stderr,
                         "usage: kelvandor-screenshot [--out DIR] [--no-premium] "
                         "[--load-default FILE.rif] [--startup-only]\n");
            return 2;
        }
    }
    QDir dir;
    if (!dir.mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    dir.setPath(QDir(outDir).absolutePath());

    // The GPS page reads its city list from the working directory: a folder of the
    // session's own with the sample list, so nothing the session writes lands elsewhere.
    QTemporaryDir workDir;
    QFile::copy(QStringLiteral(KELVANDOR_SAMPLE_CITIES),
                workDir.filePath(QStringLiteral("city_E.gps")));
    QDir::setCurrent(workDir.path());

    QTemporaryDir ports;
    kelvandor::sim::Simulator unit(options);
    if (!unit.start() || !unit.linkAs(ports.path().toStdString(), 2)) {
        std::fprintf(stderr, "cannot start the simulator: %s\n", unit.lastError().c_str());
        return 1;
    }
    kelvandor::ui::ScriptedPrompter prompter;  // answers every box with its first button
    kelvandor::ui::installPrompter(&prompter);
    const auto naming = kelvandor::ComPortNaming::linksOnlyIn(ports.path().toStdString());

    kelvandor::MainDialog dialog(naming);
    if (!showAndPaint(dialog)) {
        return 1;
    }
    bool ok = save(dialog, dir, QStringLiteral("00-start"));

    dialog.onGetAntennaInfo();
    QTest::qWait(SessionMs);
    if (!defaultSet.isEmpty()) {
        prompter.files = {defaultSet};
        dialog.onLoadDefault();
        if (!dialog.control(kelvandor::main_id::UpdateDefault)->isEnabled()) {
            std::fprintf(stderr, "the default set %s was not loaded\n", qPrintable(defaultSet));
            ok = false;
        }
    }
    QListWidget* list = dialog.listBox(kelvandor::main_id::PageList);
    for (int row = 0; row < list->count() && row < static_cast<int>(std::size(PageShots)); ++row) {
        list->setCurrentRow(row);
        PageShots[row].prepare(dialog, unit);
        QTest::qWait(100);
        ok = save(dialog, dir,
                  QStringLiteral("%1-%2")
                      .arg(row + 1, 2, 10, QLatin1Char('0'))
                      .arg(QString::fromLatin1(PageShots[row].file))) &&
             ok;
    }
    for (const auto& shown : prompter.messages) {
        std::printf("message: %s\n", qPrintable(shown.text));
    }
    dialog.close();
    unit.stop();
    return ok ? 0 : 1;
}
