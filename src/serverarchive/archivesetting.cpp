#include "serverarchive/archivesetting.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

QString archiveSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/trellmo/trellmo.conf");
}

QString archiveSetting(const QString& settingsFile) {
    const QSettings settings(settingsFile, QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("archive"));
    // QSettings reads an unquoted value with commas (a URL naming several hosts) as a list.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

ArchiveChoice chooseArchive(const QString& commandLineValue, const QString& settingsFile,
                            const QString& defaultSqliteFile) {
    ArchiveChoice choice;
    choice.source = commandLineValue.isEmpty() ? archiveSetting(settingsFile) : commandLineValue;
    if (choice.source.trimmed().isEmpty()) {
        choice.source.clear();
        choice.parsed.ok = true;
        choice.parsed.location = ArchiveLocation::sqliteFile(defaultSqliteFile);
        return choice;
    }
    choice.parsed = ArchiveLocation::parse(choice.source, QDir::currentPath());
    return choice;
}

bool hidePasswordInArguments(const ArchiveLocation& location, int argc, char** argv) {
    bool found = false;
    for (int i = 1; i < argc; ++i) {
        found = location.overwritePassword(argv[i]) || found;
    }
    return found;
}
