#pragma once

#include "protocol/linkports.h"

#include <QDate>
#include <QString>
#include <functional>

// Why the last batch did not reach the disk, and where it was meant to go.
struct ExportFailure {
    QString workbookPath;
    QString reason;
};

// Appends downloaded records, batch by batch, to the day's workbook in the record folder
// (one workbook per local date and channel layout, header row written once).
//
// Unlike a fire-and-forget export, a batch counts as written only when the workbook has
// reached the disk; otherwise exportBatch returns false and the caller keeps the rows for the
// next attempt. The user hears of failures once per run of failures (takeFailureMessage), not
// once per batch, and never from inside the export: it runs in the serial event handling.
class RecordExporter : public BatchExporter {
public:
    using DateSource = std::function<QDate()>;

    // folder: the record folder, created (one level) when missing. today: the local date a
    // batch is written under; the system clock when empty.
    explicit RecordExporter(QString folder, DateSource today = {});
    RecordExporter();

    [[nodiscard]] bool exportBatch(ChannelLayout layout, const RecordStore& store,
                                   quint32 rowCount) override;

    // The text to show the user now: non-empty only once, after the first failure of a run of
    // failures. A batch that reaches the disk ends the run (and drops an unshown text: its rows
    // were written after all).
    QString takeFailureMessage();
    bool isFailing() const { return m_run != FailureRun::None; }
    // Meaningful while isFailing().
    const ExportFailure& lastFailure() const { return m_lastFailure; }

    // For the exit: rowCount records are still unwritten after the last try.
    QString unwrittenRecordsMessage(quint32 rowCount) const;

    const QString& folder() const { return m_folder; }
    QString workbookPath(ChannelLayout layout, const QDate& date) const;

private:
    enum class FailureRun { None, Unreported, Reported };

    // Empty on success, otherwise the reason the batch did not reach the disk.
    QString writeBatch(const QString& path, ChannelLayout layout, const RecordStore& store,
                       quint32 rowCount) const;
    QString prepareFolder() const;

    QString m_folder;
    DateSource m_today;
    FailureRun m_run = FailureRun::None;
    ExportFailure m_lastFailure;
};
