#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct RecordSheet;

// Writes the records as CSV: UTF-8 without a byte order mark, one header row of the sheet's
// captions, then one line per record in file order; the time in ISO 8601 ("2024-03-05T14:07:09",
// the instrument's wall clock, no zone), gas names and units without their padding, readings as
// numbers. Fields are quoted only where RFC 4180 needs it; lines end in CR LF as it asks.
// The file is replaced whole or not at all. False, with the reason in `failure`, when it could
// not be written.
bool writeRecordCsv(const RecordSheet& sheet, const QString& path, QString& failure);

// One CSV line of the fields, UTF-8, quoted only where RFC 4180 needs it, ending in CR LF.
void appendCsvLine(QByteArray& out, const QStringList& fields);
