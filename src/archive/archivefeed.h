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
// archive's answer comes back as ArchiveService::stored, and is to be passed to archived().
// Each batch is in the batch journal at journalPath from before its workbook write until the
// archive holds it, so that a program killed in between loses the archive nothing.
class ArchiveFeed : public BatchExporter {
public:
    ArchiveFeed(BatchExporter& workbooks, ArchiveService& archive, const QString& journalPath);

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
    QStringList destinations(ChannelLayout layout) const override {
        return m_workbooks.destinations(layout);
    }
    // Hands the archive what a killed program left in the journal; at the start, before
    // anything else is asked of the archive.
    void recoverJournal();
    // The archive's answer to a batch: journal entries it holds leave the journal.
    void archived(const ArchiveStoreReport& report);

private:
    ArchiveBatch batchOf(const RecordStore& store, quint32 rowCount);

    BatchExporter& m_workbooks;
    ArchiveService& m_archive;
    DownloadInfo m_download;
    QString m_memoryKey;
    QString m_fingerprint;
    BatchJournal m_journal;
};

// Typed records of store rows 0 .. rowCount-1 (rows without a decoded record left out).
std::vector<ArchiveRecord> archiveRecordsOf(const RecordStore& store, quint32 rowCount);
