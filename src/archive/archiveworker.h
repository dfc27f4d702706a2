#pragma once

#include "archive/archivestore.h"

#include <QObject>
#include <QTimer>
#include <deque>

struct ArchiveStoreReport;

// The archive's side of ArchiveService: lives on the archive's thread with the store and the
// batches kept after a failed write.
class ArchiveWorker : public QObject {
public:
    explicit ArchiveWorker(QString connectionName);

    ArchiveStore& store() { return m_store; }
    // Keeps the batch behind those kept before and stores them in order, as far as they go.
    ArchiveStoreReport store(ArchiveBatch batch);
    // Stores the kept batches again.
    ArchiveStoreReport retry();
    int pending() const { return int(m_pending.size()); }

private:
    ArchiveStore m_store;
    std::deque<ArchiveBatch> m_pending;
};
