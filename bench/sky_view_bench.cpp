// SPDX-License-Identifier: GPL-3.0-or-later
// The sky view and signal history page under load.
//
// BM_SkyViewCpu/<row>: the main window against kelvandor-sim sending Ni twenty times a
//   second (--status-period 50), with the page-list entry <row> shown: 7 the sky view,
//   6 the serial page for comparison. Ten seconds of the event loop; the counters give the
//   process's CPU time as a share of one core, the page's repaints and the Ni frames a
//   second.
// BM_SkyViewRefresh: one refresh and paint of both plots with the 60-minute window full
//   of reports at twenty a second (72 000 samples), the most a repaint ever has to draw.
// BM_SignalHistoryDays: 24 hours of Ni at twenty a second fed through the page's reply
//   handler on a simulated clock, then 24 hours more; the ring's bytes and what the
//   process's resident size did over each day. Run it alone (--benchmark_filter=Days) to
//   see the ring's allocation in the first day: after the other benchmarks the allocator
//   hands it memory that is resident already.
//
// Not a test: nothing is asserted.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <memory>
#include <string>

#include "process_figures.h"
#include "pages/signal_chart.h"
#include "shell/main_dialog.h"
#include "ui/prompter.h"

using namespace kelvandor;

namespace {

constexpr int MeasureMs = 10000;
constexpr int WarmUpMs = 2000;
constexpr int StartPatienceMs = 10000;
constexpr int NiPeriodMs = 50;  // twenty frames a second
constexpr std::int64_t DayMs = 24LL * 3600 * 1000;
constexpr int SixtyMinuteWindow = 3;

using kelvandor::bench::residentKiB;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Counts the Ni frames the main window is handed, in front of its own handler.
class Counter : public ReplyListener {
  public:
    explicit Counter(ReplyListener& next) : next_(next) {}
    void onReply(CommandId id, const std::int32_t* params) override {
        frames += id == cmd::Ni ? 1 : 0;
        next_.onReply(id, params);
    }
    long long frames = 0;

  private:
    ReplyListener& next_;
};

void BM_SkyViewCpu(benchmark::State& state) {
    const int row = static_cast<int>(state.range(0));
    QTemporaryDir ports;
    ui::ScriptedPrompter prompter;
    ui::installPrompter(&prompter);
    QProcess unit;
    unit.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    unit.start(QStringLiteral(KELVANDOR_SIM_PROGRAM),
               {QStringLiteral("--port-dir"), ports.path(), QStringLiteral("--status-period"),
                QString::number(NiPeriodMs)});
    unit.waitForStarted(StartPatienceMs);
    QElapsedTimer starting;
    starting.start();
    while (unit.state() == QProcess::Running &&
           !QFileInfo(QDir(ports.path()).filePath(QStringLiteral("COM2"))).isSymLink() &&
           starting.elapsed() < StartPatienceMs) {
        unit.waitForFinished(20);
    }
    auto dialog =
        std::make_unique<MainDialog>(ComPortNaming::linksOnlyIn(ports.path().toStdString()));
    MainDialog& d = *dialog;
    Counter counter(d);
    d.link().setListeners({&counter, &d.gpsPage, &d.movePage, &d.parameterPage,
                           &d.satelliteInfoPage, &d.primaryTrackingPage, &d.secondaryTrackingPage,
                           &d.skyViewPage});
    d.show();
    if (d.serialPort.isOpen == 0) {
        state.SkipWithError("the controller did not connect");
        return;
    }
    d.onGetAntennaInfo();
    d.listBox(main_id::PageList)->setCurrentRow(row);
    QElapsedTimer warm;
    warm.start();
    while (warm.elapsed() < WarmUpMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    double cpu = 0;
    double seconds = 0;
    long long frames = 0;
    int repaints = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        const long long framesBefore = counter.frames;
        const int repaintsBefore = d.skyViewPage.repaintCount();
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer::singleShot(MeasureMs, &loop, &QEventLoop::quit);
        loop.exec();
        seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        cpu = cpuSeconds() - cpuBefore;
        frames = counter.frames - framesBefore;
        repaints = d.skyViewPage.repaintCount() - repaintsBefore;
    }
    state.counters["cpu_pct_of_core"] = 100.0 * cpu / seconds;
    state.counters["ni_per_s"] = static_cast<double>(frames) / seconds;
    state.counters["sky_repaints_per_s"] = repaints / seconds;
    dialog.reset();
    unit.terminate();
    unit.waitForFinished(StartPatienceMs);
    ui::installPrompter(nullptr);
}
BENCHMARK(BM_SkyViewCpu)
    ->Arg(6)
    ->Arg(7)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A main window without a port, its sky view page shown, fed Ni through its reply
// handler on a clock the benchmark runs.
struct OfflineRig {
    OfflineRig() : dialog(ComPortNaming::linksOnlyIn(ports.path().toStdString())) {
        ui::installPrompter(&prompter);
        page().clock = [this] { return now; };
        page().steadyClock = [this] { return now; };
        dialog.show();
        dialog.listBox(main_id::PageList)->setCurrentRow(7);
    }
    ~OfflineRig() { ui::installPrompter(nullptr); }
    SkyViewPage& page() { return dialog.skyViewPage; }
    // `count` Ni reports, one every NiPeriodMs, with a wandering level and pointing.
    void feed(std::int64_t count) {
        std::int32_t p[LinkDriver::ParamSlots] = {2, 240, 1, 16860, 2825, 825};
        for (std::int64_t k = 0; k < count; ++k) {
            now += NiPeriodMs;
            p[1] = 240 + static_cast<std::int32_t>(k % 97);
            p[3] = 16860 + static_cast<std::int32_t>(k % 31);
            page().onReply(cmd::Ni, p);
        }
    }
    QTemporaryDir ports;
    ui::ScriptedPrompter prompter;
    MainDialog dialog;
    std::int64_t now = 1'800'000'000'000;
};

void BM_SkyViewRefresh(benchmark::State& state) {
    OfflineRig rig;
    rig.page().comboBox(SkyViewPage::WindowList)->setCurrentIndex(SixtyMinuteWindow);
    rig.feed(3600LL * 1000 / NiPeriodMs);
    for (auto _ : state) {
        rig.page().refreshView();
        rig.page().skyPlot()->repaint();
        rig.page().signalChart()->repaint();
    }
    state.counters["samples_in_window"] = static_cast<double>(rig.page().history().size());
}
BENCHMARK(BM_SkyViewRefresh)->Unit(benchmark::kMicrosecond);

void BM_SignalHistoryDays(benchmark::State& state) {
    OfflineRig rig;
    const std::int64_t perDay = DayMs / NiPeriodMs;
    long before = 0;
    long afterFirst = 0;
    long afterSecond = 0;
    for (auto _ : state) {
        before = residentKiB();
        rig.feed(perDay);
        afterFirst = residentKiB();
        rig.feed(perDay);
        afterSecond = residentKiB();
    }
    state.counters["ring_bytes"] = static_cast<double>(rig.page().history().memoryBytes());
    state.counters["ring_samples"] = static_cast<double>(rig.page().history().size());
    state.counters["ring_hours_at_20_per_s"] =
        static_cast<double>(rig.page().history().capacity()) * NiPeriodMs / 3.6e6;
    state.counters["rss_day1_growth_KiB"] = static_cast<double>(afterFirst - before);
    state.counters["rss_day2_growth_KiB"] = static_cast<double>(afterSecond - afterFirst);
}
BENCHMARK(BM_SignalHistoryDays)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
