#pragma once

#include "protocol/linkports.h"

#include <QDate>
#include <QList>
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
// A workbook is written under its lock (workbooklock.h), so copies of the program writing into
// one day workbook take turns; a writer that cannot get the lock fails the batch like any other
// write failure. When the day workbook's sheet is full, the rows that fit go into it and the rest
// into continuation workbooks beside it ("C4-25-03-07 (2).xls", ...), where later batches of that
// day go too.
//
// Unlike a fire-and-forget export, a batch counts as written only when the workbook has
// reached the disk; otherwise exportBatch returns false and the caller keeps the rows for the
// next attempt. The user hears of failures once per run of failures (takeFailureMessage), not
// once per batch, and never from inside the export: it runs in the serial event handling.
class RecordExporter : public BatchExporter {
public:
    using DateSource = std::function<QDate()>;
    // Told the workbook's path after each batch that reached the disk.
    using WrittenListener = std::function<void(const QString& workbookPath)>;

    // folder: the record folder, created (one level) when missing. today: the local date a
    // batch is written under; the system clock when empty.
    explicit RecordExporter(QString folder, DateSource today = {});
    RecordExporter();

    [[nodiscard]] bool exportBatch(ChannelLayout layout, const RecordStore& store,
                                   quint32 rowCount) override;
    // The workbook the next batch is appended to, and the continuation it starts when that
    // one's sheet fills: a batch is smaller than a sheet, so its last row lands in one of them.
    QStringList destinations(ChannelLayout layout) const override;
    void setWrittenListener(WrittenListener listener) { m_written = std::move(listener); }

    // The text to show the user now: non-empty only once, after the first failure of a run of
    // failures. A batch that reaches the disk ends the run (and drops an unshown text: its rows
    // were written after all).
    QString takeFailureMessage();
    bool isFailing() const { return m_run != FailureRun::None; }
    // Meaningful while isFailing().
    const ExportFailure& lastFailure() const { return m_lastFailure; }

    // The text to show the user now when the last batch had to start a continuation workbook:
    // how many records went where. Non-empty once per continuation.
    QString takeContinuationNotice();

    // For the exit: the store's rows 0 .. rowCount-1 are still held after the last try.
    QString unwrittenRecordsMessage(quint32 rowCount) const;
    // How many of the rows the caller still holds are on disk after all: a batch that filled a
    // workbook and failed on its continuation wrote its first rows. The next attempt starts
    // after them.
    quint32 rowsAlreadyWritten() const { return m_rowsWritten; }
    // The caller has dropped the rows it held (discarded at exit, or saved elsewhere).
    void forgetHeldRows();

    // Writes the rows not yet written of the store's rows 0 .. rowCount-1 into the workbook at
    // `path` (".xls" added when missing), appending when it is a record workbook of this layout
    // and continuing beside it when its sheet fills. Empty on success, otherwise the reason.
    QString saveElsewhere(const QString& path, ChannelLayout layout, const RecordStore& store,
                          quint32 rowCount);

    const QString& folder() const { return m_folder; }
    QString workbookPath(ChannelLayout layout, const QDate& date) const;

private:
    enum class FailureRun { None, Unreported, Reported };

    struct Destination {
        QString path;
        quint32 rows = 0;
    };

    // Writes store rows m_rowsWritten .. rowCount-1 into the chain of workbooks that starts at
    // `path` (its newest workbook first), advancing m_rowsWritten as workbooks reach the disk;
    // `continued` tells whether a new continuation was begun. Empty on success, otherwise
    // the reason; `failedPath` then names the workbook that failed.
    QString writeChain(const QString& path, ChannelLayout layout, const RecordStore& store,
                       quint32 rowCount, QString& failedPath, QList<Destination>& destinations,
                       bool& continued);
    static QString continuationNotice(const QList<Destination>& destinations);
    // Appends rows first .. rowCount-1 to one workbook, as many as its sheet takes, under the
    // workbook's lock. Returns the reason of a failure, empty on success with `written` set.
    QString appendToWorkbook(const QString& path, ChannelLayout layout, const RecordStore& store,
                             quint32 first, quint32 rowCount, quint32& written) const;
    QString prepareFolder() const;

    QString m_folder;
    DateSource m_today;
    FailureRun m_run = FailureRun::None;
    ExportFailure m_lastFailure;
    quint32 m_rowsWritten = 0;
    QString m_continuationNotice;
    WrittenListener m_written;
};
