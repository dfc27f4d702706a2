#pragma once

#include "archive/archivetypes.h"
#include "records/channelalarm.h"
#include "records/recordshape.h"
#include "records/recordsheet.h"

#include <memory>
#include <vector>

// A time range of an archived memory in the form the Records window shows a day workbook in,
// so that the chart, the table and the CSV export take it as they take a workbook.
struct ArchiveSheet {
    std::shared_ptr<const RecordSheet> sheet;
    // The alarm levels of the downloads that brought the records: per channel, gas and unit
    // those of the latest such download.
    std::vector<ChannelAlarm> alarms;
    // The records shaped into lines, with those levels applied.
    std::shared_ptr<RecordShape> shape;
};

// `label` stands where a workbook's path would ("archive: memory 3").
ArchiveSheet archiveSheetOf(const ArchiveRange& range, const QString& label);
