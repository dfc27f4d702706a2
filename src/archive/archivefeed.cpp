#include "archive/archivefeed.h"

#include "model/recordstore.h"

ArchiveFeed::ArchiveFeed(BatchExporter& workbooks, ArchiveService& archive)
    : m_workbooks(workbooks), m_archive(archive) {}

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
    if (m_memoryKey.isEmpty() || m_fingerprint.isEmpty() || !m_archive.acceptsBatches()) {
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

bool ArchiveFeed::exportBatch(ChannelLayout layout, const RecordStore& store, quint32 rowCount) {
    if (!m_workbooks.exportBatch(layout, store, rowCount)) {
        return false;
    }
    if (m_memoryKey.isEmpty() || !m_archive.acceptsBatches()) {
        return true; // no archive, or the download did not start through it
    }
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
    m_archive.store(std::move(batch));
    return true;
}
