// SPDX-License-Identifier: GPL-3.0-or-later
// The main of the benchmarks that build windows: a QApplication (offscreen unless
// QT_QPA_PLATFORM says otherwise) around Google Benchmark's run.
#include <benchmark/benchmark.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
