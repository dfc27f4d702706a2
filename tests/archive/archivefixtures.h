#pragma once

#include "archive/archivetypes.h"

#include <QString>
#include <QStringList>

class RecordStore;

// Records and downloads as a simulated instrument would give them, and the archive read back
// through Python's own sqlite3 module.

ArchiveConfig sixChannelConfig();
// Record n of a test memory: its time a minute apart from 2025-03-07 08:00, readings from n.
ArchiveRecord testRecord(quint32 n, int channels = 6, quint32 seed = 0);
ArchiveBatch testBatch(const QString& memoryKey, quint32 first, quint32 last,
                       const ArchiveConfig& config = sixChannelConfig(), quint32 seed = 0);

// Rows 0 .. of the store hold records first .. last of the six-channel test instrument, with
// the texts the program shows, as a download leaves them for the day workbook.
void fillStore(RecordStore& store, quint32 first, quint32 last);

// Rows of `sql` run by /usr/bin/python3's sqlite3 on the file, fields joined by "|"; the first
// row holds the column names.
QStringList pythonSqlite(const QString& path, const QString& sql);
