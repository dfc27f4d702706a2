#include "export/recordexporter.h"

#include "export/recordworkbook.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/workbookstore.h"

#include <QDir>
#include <QFileInfo>
#include <exception>

namespace {

QString trimmedReason(const QString& text) {
    return text.trimmed();
}

} // namespace

RecordExporter::RecordExporter(QString folder, DateSource today)
    : m_folder(std::move(folder)), m_today(std::move(today)) {
    if (!m_today)
        m_today = [] {
            return QDate::currentDate();
        };
}

RecordExporter::RecordExporter() : RecordExporter(RecordFolder()) {}

QString RecordExporter::workbookPath(ChannelLayout layout, const QDate& date) const {
    return m_folder + QLatin1Char('/') + RecordWorkbookName(layout, date);
}

bool RecordExporter::exportBatch(ChannelLayout layout, const RecordStore& store, quint32 rowCount) {
    // The date is taken once per batch: a download running over midnight starts the new
    // day's workbook with the first batch written after it.
    const QString path = workbookPath(layout, m_today());
    QString reason;
    try {
        reason = writeBatch(path, layout, store, rowCount);
    } catch (const std::exception& e) {
        // WorkbookConnectError (the file is no workbook, the folder is unusable) and anything
        // else thrown below: the batch is simply not written, and the rows stay with the caller.
        reason = trimmedReason(QString::fromUtf8(e.what()));
        if (reason.isEmpty())
            reason = QStringLiteral("The workbook could not be opened.");
    } catch (...) {
        reason = QStringLiteral("An unexpected error occurred while writing the workbook.");
    }

    if (reason.isEmpty()) {
        m_run = FailureRun::None;
        if (m_written)
            m_written(path);
        return true;
    }
    m_lastFailure = ExportFailure{path, reason};
    if (m_run == FailureRun::None)
        m_run = FailureRun::Unreported;
    return false;
}

QString RecordExporter::prepareFolder() const {
    const QFileInfo info(m_folder);
    if (!info.exists())
        QDir().mkdir(m_folder); // one level only; the home folder is expected to exist
    const QFileInfo after(m_folder);
    if (after.isDir())
        return {};
    if (after.exists())
        return QStringLiteral("The record folder %1 cannot be created: a file of that name is "
                              "in the way.")
            .arg(QDir::toNativeSeparators(m_folder));
    return QStringLiteral("The record folder %1 cannot be created.")
        .arg(QDir::toNativeSeparators(m_folder));
}

QString RecordExporter::writeBatch(const QString& path, ChannelLayout layout,
                                   const RecordStore& store, quint32 rowCount) const {
    if (QString folderProblem = prepareFolder(); !folderProblem.isEmpty())
        return folderProblem;

    CWorkbook book(path, RecordSheetName(), true);
    book.HoldWrites();

    const QStringList captions = RecordCaptions(layout);
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
            .arg(RecordSheetName())
            .arg(existing.size())
            .arg(captions.size());
    }

    // On a reopened workbook this reports the header as a duplicate and changes nothing,
    // which is what appending needs.
    book.SetHeaderRow(captions, false);

    QStringList cells;
    for (quint32 row = 0; row < rowCount; ++row) {
        cells = RecordRowCells(layout, store, row);
        if (!book.PutRow(cells, 0, false)) {
            // Writing the sheet without this row would report rows as written that are not.
            return trimmedReason(book.lastError());
        }
    }

    const QString errorBefore = book.lastError();
    if (!book.WriteBack()) {
        const QString error = trimmedReason(book.lastError());
        if (book.lastError() != errorBefore && !error.isEmpty())
            return error;
        return QStringLiteral("The workbook could not be written.");
    }
    return {};
}

QString RecordExporter::takeFailureMessage() {
    if (m_run != FailureRun::Unreported)
        return {};
    m_run = FailureRun::Reported;
    return QStringLiteral("Downloaded records could not be written to\n%1\n\n%2\n\n"
                          "The records are kept and written with the next batch. Further "
                          "failures are not reported until records are written again.")
        .arg(QDir::toNativeSeparators(m_lastFailure.workbookPath), m_lastFailure.reason);
}

QString RecordExporter::unwrittenRecordsMessage(quint32 rowCount) const {
    const QString count = rowCount == 1 ? QStringLiteral("1 downloaded record")
                                        : QStringLiteral("%1 downloaded records").arg(rowCount);
    if (m_run == FailureRun::None || m_lastFailure.workbookPath.isEmpty()) {
        return QStringLiteral("%1 could not be written to the record folder\n%2")
            .arg(count, QDir::toNativeSeparators(m_folder));
    }
    return QStringLiteral("%1 could not be written to\n%2\n\n%3")
        .arg(count, QDir::toNativeSeparators(m_lastFailure.workbookPath), m_lastFailure.reason);
}
