#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Batches of records that the archive server did not take, kept in order in an SQLite file
// beside the day workbooks until it does. Each batch is stored once, in one transaction, and
// leaves the outbox only after the server committed it; a batch sent twice (the program killed
// between the server's commit and the removal here) is harmless, as the server skips records
// it already has.
// Used from one thread at a time (the archive's worker); the file may be shared by copies of the
// program, so SQLite's locking with a busy timeout guards it.
class ArchiveOutbox {
public:
    struct Entry {
        qint64 id = 0;
        int records = 0;
        QByteArray batch;
    };

    ArchiveOutbox(QString path, QString connectionName);
    ~ArchiveOutbox();
    ArchiveOutbox(const ArchiveOutbox&) = delete;
    ArchiveOutbox& operator=(const ArchiveOutbox&) = delete;

    // Opens or creates the file. On failure, why (naming the file).
    [[nodiscard]] bool open(QString* error);
    const QString& path() const { return m_path; }

    [[nodiscard]] bool add(const QByteArray& batch, int records);
    // The batch waiting longest, when there is one.
    [[nodiscard]] std::optional<Entry> oldest();
    [[nodiscard]] bool remove(qint64 id);
    // Records waiting, over all batches; -1 when the file cannot be read.
    [[nodiscard]] qint64 waitingRecords();
    // Batches waiting; 0 when the file cannot be read.
    [[nodiscard]] int waitingBatches();
    // The last failure's text (naming the file).
    const QString& lastError() const { return m_lastError; }

private:
    bool fail(const QString& what);

    QString m_path;
    QString m_connectionName;
    QString m_lastError;
};
