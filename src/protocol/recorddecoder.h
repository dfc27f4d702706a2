#pragma once

#include "model/instrumentvalues.h"
#include "model/pollstate.h"
#include "model/recordstore.h"

// What the record answer in the receive buffer carries: its time bytes and the raw readings
// of the layout's four or six channels.
RecordValues readRecord(const PollState& state);

// Decodes the record answer in the receive buffer (it passed its CRC check) into row
// storeRow of the store and advances storeRow. Zeroes the answer's CRC bytes so that trailing
// bytes cannot decode it a second time, and marks the request answered. state.channelCount is
// the N that decides which channels a four-channel record fills.
void DecodeRecord(PollState& state, RecordStore& store);
