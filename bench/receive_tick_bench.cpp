// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of one receive tick of the main window that reads one frame from the port and
// dispatches it to all eight listeners (each with its readControls / writeControls), with
// the serial page shown or the sky view, and the cost of building and showing the main
// window. Offscreen, against a pty, and the receive tick also over a loopback TCP port
// (tcp://, the raw mode of a serial server).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
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

// The antenna's side of COM2: a pty, or the server side of a loopback TCP connection that
// COM2 (a file holding the URL) leads to.
struct Rig {
    explicit Rig(bool overTcp = false) : overTcp_(overTcp) {
        naming = ComPortNaming::linksOnlyIn(ports.path().toStdString());
        ui::installPrompter(&prompter);
        if (!overTcp) {
            char name[256] = {};
            openpty(&master, &slave, name, nullptr, nullptr);
            QFile::link(QString::fromLatin1(name), ports.filePath(QStringLiteral("COM2")));
            return;
        }
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        QFile entry(ports.filePath(QStringLiteral("COM2")));
        entry.open(QIODevice::WriteOnly);
        entry.write(QStringLiteral("tcp://127.0.0.1:%1\n").arg(ntohs(address.sin_port)).toUtf8());
    }
    ~Rig() {
        ui::installPrompter(nullptr);
        for (const int fd : {master, slave, listener}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    // For TCP: takes the connection the window made at start as the antenna's side.
    bool accepted() {
        if (overTcp_ && master < 0) {
            master = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        }
        return master >= 0;
    }
    QTemporaryDir ports;
    ComPortNaming naming;
    ui::ScriptedPrompter prompter;
    int master = -1;
    int slave = -1;
    int listener = -1;

  private:
    bool overTcp_ = false;
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
                 int shownRow = -1, bool overTcp = false) {
    Rig rig(overTcp);
    MainDialog dialog(rig.naming);
    if (!rig.accepted() || dialog.serialPort.isOpen == 0) {
        state.SkipWithError("the window did not connect");
        return;
    }
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

void BM_ReceiveTickStatusOverTcp(benchmark::State& state) {
    receiveTick(state, cmd::Ni, {2, 312, 1, 16860, 2825, 825}, -1, true);
}
BENCHMARK(BM_ReceiveTickStatusOverTcp)->Unit(benchmark::kMicrosecond);

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
