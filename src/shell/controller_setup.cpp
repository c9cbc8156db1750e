// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/controller_setup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <cstdio>

#include "kelvandor_version.h"
#include "link/link_driver.h"
#include "link/network_url.h"
#include "shell/data_folder.h"
#include "ui/prompter.h"

namespace kelvandor {

void ControllerSetup::apply(const ControllerOptions& options, const QStringList& sources) {
    // A log named relative to where the controller was started stays there, whatever
    // folder it then works in.
    const QString logPath =
        options.logPath.isEmpty() ? QString() : QFileInfo(options.logPath).absoluteFilePath();
    if (!options.port.isEmpty()) {
        // A relative device path, like the log, is taken from where the controller started.
        std::string port = options.port.toStdString();
        if (comPortNumber(port) == 0 && !isNetworkUrl(port)) {
            port = QFileInfo(options.port).absoluteFilePath().toStdString();
        }
        naming_ = ComPortNaming::fromEnvironment().withStartPort(port);
    }
    if (options.dataFolder) {
        const QString folder = userDataFolder();
        QString failure = prepareDataFolder(folder, sources);
        const bool moved = QFileInfo(folder).isDir() && QDir::setCurrent(folder);
        if (!moved && failure.isEmpty()) {
            failure = QStringLiteral("cannot work in %1").arg(folder);
        }
        if (!failure.isEmpty()) {
            tell(
                QStringLiteral("The data folder could not be prepared: %1.\n\nThe controller "
                               "works in %2.")
                    .arg(failure, QDir::currentPath()),
                QStringLiteral("data folder: %1; working in %2").arg(failure, QDir::currentPath()));
        }
    }
    if (!logPath.isEmpty()) {
        const QString path = logPath;
        // Said from the writer thread; shown from the window's thread.
        log_.setWriteFailureHandler([this, path](const std::string& reason) {
            const QString why = QString::fromLocal8Bit(reason.c_str());
            QMetaObject::invokeMethod(
                this,
                [path, why] {
                    tell(QStringLiteral("Writing the traffic log %1 failed: %2.\n\nFrames "
                                        "from now on are not logged.")
                             .arg(path, why),
                         QStringLiteral("writing the traffic log %1 failed: %2; frames from "
                                        "now on are not logged")
                             .arg(path, why));
                },
                Qt::QueuedConnection);
        });
        std::string reason;
        if (!log_.open(QFile::encodeName(path).toStdString(), reason)) {
            const QString why = QString::fromLocal8Bit(reason.c_str());
            tell(QStringLiteral("The traffic log %1 cannot be opened: %2.\n\nThe controller "
                                "runs without a traffic log.")
                     .arg(path, why),
                 QStringLiteral("cannot open the traffic log %1: %2; running without a log")
                     .arg(path, why));
        } else {
            log_.note("kelvandor-controller " KELVANDOR_VERSION " started in " +
                      QFile::encodeName(QDir::currentPath()).toStdString());
        }
    }
}

void ControllerSetup::attach(LinkDriver& link) {
    if (log_.isOpen()) {
        link.setObserver(&log_);
    }
}

void ControllerSetup::tell(const QString& text, const QString& line) {
    std::fprintf(stderr, "kelvandor-controller: %s\n", qPrintable(line));
    ui::prompter().message(text, ui::Buttons::Ok, ui::Icon::Warning);
}

}  // namespace kelvandor
