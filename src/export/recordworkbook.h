#pragma once

#include "model/recordlayout.h"

#include <QDate>
#include <QString>
#include <QStringList>

class RecordStore;

// Where downloaded records go and how a record becomes a workbook row.

// ~/TRELLMO_RECORD_DATA: the one folder of the day workbooks (no trailing separator).
QString recordFolder();

// "C4-YY-MM-DD.xls" or "C6-YY-MM-DD.xls" for the given local date.
QString recordWorkbookName(ChannelLayout layout, const QDate& date);

// The workbook that takes the records once `workbookPath`'s sheet is full: "name (2).xls",
// "name (3).xls" and so on beside it (n from 2), as desktops name copies.
QString continuationWorkbookPath(const QString& workbookPath, int n);

// The newest workbook of the chain that starts at `workbookPath`: the existing continuation
// with the highest number, otherwise `workbookPath` itself. Sets `n` to its number (1 for the
// first workbook).
QString newestWorkbookOfChain(const QString& workbookPath, int& n);

// "Storage": the sheet holding the records.
QString recordSheetName();

// "Time", then "CHn Gas", "CHn Conc", "CHn Unit" per channel: 13 captions for four
// channels, 19 for six.
QStringList recordCaptions(ChannelLayout layout);

// One workbook row of the store, in caption order. Four channels never take the texts of
// channels 5 and 6, even when the store still holds them from an earlier download.
QStringList recordRowCells(ChannelLayout layout, const RecordStore& store, quint32 row);
