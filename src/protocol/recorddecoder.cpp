#include "protocol/recorddecoder.h"

#include "model/displaytexts.h"
#include "model/recordlayout.h"
#include "protocol/receivepath.h"

namespace {

constexpr int kTimeStart = 3;
constexpr int kReadingStart = 9;

void storeRow(const RecordRowTexts& texts, quint32 row, RecordStore& store) {
    store.setCell(RecordColumn::kTime, row, texts.time);
    for (int channel = 1; channel <= texts.channels; ++channel) {
        const RecordChannelTexts& cells = texts.cells[static_cast<size_t>(channel - 1)];
        store.setCell(RecordColumn::gas(channel), row, cells.gas);
        store.setCell(RecordColumn::reading(channel), row, cells.reading);
        store.setCell(RecordColumn::unit(channel), row, cells.unit);
    }
}

} // namespace

RecordValues readRecord(const PollState& state) {
    RecordValues record;
    record.channels = state.sixChannel ? 6 : 4;
    for (int i = 0; i < 6; ++i) {
        record.time[static_cast<size_t>(i)] =
            state.rxFrame[static_cast<size_t>(kTimeStart) + static_cast<size_t>(i)];
    }
    for (int i = 0; i < record.channels; ++i) {
        const size_t at = static_cast<size_t>(kReadingStart) + 2 * static_cast<size_t>(i);
        record.readings[static_cast<size_t>(i)] =
            static_cast<quint16>(state.rxFrame[at] * 256 + state.rxFrame[at + 1]);
    }
    return record;
}

void DecodeRecord(PollState& state, RecordStore& store) {
    const int length = state.sixChannel ? kRecordAnswerLength6 : kRecordAnswerLength4;
    const RecordValues record = readRecord(state);
    state.rxFrame[static_cast<size_t>(length - 2)] = 0;
    state.rxFrame[static_cast<size_t>(length - 1)] = 0;
    state.awaitingRecord = 0;

    // A four-channel record with N outside 1-4 writes no channel cell: the row keeps the texts
    // of whatever record was there before.
    storeRow(recordRowTextsOf(record, state.channelCount, state.chanGasName, state.chanUnitName,
                              state.chanPrecision),
             state.storeRow, store);
    store.setRecord(state.storeRow, state.recordIndex, record);
    ++state.storeRow;
}
