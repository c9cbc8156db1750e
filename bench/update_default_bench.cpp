// SPDX-License-Identifier: GPL-3.0-or-later
// A complete Update Default against the simulated unit paced at 19200 baud, with the real
// pauses of 100 ms: its wall time beside the floor that the pauses and the line impose
// (63 pauses, and every frame of the run in both directions at 1920 bytes a second). Run
// by the window, over the unit's pty and through a real ser2net in front of it (raw TCP
// and RFC 2217), and by kelvandor-cli write-default (which also asks the unit for its
// state first: those frames count in its floor too).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "cli/cli_port.h"
#include "cli/cli_unit.h"
#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "sim/simulator.h"
#include "support/ser2net_server.h"
#include "ui/prompter.h"
#include "update_floor.h"

using namespace kelvandor;

namespace {

constexpr double LineBytesPerSecond = bench::LineBytesPerSecond;
constexpr int Pauses = bench::UpdatePauses;
constexpr double PauseSeconds = bench::UpdatePauseSeconds;
constexpr int WaitMs = 15000;

// Answers every box with its first button, but pauses for real, as the program does.
class RealPauses : public ui::ScriptedPrompter {
  public:
    void pause(int ms) override {
        ScriptedPrompter::pause(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

using bench::frameLength;
using bench::lineCount;

// The bytes of the frames logged in one direction ("<- " from the controller, "-> " to
// it) from line `from` on.
long loggedBytes(const std::string& log, const std::string& direction, std::size_t from) {
    std::istringstream in(log);
    std::string line;
    long bytes = 0;
    std::size_t number = 0;
    while (std::getline(in, line)) {
        if (number++ < from || line.rfind(direction, 0) != 0 ||
            line.find("(dropped)") != std::string::npos) {
            continue;
        }
        bytes += frameLength(line.substr(direction.size()));
    }
    return bytes;
}

// How the controller reaches the unit.
enum class Route { Pty, Ser2netRaw, Ser2netRfc2217 };

void updateDefault(benchmark::State& state, Route route) {
    RealPauses prompter;
    ui::installPrompter(&prompter);
    QTemporaryDir ports;
    std::ostringstream log;
    sim::SimOptions options;
    options.periodicReports = false;
    options.log = &log;
    sim::Simulator unit(options);
    if (!unit.start()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    std::unique_ptr<testing::Ser2net> server;
    if (route == Route::Pty) {
        unit.linkAs(ports.path().toStdString(), 2);
    } else {
        server = std::make_unique<testing::Ser2net>(QString::fromStdString(unit.slavePath()));
        if (!server->start()) {
            state.SkipWithError("ser2net did not start (is it installed?)");
            return;
        }
        QFile entry(QDir(ports.path()).filePath(QStringLiteral("COM2")));
        entry.open(QIODevice::WriteOnly);
        entry.write(
            (route == Route::Ser2netRaw ? server->rawUrl() : server->rfc2217Url()).toUtf8());
    }
    MainDialog dialog(ComPortNaming::linksOnlyIn(ports.path().toStdString()));
    if (dialog.serialPort.isOpen == 0) {
        state.SkipWithError("the controller did not connect");
        return;
    }
    dialog.onSetup();
    dialog.onGetAntennaInfo();
    if (!QTest::qWaitFor(
            [&] {
                return !dialog.movePage.controlText(MovePage::SlotSkew[4]).isEmpty() &&
                       dialog.model().antennaState == 0;
            },
            WaitMs)) {
        state.SkipWithError("the session did not start");
        return;
    }
    prompter.files = {QStringLiteral(KELVANDOR_SAMPLE_RIF)};
    dialog.onLoadDefault();

    // The unit is idle now (no unasked reports): its log can be read.
    const std::size_t from = lineCount(log.str());
    double wall = 0.0;
    for (auto _ : state) {
        prompter.messages.clear();
        QElapsedTimer clock;
        clock.start();
        dialog.onUpdateDefault();
        wall = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        state.SetIterationTime(wall);
        if (prompter.messages.empty() ||
            prompter.messages.back().text !=
                QStringLiteral("Default update complete successfully.")) {
            state.SkipWithError("the run did not complete with every echo");
        }
    }
    // Once the unit has taken the last frames (KT, KO) and stopped, its log is complete.
    const bool complete = QTest::qWaitFor(
        [&unit] {
            const std::vector<std::string> lines = unit.receivedLines();
            return !lines.empty() && lines.back().rfind("KO ", 0) == 0;
        },
        WaitMs);
    unit.stop();
    if (!complete) {
        state.SkipWithError("the unit did not take the whole run");
    }
    const std::string text = log.str();
    const long bytes = loggedBytes(text, "<- ", from) + loggedBytes(text, "-> ", from);
    const double floor = Pauses * PauseSeconds + static_cast<double>(bytes) / LineBytesPerSecond;
    state.counters["wall_s"] = wall;
    state.counters["floor_s"] = floor;
    state.counters["ratio"] = floor > 0.0 ? wall / floor : 0.0;
    ui::installPrompter(nullptr);
}

void BM_UpdateDefaultPaced(benchmark::State& state) {
    updateDefault(state, Route::Pty);
}
BENCHMARK(BM_UpdateDefaultPaced)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

void BM_UpdateDefaultThroughSer2netRaw(benchmark::State& state) {
    updateDefault(state, Route::Ser2netRaw);
}
BENCHMARK(BM_UpdateDefaultThroughSer2netRaw)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

void BM_UpdateDefaultThroughSer2netRfc2217(benchmark::State& state) {
    updateDefault(state, Route::Ser2netRfc2217);
}
BENCHMARK(BM_UpdateDefaultThroughSer2netRfc2217)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

void BM_WriteDefaultCliPaced(benchmark::State& state) {
    std::ostringstream log;
    sim::SimOptions options;
    options.periodicReports = false;
    options.log = &log;
    sim::Simulator unit(options);
    if (!unit.start()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    const std::atomic<bool> stop{false};
    {
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        const cli::Args setup{"--port", unit.slavePath(), "OS", "--wait", "1000"};
        if (cli::runSend(setup, out, err, stop) != cli::ExitOk ||
            out.str().find("NA 0") == std::string::npos) {
            state.SkipWithError("the unit did not enter set-up mode");
            return;
        }
    }
    const std::size_t from = lineCount(log.str());
    double wall = 0.0;
    for (auto _ : state) {
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        const cli::Args args{KELVANDOR_SAMPLE_RIF, "--port", unit.slavePath(), "--yes"};
        QElapsedTimer clock;
        clock.start();
        const int status = cli::runWriteDefault(args, in, out, err, cli::Console{}, stop);
        wall = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        state.SetIterationTime(wall);
        if (status != cli::ExitOk) {
            state.SkipWithError("write-default did not complete with every echo");
        }
    }
    unit.stop();
    // The floor of the steps alone, as for the window; the wall time also holds the
    // question of the unit's state that write-default asks first.
    const double floor = bench::writeDefaultFloorSeconds(log.str(), from);
    state.counters["wall_s"] = wall;
    state.counters["floor_s"] = floor;
    state.counters["ratio"] = floor > 0.0 ? wall / floor : 0.0;
}
BENCHMARK(BM_WriteDefaultCliPaced)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

}  // namespace
