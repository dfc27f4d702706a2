#pragma once

#include "archive/archivesheet.h"
#include "archive/archivestore.h"
#include "archive/batchjournal.h"
#include "archive/workbookimport.h"

#include <QObject>
#include <QThread>
#include <functional>

class ArchiveWorker;

// What became of a batch handed to the archive.
struct ArchiveStoreReport {
    bool ok = false; // this batch and every one kept before it are in the archive
    int added = 0;   // records new to the archive
    int alreadyThere = 0;
    int pending = 0;           // batches kept for the next attempt
    qint64 waitingRecords = 0; // records in them
    QString message;           // a failure to tell the user: set once per run of failures
    qint64 journalThrough = 0; // the journal's batches up to this id are held; 0: none known
};

// The records archive as the window sees it: every call returns at once, the work runs on the
// archive's own thread, which owns the database connection, and the answers come back as
// signals on the caller's thread. A slow disk or server therefore never holds up the window.
//
// Batches are stored in the order they are handed over. One that cannot be stored (disk full,
// locked too long, server gone) is kept on the archive's thread and stored before the next
// one, and again every kRetryMs, so that nothing is lost and nothing stored twice; the failure
// is reported once per run of failures.
class ArchiveService : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 15000;
    using Opener = std::function<ArchiveStore::Status(ArchiveStore&)>;

    explicit ArchiveService(QObject* parent = nullptr);
    ~ArchiveService() override;

    // The SQLite archive at path. Answered by opened().
    void openFile(const QString& path);
    // The SQLite archive at path, opened by ensureOpen() once its folder exists: the program
    // makes no record folder before it has records to put there.
    void setFile(const QString& path);
    // Like open(), run by ensureOpen() once folder exists (the outbox lies in it).
    void openWhenFolderExists(const QString& folder, Opener opener, const QString& outboxPath = {});
    // Opens what was set, once, when its folder exists. True while the archive is open, being
    // opened or has an outbox: work handed over meanwhile runs once it is open, and batches
    // wait in the outbox until a server answers.
    bool ensureOpen();
    bool isUsable() const { return m_open || m_opening || m_hasOutbox; }
    // Any archive the opener sets up on the archive's thread (the opener runs there). With an
    // outbox file, batches wait there (not in memory) until the archive takes them, and the
    // opener is run again while the archive cannot be reached: for an archive on a server.
    // Batches an earlier run left in the outbox are sent once the archive is open.
    void open(Opener opener, const QString& outboxPath = {});
    bool isOpen() const { return m_open; }
    const QString& where() const { return m_where; }

    void store(ArchiveBatch batch);
    // What a killed program left in the batch journal (ArchiveWorker::recover); answered by
    // stored().
    void recover(const QList<BatchJournal::Entry>& entries);
    void lookup(const QString& configuration);
    void listMemories();
    void loadRange(qint64 memoryId, const QString& from, const QString& to, quint64 ticket);
    // The same range shaped for the Records window, on the archive's thread.
    void loadSheet(qint64 memoryId, const QString& from, const QString& to, const QString& label,
                   quint64 ticket);
    void importWorkbooks(const QStringList& paths);

    // Waits (at exit, in tests) until everything handed over has been tried; true when
    // nothing is left kept.
    [[nodiscard]] bool finish(int timeoutMs);
    int pendingBatches() const { return m_pending; }
    qint64 waitingRecords() const { return m_waitingRecords; }

signals:
    void opened(bool ok, const QString& message);
    void stored(const ArchiveStoreReport& report);
    void candidatesFound(const QString& configuration, const QList<MemoryCandidate>& found);
    void memoriesListed(const QList<MemorySummary>& memories, const QString& error);
    void rangeLoaded(quint64 ticket, const ArchiveRange& range, const QString& error);
    void sheetLoaded(quint64 ticket, const ArchiveSheet& sheet, const QString& error);
    void importProgress(int done, int total);
    void importFinished(const ImportReport& report);

private:
    void post(std::function<void(ArchiveWorker&)> work);
    void takeStored(ArchiveStoreReport report);

    QThread m_thread;
    ArchiveWorker* m_worker = nullptr;
    bool m_open = false;
    bool m_opening = false;
    bool m_openTried = false;
    bool m_hasOutbox = false;
    QString m_folder; // the opener waits for it
    Opener m_deferred;
    QString m_deferredOutbox;
    bool m_failing = false;
    int m_pending = 0;
    qint64 m_waitingRecords = 0;
    QString m_where;
};
