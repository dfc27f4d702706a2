#pragma once

#include "archive/archivetypes.h"
#include "archive/sqldialect.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QString>

// The records archive on one Qt SQL connection: stores batches, each in one transaction, and
// answers what the link, the import and the Records window ask. Not thread-safe: it lives on
// the archive's own thread (ArchiveService), which owns the connection.
class ArchiveStore {
public:
    struct Status {
        bool ok = false;
        QString message; // why not, naming the archive
    };
    struct StoreResult {
        bool ok = false;
        QString message;
        int added = 0;        // records new to the archive
        int alreadyThere = 0; // records it held already
    };

    // Milliseconds a writer waits for another copy of the program holding the archive.
    static constexpr int kBusyTimeoutMs = 10000;

    explicit ArchiveStore(QString connectionName);
    ~ArchiveStore();
    ArchiveStore(const ArchiveStore&) = delete;
    ArchiveStore& operator=(const ArchiveStore&) = delete;

    // The SQLite archive at path, created when missing (WAL, synchronous commits). A file that
    // is no SQLite database, a damaged one or a newer archive is refused and left untouched.
    [[nodiscard]] Status openFile(const QString& path);
    // A connection set up by the caller (its driver decides the dialect); `where` names it in
    // messages without a password.
    [[nodiscard]] Status openDatabase(const QSqlDatabase& db, const QString& where);
    bool isOpen() const { return m_open; }
    // Whether the connection still works: a server that went away or restarted ends it, and the
    // store has to be opened again.
    bool connectionLost() const;
    // Closes the connection; the store can be opened again.
    void close();
    const QString& where() const { return m_where; }
    const SqlDialect& dialect() const { return m_dialect; }
    // Whether a download's row follows its batches (last record, how it ended). A server role
    // may hold INSERT and SELECT alone: its downloads then keep what their first batch noted.
    void setUpdatesDownloads(bool updates) { m_updatesDownloads = updates; }
    QSqlDatabase database() const;

    // Stores the batch's memory, download and records in one transaction; records the archive
    // holds already (same memory and record number) are left as they are.
    [[nodiscard]] StoreResult store(const ArchiveBatch& batch);

    // The memories archived under this configuration key, newest first.
    QList<MemoryCandidate> candidates(const QString& configuration, QString* error = nullptr);
    QList<MemorySummary> memories(QString* error = nullptr);
    // Records of memory id taken from .. to (ISO 8601, inclusive; empty: open), in time order.
    ArchiveRange range(qint64 memoryId, const QString& from, const QString& to,
                       QString* error = nullptr);

    // For the import: the content keys (contentKey) of records taken from .. to, and the next
    // free record number of a memory (1 for a new one).
    QSet<QString> contentKeys(const QString& from, const QString& to, QString* error = nullptr);
    quint32 nextRecordNumber(const QString& memoryKey, QString* error = nullptr);
    static QString contentKey(int channels, const ArchiveRecord& record);

private:
    Status finishOpen(const QString& where);
    qint64 idOf(const QString& table, const QString& keyColumn, const QString& key, bool& ok);
    // Whether the batch's memory is archived under another key (then memoryId is its id);
    // ok false when the archive could not be asked.
    bool knownMemory(const ArchiveBatch& batch, qint64& memoryId, bool& ok);
    bool holdsSameRecords(qint64 memoryId, const std::vector<ArchiveRecord>& records, bool& ok);
    bool ensureMemory(const ArchiveBatch& batch, qint64& memoryId, QString& error);
    bool ensureDownload(const ArchiveBatch& batch, qint64 memoryId, qint64& downloadId,
                        QString& error);
    bool insertRecords(const ArchiveBatch& batch, qint64 memoryId, qint64 downloadId,
                       StoreResult& result, QString& error);
    bool updateDownload(const ArchiveBatch& batch, qint64 downloadId, QString& error);
    std::optional<ArchiveRecord> recordAt(qint64 memoryId, const QString& where, QString* error);

    QString m_connection;
    QString m_where;
    SqlDialect m_dialect;
    bool m_open = false;
    bool m_updatesDownloads = true;
    // Memory keys found to name a memory archived under another key, with its id.
    QHash<QString, qint64> m_aliases;
};
