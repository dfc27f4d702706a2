#include "protocol/recordbatch.h"

void RecordBatches::afterRecord(PollState& state, const RecordStore& store,
                                BatchExporter* exporter) {
    const bool lastRecord = state.recordIndex == state.recordTotal;
    if (state.storeRow >= m_nextAttemptAt || lastRecord) {
        release(state, store, exporter);
    }
}

bool RecordBatches::flush(PollState& state, const RecordStore& store, BatchExporter* exporter) {
    if (state.storeRow == 0) {
        return true;
    }
    return release(state, store, exporter);
}

bool RecordBatches::release(PollState& state, const RecordStore& store, BatchExporter* exporter) {
    const ChannelLayout layout = state.sixChannel ? ChannelLayout::Six : ChannelLayout::Four;
    if (exporter == nullptr || exporter->exportBatch(layout, store, state.storeRow)) {
        state.storeRow = 0;
        m_nextAttemptAt = kBatchRows;
        return true;
    }
    // Retrying at every following record would rewrite the growing batch each 50 ms.
    m_nextAttemptAt = state.storeRow + kBatchRows;
    return false;
}

void RecordBatches::discard(PollState& state) {
    state.storeRow = 0;
    m_nextAttemptAt = kBatchRows;
}
