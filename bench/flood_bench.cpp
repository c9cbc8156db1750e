// SPDX-License-Identifier: GPL-3.0-or-later
// The main window while the simulated unit floods the line: kelvandor-sim, in a process of
// its own so that only the window's memory is measured, writes unpaced, streams its
// tracking pattern as fast as it lets anyone ask (a row every 10 ms), sends its unasked
// reports, and is asked Get Antenna Information every half second, so that whole answers
// pile up behind the rows: more than the window's receive tick takes in. For ten seconds
// the window runs its event loop as it would for a user; the benchmark reports the longest
// gap between two turns of that loop (and how much of it was the window's own work), what
// the process's memory (RSS) did, and how many frames the window took in.
//
// Not a test: nothing is asserted. The figures to look for are a longest gap under
// 100 ms and a resident size that does not grow.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <memory>
#include <string>

#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "support/event_loop_gaps.h"
#include "ui/prompter.h"

using namespace kelvandor;

namespace {

constexpr int FloodMs = 10000;
constexpr int WarmUpMs = 3000;
constexpr int AskEveryMs = 500;
constexpr int SampleEveryMs = 250;
constexpr int StartPatienceMs = 10000;

// The resident set size of this process in KiB, from /proc; 0 when it cannot be read.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Counts the frames and bytes the main window is handed, in front of its own handler.
class Counter : public ReplyListener {
  public:
    explicit Counter(ReplyListener& next) : next_(next) {}
    void onReply(CommandId id, const std::int32_t* params) override {
        ++frames;
        next_.onReply(id, params);
    }
    long long frames = 0;

  private:
    ReplyListener& next_;
};

void BM_FloodUnpaced(benchmark::State& state) {
    QTemporaryDir work;  // pattern.tab is written into the working directory
    QTemporaryDir ports;
    const QString home = QDir::currentPath();
    QDir::setCurrent(work.path());
    ui::ScriptedPrompter prompter;
    ui::installPrompter(&prompter);

    QProcess unit;
    unit.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    unit.start(QStringLiteral(KELVANDOR_SIM_PROGRAM),
               {QStringLiteral("--port-dir"), ports.path(), QStringLiteral("--flood"),
                QStringLiteral("--pattern-rows"), QStringLiteral("1000000"),
                QStringLiteral("--pattern-period"), QStringLiteral("10")});
    unit.waitForStarted(StartPatienceMs);
    QElapsedTimer starting;
    starting.start();
    while (unit.state() == QProcess::Running &&
           !QFileInfo(QDir(ports.path()).filePath(QStringLiteral("COM2"))).isSymLink() &&
           starting.elapsed() < StartPatienceMs) {
        unit.waitForFinished(20);
    }
    if (unit.state() != QProcess::Running) {
        state.SkipWithError("kelvandor-sim did not start");
        return;
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

    long rssStart = 0;
    long rssEnd = 0;
    long rssLow = 0;
    long rssHigh = 0;
    testing::EventLoopGaps::Gap longest;
    testing::EventLoopGaps::Gap longestOwn;
    long long turns = 0;
    for (auto _ : state) {
        testing::EventLoopGaps gaps(1);
        QTimer ask;
        ask.setInterval(AskEveryMs);
        QObject::connect(&ask, &QTimer::timeout, &d,
                         [&d] { d.button(main_id::GetAntennaInfo)->click(); });
        QTimer sample;
        sample.setInterval(SampleEveryMs);
        QObject::connect(&sample, &QTimer::timeout, &d, [&] {
            const long now = residentKiB();
            rssLow = std::min(rssLow, now);
            rssHigh = std::max(rssHigh, now);
        });
        // Three seconds of flood before the first memory sample: the window has then seen
        // every kind of frame and answer and built what it keeps (its resident size grows by
        // about half a megabyte in the first two seconds, then stays put for a minute).
        QElapsedTimer warm;
        warm.start();
        ask.start();
        while (warm.elapsed() < WarmUpMs) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        rssStart = rssLow = rssHigh = residentKiB();
        const long long framesBefore = counter.frames;
        gaps.start();
        sample.start();
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer::singleShot(FloodMs, &loop, &QEventLoop::quit);
        loop.exec();
        gaps.stop();
        ask.stop();
        sample.stop();
        rssEnd = residentKiB();
        longest = gaps.longestWall();
        longestOwn = gaps.longestOwn();
        turns = gaps.turns();
        state.counters["frames_per_s"] = static_cast<double>(counter.frames - framesBefore) *
                                         1000.0 / static_cast<double>(clock.elapsed());
    }
    state.counters["gap_max_ms"] = longest.wallMs;
    state.counters["gap_max_ran_ms"] = longest.cpuMs;
    state.counters["gap_max_waited_ms"] = longest.waitedMs;
    state.counters["own_gap_max_ms"] = longestOwn.ownMs();
    state.counters["loop_turns"] = static_cast<double>(turns);
    state.counters["rss_start_KiB"] = static_cast<double>(rssStart);
    state.counters["rss_end_KiB"] = static_cast<double>(rssEnd);
    state.counters["rss_min_KiB"] = static_cast<double>(rssLow);
    state.counters["rss_max_KiB"] = static_cast<double>(rssHigh);
    state.counters["rss_growth_pct"] =
        rssStart > 0
            ? 100.0 * static_cast<double>(rssEnd - rssStart) / static_cast<double>(rssStart)
            : 0.0;
    dialog.reset();
    unit.terminate();
    unit.waitForFinished(StartPatienceMs);
    ui::installPrompter(nullptr);
    QDir::setCurrent(home);
}
BENCHMARK(BM_FloodUnpaced)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
