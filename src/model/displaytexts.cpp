#include "model/displaytexts.h"

#include "model/codetables.h"

#include <cstdio>

QString channelFieldText(const ChannelSettings& channel, ChannelField field) {
    const auto levelText = [](const std::optional<ChannelLevel>& level) {
        return level ? FormatReading(level->raw, level->precision, level->scaled) : QString();
    };
    switch (field) {
    case ChannelField::GasType:
        return channel.gasName;
    case ChannelField::Range:
        return levelText(channel.range);
    case ChannelField::Unit:
        return channel.unitName;
    case ChannelField::Precision:
        return channel.precision ? PrecisionTextOf(*channel.precision) : QString();
    case ChannelField::LowAlarm:
        return levelText(channel.lowAlarm);
    case ChannelField::HighAlarm:
        return levelText(channel.highAlarm);
    }
    return {};
}

QString recordTimeText(const std::array<quint8, 6>& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d  %02d:%02d:%02d", t[0] + 2000, t[1], t[2], t[3],
                  t[4], t[5]);
    return QString::fromLatin1(text);
}

RecordRowTexts recordRowTextsOf(const RecordValues& record, quint8 channelCount,
                                const ChannelTexts& gasNames, const ChannelTexts& unitNames,
                                const ChannelPrecisions& precisions) {
    RecordRowTexts row;
    row.time = recordTimeText(record.time);
    const bool six = record.channels == 6;
    if (six) {
        row.channels = 6;
    } else if (channelCount >= 1 && channelCount <= 4) {
        row.channels = 4;
    }
    for (int i = 0; i < row.channels; ++i) {
        const auto k = static_cast<size_t>(i);
        if (!six && i >= channelCount) {
            continue; // written, but empty
        }
        row.cells[k] = {gasNames[k], FormatReading(record.readings[k], precisions[k], true),
                        unitNames[k]};
    }
    return row;
}
