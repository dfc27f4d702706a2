#pragma once

#include "archive/archivetypes.h"

#include <QSqlQuery>
#include <QVariant>

// Moving records between their typed form and the columns of the records table.

// "2025-03-07T14:07:09" in local time: how the archive writes when a download happened.
QString isoDateTime(const QDateTime& time);

// The columns of a record as recordOfRow reads them. clock_text holds the instrument's time as
// sent when it is no calendar time: taken_at is NULL then on a server, whose timestamp column
// cannot hold it (a file keeps the text in taken_at too).
extern const QString kRecordColumns;

// The ISO text of a taken_at column, whichever type the database gave it.
QString takenAtText(const QVariant& value);
// The time bytes back from "2025-03-07T14:07:09"; false when the text is no such time.
bool timeBytesOf(const QString& iso, std::array<quint8, 6>& time);

// The time of a record row: clock_text at column `clock` when set, else taken_at at `takenAt`.
QString recordTimeText(const QSqlQuery& query, int takenAt, int clock);
// kRecordColumns starting at column `first` of the query's row.
ArchiveRecord recordOfRow(const QSqlQuery& query, int first);
