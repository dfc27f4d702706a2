#include "archive/archivefeed.h"

#include "archive/batchcodec.h"
#include "model/recordstore.h"

#include <QFileInfo>

ArchiveFeed::ArchiveFeed(BatchExporter& workbooks, ArchiveService& archive,
                         const QString& journalPath)
    : m_workbooks(workbooks), m_archive(archive),
      m_journal(journalPath, QStringLiteral("trellmo-journal-%1").arg(quintptr(this))) {}

void ArchiveFeed::recoverJournal() {
    if (!QFileInfo::exists(m_journal.path()) || !m_archive.isUsable()) {
        return;
    }
    const QList<BatchJournal::Entry> entries = m_journal.entries();
    if (!entries.isEmpty()) {
        m_archive.recover(entries);
    }
}

void ArchiveFeed::archived(const ArchiveStoreReport& report) {
    if (report.journalThrough > 0) {
        m_journal.removeThrough(report.journalThrough);
    }
}

void ArchiveFeed::startDownload(const DownloadInfo& download) {
    m_download = download;
    m_memoryKey.clear();
    m_fingerprint.clear();
}

void ArchiveFeed::setMemory(const QString& memoryKey, const QString& fingerprint) {
    m_memoryKey = memoryKey;
    m_fingerprint = fingerprint;
}

void ArchiveFeed::endDownload(DownloadEnd end) {
    if (m_memoryKey.isEmpty() || m_fingerprint.isEmpty() || !m_archive.isUsable()) {
        return;
    }
    ArchiveBatch batch;
    batch.memoryKey = m_memoryKey;
    batch.fingerprint = m_fingerprint;
    batch.download = m_download;
    batch.end = end;
    m_archive.store(std::move(batch));
}

std::vector<ArchiveRecord> archiveRecordsOf(const RecordStore& store, quint32 rowCount) {
    std::vector<ArchiveRecord> records;
    records.reserve(rowCount);
    for (quint32 row = 0; row < rowCount; ++row) {
        const StoredRecord& stored = store.record(row);
        if (stored.number == 0) {
            continue;
        }
        ArchiveRecord r;
        r.number = stored.number;
        r.time = stored.values.time;
        for (int c = 0; c < stored.values.channels && c < kArchiveChannels; ++c) {
            r.readings[static_cast<size_t>(c)] = stored.values.readings[static_cast<size_t>(c)];
        }
        records.push_back(r);
    }
    return records;
}

ArchiveBatch ArchiveFeed::batchOf(const RecordStore& store, quint32 rowCount) {
    ArchiveBatch batch;
    batch.records = archiveRecordsOf(store, rowCount);
    if (m_fingerprint.isEmpty()) {
        for (const ArchiveRecord& r : batch.records) {
            if (r.number == 1) {
                m_fingerprint = memoryFingerprint(m_download.config, r);
            }
        }
    }
    // A memory whose record 1 has not arrived yet (the download was cut short before it) is
    // known by its configuration alone until it does.
    batch.fingerprint =
        m_fingerprint.isEmpty() ? m_download.config.key() + QStringLiteral("|?") : m_fingerprint;
    batch.memoryKey = m_memoryKey;
    batch.download = m_download;
    return batch;
}

bool ArchiveFeed::exportBatch(ChannelLayout layout, const RecordStore& store, quint32 rowCount) {
    if (m_memoryKey.isEmpty()) {
        return m_workbooks.exportBatch(layout, store, rowCount); // the download is not archived
    }
    ArchiveBatch batch = batchOf(store, rowCount);
    // A journal that cannot take the batch costs neither the workbook nor the archive: only
    // the protection against a kill in between.
    const std::optional<qint64> noted =
        m_journal.add(encodeBatch(batch), m_workbooks.destinations(layout));
    const bool written = m_workbooks.exportBatch(layout, store, rowCount);
    // The workbook write has made the record folder: the archive can go beside it now.
    if (!written || !m_archive.ensureOpen()) {
        if (noted) {
            m_journal.remove(*noted);
        }
        return written;
    }
    if (noted && m_journal.markWritten(*noted)) {
        batch.journalId = *noted;
    }
    m_archive.store(std::move(batch));
    return true;
}
