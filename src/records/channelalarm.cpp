#include "records/channelalarm.h"

std::vector<ChannelAlarm> channelAlarmsOf(const ChannelConfiguration& config) {
    std::vector<ChannelAlarm> alarms;
    for (size_t k = 0; k < config.channels.size(); ++k) {
        const ChannelSettings& settings = config.channels[k];
        ChannelAlarm alarm;
        alarm.channel = static_cast<int>(k) + 1;
        alarm.gas = settings.gasName.trimmed();
        alarm.unit = settings.unitName.trimmed();
        if (settings.lowAlarm) {
            alarm.low = settings.lowAlarm->value();
        }
        if (settings.highAlarm) {
            alarm.high = settings.highAlarm->value();
        }
        if (!alarm.gas.isEmpty() && (alarm.low || alarm.high)) {
            alarms.push_back(std::move(alarm));
        }
    }
    return alarms;
}
