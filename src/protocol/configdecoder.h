#pragma once

#include "model/instrumentvalues.h"
#include "model/pollstate.h"
#include "model/usergasnames.h"
#include "protocol/linkports.h"

// What the function-3 answer in the receive buffer carries (it passed its CRC check). Its
// meaning comes from expectedDataLength and sequenceStep, i.e. from what was asked last.
ConfigAnswer readFunction3(const PollState& state);

// Decodes that answer into the kept channel configuration, the shown counts and the channel
// table. The channel count N that blanks channels is state.channelCount as it stands now.
void DecodeFunction3(PollState& state, WindowValues& shown, ChannelTable& table,
                     const UserGasNames& userGases);
