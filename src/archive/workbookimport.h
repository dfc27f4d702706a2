#pragma once

#include "archive/archivestore.h"

#include <QString>
#include <QStringList>
#include <functional>

// Takes day workbooks into the archive: their records, grouped by the gases, units and
// decimals they show, each group as an imported instrument memory. A record the archive holds
// already (same time and readings, under any memory of the same channel count) is not added
// again, so importing a workbook twice, or one whose records were downloaded into the archive,
// adds nothing. The workbooks are only read.
struct ImportReport {
    int files = 0;
    int added = 0;
    int alreadyThere = 0;
    QStringList refused; // "name: why" of each file that is no day workbook
    QString failure;     // the archive write that failed, if one did
};

// Whether one of the day workbooks holds a record of this time and readings; searched from the
// end, where batches are appended. A missing or unreadable file holds none.
bool workbooksHold(const QStringList& paths, const ArchiveRecord& record);

// progress(done, total) after each file.
ImportReport importWorkbooks(ArchiveStore& store, const QStringList& paths,
                             const std::function<void(int, int)>& progress = {});
