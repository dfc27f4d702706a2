#pragma once

#include "archive/archiveoutbox.h"
#include "archive/archivestore.h"
#include "archive/batchjournal.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

struct ArchiveStoreReport;

// The archive's side of ArchiveService: lives on the archive's thread with the store and the
// batches kept after a failed write. For an archive on a server the batches are kept in an
// outbox file on this PC instead of memory, each before it is sent, so that a batch survives
// the server's absence and the program's end; they leave the outbox once the server committed
// them (a batch sent twice is harmless: the server skips records it holds).
class ArchiveWorker : public QObject {
public:
    using Opener = std::function<ArchiveStore::Status(ArchiveStore&)>;

    explicit ArchiveWorker(QString connectionName);

    ArchiveStore& store() { return m_store; }
    // Opens the store with opener, and again with it whenever the connection was lost.
    ArchiveStore::Status open(Opener opener);
    // Keeps batches in the outbox file at path from now on.
    [[nodiscard]] bool useOutbox(const QString& path, QString* error);
    // Keeps the batch behind those kept before and stores them in order, as far as they go. A
    // server that went away is connected to again first, so that what waits goes as soon as
    // it answers; unless the last failed attempt waited long for its timeout, when the retry
    // timer's turn is left to try again (the batches behind are not held up by timeouts).
    ArchiveStoreReport store(ArchiveBatch batch);
    // Stores the kept batches again; a server archive whose connection is closed is opened
    // again first when reconnect is set.
    ArchiveStoreReport retry(bool reconnect = true);
    // The batches a killed program left in the batch journal: those whose workbook was written
    // are stored; one whose workbook write was cut short is stored when the workbooks hold its
    // last record, and otherwise left for the next download to fetch again.
    ArchiveStoreReport recover(const QList<BatchJournal::Entry>& entries);
    int pending() const { return int(m_pending.size()) + m_outboxBatches; }
    // Whether a closed store is opened again by retry(): an archive on a server.
    bool reconnects() const { return m_outbox != nullptr; }

private:
    void keep(ArchiveBatch batch);
    bool storeOne(const ArchiveBatch& batch, ArchiveStoreReport& report);
    bool drainOutbox(ArchiveStoreReport& report);
    void countOutbox(ArchiveStoreReport& report);
    bool reconnectWorthTrying() const;
    ArchiveStore::Status connectAgain();

    QString m_connectionName;
    ArchiveStore m_store;
    Opener m_opener;
    std::deque<ArchiveBatch> m_pending;
    std::unique_ptr<ArchiveOutbox> m_outbox;
    int m_outboxBatches = 0;
    QElapsedTimer m_sinceFailedConnect; // invalid while the last attempt succeeded
    qint64 m_failedConnectMs = 0;
    qint64 m_journalThrough = 0; // the highest journal id handed over
};
