// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of one receive tick of the main window that reads one frame from the port and
// dispatches it to all eight listeners (each with its readControls / writeControls), with
// the serial page shown or the sky view, and the cost of building and showing the main
// window. Offscreen, against a pty.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "ui/prompter.h"

using namespace kelvandor;

namespace {

std::string frameOf(CommandId id, std::initializer_list<std::int32_t> params) {
    std::int32_t values[MaxParams] = {};
    std::copy(params.begin(), params.end(), values);
    char frame[FrameAreaSize];
    return std::string(frame, static_cast<std::size_t>(encodeFrame(frame, id, values)));
}

struct Rig {
    Rig() {
        char name[256] = {};
        openpty(&master, &slave, name, nullptr, nullptr);
        QFile::link(QString::fromLatin1(name), ports.filePath(QStringLiteral("COM2")));
        naming = ComPortNaming::linksOnlyIn(ports.path().toStdString());
        ui::installPrompter(&prompter);
    }
    ~Rig() {
        ui::installPrompter(nullptr);
        close(master);
        close(slave);
    }
    QTemporaryDir ports;
    ComPortNaming naming;
    ui::ScriptedPrompter prompter;
    int master = -1;
    int slave = -1;
};

// Writes `frame` to the antenna's side and waits until the controller's side can read it.
void arrive(const Rig& rig, const MainDialog& dialog, const std::string& frame) {
    if (write(rig.master, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
        return;
    }
    pollfd entry{dialog.serialPort.handle, POLLIN, 0};
    poll(&entry, 1, 100);
}

constexpr int SkyViewRow = 7;

void receiveTick(benchmark::State& state, CommandId id, std::initializer_list<std::int32_t> p,
                 int shownRow = -1) {
    Rig rig;
    MainDialog dialog(rig.naming);
    dialog.show();
    if (shownRow >= 0) {
        dialog.listBox(main_id::PageList)->setCurrentRow(shownRow);
    }
    dialog.link().stopReceiveTimer();  // ticks are driven by the benchmark alone
    const std::string frame = frameOf(id, p);
    for (auto _ : state) {
        state.PauseTiming();
        arrive(rig, dialog, frame);
        state.ResumeTiming();
        dialog.link().onReceiveTick();
    }
    if (receiveBufferHeld() != 0) {
        state.SkipWithError("a frame was left undispatched");
    }
}

void BM_ReceiveTickStatus(benchmark::State& state) {
    receiveTick(state, cmd::Ni, {2, 312, 1, 16860, 2825, 825});
}
BENCHMARK(BM_ReceiveTickStatus)->Unit(benchmark::kMicrosecond);

// The same Ni with the sky view and signal history page shown: it keeps the sample and
// the pointing fix; its repaint runs on its own timer, not in the tick.
void BM_ReceiveTickStatusSkyViewShown(benchmark::State& state) {
    receiveTick(state, cmd::Ni, {2, 312, 1, 16860, 2825, 825}, SkyViewRow);
}
BENCHMARK(BM_ReceiveTickStatusSkyViewShown)->Unit(benchmark::kMicrosecond);

void BM_ReceiveTickSatelliteRecord(benchmark::State& state) {
    receiveTick(state, cmd::NI, {3, 1920, 0, 1, 2, 3, 4, 827741252, 12592});
}
BENCHMARK(BM_ReceiveTickSatelliteRecord)->Unit(benchmark::kMicrosecond);

void BM_ReceiveTickProductName(benchmark::State& state) {
    receiveTick(state, cmd::Nn, {1447839051, 1329876545, 911482962, 1163022368, 1297434957});
}
BENCHMARK(BM_ReceiveTickProductName)->Unit(benchmark::kMicrosecond);

// Building the main window with its eight pages and showing it until it is painted.
void BM_MainWindowFirstShow(benchmark::State& state) {
    Rig rig;
    for (auto _ : state) {
        MainDialog dialog(rig.naming);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog)) {
            state.SkipWithError("not shown");
        }
        dialog.repaint();
        state.PauseTiming();
        dialog.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MainWindowFirstShow)->Unit(benchmark::kMillisecond);

}  // namespace
