#pragma once

#include "model/channelconfig.h"
#include "model/instrumentvalues.h"
#include "model/pollstate.h"
#include "model/usergasnames.h"
#include "protocol/linkports.h"

// What the function-3 answer in the receive buffer carries (it passed its CRC check). Its
// meaning comes from expectedDataLength and sequenceStep, i.e. from what was asked last.
ConfigAnswer readFunction3(const PollState& state);

// Decodes that answer into the reported configuration, the kept channel fields of state (the
// names and precisions that records take) and tells events what was reported. The channel
// count N that leaves channels out is state.channelCount as it stands now.
void DecodeFunction3(PollState& state, ChannelConfiguration& config, LinkEvents& events,
                     const UserGasNames& userGases);
