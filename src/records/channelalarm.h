#pragma once

#include "model/channelconfig.h"

#include <QString>
#include <optional>
#include <vector>

// The alarm levels the instrument reported for a channel in the last parameter read of this
// run. Levels belong to the gas (and unit) the channel measured then: records of another gas
// on the same channel get none.
struct ChannelAlarm {
    int channel = 0; // 1 to 6
    QString gas;     // trimmed
    QString unit;    // trimmed; empty when not known
    std::optional<double> low;
    std::optional<double> high;
};

// The channels of the configuration that name a gas and report at least one alarm level.
std::vector<ChannelAlarm> channelAlarmsOf(const ChannelConfiguration& config);
