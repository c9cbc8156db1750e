// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of kelvandor-controller, parsed with QCommandLineParser. It can be
// parsed before the application object exists, so --help and --version answer without a
// display.
#pragma once

#include <QString>
#include <QStringList>

namespace kelvandor {

struct ControllerOptions {
    QString logPath;          // --log FILE: the traffic log; empty for none
    bool dataFolder = false;  // --data-folder: work in the per-user data folder
    QString port;             // --port NAME: COMn, a device path or a URL; empty for none
};

struct ControllerCommandLine {
    enum class Outcome { Run, Help, Version, Error };
    Outcome outcome = Outcome::Run;
    ControllerOptions options;
    // Help: the help text; Version: "kelvandor-controller VERSION"; Error: one line that
    // says what is wrong. Each ends in a line end.
    QString text;
};

// Parses `arguments` (the program name first). Help and version win over everything else
// on the line; an unknown option, a missing value or an extra argument is an error.
ControllerCommandLine parseControllerCommandLine(const QStringList& arguments);

}  // namespace kelvandor
