#pragma once

#include "model/pollstate.h"
#include "model/recordstore.h"
#include "protocol/linkports.h"

// Hands the stored rows to the exporter every 1000 rows and after the last record. A batch
// that did not reach the disk stays in the store and goes out with the rows of the next
// attempt, 1000 rows later or at the end of the download; the store grows meanwhile.
class RecordBatches {
public:
    static constexpr quint32 kBatchRows = 1000;

    // After a record is stored: exports when a batch is due.
    void afterRecord(PollState& state, const RecordStore& store, BatchExporter* exporter);
    // Offers every unwritten row once more. True when nothing is left unwritten.
    [[nodiscard]] bool flush(PollState& state, const RecordStore& store, BatchExporter* exporter);

    // Drops the unwritten rows; the next batch is due 1000 rows on.
    void discard(PollState& state);

private:
    bool release(PollState& state, const RecordStore& store, BatchExporter* exporter);

    quint32 m_nextAttemptAt = kBatchRows;
};
