#include "export/recordexporter.h"

#include "export/recordworkbook.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/workbooklock.h"
#include "spreadsheet/workbookstore.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <exception>
#include <utility>

namespace {

QString trimmedReason(const QString& text) {
    return text.trimmed();
}

} // namespace

RecordExporter::RecordExporter(QString folder, DateSource today)
    : m_folder(std::move(folder)), m_today(std::move(today)) {
    if (!m_today) {
        m_today = [] {
            return QDate::currentDate();
        };
    }
}

RecordExporter::RecordExporter() : RecordExporter(recordFolder()) {}

QString RecordExporter::workbookPath(ChannelLayout layout, const QDate& date) const {
    return m_folder + QLatin1Char('/') + recordWorkbookName(layout, date);
}

QStringList RecordExporter::destinations(ChannelLayout layout) const {
    const QString path = workbookPath(layout, m_today());
    int n = 1;
    const QString newest = newestWorkbookOfChain(path, n);
    return {newest, continuationWorkbookPath(path, n + 1)};
}

bool RecordExporter::exportBatch(ChannelLayout layout, const RecordStore& store, quint32 rowCount) {
    // The date is taken once per batch: a download running over midnight starts the new
    // day's workbook with the first batch written after it.
    const QString path = workbookPath(layout, m_today());
    QString reason;
    QString failedPath = path;
    QList<Destination> destinations;
    bool continued = false;
    try {
        reason = prepareFolder();
        if (reason.isEmpty()) {
            reason = writeChain(path, layout, store, rowCount, failedPath, destinations, continued);
        }
    } catch (const std::exception& e) {
        // WorkbookConnectError (the file is no workbook, the folder is unusable) and anything
        // else thrown below: the batch is simply not written, and the rows stay with the caller.
        reason = trimmedReason(QString::fromUtf8(e.what()));
        if (reason.isEmpty()) {
            reason = QStringLiteral("The workbook could not be opened.");
        }
    } catch (...) {
        reason = QStringLiteral("An unexpected error occurred while writing the workbook.");
    }

    if (continued && reason.isEmpty()) {
        m_continuationNotice = continuationNotice(destinations);
    }
    if (reason.isEmpty()) {
        m_run = FailureRun::None;
        m_rowsWritten = 0;
        if (m_written) {
            for (const Destination& destination : destinations) {
                m_written(destination.path);
            }
        }
        return true;
    }
    m_lastFailure = ExportFailure{failedPath, reason};
    if (m_run == FailureRun::None) {
        m_run = FailureRun::Unreported;
    }
    return false;
}

QString RecordExporter::writeChain(const QString& path, ChannelLayout layout,
                                   const RecordStore& store, quint32 rowCount, QString& failedPath,
                                   QList<Destination>& destinations, bool& continued) {
    int n = 1;
    QString target = newestWorkbookOfChain(path, n);
    m_rowsWritten = std::min(m_rowsWritten, rowCount);
    while (m_rowsWritten < rowCount) {
        failedPath = target;
        quint32 written = 0;
        const QString reason =
            appendToWorkbook(target, layout, store, m_rowsWritten, rowCount, written);
        if (!reason.isEmpty()) {
            return reason;
        }
        if (written > 0) {
            destinations.append({target, written});
        }
        m_rowsWritten += written;
        if (m_rowsWritten < rowCount) {
            target = continuationWorkbookPath(path, ++n);
            continued = true;
        }
    }
    return {};
}

QString RecordExporter::appendToWorkbook(const QString& path, ChannelLayout layout,
                                         const RecordStore& store, quint32 first, quint32 rowCount,
                                         quint32& written) const {
    written = 0;
    // From before the read until the new file is in place: a second writer waits and then
    // reads what this one wrote.
    WorkbookLock lock(path);
    if (QString failure; !lock.acquire(failure)) {
        return failure;
    }

    CWorkbook book(path, recordSheetName(), true);
    book.HoldWrites();

    const QStringList captions = recordCaptions(layout);
    QStringList existing;
    book.CopyFieldNames(existing);
    // A day's workbook whose sheet has other captions (edited by hand, or written by another
    // layout) would take the rows under the wrong columns, or refuse them while the sheet is
    // written back unchanged and the batch looks written. Neither is acceptable for records:
    // the batch fails, the file stays as it is and the user is told which file to move aside.
    if (!existing.isEmpty() && existing != captions) {
        return QStringLiteral("Its sheet \"%1\" has other column captions (%2 columns) than the "
                              "records of this instrument (%3 columns). Move the file aside to "
                              "let a new one be started.")
            .arg(recordSheetName())
            .arg(existing.size())
            .arg(captions.size());
    }

    // On a reopened workbook this reports the header as a duplicate and changes nothing,
    // which is what appending needs.
    book.SetHeaderRow(captions, false);

    // A sheet holds xls::kMaxRows rows, the header included; what does not fit goes on in
    // the next workbook of the chain. A full workbook is not written at all.
    const qint64 room = std::max<qint64>(0, qint64{xls::kMaxRows} - std::max(book.RowCount(), 1));
    const quint32 take = static_cast<quint32>(std::min<qint64>(room, rowCount - first));
    if (take == 0) {
        return {};
    }

    QStringList cells;
    for (quint32 row = first; row < first + take; ++row) {
        cells = recordRowCells(layout, store, row);
        if (!book.PutRow(cells, 0, false)) {
            // Writing the sheet without this row would report rows as written that are not.
            return trimmedReason(book.lastError());
        }
    }

    const QString errorBefore = book.lastError();
    if (!book.WriteBack()) {
        const QString error = trimmedReason(book.lastError());
        if (book.lastError() != errorBefore && !error.isEmpty()) {
            return error;
        }
        return QStringLiteral("The workbook could not be written.");
    }
    written = take;
    return {};
}

QString RecordExporter::prepareFolder() const {
    const QFileInfo info(m_folder);
    if (!info.exists()) {
        QDir().mkdir(m_folder); // one level only; the home folder is expected to exist
    }
    const QFileInfo after(m_folder);
    if (after.isDir()) {
        return {};
    }
    if (after.exists()) {
        return QStringLiteral("The record folder %1 cannot be created: a file of that name is "
                              "in the way.")
            .arg(QDir::toNativeSeparators(m_folder));
    }
    return QStringLiteral("The record folder %1 cannot be created.")
        .arg(QDir::toNativeSeparators(m_folder));
}

QString RecordExporter::continuationNotice(const QList<Destination>& destinations) {
    QString text = QStringLiteral("A workbook sheet holds at most %L1 rows, so the downloaded "
                                  "records continue in a new workbook beside the full one.\n")
                       .arg(xls::kMaxRows);
    for (const Destination& destination : destinations) {
        text += (destination.rows == 1 ? QStringLiteral("\n1 record went to\n%2")
                                       : QStringLiteral("\n%1 records went to\n%2"))
                    .arg(destination.rows)
                    .arg(QDir::toNativeSeparators(destination.path));
    }
    text += QStringLiteral("\n\nLater downloads of the day go to the newest of them.");
    return text;
}

QString RecordExporter::takeContinuationNotice() {
    return std::exchange(m_continuationNotice, QString());
}

void RecordExporter::forgetHeldRows() {
    m_rowsWritten = 0;
    m_run = FailureRun::None;
}

QString RecordExporter::saveElsewhere(const QString& path, ChannelLayout layout,
                                      const RecordStore& store, quint32 rowCount) {
    QString target = path;
    if (!target.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive)) {
        target += QStringLiteral(".xls");
    }
    QString failedPath;
    QList<Destination> destinations;
    bool continued = false;
    try {
        return writeChain(target, layout, store, rowCount, failedPath, destinations, continued);
    } catch (const std::exception& e) {
        const QString reason = trimmedReason(QString::fromUtf8(e.what()));
        return reason.isEmpty() ? QStringLiteral("The workbook could not be opened.") : reason;
    }
}

QString RecordExporter::takeFailureMessage() {
    if (m_run != FailureRun::Unreported) {
        return {};
    }
    m_run = FailureRun::Reported;
    return QStringLiteral("Downloaded records could not be written to\n%1\n\n%2\n\n"
                          "The records are kept and written with the next batch. Further "
                          "failures are not reported until records are written again.")
        .arg(QDir::toNativeSeparators(m_lastFailure.workbookPath), m_lastFailure.reason);
}

QString RecordExporter::unwrittenRecordsMessage(quint32 rowCount) const {
    rowCount -= std::min(rowCount, m_rowsWritten);
    const QString count = rowCount == 1 ? QStringLiteral("1 downloaded record")
                                        : QStringLiteral("%1 downloaded records").arg(rowCount);
    if (m_run == FailureRun::None || m_lastFailure.workbookPath.isEmpty()) {
        return QStringLiteral("%1 could not be written to the record folder\n%2")
            .arg(count, QDir::toNativeSeparators(m_folder));
    }
    return QStringLiteral("%1 could not be written to\n%2\n\n%3")
        .arg(count, QDir::toNativeSeparators(m_lastFailure.workbookPath), m_lastFailure.reason);
}
