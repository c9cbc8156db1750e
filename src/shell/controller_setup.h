// SPDX-License-Identifier: GPL-3.0-or-later
// Applies the controller's command line before the main window opens: the working folder
// (--data-folder), the traffic log (--log) and the start port (--port). Whatever fails is said
// once, through the prompter and on standard error, and the controller runs on without it.
#pragma once

#include <QObject>
#include <QString>

#include "link/com_port_name.h"
#include "link/traffic_log.h"
#include "shell/controller_command_line.h"

namespace kelvandor {

class LinkDriver;

class ControllerSetup : public QObject {
    Q_OBJECT
  public:
    ControllerSetup() = default;

    // With options.dataFolder: prepares userDataFolder() from `sources` (see
    // prepareDataFolder) and makes it the working directory; without, the working
    // directory stays as it is. With options.logPath: opens the traffic log there, a
    // relative path taken from the working directory the controller was started in.
    void apply(const ControllerOptions& options, const QStringList& sources);

    // Makes the traffic log, when open, the observer of `link`. The log must then outlive
    // the link (declare the setup before the main window).
    void attach(LinkDriver& link);

    TrafficLog& trafficLog() { return log_; }
    // The port names the main window uses: the environment's, with the --port choice.
    const ComPortNaming& naming() const { return naming_; }

  private:
    // Shows `text` in a warning box and writes `line` to standard error.
    static void tell(const QString& text, const QString& line);

    TrafficLog log_;
    ComPortNaming naming_ = ComPortNaming::fromEnvironment();
};

}  // namespace kelvandor
