#pragma once

#include "records/recordtime.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

struct ReadProgress;

// One channel of one record.
struct RecordCell {
    double value = std::numeric_limits<double>::quiet_NaN(); // NaN: the reading is no number
    quint32 gas = 0; // texts of the sheet, trimmed; 0 is the empty text
    quint32 unit = 0;
    quint32 reading = 0; // the reading's text when it is no number, otherwise 0
    qint8 decimals = 0;  // how many decimals the reading showed (ReadingNumber::kShortest)
};

// The records of one day workbook, in file order, held compactly: a day of six channels is
// 65,535 rows of 19 cells, and most cells repeat a handful of gas names and units.
struct RecordSheet {
    static constexpr RecordTime kNoTime = std::numeric_limits<RecordTime>::min();

    QString path;
    int channelCount = 0;
    std::vector<RecordTime> times; // one per record; kNoTime when the cell holds no time
    std::vector<RecordCell> cells; // channelCount per record, channel 1 first
    std::vector<QString> texts;    // texts[0] is empty
    QHash<qsizetype, quint32> unreadableTimes; // the time cell's text of records without a time

    qsizetype recordCount() const { return qsizetype(times.size()); }
    // channel counts from 1.
    const RecordCell& cell(qsizetype record, int channel) const {
        return cells[size_t(record) * size_t(channelCount) + size_t(channel - 1)];
    }
    const QString& text(quint32 index) const { return texts[index]; }
    // The time as the program writes it, or the cell as it stands when it holds no time.
    QString timeText(qsizetype record) const;
    // The reading as a number with the decimals it showed, or its text when it is no number.
    QString readingText(qsizetype record, int channel) const;
    // "Time", "CH1 Gas", "CH1 Conc", "CH1 Unit", ...
    QStringList captions() const;
};

struct RecordSheetRead {
    std::shared_ptr<const RecordSheet> sheet; // null when the file gave no records
    QString problem;                          // then one sentence saying why
};

// Reads the "Storage" sheet of a day workbook through the workbook store, without changing the
// file. Columns are found by their captions: "Time" and "CHn Gas", "CHn Conc", "CHn Unit" for
// channels 1 up to the first channel that lacks one of them; other columns are left alone.
// Rows without any cell are no records. Safe to call on any thread.
RecordSheetRead readRecordSheet(const QString& path, ReadProgress* progress = nullptr);

// How many records the file holds, for a list of files; nothing, with the reason, when it is no
// record workbook.
std::optional<qsizetype> countRecords(const QString& path, QString& problem);
