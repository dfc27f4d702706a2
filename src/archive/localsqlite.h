#pragma once

#include <QString>
#include <QStringList>

// Opens (creating it and its folder when missing) an SQLite file of this PC's own under
// connectionName and runs the statements that make its tables. Empty on success, otherwise
// why. Used for the files that keep batches on their way to the archive.
QString openLocalSqlite(const QString& connectionName, const QString& path,
                        const QStringList& schema);

// Closes and forgets the connection, if it was made.
void closeLocalSqlite(const QString& connectionName);
