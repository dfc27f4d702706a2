#pragma once

#include <QString>
#include <QStringView>
#include <optional>

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

// From the texts the channel table shows (" 35.0", "CO      "); nothing when the gas is empty
// or neither level reads as a number.
std::optional<ChannelAlarm> channelAlarmFromTexts(int channel, QStringView gas, QStringView unit,
                                                  QStringView low, QStringView high);
