#pragma once

#include "archive/archivetypes.h"
#include "archive/sqldialect.h"

#include <QSqlDatabase>
#include <vector>

// Inserts records into the records table inside the caller's transaction, skipping those the
// table holds already (same memory and record number); `added` counts the new ones.
//
// The one statement is the same for every database; how it is sent is not. Through Qt SQL
// each bound value costs more than SQLite takes to store a whole record, so for SQLite the
// prepared statement runs on the connection's own handle; a server gets one INSERT of column
// arrays per 1000 records.
[[nodiscard]] bool insertRecordRows(QSqlDatabase& db, const SqlDialect& dialect, qint64 memoryId,
                                    qint64 downloadId, const std::vector<ArchiveRecord>& records,
                                    int& added, QString& error);
