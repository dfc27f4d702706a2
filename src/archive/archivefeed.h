#pragma once

#include "archive/archiveservice.h"
#include "protocol/linkports.h"

// Stands between the link and the day workbooks: every batch that reaches the workbooks is
// handed to the archive in the same batch.
//
// Order: the workbook first, then the archive. The rows count as written (and leave the
// record store) when the workbook has them, so the archive can never cost the workbook write;
// the archive gets the same records, typed, right after, and stores them in one transaction
// on its own thread. A batch it cannot store is kept there and stored with the next one. The
// archive's answer comes back as ArchiveService::stored.
class ArchiveFeed : public BatchExporter {
public:
    ArchiveFeed(BatchExporter& workbooks, ArchiveService& archive);

    // A download starts: what the batches from now on belong to. memoryKey may be set later
    // (setMemory), once the instrument's memory is known.
    void startDownload(const DownloadInfo& download);
    // The memory the download's records belong to. An empty fingerprint: a new memory, known
    // from now on by its record 1 when a batch brings it.
    void setMemory(const QString& memoryKey, const QString& fingerprint);
    // The download is over; its end is noted in the archive.
    void endDownload(DownloadEnd end);
    const QString& memoryKey() const { return m_memoryKey; }

    [[nodiscard]] bool exportBatch(ChannelLayout layout, const RecordStore& store,
                                   quint32 rowCount) override;

private:
    BatchExporter& m_workbooks;
    ArchiveService& m_archive;
    DownloadInfo m_download;
    QString m_memoryKey;
    QString m_fingerprint;
};

// Typed records of store rows 0 .. rowCount-1 (rows without a decoded record left out).
std::vector<ArchiveRecord> archiveRecordsOf(const RecordStore& store, quint32 rowCount);
