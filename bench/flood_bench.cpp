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
// says a Telnet word. Each open waits its full 3 s; the window must keep turning.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A loopback listener that never answers a connection request: its queue (of one) is
// filled by a connection of its own. Its accepted connections, were there any, would be
// silent: it never reads or writes.
struct SilentListener {
    explicit SilentListener(bool fillQueue) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(fd, fillQueue ? 0 : 1);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        if (fillQueue) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    ~SilentListener() {
        for (const int f : {filler, fd}) {
            if (f >= 0) {
                ::close(f);
            }
        }
    }
    int fd = -1;
    int filler = -1;
    int port = 0;
};

void connectToSilentPort(benchmark::State& state, bool rfc2217) {
    QTemporaryDir ports;
    ui::ScriptedPrompter prompter;
    ui::installPrompter(&prompter);
    SilentListener silent(!rfc2217);
    QFile entry(QDir(ports.path()).filePath(QStringLiteral("COM2")));
    entry.open(QIODevice::WriteOnly);
    entry.write(QStringLiteral("%1://127.0.0.1:%2\n")
                    .arg(rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp"))
                    .arg(silent.port)
                    .toUtf8());
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

}  // namespace
