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
//
// The same gap measure over network ports that fail slowly: a click on Connect for a
// tcp:// port whose host never answers, and for an rfc2217:// port whose server never
// says a Telnet word. Each open takes its full 3 s; the window must keep turning. And a
// lost tcp:// port retried once a second while its host never answers: how long a click
// waits before the window takes it (input_delay_probe.h), the longest and the 99th
// percentile. The figure to look for is under 100 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <memory>
#include <string>

#include "process_figures.h"
#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "support/event_loop_gaps.h"
#include "support/input_delay_probe.h"
#include "support/loopback_listener.h"
#include "ui/prompter.h"

using namespace kelvandor;

namespace {

constexpr int FloodMs = 10000;
constexpr int WarmUpMs = 3000;
constexpr int AskEveryMs = 500;
constexpr int SampleEveryMs = 250;
constexpr int StartPatienceMs = 10000;

using kelvandor::bench::residentKiB;

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

void connectToSilentPort(benchmark::State& state, bool rfc2217) {
    QTemporaryDir ports;
    ui::ScriptedPrompter prompter;
    ui::installPrompter(&prompter);
    // A host that never answers, or a server that takes the connection and says nothing.
    testing::LoopbackListener silent(rfc2217 ? testing::LoopbackListener::Answers
                                             : testing::LoopbackListener::NeverAnswers);
    QFile entry(QDir(ports.path()).filePath(QStringLiteral("COM2")));
    entry.open(QIODevice::WriteOnly);
    entry.write(QByteArray::fromStdString(silent.url(rfc2217 ? "rfc2217" : "tcp") + "\n"));
    entry.close();
    // Nothing is in the folder while the window starts, so it starts unconnected.
    QFile::rename(entry.fileName(), entry.fileName() + QStringLiteral(".later"));
    MainDialog dialog(ComPortNaming::linksOnlyIn(ports.path().toStdString()));
    QFile::rename(entry.fileName() + QStringLiteral(".later"), entry.fileName());
    dialog.show();
    testing::EventLoopGaps gaps;
    double openMs = 0;
    for (auto _ : state) {
        prompter.messages.clear();
        gaps.start();
        QElapsedTimer clock;
        clock.start();
        dialog.serialPage.button(SerialPage::ConnectButton)->click();
        while (prompter.messages.empty() && clock.elapsed() < StartPatienceMs) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        openMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        gaps.stop();
        if (dialog.serialPort.isOpen != 0 || prompter.messages.size() != 1) {
            state.SkipWithError("the port opened, or its failure was not said");
        }
    }
    state.counters["open_ms"] = openMs;
    state.counters["gap_max_ms"] = gaps.longestWall().wallMs;
    state.counters["own_gap_max_ms"] = gaps.longestOwn().ownMs();
    state.counters["loop_turns"] = static_cast<double>(gaps.turns());
    ui::installPrompter(nullptr);
}

void BM_ConnectToHostThatNeverAnswers(benchmark::State& state) {
    connectToSilentPort(state, false);
}
BENCHMARK(BM_ConnectToHostThatNeverAnswers)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ConnectToServerThatIsNotTelnet(benchmark::State& state) {
    connectToSilentPort(state, true);
}
BENCHMARK(BM_ConnectToServerThatIsNotTelnet)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Retries of a lost tcp:// port whose host has gone: the window was connected, the server
// left, and the port's entry now leads to a host that never answers.
void BM_RetriesOfAPortWhoseHostNeverAnswers(benchmark::State& state) {
    constexpr int RetryingMs = 8000;  // two tries of 3 s and the second after each
    QTemporaryDir ports;
    ui::ScriptedPrompter prompter;
    ui::installPrompter(&prompter);
    testing::LoopbackListener server;
    testing::LoopbackListener goneHost(testing::LoopbackListener::NeverAnswers);
    const auto leadCom2To = [&](const std::string& url) {
        QFile entry(QDir(ports.path()).filePath(QStringLiteral("COM2")));
        entry.open(QIODevice::WriteOnly | QIODevice::Truncate);
        entry.write(QByteArray::fromStdString(url + "\n"));
    };
    leadCom2To(server.url("tcp"));
    MainDialog dialog(ComPortNaming::linksOnlyIn(ports.path().toStdString()));
    dialog.show();
    if (dialog.serialPort.isOpen == 0) {
        state.SkipWithError("the controller did not connect");
        return;
    }
    leadCom2To(goneHost.url("tcp"));
    server.dropConnection();
    QElapsedTimer clock;
    clock.start();
    while (!dialog.serialPage.isReconnecting() && clock.elapsed() < StartPatienceMs) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    testing::InputDelayProbe clicks(dialog.serialPort);
    testing::EventLoopGaps gaps;
    for (auto _ : state) {
        clicks.start();
        gaps.start();
        QEventLoop loop;
        QTimer::singleShot(RetryingMs, &loop, &QEventLoop::quit);
        loop.exec();
        gaps.stop();
        clicks.stop();
        if (dialog.serialPort.isOpen != 0 || !prompter.messages.empty()) {
            state.SkipWithError("the port opened, or a retry said something");
        }
    }
    state.counters["clicks"] = static_cast<double>(clicks.clicks());
    state.counters["click_delay_max_ms"] = clicks.maxMs();
    state.counters["click_delay_p99_ms"] = clicks.percentileMs(0.99);
    state.counters["gap_max_ms"] = gaps.longestWall().wallMs;
    state.counters["own_gap_max_ms"] = gaps.longestOwn().ownMs();
    ui::installPrompter(nullptr);
}
BENCHMARK(BM_RetriesOfAPortWhoseHostNeverAnswers)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
