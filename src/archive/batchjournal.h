#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Batches between the day workbooks and the archive, in an SQLite file beside the workbooks.
// A batch is noted before its workbook is written, marked once the workbook has it, and leaves
// when the archive (or the server archive's outbox) holds it. The workbook is written first so
// that the archive can never cost it; this file closes the gap that order leaves: a program
// killed after the workbook took a batch and before the archive did leaves the batch here, and
// the next start gives it to the archive (ArchiveWorker::recover). Without it, the archive's
// last record would be older than the workbook's and the next download would fetch the batch
// again into a workbook.
// Used from one thread (the window's); copies of the program sharing the record folder share
// the file, under SQLite's locking.
class BatchJournal {
public:
    struct Entry {
        qint64 id = 0;
        bool written = false;  // the workbook reached the disk
        QStringList workbooks; // where the batch's last record goes: the day workbook's chain
        QByteArray batch;      // encodeBatch
    };

    BatchJournal(QString path, QString connectionName);
    ~BatchJournal();
    BatchJournal(const BatchJournal&) = delete;
    BatchJournal& operator=(const BatchJournal&) = delete;

    const QString& path() const { return m_path; }
    // Opens or creates the file (and its folder). False, with lastError, when it cannot.
    [[nodiscard]] bool open();
    // The batch before its workbook write; its id, or nothing when the file cannot take it.
    std::optional<qint64> add(const QByteArray& batch, const QStringList& workbooks);
    bool markWritten(qint64 id);
    bool remove(qint64 id);
    // The archive holds every batch up to id.
    bool removeThrough(qint64 id);
    QList<Entry> entries();
    const QString& lastError() const { return m_lastError; }

private:
    bool run(const QString& statement, const QVariantList& values, qint64* insertedId = nullptr);

    QString m_path;
    QString m_connectionName;
    QString m_lastError;
    bool m_open = false;
};
