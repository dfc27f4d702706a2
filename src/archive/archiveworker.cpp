#include "archive/archiveworker.h"

#include "archive/archiveservice.h"
#include "archive/batchcodec.h"
#include "archive/workbookimport.h"

ArchiveWorker::ArchiveWorker(QString connectionName)
    : m_connectionName(connectionName), m_store(std::move(connectionName)) {}

ArchiveStore::Status ArchiveWorker::open(Opener opener) {
    m_opener = std::move(opener);
    m_store.close();
    return m_opener(m_store);
}

bool ArchiveWorker::useOutbox(const QString& path, QString* error) {
    auto outbox =
        std::make_unique<ArchiveOutbox>(path, m_connectionName + QStringLiteral("-outbox"));
    if (!outbox->open(error)) {
        return false;
    }
    m_outbox = std::move(outbox);
    ArchiveStoreReport ignored;
    countOutbox(ignored);
    return true;
}

void ArchiveWorker::keep(ArchiveBatch batch) {
    m_journalThrough = std::max(m_journalThrough, batch.journalId);
    // On disk before anything is sent; in memory only when the outbox cannot take it.
    if (m_outbox == nullptr ||
        !m_outbox->add(encodeBatch(batch), static_cast<int>(batch.records.size()))) {
        m_pending.push_back(std::move(batch));
    }
}

ArchiveStoreReport ArchiveWorker::store(ArchiveBatch batch) {
    keep(std::move(batch));
    return retry(reconnectWorthTrying());
}

bool ArchiveWorker::reconnectWorthTrying() const {
    // A refused connection (server down or restarting) costs a few ms and is tried with every
    // batch; one that ran into its timeout only once five times its length has passed, so
    // that at most a sixth of the archive's time goes into waiting for an absent server.
    constexpr qint64 kIdleFactor = 5;
    return !m_sinceFailedConnect.isValid() ||
           m_sinceFailedConnect.elapsed() >= kIdleFactor * m_failedConnectMs;
}

ArchiveStore::Status ArchiveWorker::connectAgain() {
    QElapsedTimer attempt;
    attempt.start();
    const ArchiveStore::Status status = m_opener(m_store);
    if (status.ok) {
        m_sinceFailedConnect.invalidate();
    } else {
        m_failedConnectMs = attempt.elapsed();
        m_sinceFailedConnect.start();
    }
    return status;
}

bool ArchiveWorker::storeOne(const ArchiveBatch& batch, ArchiveStoreReport& report) {
    const ArchiveStore::StoreResult result = m_store.store(batch);
    if (!result.ok) {
        report.ok = false;
        report.message = result.message;
        if (m_store.connectionLost()) {
            m_store.close();
        }
        return false;
    }
    report.added += result.added;
    report.alreadyThere += result.alreadyThere;
    return true;
}

bool ArchiveWorker::drainOutbox(ArchiveStoreReport& report) {
    while (m_outbox != nullptr) {
        const std::optional<ArchiveOutbox::Entry> entry = m_outbox->oldest();
        if (!entry) {
            if (!m_outbox->lastError().isEmpty()) {
                report.ok = false;
                report.message = m_outbox->lastError();
            }
            return report.ok;
        }
        const std::optional<ArchiveBatch> batch = decodeBatch(entry->batch);
        if (!batch) {
            report.ok = false;
            report.message = QStringLiteral("The archive outbox %1 holds a batch this program "
                                            "cannot read; it is left there")
                                 .arg(m_outbox->path());
            return false;
        }
        if (!storeOne(*batch, report)) {
            return false;
        }
        if (!m_outbox->remove(entry->id)) {
            report.ok = false;
            report.message = m_outbox->lastError();
            return false;
        }
    }
    return true;
}

ArchiveStoreReport ArchiveWorker::retry(bool reconnect) {
    ArchiveStoreReport report;
    report.ok = true;
    if (!m_store.isOpen() && m_outbox != nullptr && !reconnect) {
        report.ok = false;
        countOutbox(report);
        report.pending = pending();
        return report;
    }
    // A server that went away is tried again; a file refused once stays refused.
    if (!m_store.isOpen() && m_opener && m_outbox != nullptr) {
        const ArchiveStore::Status status = connectAgain();
        if (!status.ok) {
            report.ok = false;
            report.message = status.message;
        }
    }
    while (report.ok && !m_pending.empty() && storeOne(m_pending.front(), report)) {
        m_pending.pop_front();
    }
    if (report.ok) {
        drainOutbox(report);
    }
    countOutbox(report);
    report.pending = pending();
    // Every batch handed over is in the archive or on disk in the outbox.
    report.journalThrough = m_pending.empty() ? m_journalThrough : 0;
    return report;
}

ArchiveStoreReport ArchiveWorker::recover(const QList<BatchJournal::Entry>& entries) {
    for (const BatchJournal::Entry& entry : entries) {
        m_journalThrough = std::max(m_journalThrough, entry.id);
        std::optional<ArchiveBatch> batch = decodeBatch(entry.batch);
        if (!batch || batch->records.empty()) {
            continue;
        }
        if (entry.written || workbooksHold(entry.workbooks, batch->records.back())) {
            batch->journalId = entry.id;
            keep(std::move(*batch));
        }
    }
    return retry(reconnectWorthTrying());
}

void ArchiveWorker::countOutbox(ArchiveStoreReport& report) {
    m_outboxBatches = 0;
    report.waitingRecords = 0;
    for (const ArchiveBatch& batch : m_pending) {
        report.waitingRecords += static_cast<qint64>(batch.records.size());
    }
    if (m_outbox != nullptr) {
        m_outboxBatches = m_outbox->waitingBatches();
        report.waitingRecords += qMax<qint64>(0, m_outbox->waitingRecords());
    }
}
