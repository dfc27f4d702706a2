#include "archive/archiveworker.h"

#include "archive/archiveservice.h"

ArchiveWorker::ArchiveWorker(QString connectionName) : m_store(std::move(connectionName)) {}

ArchiveStoreReport ArchiveWorker::store(ArchiveBatch batch) {
    m_pending.push_back(std::move(batch));
    return retry();
}

ArchiveStoreReport ArchiveWorker::retry() {
    ArchiveStoreReport report;
    report.ok = true;
    while (!m_pending.empty()) {
        const ArchiveStore::StoreResult result = m_store.store(m_pending.front());
        if (!result.ok) {
            report.ok = false;
            report.message = result.message;
            break;
        }
        report.added += result.added;
        report.alreadyThere += result.alreadyThere;
        m_pending.pop_front();
    }
    report.pending = pending();
    return report;
}
