#pragma once

#include "model/pollstate.h"
#include "protocol/linkports.h"

// Channel table columns.
constexpr int kColumnChannel = 0;
constexpr int kColumnGasType = 1;
constexpr int kColumnRange = 2;
constexpr int kColumnUnit = 3;
constexpr int kColumnPrecision = 4;
constexpr int kColumnLowAlarm = 5;
constexpr int kColumnHighAlarm = 6;

// Decodes a function-3 answer that passed its CRC check. Its meaning comes from
// expectedDataLength and sequenceStep, i.e. from what was asked last; the channel count N
// that blanks channels is values.channelCount as it stands now.
void DecodeFunction3(PollState& state, WindowValues& values, ChannelTable& table);
