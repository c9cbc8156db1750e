// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/controller_command_line.h"

#include <QCommandLineParser>

#include "kelvandor_version.h"

namespace kelvandor {

namespace {

constexpr const char* ProgramName = "kelvandor-controller";

}  // namespace

ControllerCommandLine parseControllerCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The desktop controller of a stabilised satellite-TV antenna unit, connected over a "
        "serial line."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Append every frame sent and received, and every received chunk that "
                       "failed to decode, to <file>, each with the time and its direction."),
        QStringLiteral("file"));
    const QCommandLineOption dataFolder(
        QStringLiteral("data-folder"),
        QStringLiteral("Work in the per-user data folder ($XDG_DATA_HOME/kelvandor, else "
                       "~/.local/share/kelvandor), made on first use with the sample city "
                       "list; the menu entry starts the controller so."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Connect at start to <name> only: COMn, a device path, or a serial "
                       "server's tcp://HOST:PORT or rfc2217://HOST:PORT (a device path or URL "
                       "is shown as COM2)."),
        QStringLiteral("name"));
    parser.addOptions({help, version, log, dataFolder, port});

    ControllerCommandLine line;
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        // The usage line names the program as the user typed it; name it as installed.
        QString text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        const qsizetype end = text.indexOf(QStringLiteral(" [options]"));
        if (text.startsWith(usage) && end > 0) {
            text.replace(usage.size(), end - usage.size(), QString::fromLatin1(ProgramName));
        }
        line.outcome = ControllerCommandLine::Outcome::Help;
        line.text = text;
        return line;
    }
    if (parser.isSet(version)) {
        line.outcome = ControllerCommandLine::Outcome::Version;
        line.text = QStringLiteral("%1 %2\n").arg(QString::fromLatin1(ProgramName),
                                                  QStringLiteral(KELVANDOR_VERSION)) +
                    QString::fromUtf8(KELVANDOR_VERSION_NOTICE);
        return line;
    }
    if (!parsed) {
        line.outcome = ControllerCommandLine::Outcome::Error;
        line.text = parser.errorText() + QLatin1Char('\n');
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.outcome = ControllerCommandLine::Outcome::Error;
        line.text =
            QStringLiteral("Unexpected argument '%1'.\n").arg(parser.positionalArguments().first());
        return line;
    }
    line.options.logPath = parser.value(log);
    line.options.dataFolder = parser.isSet(dataFolder);
    line.options.port = parser.value(port);
    if (parser.isSet(log) && line.options.logPath.isEmpty()) {
        line.outcome = ControllerCommandLine::Outcome::Error;
        line.text = QStringLiteral("The option --log needs a file name.\n");
    } else if (parser.isSet(port) && line.options.port.isEmpty()) {
        line.outcome = ControllerCommandLine::Outcome::Error;
        line.text = QStringLiteral("The option --port needs a port name.\n");
    }
    return line;
}

}  // namespace kelvandor
