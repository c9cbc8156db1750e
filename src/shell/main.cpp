// SPDX-License-Identifier: GPL-3.0-or-later
// kelvandor-controller: the desktop controller of the antenna unit.
#include <QStringList>
#include <cstdio>

#include "shell/controller_app.h"
#include "shell/controller_command_line.h"
#include "shell/controller_setup.h"
#include "shell/data_folder.h"

namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList list;
    for (int k = 0; k < argc; ++k) {
        list << QString::fromLocal8Bit(argv[k]);
    }
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    using kelvandor::ControllerCommandLine;
    // --help and --version answer before the application object exists: they need no
    // display. Anything else is judged after Qt has taken its own options (-platform ...).
    const ControllerCommandLine early =
        kelvandor::parseControllerCommandLine(argumentList(argc, argv));
    if (early.outcome == ControllerCommandLine::Outcome::Help ||
        early.outcome == ControllerCommandLine::Outcome::Version) {
        std::fputs(qPrintable(early.text), stdout);
        return 0;
    }
    kelvandor::ControllerApp app(argc, argv);
    const ControllerCommandLine line = kelvandor::parseControllerCommandLine(app.arguments());
    if (line.outcome != ControllerCommandLine::Outcome::Run) {
        std::fprintf(stderr, "kelvandor-controller: %sTry 'kelvandor-controller --help'.\n",
                     qPrintable(line.text));
        return 1;
    }
    kelvandor::ControllerSetup setup;
    setup.apply(line.options,
                kelvandor::installedDataFolders(kelvandor::ControllerApp::applicationDirPath()));
    app.startUp(&setup);
    return 0;
}
