// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/data_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kelvandor {

namespace {

const QString FolderName = QStringLiteral("kelvandor");

// Copies `from` to `to` through a temporary file that is renamed only when complete, so
// a failed copy leaves no partial file that a later start would take for the user's own.
QString copyWhole(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        return QStringLiteral("cannot read %1: %2").arg(from, source.errorString());
    }
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly) || target.write(source.readAll()) < 0 ||
        !target.commit()) {
        return QStringLiteral("cannot write %1: %2").arg(to, target.errorString());
    }
    return {};
}

}  // namespace

// Not QStandardPaths: it takes a relative XDG_DATA_HOME as it stands, where the XDG rule
// is to ignore it, and it does not know the folder beside an installed program.
QString userDataFolder() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    const QString base = !xdg.isEmpty() && QDir::isAbsolutePath(xdg)
                             ? xdg
                             : QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QLatin1Char('/') + FolderName);
}

QStringList installedDataFolders(const QString& programDir) {
    QStringList folders;
    folders << QDir::cleanPath(programDir + QStringLiteral("/../share/") + FolderName);
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) {
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    }
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString folder = QDir::cleanPath(dir + QLatin1Char('/') + FolderName);
        if (QDir::isAbsolutePath(dir) && !folders.contains(folder)) {
            folders << folder;
        }
    }
    return folders;
}

QString prepareDataFolder(const QString& folder, const QStringList& sources) {
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        return QStringLiteral("cannot make the folder %1").arg(folder);
    }
    for (const QString& name : sampleFiles()) {
        const QString target = QDir(folder).filePath(name);
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            continue;  // the user's own, or a link the user made
        }
        for (const QString& source : sources) {
            const QString sample = QDir(source).filePath(name);
            if (QFileInfo(sample).isFile()) {
                const QString failure = copyWhole(sample, target);
                if (!failure.isEmpty()) {
                    return failure;
                }
                break;
            }
        }
    }
    return {};
}

}  // namespace kelvandor
