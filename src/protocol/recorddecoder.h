#pragma once

#include "model/pollstate.h"
#include "model/recordstore.h"

// RecordStore columns: 0 the time text, then gas, concentration and unit of channels 1-6.
constexpr int kStoreColumnTime = 0;
constexpr int kStoreColumnGas = 1;
constexpr int kStoreColumnConc = 7;
constexpr int kStoreColumnUnit = 13;

// The time text of a record answer's six time bytes: "2024-03-05  14:07:09".
QString RecordTimeText(const quint8* timeBytes);

// Decodes the record answer in the receive buffer (it passed its CRC check) into row
// storeRow of the store and advances storeRow. Zeroes the answer's CRC bytes so that trailing
// bytes cannot decode it a second time, and marks the request answered. channelCount is the
// N that decides which channels a four-channel record fills.
void DecodeRecord(PollState& state, quint8 channelCount, RecordStore& store);
