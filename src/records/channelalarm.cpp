#include "records/channelalarm.h"

#include "records/readingtext.h"

std::optional<ChannelAlarm> channelAlarmFromTexts(int channel, QStringView gas, QStringView unit,
                                                  QStringView low, QStringView high) {
    ChannelAlarm alarm;
    alarm.channel = channel;
    alarm.gas = gas.trimmed().toString();
    alarm.unit = unit.trimmed().toString();
    if (const auto number = parseReading(low)) {
        alarm.low = number->value;
    }
    if (const auto number = parseReading(high)) {
        alarm.high = number->value;
    }
    if (alarm.gas.isEmpty() || (!alarm.low && !alarm.high)) {
        return std::nullopt;
    }
    return alarm;
}
