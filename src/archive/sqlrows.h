#pragma once

#include "archive/archivetypes.h"

#include <QSqlQuery>
#include <QVariant>

// Moving records between their typed form and the columns of the records table.

// "2025-03-07T14:07:09" in local time: how the archive writes when a download happened.
QString isoDateTime(const QDateTime& time);

// memory_id, record_number, download_id, taken_at, reading1 .. reading6; a reading the
// instrument did not send is NULL.
void appendRecordValues(QVariantList& values, qint64 memoryId, qint64 downloadId,
                        const ArchiveRecord& record);

// The ISO text of a taken_at column, whichever type the database gave it.
QString takenAtText(const QVariant& value);
// The time bytes back from "2025-03-07T14:07:09"; false when the text is no such time.
bool timeBytesOf(const QString& iso, std::array<quint8, 6>& time);

// record_number, taken_at, reading1 .. reading6 starting at column `first` of the query's row.
ArchiveRecord recordOfRow(const QSqlQuery& query, int first);
