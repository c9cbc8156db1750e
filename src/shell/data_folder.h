// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user data folder: where the controller works when started from the desktop
// menu, so that the files it reads and writes by name (the city list, "pattern.tab") are
// the user's own and never land in an installed folder or at random in the home folder.
#pragma once

#include <QString>
#include <QStringList>

namespace kelvandor {

// $XDG_DATA_HOME/kelvandor when XDG_DATA_HOME is set to an absolute path, else
// ~/.local/share/kelvandor.
QString userDataFolder();

// The folders that may hold the installed sample files, most specific first:
// share/kelvandor beside the folder of the program (`programDir`/../share/kelvandor),
// then kelvandor in each folder of $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
QStringList installedDataFolders(const QString& programDir);

// The sample files a new data folder is given: the city list, and the default set that
// "Load Default" then finds there.
inline const QStringList& sampleFiles() {
    static const QStringList files{QStringLiteral("city_E.gps"),
                                   QStringLiteral("sample_default.rif")};
    return files;
}

// Makes `folder` with its parents when missing and copies in each sample file it lacks
// from the first of `sources` that has it; a file the folder already holds is never
// replaced. A copy is writable by its owner. Returns an empty text on success, else the
// reason: the folder could not be made, or a sample file could not be copied.
QString prepareDataFolder(const QString& folder, const QStringList& sources);

}  // namespace kelvandor
