// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's command line, its per-user data folder, and what the setup does with
// them before the main window opens: the working folder and the traffic log.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "support/qt_test_main.h"
#include "link/link_driver.h"
#include "shell/controller_command_line.h"
#include "shell/controller_setup.h"
#include "shell/data_folder.h"
#include "ui/prompter.h"

using namespace kelvandor;
using Outcome = ControllerCommandLine::Outcome;

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

std::optional<QByteArray> saved(const char* name) {
    return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
}

void restore(const char* name, const std::optional<QByteArray>& value) {
    if (value) {
        qputenv(name, *value);
    } else {
        qunsetenv(name);
    }
}

}  // namespace

class ControllerSetupTest : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init();
    void cleanup();
    void commandLine_data();
    void commandLine();
    void dataFolderPaths();
    void prepareDataFolderNeverReplacesTheUsersFiles();
    void setupWorksInTheDataFolderAndLogsTheLink();
    void aLogThatCannotBeOpenedIsSaidOnceAndTheRunGoesOn();
    void aDataFolderThatCannotBeMadeIsSaidAndTheShellsFolderKept();
    void aFailedLogWriteIsSaidOnce();

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString savedCwd_;
    std::optional<QByteArray> savedDataHome_;
    std::optional<QByteArray> savedDataDirs_;
    ui::ScriptedPrompter prompter_;
};

void ControllerSetupTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    savedCwd_ = QDir::currentPath();
    savedDataHome_ = saved("XDG_DATA_HOME");
    savedDataDirs_ = saved("XDG_DATA_DIRS");
    prompter_ = ui::ScriptedPrompter{};
    ui::installPrompter(&prompter_);
}

void ControllerSetupTest::cleanup() {
    ui::installPrompter(nullptr);
    QDir::setCurrent(savedCwd_);
    restore("XDG_DATA_HOME", savedDataHome_);
    restore("XDG_DATA_DIRS", savedDataDirs_);
    dir_.reset();
}

void ControllerSetupTest::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("logPath");
    QTest::addColumn<bool>("dataFolder");
    QTest::addColumn<QString>("textHas");
    const auto row = [](const char* name, QStringList args, Outcome outcome, QString log,
                        bool folder, QString text) {
        args.prepend(QStringLiteral("/some/where/kelvandor-controller"));
        QTest::newRow(name) << args << int(outcome) << log << folder << text;
    };
    row("nothing", {}, Outcome::Run, {}, false, {});
    row("log and data folder", {"--data-folder", "--log", "t.log"}, Outcome::Run, "t.log", true,
        {});
    row("log with =", {"--log=/tmp/x y.log"}, Outcome::Run, "/tmp/x y.log", false, {});
    row("help", {"--help"}, Outcome::Help, {}, false, "Usage: kelvandor-controller [options]");
    row("help lists the log", {"-h"}, Outcome::Help, {}, false, "--log <file>");
    row("help lists the data folder", {"-h"}, Outcome::Help, {}, false, "--data-folder");
    row("help wins over a wrong option", {"--bogus", "--help"}, Outcome::Help, {}, false,
        "--version");
    row("version", {"--version"}, Outcome::Version, {}, false, "kelvandor-controller 3.");
    row("short version", {"-v"}, Outcome::Version, {}, false, "kelvandor-controller 3.");
    row("unknown option", {"--bogus"}, Outcome::Error, {}, false, "bogus");
    row("log without a file", {"--log"}, Outcome::Error, {}, false, "--log");
    row("log with an empty file", {"--log="}, Outcome::Error, {}, false, "--log");
    row("help lists the port", {"-h"}, Outcome::Help, {}, false, "--port <name>");
    row("port with an empty name", {"--port="}, Outcome::Error, {}, false, "--port");
    row("extra argument", {"file.rif"}, Outcome::Error, {}, false, "file.rif");
}

void ControllerSetupTest::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(QString, logPath);
    QFETCH(bool, dataFolder);
    QFETCH(QString, textHas);
    const ControllerCommandLine line = parseControllerCommandLine(arguments);
    QCOMPARE(int(line.outcome), outcome);
    QCOMPARE(line.options.logPath, logPath);
    QCOMPARE(line.options.dataFolder, dataFolder);
    QVERIFY2(line.text.contains(textHas), qPrintable(line.text));
    QVERIFY(line.text.isEmpty() || line.text.endsWith(QLatin1Char('\n')));
}

void ControllerSetupTest::dataFolderPaths() {
    qputenv("XDG_DATA_HOME", "/data/home");
    QCOMPARE(userDataFolder(), QStringLiteral("/data/home/kelvandor"));
    qputenv("XDG_DATA_HOME", "relative/path");  // not absolute: ignored
    QCOMPARE(userDataFolder(), QDir::homePath() + QStringLiteral("/.local/share/kelvandor"));
    qunsetenv("XDG_DATA_HOME");
    QCOMPARE(userDataFolder(), QDir::homePath() + QStringLiteral("/.local/share/kelvandor"));

    qputenv("XDG_DATA_DIRS", "/opt/share:/usr/share/::relative:/opt/share");
    QCOMPARE(
        installedDataFolders(QStringLiteral("/opt/kv/bin")),
        (QStringList{"/opt/kv/share/kelvandor", "/opt/share/kelvandor", "/usr/share/kelvandor"}));
    qunsetenv("XDG_DATA_DIRS");
    QCOMPARE(installedDataFolders(QStringLiteral("/usr/bin")),
             (QStringList{"/usr/share/kelvandor", "/usr/local/share/kelvandor"}));
}

void ControllerSetupTest::prepareDataFolderNeverReplacesTheUsersFiles() {
    const QDir dir(dir_->path());
    QVERIFY(dir.mkpath(QStringLiteral("first")) && dir.mkpath(QStringLiteral("second")));
    const QString first = dir.filePath(QStringLiteral("first"));
    const QString second = dir.filePath(QStringLiteral("second"));
    writeFile(second + QStringLiteral("/city_E.gps"), "sample\n");
    writeFile(first + QStringLiteral("/sample_default.rif"), "set\n");
    // Each sample comes from the first source that has it.
    const QStringList sources{first, second};

    // A new folder, with its parents, gets the samples.
    const QString fresh = dir.filePath(QStringLiteral("a/b/kelvandor"));
    QCOMPARE(prepareDataFolder(fresh, sources), QString());
    QCOMPARE(readFile(fresh + QStringLiteral("/city_E.gps")), QByteArray("sample\n"));
    QCOMPARE(readFile(fresh + QStringLiteral("/sample_default.rif")), QByteArray("set\n"));
    QVERIFY(QFileInfo(fresh + QStringLiteral("/city_E.gps")).isWritable());

    // The user's own list, and a link the user made (even a dangling one), stay.
    writeFile(fresh + QStringLiteral("/city_E.gps"), "mine\n");
    QCOMPARE(prepareDataFolder(fresh, sources), QString());
    QCOMPARE(readFile(fresh + QStringLiteral("/city_E.gps")), QByteArray("mine\n"));
    const QString linked = dir.filePath(QStringLiteral("linked"));
    QVERIFY(QDir().mkpath(linked));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere.gps")),
                        linked + QStringLiteral("/city_E.gps")));
    QCOMPARE(prepareDataFolder(linked, sources), QString());
    QVERIFY(QFileInfo(linked + QStringLiteral("/city_E.gps")).isSymLink());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("elsewhere.gps"))));

    // No installed sample: the folder is made all the same.
    const QString bare = dir.filePath(QStringLiteral("bare"));
    QCOMPARE(prepareDataFolder(bare, {dir.filePath(QStringLiteral("nothing"))}), QString());
    QVERIFY(QFileInfo(bare).isDir());
    QVERIFY(!QFileInfo::exists(bare + QStringLiteral("/city_E.gps")));

    // A folder that cannot be made says why.
    writeFile(dir.filePath(QStringLiteral("plain")), "a file\n");
    const QString blocked = dir.filePath(QStringLiteral("plain/kelvandor"));
    QVERIFY(prepareDataFolder(blocked, sources).contains(blocked));
}

void ControllerSetupTest::setupWorksInTheDataFolderAndLogsTheLink() {
    const QDir dir(dir_->path());
    QVERIFY(dir.mkpath(QStringLiteral("share")));
    writeFile(dir.filePath(QStringLiteral("share/city_E.gps")), "sample\n");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    // Named from the folder the controller starts in, not from its data folder.
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString log = dir.filePath(QStringLiteral("traffic.log"));
    {
        ControllerSetup setup;
        ControllerOptions options;
        options.dataFolder = true;
        options.logPath = QStringLiteral("traffic.log");
        setup.apply(options, {dir.filePath(QStringLiteral("share"))});
        QVERIFY(prompter_.messages.empty());
        const QString folder = dir.filePath(QStringLiteral("data/kelvandor"));
        QCOMPARE(QDir::currentPath(), folder);
        QCOMPARE(readFile(folder + QStringLiteral("/city_E.gps")), QByteArray("sample\n"));

        LinkDriver link;
        setup.attach(link);
        link.sendCommand(cmd::QS, nullptr);  // no port: logged as not written
        setup.trafficLog().flush();
        link.setObserver(nullptr);
    }
    const QList<QByteArray> lines = readFile(log).split('\n');
    QCOMPARE(lines.size(), 3);  // two lines and the empty rest after the last line end
    QVERIFY2(lines[0].contains(" -- kelvandor-controller 3.") &&
                 lines[0].endsWith(QFile::encodeName(QDir::currentPath())),
             lines[0].constData());
    QVERIFY2(lines[1].endsWith(" -> QS (not written)"), lines[1].constData());
}

void ControllerSetupTest::aLogThatCannotBeOpenedIsSaidOnceAndTheRunGoesOn() {
    const QString cwd = QDir::currentPath();
    const QString log = dir_->filePath(QStringLiteral("missing/traffic.log"));
    ControllerSetup setup;
    ControllerOptions options;
    options.logPath = log;
    setup.apply(options, {});
    QCOMPARE(QDir::currentPath(), cwd);  // no --data-folder: the working folder stays
    QCOMPARE(prompter_.messages.size(), std::size_t{1});
    QVERIFY2(prompter_.messages[0].text.contains(log) &&
                 prompter_.messages[0].text.contains(QStringLiteral("without a traffic log")),
             qPrintable(prompter_.messages[0].text));
    QVERIFY(!setup.trafficLog().isOpen());
    LinkDriver link;
    setup.attach(link);
    link.sendCommand(cmd::QS, nullptr);
    QCOMPARE(prompter_.messages.size(), std::size_t{1});
    QVERIFY(!QFileInfo::exists(log));
}

void ControllerSetupTest::aDataFolderThatCannotBeMadeIsSaidAndTheShellsFolderKept() {
    const QString cwd = QDir::currentPath();
    writeFile(dir_->filePath(QStringLiteral("plain")), "a file\n");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir_->filePath(QStringLiteral("plain"))));
    ControllerSetup setup;
    ControllerOptions options;
    options.dataFolder = true;
    setup.apply(options, {});
    QCOMPARE(QDir::currentPath(), cwd);
    QCOMPARE(prompter_.messages.size(), std::size_t{1});
    QVERIFY2(prompter_.messages[0].text.contains(QStringLiteral("plain/kelvandor")) &&
                 prompter_.messages[0].text.contains(cwd),
             qPrintable(prompter_.messages[0].text));
}

// A write that fails later, on the writer thread, is said once, from the window's thread.
void ControllerSetupTest::aFailedLogWriteIsSaidOnce() {
    if (!QFileInfo::exists(QStringLiteral("/dev/full"))) {
        QSKIP("no /dev/full");
    }
    ControllerSetup setup;
    ControllerOptions options;
    options.logPath = QStringLiteral("/dev/full");
    setup.apply(options, {});
    QVERIFY(setup.trafficLog().isOpen());
    LinkDriver link;
    setup.attach(link);
    for (int k = 0; k < 3; ++k) {
        link.sendCommand(cmd::QS, nullptr);
        setup.trafficLog().flush();
    }
    QTRY_COMPARE(prompter_.messages.size(), std::size_t{1});
    QVERIFY2(prompter_.messages[0].text.contains(QStringLiteral("/dev/full")) &&
                 prompter_.messages[0].text.contains(QStringLiteral("not logged")),
             qPrintable(prompter_.messages[0].text));
    link.sendCommand(cmd::QS, nullptr);
    setup.trafficLog().flush();
    QCoreApplication::processEvents();
    QCOMPARE(prompter_.messages.size(), std::size_t{1});
    link.setObserver(nullptr);
}

KELVANDOR_QTEST(ControllerSetupTest, "controller_setup_test")
#include "controller_setup_test.moc"
