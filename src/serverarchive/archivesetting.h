#pragma once

#include "serverarchive/archivelocation.h"

#include <QString>

// The archive a run uses: the command line's --archive, else "archive=" in
// ~/.config/trellmo/trellmo.conf ($XDG_CONFIG_HOME), else the SQLite file beside the day
// workbooks.
struct ArchiveChoice {
    // The text the location came from, empty for the default.
    QString source;
    ArchiveLocation::Parsed parsed;
};

// The settings file, where the user's configuration folder has it.
QString archiveSettingsFile();
// The archive setting of settingsFile, empty when there is none.
QString archiveSetting(const QString& settingsFile);
[[nodiscard]] ArchiveChoice chooseArchive(const QString& commandLineValue,
                                          const QString& settingsFile,
                                          const QString& defaultSqliteFile);

// Overwrites the password of location wherever it appears in argv, so that other users of this
// PC do not read it in the process list (/proc/PID/cmdline). Returns whether one was there.
bool hidePasswordInArguments(const ArchiveLocation& location, int argc, char** argv);
